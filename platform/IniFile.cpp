#include "IniFile.h"

#include "Encoding.h"
#include "Exceptions.h"
#include "Format.h"
#include "TextFile.h"

#include <QFile>
#include <QScopeGuard>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kMaxValueLength = 2047;
// Far beyond any real settings file (100 000 corrections are about 1.5 MB).
constexpr qint64 kMaxSettingsFileSize = 16 * 1024 * 1024;

struct FileText {
    QStringList lines;
    TTextEncoding encoding = TTextEncoding::Ansi;
    bool marked = false;
    bool exists = false;
    // Why a file that is there was not read (not a regular file, too large, unreadable); reads
    // then see defaults, and writes are refused so that the file is never replaced by a stub.
    QString refused;
};

// Reads the whole file; a pipe or device at the path must not block or exhaust the program.
QByteArray ReadSettingsBytes(const QString& fileName, FileText& ft) {
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) ft.refused = SysErrorMessage(errno);
        return {};
    }
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ft.refused = SysErrorMessage(errno);
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        ft.refused = QStringLiteral("Not a regular file");
        return {};
    }
    if (st.st_size > kMaxSettingsFileSize) {
        ft.refused = QStringLiteral("File too large");
        return {};
    }
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype have = 0;
    // A file growing while it is read is read up to its size at the start.
    while (have < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ft.refused = SysErrorMessage(errno);
            return {};
        }
        if (got == 0) break;
        have += got;
    }
    bytes.truncate(have);
    ft.exists = true;
    return bytes;
}

FileText Load(const QString& fileName) {
    FileText ft;
    QByteArray bytes = ReadSettingsBytes(fileName, ft);
    if (!ft.exists) return ft;
    TStringList list;
    int markLength = 0;
    ft.encoding = DetectTextEncoding(bytes, markLength);
    ft.marked = markLength > 0;
    bytes.remove(0, markLength);
    list.SetText(Decode(bytes, ft.encoding));
    bytes = QByteArray();
    ft.lines = list.Strings();
    return ft;
}

// The file to be changed, read; a file that exists but could not be read is not replaced.
FileText LoadForWriting(const QString& fileName) {
    FileText ft = Load(fileName);
    if (!ft.refused.isEmpty()) throw EFCreateError(Format(rtl::SFCreateErrorEx, {fileName, ft.refused}));
    return ft;
}

bool IsSectionLine(const QString& trimmed) {
    return trimmed.startsWith(QLatin1Char('['));
}

QString SectionName(const QString& trimmed) {
    int end = trimmed.indexOf(QLatin1Char(']'));
    return (end < 0 ? trimmed.mid(1) : trimmed.mid(1, end - 1)).trimmed();
}

bool IsComment(const QString& trimmed) {
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';'));
}

QString KeyOf(const QString& trimmed) {
    int eq = trimmed.indexOf(QLatin1Char('='));
    return (eq < 0 ? trimmed : trimmed.left(eq)).trimmed();
}

QString ValueOf(const QString& trimmed) {
    int eq = trimmed.indexOf(QLatin1Char('='));
    if (eq < 0) return QString();
    QString v = trimmed.mid(eq + 1).trimmed();
    if (v.size() >= 2) {
        const QChar q = v.front();
        if ((q == QLatin1Char('"') || q == QLatin1Char('\'')) && v.back() == q) v = v.mid(1, v.size() - 2);
    }
    return v;
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Range [begin, end) of the body lines of the first section with this name; begin = -1 when absent.
std::pair<int, int> FindSection(const QStringList& lines, const QString& section) {
    for (int i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (IsSectionLine(t) && SameName(SectionName(t), section)) {
            int j = i + 1;
            while (j < lines.size() && !IsSectionLine(lines[j].trimmed()))
                ++j;
            return {i + 1, j};
        }
    }
    return {-1, -1};
}

void Save(const QString& fileName, const FileText& ft) {
    QString text;
    for (const QString& l : ft.lines)
        text += l + QLatin1String("\r\n");
    // Written back as it was read: a file without a mark keeps having none.
    SaveTextFile(fileName, text, ft.encoding, 0, ft.marked);
}

} // namespace

bool TryStrToInt(const QString& text, int& value) {
    int i = 0;
    const int n = text.size();
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n) return false;
    int64_t magnitude = 0;
    for (; i < n; ++i) {
        const int d = text[i].unicode() < 128 ? QChar(text[i]).digitValue() : -1;
        int digit = d;
        if (base == 16 && d < 0) {
            const char16_t c = text[i].toLower().unicode();
            digit = (c >= u'a' && c <= u'f') ? c - u'a' + 10 : -1;
        }
        if (digit < 0 || digit >= base) return false;
        magnitude = magnitude * base + digit;
        if (magnitude > int64_t(1) << 32) return false;
    }
    const int64_t v = negative ? -magnitude : magnitude;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = int(v);
    return true;
}

int StrToIntDef(const QString& text, int defaultValue) {
    int v;
    return TryStrToInt(text, v) ? v : defaultValue;
}

int StrToInt(const QString& text) {
    int v;
    if (!TryStrToInt(text, v)) throw EConvertError(Format(rtl::SInvalidInteger, {text}));
    return v;
}

TIniFile::TIniFile(const QString& fileName) : FFileName(fileName) {}

