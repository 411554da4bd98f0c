// Fuzzes the settings reader and writer with setup.ini files built from the input: sections (some
// repeated in another case), keys (the program's, mould ids, Polish letters, thousands of them),
// values (numbers, quoted text, '=' inside, longer than 2047), comments and blank lines, in every
// encoding the reader knows, with LF or CR LF. What was built is the model the reads are checked
// against:
//  - a key reads as the value it was given (blanks around it and one pair of quotes dropped, at most
//    2047 characters); the first section of a name and the first key of a name win; names match
//    without regard to case;
//  - the section read once answers as the lookups through the file do;
//  - the same file with LF instead of CR LF reads the same;
//  - a value written with the writer reads back equal, and every other key keeps its value.

#include "platform/Encoding.h"
#include "platform/IniFile.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace {

constexpr int kMaxValue = 2047;

const char16_t* const kLetters = u"abcXYZ019_-.,/ ąęłŁóŚżźĆń\"'=;[]";

struct Entry {
    QString Key;
    QString Expected;
};
struct Section {
    QString Name;
    std::vector<Entry> Entries;
};

QString Text(FuzzedDataProvider& in, size_t maxLength, bool allowSpecial) {
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, maxLength);
    QString text;
    const size_t letters = std::char_traits<char16_t>::length(kLetters);
    const size_t plain = letters - (allowSpecial ? 0 : 6); // the last six: " ' = ; [ ]
    for (size_t i = 0; i < length && in.remaining_bytes() > 0; ++i)
        text += QChar(kLetters[in.ConsumeIntegralInRange<size_t>(0, plain - 1)]);
    return text.trimmed();
}

QString Name(FuzzedDataProvider& in) {
    static const char* const known[] = {"sql",   "set",     "delta", "formy",
                                        "vorek", "godzina", "log",   "historia"};
    QString name;
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        name = QLatin1String(known[in.ConsumeIntegralInRange<size_t>(0, std::size(known) - 1)]);
        break;
    case 1:
        name = QString::number(in.ConsumeIntegralInRange(-5, 200000));
        break;
    default:
        name = Text(in, 12, false);
    }
    if (in.ConsumeBool()) name = name.toUpper();
    return name.isEmpty() ? QStringLiteral("k") : name;
}

QString Value(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0:
        return QString::number(in.ConsumeIntegral<int32_t>());
    case 1:
        return QStringLiteral("0x") + QString::number(in.ConsumeIntegral<uint32_t>(), 16);
    case 2:
        return QString(in.ConsumeIntegralInRange(2000, 2100), QLatin1Char('7'));
    default:
        return Text(in, 40, true);
    }
}

// The value as the reader gives it back: one pair of enclosing quotes dropped.
QString Unquoted(const QString& v) {
    if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
        v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

bool SameName(const QString& a, const QString& b) {
    return a.toCaseFolded() == b.toCaseFolded();
}

// The model's answer: the first section of the name, the first key of the name in it.
std::optional<QString> Expected(const std::vector<Section>& sections, const QString& section,
                                const QString& key) {
    for (const Section& s : sections) {
        if (!SameName(s.Name, section)) continue;
        for (const Entry& e : s.Entries)
            if (SameName(e.Key, key)) return e.Expected;
        return std::nullopt;
    }
    return std::nullopt;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) abort();
}

