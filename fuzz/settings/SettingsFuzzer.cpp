// Fuzzes the settings reader over arbitrary setup.ini bytes (a plant worker can write the file).
// Reads the program's keys and every key the file names; a value is at most 2047 characters, an
// integer is the text's value or the default, a boolean is the integer read with default 0 or 1.

#include "platform/IniFile.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

using namespace platform;

namespace {

void CheckKey(const TIniFile& ini, const QString& section, const QString& ident) {
    const QString text = ini.ReadString(section, ident, QStringLiteral("brak"));
    if (text.size() > 2047) abort();
    int parsed = 0;
    const bool isNumber = TryStrToInt(ini.ReadString(section, ident, QString()), parsed);
    for (int fallback : {3, -7}) {
        const int value = ini.ReadInteger(section, ident, fallback);
        if (value != (isNumber ? parsed : fallback)) abort();
    }
    if (ini.ReadBool(section, ident, false) != (ini.ReadInteger(section, ident, 0) != 0)) abort();
    if (ini.ReadBool(section, ident, true) != (ini.ReadInteger(section, ident, 1) != 0)) abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = QStringLiteral("/tmp/fuzz_settings_%1.ini").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) abort();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const TIniFile ini(path);
    for (const char* key : {"formy", "vorek", "user", "password"})
        CheckKey(ini, QStringLiteral("sql"), QLatin1String(key));
    for (const char* key : {"godzina", "historia", "log"})
        CheckKey(ini, QStringLiteral("set"), QLatin1String(key));
    for (const char* key : {"150", "0", "-1"})
        CheckKey(ini, QStringLiteral("delta"), QLatin1String(key));

    TStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < 16; ++i) {
        if (!ini.SectionExists(sections[i])) abort();
        TStringList idents;
        ini.ReadSection(sections[i], idents);
        TStringList values;
        ini.ReadSectionValues(sections[i], values);
        for (int j = 0; j < idents.Count() && j < 16; ++j) {
            if (!ini.ValueExists(sections[i], idents[j])) abort();
            CheckKey(ini, sections[i], idents[j]);
        }
    }
    return 0;
}
