#pragma once
// Date-time values (days since 1899-12-30, the fraction the time of day), time stamps
// (day 1 = 0001-01-01, milliseconds since midnight), their conversions and formatting.

#include "RegionalSettings.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace platform {

using TDateTime = double;

struct TTimeStamp {
    int Time = 0; // milliseconds since midnight
    int Date = 0; // day number, 0001-01-01 is day 1
};

inline constexpr int DateDelta = 693594; // day number of 1899-12-30
inline constexpr int MSecsPerDay = 86400000;

TTimeStamp DateTimeToTimeStamp(TDateTime value);
// Raises EConvertError "'%d.%d' is not a valid timestamp" for a day below 1 or negative milliseconds.
TDateTime TimeStampToDateTime(const TTimeStamp& value);

bool IsLeapYear(int year);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
TDateTime EncodeDate(int year, int month, int day); // EConvertError when invalid
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime value); // 1 = Sunday

// The local clock; a test or a headless run may replace it.
TDateTime Now();
TDateTime Date();
void SetClock(std::function<TDateTime()> clock); // empty function restores the system clock

// Patterns: y yy yyyy, m mm, d dd, h hh, n nn, s ss, z zzz, c, ddddd, t, tt, "/" and ":" as the
// separators, quoted literals; "m" right after an hour token means minutes.
QString FormatDateTime(const QString& format, TDateTime value, const TFormatSettings& settings);
QString FormatDateTime(const QString& format, TDateTime value);
// The short date, then a blank and the long time unless the time is exactly midnight.
QString DateTimeToStr(TDateTime value);
QString DateToStr(TDateTime value);
QString TimeToStr(TDateTime value);

} // namespace platform