// A failed property names its line, so a crash report says which one.
#define Check(condition)                                                                                     \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "property failed: line %d: %s\n", __LINE__, #condition);                    \
            abort();                                                                                         \
        }                                                                                                    \
    } while (false)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = QStringLiteral("/tmp/fuzz_settings_%1.ini").arg(getpid());
    FuzzedDataProvider in(data, size);

    std::vector<Section> sections;
    QStringList lines;
    const int sectionCount = in.ConsumeIntegralInRange(0, 6);
    for (int s = 0; s < sectionCount; ++s) {
        Section section;
        section.Name =
            !sections.empty() && in.ConsumeBool()
                ? sections[in.ConsumeIntegralInRange<size_t>(0, sections.size() - 1)].Name.toLower()
                : Name(in);
        lines << QStringLiteral("[") + section.Name + QStringLiteral("]");
        const int keys = in.ConsumeIntegralInRange(0, in.ConsumeBool() ? 3000 : 12);
        for (int k = 0; k < keys && in.remaining_bytes() > 0; ++k) {
            if (in.ConsumeProbability<float>() < 0.1f) {
                lines << (in.ConsumeBool() ? QStringLiteral("; ") + Text(in, 10, true) : QString());
                continue;
            }
            Entry entry;
            entry.Key = Name(in);
            const QString value = Value(in);
            const bool quoted = in.ConsumeBool();
            const QString pad = in.ConsumeBool() ? QStringLiteral(" \t") : QString();
            const QString shown = quoted ? QStringLiteral("\"") + value + QStringLiteral("\"") : value;
            entry.Expected = quoted ? value : Unquoted(value);
            lines << pad + entry.Key + pad + QLatin1Char('=') + pad + shown + pad;
            section.Entries.push_back(entry);
        }
        sections.push_back(section);
    }

    static const TTextEncoding encodings[] = {TTextEncoding::Ansi, TTextEncoding::UTF8,
                                              TTextEncoding::UTF16LE, TTextEncoding::UTF16BE};
    TTextEncoding encoding = in.PickValueInArray(encodings);
    // Without a mark, Windows-1250 bytes that happen to be valid UTF-8 are read as UTF-8 by design.
    const bool marked =
        encoding != TTextEncoding::Ansi && (encoding != TTextEncoding::UTF8 || in.ConsumeBool());
    const auto bytes = [&](const QString& lineEnd) {
        const QByteArray body = Encode(lines.join(lineEnd) + lineEnd, encoding);
        return (marked ? Preamble(encoding) : QByteArray()) + body;
    };
    const QByteArray crlf = bytes(QStringLiteral("\r\n"));
    int markLength = 0;
    const TTextEncoding detected = DetectTextEncoding(crlf, markLength);
    if (!marked && Decode(crlf, detected) != Decode(crlf, encoding)) return 0;

    // Every key (at most 16 looked up through the file, each lookup reads it), and one that is not there.
    TIniFile ini(path);
    const auto readAll = [&](std::vector<QString>& out) {
        out.clear();
        int looked = 0;
        for (const Section& s : sections) {
            const TIniSection once = ini.ReadSectionOnce(s.Name);
            for (const Entry& e : s.Entries) {
                const std::optional<QString> want = Expected(sections, s.Name, e.Key);
                Check(once.Value(e.Key) == want);
                if (looked++ < 16) {
                    const QString got = ini.ReadString(s.Name, e.Key, QStringLiteral("\x01"));
                    Check(got == (want ? want->left(kMaxValue) : QStringLiteral("\x01")));
                    Check(once.ReadInteger(e.Key, -7) == ini.ReadInteger(s.Name, e.Key, -7));
                    out.push_back(got);
                }
            }
        }
        Check(!ini.ValueExists(QStringLiteral("nie ma"), QStringLiteral("takiego")));
    };
    Write(path, crlf);
    std::vector<QString> withCrLf, withLf;
    readAll(withCrLf);
    Write(path, bytes(QStringLiteral("\n")));
    readAll(withLf);
    Check(withCrLf == withLf);

    // Writing one value: it reads back, and nothing else changes.
    if (!sections.empty() && in.remaining_bytes() > 0) {
        const Section& s = sections[in.ConsumeIntegralInRange<size_t>(0, sections.size() - 1)];
        QString key = s.Entries.empty()
                          ? Name(in)
                          : s.Entries[in.ConsumeIntegralInRange<size_t>(0, s.Entries.size() - 1)].Key;
        QString value = Unquoted(Text(in, 30, true)).trimmed();
        if (value != Unquoted(value)) value = QStringLiteral("x");
        // New letters could turn an unmarked file into another encoding's (see above).
        if (!marked)
            for (QString* text : {&key, &value})
                for (QChar& c : *text)
                    if (c.unicode() > 127) c = QLatin1Char('x');
        ini.WriteString(s.Name, key, value);
        Check(ini.ReadString(s.Name, key, QStringLiteral("\x01")) == value);
        for (const Section& other : sections) {
            const TIniSection once = ini.ReadSectionOnce(other.Name);
            for (const Entry& e : other.Entries)
                if (!(SameName(other.Name, s.Name) && SameName(e.Key, key)))
                    Check(once.Value(e.Key) == Expected(sections, other.Name, e.Key));
        }
    }
    return 0;
}
