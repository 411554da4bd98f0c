#include "ValueConversions.h"

#include <QDate>
#include <QLocale>
#include <QStringList>
#include <QTime>
#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <ibase.h>

namespace db::statements {

namespace {

constexpr int64_t Pow10Int[19] = {1LL,
                                  10LL,
                                  100LL,
                                  1000LL,
                                  10000LL,
                                  100000LL,
                                  1000000LL,
                                  10000000LL,
                                  100000000LL,
                                  1000000000LL,
                                  10000000000LL,
                                  100000000000LL,
                                  1000000000000LL,
                                  10000000000000LL,
                                  100000000000000LL,
                                  1000000000000000LL,
                                  10000000000000000LL,
                                  100000000000000000LL,
                                  1000000000000000000LL};

} // namespace

int64_t ReadSqlInteger(const char* p, int sqlType) {
    switch (sqlType) {
    case SQL_SHORT: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case SQL_LONG: {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    default: {
        int64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
    }
}

int64_t PowerOfTen(int n) {
    return n >= 0 && n <= 18 ? Pow10Int[n] : 0;
}

long double RoundEven(long double value) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyintl(value);
    std::fesetround(saved);
    return r;
}

bool TruncToInt64(long double value, int64_t& result) {
    if (!std::isfinite(value) || value >= 9223372036854775808.0L || value < -9223372036854775808.0L)
        return false;
    result = int64_t(std::truncl(value));
    return true;
}

int32_t Low32(int64_t value) {
    return int32_t(uint32_t(uint64_t(value)));
}

int64_t ScaleInteger(int64_t value, int scale) {
    if (scale == 0) return value;
    if (scale < 0) return -scale > 18 ? 0 : value / Pow10Int[-scale];
    return int64_t(uint64_t(value) * uint64_t(scale > 18 ? 0 : Pow10Int[scale]));
}

long double ScaleReal(long double value, int scale) {
    if (scale == 0) return value;
    if (scale < 0)
        return -scale <= 18 ? value / (long double)Pow10Int[-scale] : value / std::pow(10.0L, -scale);
    return scale <= 18 ? value * (long double)Pow10Int[scale] : value * std::pow(10.0L, scale);
}

int IntegerDigits(long double a) {
    if (!(a >= 1)) return 0;
    if (a >= (long double)Pow10Int[18]) return 19;
    // The smallest d with a < 10^d, by binary search over the powers of ten.
    int lo = 1, hi = 18;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (a < (long double)Pow10Int[mid])
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

int64_t DivideHalfEven(int64_t raw, int scale) {
    if (scale >= 0) return ScaleInteger(raw, scale);
    if (-scale > 18) return 0;
    const int64_t divisor = Pow10Int[-scale];
    int64_t q = raw / divisor;
    const int64_t r = raw % divisor;
    const uint64_t twice = uint64_t(r < 0 ? -r : r) * 2;
    if (twice > uint64_t(divisor) || (twice == uint64_t(divisor) && (q & 1))) q += raw < 0 ? -1 : 1;
    return q;
}

QByteArray ScaledDecimal(int64_t value, int scale, const QByteArray& decimalSeparator) {
    if (scale == 0) return QByteArray::number(qlonglong(value));
    if (value == 0) return QByteArrayLiteral("0");
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? 0 - uint64_t(value) : uint64_t(value);
    QByteArray digits = QByteArray::number(qulonglong(magnitude));
    if (scale > 0) {
        digits.append(QByteArray(scale, '0'));
    } else {
        const int k = -scale;
        if (digits.size() <= k) digits.prepend(QByteArray(k - digits.size() + 1, '0'));
        QByteArray fraction = digits.right(k);
        digits.chop(k);
        while (!fraction.isEmpty() && fraction.endsWith('0'))
            fraction.chop(1);
        if (!fraction.isEmpty()) digits += decimalSeparator + fraction;
    }
    if (negative) digits.prepend('-');
    return digits;
}

QString FloatToStrGeneral(double value, QChar decimalSeparator) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    QString s = QString::number(value, 'g', 15);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        const int exponent = s.mid(e + 1).toInt();
        s = s.left(e) + QLatin1Char('E') + QString::number(exponent);
    }
    s.replace(QLatin1Char('.'), decimalSeparator);
    return s;
}

bool ParseInt64(const QString& text, int64_t& value) {
    bool ok = false;
    value = text.toLongLong(&ok, 10);
    return ok;
}

bool ParseFloat(const QString& text, QChar decimalSeparator, double& value) {
    QString t = text.trimmed();
    if (decimalSeparator != QLatin1Char('.')) {
        if (t.contains(QLatin1Char('.'))) return false;
        t.replace(decimalSeparator, QLatin1Char('.'));
    }
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    value = c.toDouble(t, &ok);
    return ok;
}

namespace {

bool ParseDate(const QString& text, const platform::TFormatSettings& fs, platform::TDateTime& date) {
    const QStringList parts = text.split(fs.DateSeparator);
    if (parts.size() != 3) return false;
    // The order of year, month and day follows the short date format.
    const QString f = fs.ShortDateFormat.toLower();
    struct Order {
        qsizetype pos;
        char field;
    } order[3] = {{f.indexOf(QLatin1Char('y')), 'y'},
                  {f.indexOf(QLatin1Char('m')), 'm'},
                  {f.indexOf(QLatin1Char('d')), 'd'}};
    std::sort(std::begin(order), std::end(order),
              [](const Order& a, const Order& b) { return a.pos < b.pos; });
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int n = parts[i].toInt(&ok);
        if (!ok) return false;
        (order[i].field == 'y' ? y : order[i].field == 'm' ? m : d) = n;
    }
    if (y < 100) y += 2000;
    return platform::TryEncodeDate(y, m, d, date);
}

bool ParseTime(const QString& text, const platform::TFormatSettings& fs, platform::TDateTime& time) {
    QString tp = text;
    int msec = 0;
    const qsizetype dot = std::max(tp.lastIndexOf(QLatin1Char('.')), tp.lastIndexOf(fs.DecimalSeparator));
    if (dot >= 0) {
        bool ok = false;
        msec = tp.mid(dot + 1).leftJustified(3, QLatin1Char('0')).left(3).toInt(&ok);
        if (!ok) return false;
        tp = tp.left(dot);
    }
    const QStringList parts = tp.split(fs.TimeSeparator);
    if (parts.size() < 2 || parts.size() > 3) return false;
    int hms[3] = {0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        hms[i] = parts[i].toInt(&ok);
        if (!ok) return false;
    }
    return platform::TryEncodeTime(hms[0], hms[1], hms[2], msec, time);
}

} // namespace

bool ParseDateTime(const QString& text, const platform::TFormatSettings& fs, platform::TDateTime& value) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    QString datePart, timePart;
    const qsizetype blank = t.indexOf(QLatin1Char(' '));
    if (blank >= 0) {
        datePart = t.left(blank);
        timePart = t.mid(blank + 1).trimmed();
    } else if (t.contains(fs.TimeSeparator) && !t.contains(fs.DateSeparator)) {
        timePart = t;
    } else {
        datePart = t;
    }
    platform::TDateTime date = 0, time = 0;
    if (!datePart.isEmpty() && !ParseDate(datePart, fs, date)) return false;
    if (!timePart.isEmpty() && !ParseTime(timePart, fs, time)) return false;
    value = date < 0 ? date - time : date + time;
    return true;
}

platform::TDateTime QtToDateTime(const QDateTime& dt) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    const platform::TDateTime date = platform::EncodeDate(d.year(), d.month(), d.day());
    const platform::TDateTime time = platform::EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
    return date < 0 ? date - time : date + time;
}

} // namespace db::statements
