// Parses arbitrary text as a date-time under one of several regional settings.
// Input: 1 byte choosing the settings, then the text as UTF-8.
// A text that parses is a real day and time: inside years 1..9999, and written again with the same
// settings it parses to the same value (to the millisecond).

#include "db/statements/ValueConversions.h"

#include <QStringList>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void CheckAt(bool ok, int line) {
    if (!ok) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}
#define Check(ok) CheckAt((ok), __LINE__)

platform::TFormatSettings Settings(uint8_t choice) {
    platform::TFormatSettings fs;
    switch (choice % 4) {
    case 0: // the defaults: yyyy-mm-dd, ':' and ','
        break;
    case 1:
        fs.ShortDateFormat = QStringLiteral("dd.mm.yyyy");
        fs.DateSeparator = QLatin1Char('.');
        break;
    case 2:
        fs.ShortDateFormat = QStringLiteral("m/d/yy");
        fs.DateSeparator = QLatin1Char('/');
        fs.DecimalSeparator = QLatin1Char('.');
        break;
    default:
        fs.ShortDateFormat = QStringLiteral("yyyy.mm.dd");
        fs.DateSeparator = QLatin1Char('.');
        fs.TimeSeparator = QLatin1Char('.');
        break;
    }
    return fs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const platform::TFormatSettings fs = Settings(data[0]);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    platform::TDateTime value = 0;
    if (!db::statements::ParseDateTime(text, fs, value)) return 0;
    Check(std::isfinite(value));
    const platform::TTimeStamp ts = platform::DateTimeToTimeStamp(value);
    int year = 0, month = 0, day = 0;
    platform::DecodeDate(value, year, month, day);
    Check(year >= 1 && year <= 9999 && ts.Time >= 0 && ts.Time < platform::MSecsPerDay);
    // Written back in the settings' order with every field, it reads as the same instant.
    if (year < 100) return 0; // two-digit years are read as 20yy
    const QString f = fs.ShortDateFormat.toLower();
    const QString y = QString::number(year), m = QString::number(month), d = QString::number(day);
    QStringList fields;
    if (f.indexOf(u'd') < f.indexOf(u'm'))
        fields = {d, m, y};
    else if (f.indexOf(u'd') < f.indexOf(u'y'))
        fields = {m, d, y};
    else
        fields = {y, m, d};
    const int ms = ts.Time;
    const QStringList time = {QString::number(ms / 3600000), QString::number(ms / 60000 % 60),
                              QString::number(ms / 1000 % 60)};
    const QString again = fields.join(fs.DateSeparator) + QLatin1Char(' ') + time.join(fs.TimeSeparator) +
                          QLatin1Char('.') + QString::number(ms % 1000).rightJustified(3, QLatin1Char('0'));
    platform::TDateTime reread = 0;
    Check(db::statements::ParseDateTime(again, fs, reread));
    const platform::TTimeStamp back = platform::DateTimeToTimeStamp(reread);
    Check(back.Date == ts.Date && back.Time == ts.Time);
    return 0;
}
