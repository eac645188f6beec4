#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The system's date-time: days since 1899-12-30 00:00 local time, with the
// time of day as the fraction. An unset date-time is 0.
using TDateTime = double;

namespace kx {

// Encoders raise ConvertError with "Invalid argument to date encode" /
// "Invalid argument to time encode" when a part is out of range.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
// A date from EncodeDate and a time of day from EncodeTime as one date-time.
// Before 1899-12-30 the day count is negative and the time of day is its
// fraction's magnitude, so the time is counted away from zero there.
TDateTime CombineDateTime(TDateTime date, TDateTime time);

struct DateParts
{
    int year = 0, month = 0, day = 0;
};
struct TimeParts
{
    int hour = 0, minute = 0, second = 0, msec = 0;
};
DateParts DecodeDate(TDateTime value);
TimeParts DecodeTime(TDateTime value);
// Both at once, for callers that need the whole date-time.
void DecodeDateTime(TDateTime value, DateParts &date, TimeParts &time);

// Conversions to and from Qt's local date-time.
QDateTime ToQDateTime(TDateTime value);
TDateTime FromQDateTime(const QDateTime &value);

// "yyyy-mm-dd hh:nn:ss"; the time is left out when it is exactly 00:00:00
// (the platform's default date-time text with ISO short-date/long-time formats).
QString DateTimeToStr(TDateTime value);
// Always "yyyy-mm-dd hh:nn:ss" (the connection log's and the SQL texts' form).
QString FormatDateTime(TDateTime value);

// Decimal text to integer, optionally signed; "$…" and "0x…" are
// hexadecimal. StrToInt raises ConvertError "'%s' is not a valid integer
// value" where TryStrToInt gives false.
bool TryStrToInt(const QString &text, int &value);
int StrToInt(const QString &text);

// Source of the current local date-time; tests hand in one they can set.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual TDateTime Now() const = 0;
};

class SystemClock : public Clock
{
public:
    TDateTime Now() const override;
};

// A clock that stands still at a given moment until moved.
class FixedClock : public Clock
{
public:
    explicit FixedClock(TDateTime value = 0) : m_value(value) {}
    TDateTime Now() const override { return m_value; }
    void Set(TDateTime value) { m_value = value; }

private:
    TDateTime m_value;
};

} // namespace kx
