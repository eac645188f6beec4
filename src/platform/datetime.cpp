#include "datetime.h"

#include "errors.h"

#include <QTimeZone>
#include <cctype>
#include <cmath>
#include <cstdint>

namespace kx {
namespace {

constexpr qint64 MSecsPerDay = 86400000;
// Days from 0001-01-01 (day 1) to 1899-12-30.
constexpr qint64 DateDelta = 693594;

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Splits a date-time into whole days since 0001-01-01 (day 1 is that date)
// and milliseconds into the day. The fraction counts forwards from midnight
// also for dates before 1899-12-30 (where the value is negative).
void SplitDateTime(TDateTime value, qint64 &days, qint64 &msecs)
{
    // Beyond 9999-12-31 (or not a number) there is no calendar date: such a
    // value decodes as no date rather than overflowing the conversion.
    if (!std::isfinite(value) || std::fabs(value) > 2958466.0) {
        days = 0;
        msecs = 0;
        return;
    }
    const double whole = std::trunc(value);
    days = DateDelta + static_cast<qint64>(whole);
    msecs = std::llround(std::fabs(value - whole) * MSecsPerDay);
    if (msecs >= MSecsPerDay) { // rounding reached the next midnight
        msecs -= MSecsPerDay;
        days += value < 0 ? -1 : 1;
    }
}

// The calendar date of a day count from 0001-01-01 (day 1); no date (all 0)
// for day 0 and before. Counts in 400-year eras of a calendar that starts on
// March 1st, so that the leap day falls at the end of each year.
DateParts DateOfDays(qint64 days)
{
    DateParts parts;
    if (days <= 0)
        return parts;
    const auto z = static_cast<std::uint32_t>(days + 305); // days from 0000-03-01
    const std::uint32_t era = z / 146097;
    const std::uint32_t dayOfEra = z - era * 146097;
    const std::uint32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::uint32_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    parts.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    parts.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    parts.year = static_cast<int>(yearOfEra + era * 400) + (parts.month <= 2 ? 1 : 0);
    return parts;
}

TimeParts TimeOfMsecs(qint64 msecs)
{
    const auto ms = static_cast<std::uint32_t>(msecs); // below one day's count
    TimeParts parts;
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.msec = static_cast<int>(ms % 1000);
    return parts;
}

} // namespace

TDateTime EncodeDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        throw ConvertError(QStringLiteral("Invalid argument to date encode"));
    // Days of the year before the first of each month, in a common year.
    static constexpr int DaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    qint64 days = day + DaysBefore[month - 1] + (month > 2 && IsLeapYear(year) ? 1 : 0);
    const qint64 y = year - 1;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    return static_cast<TDateTime>(days - DateDelta);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
        msec > 999)
        throw ConvertError(QStringLiteral("Invalid argument to time encode"));
    const qint64 ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    return static_cast<TDateTime>(ms) / MSecsPerDay;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time)
{
    return date < 0 ? date - time : date + time;
}

DateParts DecodeDate(TDateTime value)
{
    qint64 days, msecs;
    SplitDateTime(value, days, msecs);
    return DateOfDays(days);
}

TimeParts DecodeTime(TDateTime value)
{
    qint64 days, msecs;
    SplitDateTime(value, days, msecs);
    return TimeOfMsecs(msecs);
}

void DecodeDateTime(TDateTime value, DateParts &date, TimeParts &time)
{
    qint64 days, msecs;
    SplitDateTime(value, days, msecs);
    date = DateOfDays(days);
    time = TimeOfMsecs(msecs);
}

QDateTime ToQDateTime(TDateTime value)
{
    const DateParts d = DecodeDate(value);
    const TimeParts t = DecodeTime(value);
    return QDateTime(QDate(d.year, d.month, d.day), QTime(t.hour, t.minute, t.second, t.msec));
}

TDateTime FromQDateTime(const QDateTime &value)
{
    const QDateTime local = value.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    const TDateTime date = EncodeDate(d.year(), d.month(), d.day());
    const TDateTime time = EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
    return CombineDateTime(date, time);
}

QString FormatDateTime(TDateTime value)
{
    const DateParts d = DecodeDate(value);
    const TimeParts t = DecodeTime(value);
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(d.year, 4, 10, QLatin1Char('0'))
        .arg(d.month, 2, 10, QLatin1Char('0'))
        .arg(d.day, 2, 10, QLatin1Char('0'))
        .arg(t.hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute, 2, 10, QLatin1Char('0'))
        .arg(t.second, 2, 10, QLatin1Char('0'));
}

QString DateTimeToStr(TDateTime value)
{
    const TimeParts t = DecodeTime(value);
    const QString full = FormatDateTime(value);
    if (t.hour == 0 && t.minute == 0 && t.second == 0 && t.msec == 0)
        return full.left(10);
    return full;
}

bool TryStrToInt(const QString &text, int &value)
{
    QString body = text;
    bool negative = false;
    if (body.startsWith(QLatin1Char('-')) || body.startsWith(QLatin1Char('+'))) {
        negative = body.startsWith(QLatin1Char('-'));
        body = body.mid(1);
    }
    int base = 10;
    if (body.startsWith(QLatin1Char('$'))) {
        base = 16;
        body = body.mid(1);
    } else if (body.size() > 2 && body[0] == QLatin1Char('0') &&
               (body[1] == QLatin1Char('x') || body[1] == QLatin1Char('X'))) {
        base = 16;
        body = body.mid(2);
    }
    if (body.isEmpty())
        return false;
    for (const QChar c : body) {
        const bool digit =
            c.unicode() < 128 && (base == 16 ? std::isxdigit(c.unicode()) : std::isdigit(c.unicode()));
        if (!digit)
            return false;
    }
    bool ok = false;
    const qint64 magnitude = body.toLongLong(&ok, base);
    if (!ok)
        return false;
    const qint64 v = negative ? -magnitude : magnitude;
    // Hexadecimal may spell the whole 32-bit pattern ($FFFFFFFF is -1).
    const qint64 upper = base == 16 ? qint64(UINT32_MAX) : qint64(INT32_MAX);
    if (v < INT32_MIN || v > upper)
        return false;
    value = static_cast<qint32>(static_cast<quint32>(v));
    return true;
}

int StrToInt(const QString &text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

TDateTime SystemClock::Now() const
{
    return FromQDateTime(QDateTime::currentDateTime());
}

} // namespace kx
