#include "Tmyfile.h"

#include "lib/quorvel/TmyStr.h"
#include "platform/Application.h"
#include "platform/Encoding.h"
#include "platform/Format.h"
#include "platform/IniFile.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <functional>

namespace quorvel {

namespace {

QString WithSlash(const QString& p) {
    return p.isEmpty() || p.endsWith(u'/') ? p : p + u'/';
}

QString Location(QStandardPaths::StandardLocation loc) {
    return WithSlash(QStandardPaths::writableLocation(loc));
}

template <class F> void Write(const QString& fileName, F&& body) {
    try {
        platform::TIniFile ini(fileName);
        body(ini);
    } catch (const platform::EStreamError&) {
        throw EIniFileException(platform::Format(u"Unable to write to %s", {fileName}));
    }
}

} // namespace

QString Tmyfile::GetSpecialFolderPath(int FolderIndex) {
    switch (FolderIndex) {
    case 0:  // desktop
    case 16: // desktop directory
        return Location(QStandardPaths::DesktopLocation);
    case 2:  // programs of the start menu
    case 11: // start menu
        return Location(QStandardPaths::ApplicationsLocation);
    case 5: // documents
        return Location(QStandardPaths::DocumentsLocation);
    case 7: // start-up
        return WithSlash(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/autostart"));
    case 13: // music
        return Location(QStandardPaths::MusicLocation);
    case 14: // videos
        return Location(QStandardPaths::MoviesLocation);
    case 26: // application data of the user
        return Location(QStandardPaths::GenericConfigLocation);
    case 28: // local application data
        return Location(QStandardPaths::GenericDataLocation);
    case 32: // internet cache
        return Location(QStandardPaths::GenericCacheLocation);
    case 35: { // application data common to all users: the first system-wide data folder
        const QStringList all = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
        return all.size() > 1 ? WithSlash(all[1]) : QString();
    }
    case 39: // pictures
        return Location(QStandardPaths::PicturesLocation);
    default:
        return QString();
    }
}

QByteArray Tmyfile::f_MojeDokumenty() {
    return platform::AnsiFromString(GetSpecialFolderPath(5));
}
QByteArray Tmyfile::f_DaneAplikacji() {
    return platform::AnsiFromString(GetSpecialFolderPath(35));
}
QByteArray Tmyfile::f_FolderTemp() {
    return platform::AnsiFromString(WithSlash(QDir::tempPath()));
}

QByteArray Tmyfile::ForceBackslash(const QByteArray& PathName) {
    if (PathName.isEmpty() || PathName.endsWith('/') || PathName.endsWith('\\')) return PathName;
    return PathName + '/';
}

QByteArray Tmyfile::MakeValidFileName(const QByteArray& Str) {
    QByteArray r = Str;
    for (char& c : r) {
        const bool ok = c == '.' || c == '_' || c == '~' || (c >= '0' && c <= '9') ||
                        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!ok) c = '_';
    }
    if (r.isEmpty()) r = "-";
    if (r.startsWith('.')) r.prepend('_');
    return r.left(255);
}

QString Tmyfile::WymienPlikWSciezce(const QString& path, const QString& newfile) {
    const qsizetype p = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.left(p + 1) + newfile;
}

QString Tmyfile::BajtyToStr(int64_t x) {
    return TmyStr::MyFormatFloat(QStringLiteral("#,###,##0"), double(x));
}

int64_t Tmyfile::RozmiarPliku(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.size() : 0;
}

int64_t Tmyfile::RozmiarKatalogu(const QString& dir, bool subdir) {
    const QString d = WithSlash(dir);
    int64_t total = 0;
    const QFileInfoList entries =
        QDir(d).entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : entries) {
        if (fi.isDir() && !fi.isSymLink()) {
            if (subdir && !fi.fileName().startsWith(u'.')) total += RozmiarKatalogu(fi.filePath(), true);
        } else {
            total += fi.size();
        }
    }
    return total;
}

void Tmyfile::KasujzKatalogu(const QString& StartDir) {
    // An empty name would be the working folder (the program's own, for the service).
    if (StartDir.isEmpty() || !QFileInfo(StartDir).isDir()) return;
    const QFileInfoList entries = QDir(StartDir).entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden |
                                                               QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : entries) {
        if (fi.fileName().startsWith(u'.')) continue;
        if (fi.isDir() && !fi.isSymLink()) {
            QDir().rmdir(fi.filePath()); // only when empty
        } else {
            if (!QFile::remove(fi.filePath()) && fi.isDir()) QDir().rmdir(fi.filePath());
            platform::Application().ProcessMessages();
        }
    }
}

bool Tmyfile::SetFileDate(const QString& FileName, platform::TDateTime FileDate) {
    QFile f(FileName);
    if (!f.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) return false;
    int y, mo, d, h, mi, s, ms;
    platform::DecodeDate(FileDate, y, mo, d);
    platform::DecodeTime(FileDate, h, mi, s, ms);
    return f.setFileTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)), QFileDevice::FileModificationTime);
}

bool Tmyfile::IniReadBool(const QString& FileName, const QString& Section, const QString& Line) {
    return platform::TIniFile(FileName).ReadBool(Section, Line, false);
}

int Tmyfile::IniReadInteger(const QString& FileName, const QString& Section, const QString& Line, int wd) {
    return platform::TIniFile(FileName).ReadInteger(Section, Line, wd);
}

QString Tmyfile::IniReadString(const QString& FileName, const QString& Section, const QString& Line) {
    return platform::TIniFile(FileName).ReadString(Section, Line, QString());
}

void Tmyfile::IniWriteBool(const QString& FileName, const QString& Section, const QString& Line, bool Value) {
    Write(FileName, [&](platform::TIniFile& ini) { ini.WriteBool(Section, Line, Value); });
}

void Tmyfile::IniWriteInteger(const QString& FileName, const QString& Section, const QString& Line,
                              int Value) {
    Write(FileName, [&](platform::TIniFile& ini) { ini.WriteInteger(Section, Line, Value); });
}

void Tmyfile::IniWriteString(const QString& FileName, const QString& Section, const QString& Line,
                             const QString& Value) {
    Write(FileName, [&](platform::TIniFile& ini) { ini.WriteString(Section, Line, Value); });
}

} // namespace quorvel