std::optional<QString> TIniFile::RawValue(const QString& section, const QString& ident) const {
    const FileText ft = Load(FFileName);
    auto [begin, end] = FindSection(ft.lines, section);
    if (begin < 0) return std::nullopt;
    for (int i = begin; i < end; ++i) {
        const QString t = ft.lines[i].trimmed();
        if (IsComment(t)) continue;
        if (SameName(KeyOf(t), ident)) return ValueOf(t);
    }
    return std::nullopt;
}

QString TIniFile::ReadString(const QString& section, const QString& ident,
                             const QString& defaultValue) const {
    const std::optional<QString> v = RawValue(section, ident);
    return (v ? *v : defaultValue).left(kMaxValueLength);
}

namespace {

int IntegerOf(const std::optional<QString>& value, int defaultValue) {
    const QString s = value ? value->left(kMaxValueLength) : QString();
    return s.isEmpty() ? defaultValue : StrToIntDef(s, defaultValue);
}

} // namespace

int TIniFile::ReadInteger(const QString& section, const QString& ident, int defaultValue) const {
    return IntegerOf(RawValue(section, ident), defaultValue);
}

TIniSection TIniFile::ReadSectionOnce(const QString& section) const {
    const FileText ft = Load(FFileName);
    auto [begin, end] = FindSection(ft.lines, section);
    TIniSection result;
    for (int i = begin; begin >= 0 && i < end; ++i) {
        const QString t = ft.lines[i].trimmed();
        // The first of duplicate names wins, as in a lookup through the file.
        if (IsComment(t)) continue;
        const QString key = KeyOf(t).toCaseFolded();
        if (!result.FValues.contains(key)) result.FValues.insert(key, ValueOf(t));
    }
    return result;
}

std::optional<QString> TIniSection::Value(const QString& ident) const {
    const auto it = FValues.constFind(ident.toCaseFolded());
    if (it == FValues.cend()) return std::nullopt;
    return *it;
}

int TIniSection::ReadInteger(const QString& ident, int defaultValue) const {
    return IntegerOf(Value(ident), defaultValue);
}

bool TIniFile::ReadBool(const QString& section, const QString& ident, bool defaultValue) const {
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const QString& section) const {
    return FindSection(Load(FFileName).lines, section).first >= 0;
}

bool TIniFile::ValueExists(const QString& section, const QString& ident) const {
    return RawValue(section, ident).has_value();
}

void TIniFile::ReadSection(const QString& section, TStringList& idents) const {
    const FileText ft = Load(FFileName);
    auto [begin, end] = FindSection(ft.lines, section);
    idents.BeginUpdate();
    idents.Clear();
    for (int i = begin; begin >= 0 && i < end; ++i) {
        const QString t = ft.lines[i].trimmed();
        if (!IsComment(t)) idents.Add(KeyOf(t));
    }
    idents.EndUpdate();
}

void TIniFile::ReadSections(TStringList& sections) const {
    const FileText ft = Load(FFileName);
    sections.BeginUpdate();
    sections.Clear();
    for (const QString& l : ft.lines) {
        const QString t = l.trimmed();
        if (IsSectionLine(t)) sections.Add(SectionName(t));
    }
    sections.EndUpdate();
}

void TIniFile::ReadSectionValues(const QString& section, TStringList& values) const {
    const FileText ft = Load(FFileName);
    auto [begin, end] = FindSection(ft.lines, section);
    values.BeginUpdate();
    values.Clear();
    for (int i = begin; begin >= 0 && i < end; ++i) {
        const QString t = ft.lines[i].trimmed();
        if (!IsComment(t)) values.Add(KeyOf(t) + QLatin1Char('=') + ValueOf(t));
    }
    values.EndUpdate();
}

void TIniFile::WriteString(const QString& section, const QString& ident, const QString& value) {
    FileText ft = LoadForWriting(FFileName);
    auto [begin, end] = FindSection(ft.lines, section);
    const QString line = ident + QLatin1Char('=') + value;
    if (begin < 0) {
        ft.lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        ft.lines.append(line);
    } else {
        int at = -1;
        for (int i = begin; i < end && at < 0; ++i) {
            const QString t = ft.lines[i].trimmed();
            if (!IsComment(t) && SameName(KeyOf(t), ident)) at = i;
        }
        if (at >= 0) {
            ft.lines[at] = line;
        } else {
            // After the last non-blank line of the section.
            int insertAt = end;
            while (insertAt > begin && ft.lines[insertAt - 1].trimmed().isEmpty())
                --insertAt;
            ft.lines.insert(insertAt, line);
        }
    }
    Save(FFileName, ft);
}

void TIniFile::WriteInteger(const QString& section, const QString& ident, int value) {
    WriteString(section, ident, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& ident, bool value) {
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::DeleteKey(const QString& section, const QString& ident) {
    FileText ft = LoadForWriting(FFileName);
    auto [begin, end] = FindSection(ft.lines, section);
    if (begin < 0) return;
    for (int i = begin; i < end; ++i) {
        const QString t = ft.lines[i].trimmed();
        if (!IsComment(t) && SameName(KeyOf(t), ident)) {
            ft.lines.removeAt(i);
            Save(FFileName, ft);
            return;
        }
    }
}

void TIniFile::EraseSection(const QString& section) {
    FileText ft = LoadForWriting(FFileName);
    auto [begin, end] = FindSection(ft.lines, section);
    if (begin < 0) return;
    ft.lines.remove(begin - 1, end - begin + 1);
    Save(FFileName, ft);
}

} // namespace platform
