#pragma once

#include <QString>
#include <stdexcept>

namespace kx {

// Base of every error the system raises. The text is shown to the user as it
// stands (message box in the GUI, one line on standard error when headless).
class Error : public std::runtime_error
{
public:
    explicit Error(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// Conversion errors: "'%s' is not a valid integer value",
// "Invalid argument to date encode", "Invalid argument to time encode".
class ConvertError : public Error
{
public:
    using Error::Error;
};

// A profile file could not be written: "Unable to write to %s".
class IniWriteError : public Error
{
public:
    using Error::Error;
};

// A records-store operation failed (connection, timeout, or the server's own error text).
class StoreError : public Error
{
public:
    using Error::Error;
};

// The encoder library could not be loaded or initialised.
class EncoderError : public Error
{
public:
    using Error::Error;
};

// A language-database operation failed; carries the engine's error text.
class DatabaseError : public Error
{
public:
    using Error::Error;
};

} // namespace kx
