#include "DateTime.h"

#include "Exceptions.h"
#include "Format.h"

#include <QDateTime>
#include <cfenv>
#include <cmath>
#include <cstdlib>

namespace platform {

namespace {

constexpr int kDaysBefore[2][13] = {{0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
                                    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};
constexpr int kMonthDays[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

std::function<TDateTime()>& ClockHook() {
    static std::function<TDateTime()> hook;
    return hook;
}

TDateTime SystemNow() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return EncodeDate(d.year(), d.month(), d.day()) + EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
}

// Day number (0001-01-01 = 1) to year, month, day.
void DecodeDayNumber(int dayNumber, int& year, int& month, int& day) {
    if (dayNumber <= 0) {
        year = month = day = 0;
        return;
    }
    int t = dayNumber - 1;
    int y = 1;
    y += (t / 146097) * 400;
    t %= 146097;
    int i = t / 36524, d = t % 36524;
    if (i == 4) {
        --i;
        d += 36524;
    }
    y += i * 100;
    i = d / 1461;
    d %= 1461;
    y += i * 4;
    i = d / 365;
    d %= 365;
    if (i == 4) {
        --i;
        d += 365;
    }
    y += i;
    const int leap = IsLeapYear(y) ? 1 : 0;
    int m = 1;
    while (d >= kMonthDays[leap][m]) {
        d -= kMonthDays[leap][m];
        ++m;
    }
    year = y;
    month = m;
    day = d + 1;
}

} // namespace

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
    // The whole part is the day and the fraction's magnitude the time of that day, on both sides
    // of 1899-12-30. A time that rounds up to a full day is midnight of the next calendar day,
    // which for a negative day number is one day nearer to zero.
    const double day = std::trunc(value);
    // Round half to even, independent of the caller's rounding mode and without switching it
    // (two mode changes cost more than the rest of the conversion). Below 2^53 the floor and the
    // difference are exact.
    const double scaled = std::fabs(value - day) * double(MSecsPerDay);
    double whole = std::floor(scaled);
    const double rest = scaled - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
    int64_t ms = int64_t(whole);
    int64_t days = int64_t(day);
    if (ms >= MSecsPerDay) {
        ms -= MSecsPerDay;
        ++days;
    }
    TTimeStamp ts;
    ts.Date = int(DateDelta + days);
    ts.Time = int(ms);
    return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& value) {
    if (value.Time < 0 || value.Date <= 0)
        throw EConvertError(Format(rtl::SInvalidTimeStamp, {value.Date, value.Time}));
    double result = double(value.Date) - DateDelta;
    const double fraction = double(value.Time) / MSecsPerDay;
    return result < 0 ? result - fraction : result + fraction;
}

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    const int leap = IsLeapYear(year) ? 1 : 0;
    if (day < 1 || day > kMonthDays[leap][month]) return false;
    const int i = year - 1;
    const int days = i * 365 + i / 4 - i / 100 + i / 400 + kDaysBefore[leap][month] + day;
    result = double(days - DateDelta);
    return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
    if (hour < 0 || hour >= 24 || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 || msec >= 1000)
        return false;
    result = double(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime r;
    if (!TryEncodeDate(year, month, day, r))
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
    TDateTime r;
    if (!TryEncodeTime(hour, min, sec, msec, r))
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    return r;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    DecodeDayNumber(DateTimeToTimeStamp(value).Date, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
    int ms = DateTimeToTimeStamp(value).Time;
    hour = ms / 3600000;
    ms %= 3600000;
    min = ms / 60000;
    ms %= 60000;
    sec = ms / 1000;
    msec = ms % 1000;
}

int DayOfWeek(TDateTime value) {
    return DateTimeToTimeStamp(value).Date % 7 + 1;
}

TDateTime Now() {
    const auto& hook = ClockHook();
    return hook ? hook() : SystemNow();
}

TDateTime Date() {
    return std::trunc(Now());
}

void SetClock(std::function<TDateTime()> clock) {
    ClockHook() = std::move(clock);
}

QString FormatDateTime(const QString& format, TDateTime value, const TFormatSettings& settings) {
    int year, month, day, hour, min, sec, msec;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, min, sec, msec);
    QString out;
    const int n = format.size();
    QChar lastToken;
    auto pad = [](int v, int width) { return QString::number(v).rightJustified(width, QLatin1Char('0')); };
    int i = 0;
    while (i < n) {
        const QChar starter = format[i];
        QChar token = starter.toUpper();
        int count = 1;
        while (i + count < n && format[i + count].toUpper() == token && token.isLetter())
            ++count;
        if (token.isLetter() && token.unicode() < 128) {
            if (token == QLatin1Char('M') && lastToken == QLatin1Char('H')) token = QLatin1Char('N');
            lastToken = token;
        }
        switch (token.unicode()) {
        case 'Y':
            out += count <= 2 ? pad(year % 100, 2) : pad(year, 4);
            break;
        case 'M':
            out += count == 1 ? QString::number(month) : pad(month, 2);
            break;
        case 'D':
            if (count <= 2) {
                out += count == 1 ? QString::number(day) : pad(day, 2);
            } else if (count == 5) {
                out += FormatDateTime(settings.ShortDateFormat, value, settings);
            } else if (count >= 6) {
                out += FormatDateTime(settings.LongDateFormat, value, settings);
            } else {
                out += QString(count, token);
            }
            break;
        case 'H':
            out += count == 1 ? QString::number(hour) : pad(hour, 2);
            break;
        case 'N':
            out += count == 1 ? QString::number(min) : pad(min, 2);
            break;
        case 'S':
            out += count == 1 ? QString::number(sec) : pad(sec, 2);
            break;
        case 'Z':
            out += count < 3 ? QString::number(msec) : pad(msec, 3);
            break;
        case 'T':
            out += FormatDateTime(count == 1 ? settings.ShortTimeFormat : settings.LongTimeFormat, value,
                                  settings);
            break;
        case 'C':
            out += FormatDateTime(settings.ShortDateFormat, value, settings);
            if (hour || min || sec || msec)
                out += QLatin1Char(' ') + FormatDateTime(settings.LongTimeFormat, value, settings);
            break;
        case '/':
            out += settings.DateSeparator;
            break;
        case ':':
            out += settings.TimeSeparator;
            break;
        case '"':
        case '\'': {
            int j = i + 1;
            while (j < n && format[j] != starter)
                out += format[j++];
            i = j + 1;
            continue;
        }
        default:
            out += QString(count, starter);
            break;
        }
        i += count;
    }
    return out;
}

QString FormatDateTime(const QString& format, TDateTime value) {
    return FormatDateTime(format, value, RegionalSettings());
}

QString DateTimeToStr(TDateTime value) {
    const TFormatSettings& s = RegionalSettings();
    QString text = FormatDateTime(s.ShortDateFormat, value, s);
    int hour, min, sec, msec;
    DecodeTime(value, hour, min, sec, msec);
    if (hour != 0 || min != 0 || sec != 0)
        text += QLatin1Char(' ') + FormatDateTime(s.LongTimeFormat, value, s);
    return text;
}

QString DateToStr(TDateTime value) {
    return FormatDateTime(RegionalSettings().ShortDateFormat, value);
}

QString TimeToStr(TDateTime value) {
    return FormatDateTime(RegionalSettings().LongTimeFormat, value);
}

TFormatSettings& RegionalSettings() {
    static TFormatSettings settings;
    return settings;
}

} // namespace platform
