#pragma once
// Regional settings used for dates, times and numbers. This build has no user locale to read,
// so the values below are fixed here, in one place.

#include <QChar>
#include <QString>

namespace platform {

struct TFormatSettings {
    QString ShortDateFormat = QStringLiteral("yyyy-mm-dd");
    QString LongDateFormat = QStringLiteral("yyyy-mm-dd");
    QString ShortTimeFormat = QStringLiteral("hh:nn");
    QString LongTimeFormat = QStringLiteral("hh:nn:ss");
    QChar DateSeparator = QLatin1Char('-');
    QChar TimeSeparator = QLatin1Char(':');
    QChar DecimalSeparator = QLatin1Char(',');
    QChar ThousandSeparator = QChar(0x00A0);
};

// The process-wide settings in force; tests may change them and restore them.
TFormatSettings& RegionalSettings();

} // namespace platform
