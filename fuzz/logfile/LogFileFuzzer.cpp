// Fuzzes the loading of the monthly log file over arbitrary bytes (the file lies in a folder a
// plant worker can write): encoding detection and decoding, then line breaks made CR LF. A file is
// either refused with the open error or yields text without a lone CR or LF, which a save in the
// detected encoding and a new load give back unchanged.

#include "platform/Exceptions.h"
#include "platform/TextFile.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

using namespace platform;

namespace {

bool HasLoneBreak(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r') && (i + 1 == text.size() || text[i + 1] != QLatin1Char('\n')))
            return true;
        if (text[i] == QLatin1Char('\n') && (i == 0 || text[i - 1] != QLatin1Char('\r'))) return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = QStringLiteral("/tmp/fuzz_logfile_%1.txt").arg(getpid());
    static const QString copy = QStringLiteral("/tmp/fuzz_logfile_%1_copy.txt").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) abort();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    TTextEncoding detected = TTextEncoding::Ansi;
    QString text;
    try {
        text = NormalizeLineBreaks(LoadTextFile(path, detected));
    } catch (const EFOpenError&) {
        return 0; // bytes that are not text in their encoding: refused, nothing loaded
    }
    if (HasLoneBreak(text)) abort();
    if (NormalizeLineBreaks(text) != text) abort();

    SaveTextFile(copy, text, detected);
    TTextEncoding again = TTextEncoding::Ansi;
    if (LoadTextFile(copy, again) != text) abort();
    if (again != detected) abort();
    return 0;
}
