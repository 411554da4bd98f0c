#include "Schedule.h"

#include "lib/quorvel/Tmysystem.h"
#include "platform/IniFile.h"

#include <cstdio>

namespace {

constexpr int kExitSchedule = 0;
constexpr int kExitNoSchedule = 1; // the setting names no hour of the day

QString SettingsFile() {
    return quorvel::Tmysystem::MojKatalog() + QStringLiteral("setup.ini");
}

// Kept as a 16-bit value, as the form keeps it: -1 becomes 65535, never an hour of the day.
quint16 ConfiguredHour() {
    const platform::TIniFile ini(SettingsFile());
    return quint16(ini.ReadInteger(QStringLiteral("set"), QStringLiteral("godzina"), 3));
}

} // namespace

QString ConfiguredSchedule() {
    const quint16 hour = ConfiguredHour();
    if (hour > 23) return QString();
    return QStringLiteral("*-*-* %1:05:00").arg(hour, 2, 10, QLatin1Char('0'));
}

int PrintSchedule() {
    const QString schedule = ConfiguredSchedule();
    if (schedule.isEmpty()) {
        std::fprintf(
            stderr,
            "tarvelo: [set] godzina=%u w %s nie jest godziną 0..23; codzienna aktualizacja nie nastąpi\n",
            unsigned(ConfiguredHour()), SettingsFile().toUtf8().constData());
        return kExitNoSchedule;
    }
    std::printf("%s\n", schedule.toUtf8().constData());
    return kExitSchedule;
}
