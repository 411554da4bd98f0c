#pragma once
// Conversions between the program's values and the numbers and texts of SQL values: pure
// functions of their arguments (the regional settings they need are passed in).

#include "platform/DateTime.h"
#include "platform/RegionalSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

namespace db::statements {

// The value of an SQL_SHORT or SQL_LONG stored at p, or of a 64-bit integer for any other type.
int64_t ReadSqlInteger(const char* p, int sqlType);
// 10^n for n in 0 .. 18.
int64_t PowerOfTen(int n);
// Rounds to nearest, ties to even, whatever the caller's rounding mode.
long double RoundEven(long double value);
// Truncates toward zero into 64 bits; false for values outside the range (and NaN).
bool TruncToInt64(long double value, int64_t& result);
// The low 32 bits as a signed integer.
int32_t Low32(int64_t value);
// value × 10^scale, truncated toward zero, in integer arithmetic (multiplication wraps).
int64_t ScaleInteger(int64_t value, int scale);
// value × 10^scale.
long double ScaleReal(long double value, int scale);
// The number of digits of the integer part of a non-negative value (0 below 1, 19 at most).
int IntegerDigits(long double magnitude);
// raw × 10^scale for a negative scale, rounded half to even.
int64_t DivideHalfEven(int64_t raw, int scale);
// The exact decimal of an integer at a scale: "12,34" for 1234 at -2 with "," as separator,
// trailing fraction zeros dropped.
QByteArray ScaledDecimal(int64_t value, int scale, const QByteArray& decimalSeparator);
// The general float format: 15 significant digits, the given decimal separator, "E" exponents
// without a plus sign or leading zeros; "NAN", "INF", "-INF".
QString FloatToStrGeneral(double value, QChar decimalSeparator);
// A whole decimal number in 64 bits.
bool ParseInt64(const QString& text, int64_t& value);
// A number written with the given decimal separator (and no group separators).
bool ParseFloat(const QString& text, QChar decimalSeparator, double& value);
// A date, a time, or both, in the settings' short date format and with their separators.
bool ParseDateTime(const QString& text, const platform::TFormatSettings& settings,
                   platform::TDateTime& value);
// A Qt date-time as days since 1899-12-30.
platform::TDateTime QtToDateTime(const QDateTime& value);

} // namespace db::statements
