#pragma once

#include "record.h"

#include <QByteArray>
#include <QString>

namespace fias {

// The record as it may be logged: a guest name shows only its first letter,
// and track data ($1, $2, $3) is left out.
QByteArray MaskedText(const Record &record);

// Where the link writes its lines: one per record in ("<") and out (">"),
// one per change of link state and per problem. Every line starts with the
// local time and is flushed at once.
class LinkLog
{
public:
    virtual ~LinkLog() = default;
    virtual void Line(const QByteArray &text) = 0;

    void RecordIn(const Record &record) { Line("< " + MaskedText(record)); }
    void RecordOut(const Record &record) { Line("> " + MaskedText(record)); }
    void Note(const QString &text) { Line(text.toUtf8()); }
};

// Standard output.
class StdoutLog : public LinkLog
{
public:
    void Line(const QByteArray &text) override;
};

} // namespace fias
