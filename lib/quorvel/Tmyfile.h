#pragma once
// File, folder and settings-file helpers. Paths use "/" as their separator; the special folders
// are the desktop's XDG counterparts. Each settings routine opens the file for that one call,
// with the same reader (and rules) as the program's start-up.

#include "platform/DateTime.h"
#include "platform/Exceptions.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace quorvel {

// A settings file that could not be written: "Unable to write to <file>".
class EIniFileException : public platform::Exception {
public:
    using platform::Exception::Exception;
};

class Tmyfile {
public:
    // Folder numbers as the platform has always numbered them (5 documents, 35 data common to all
    // users, ...); the path ends with "/", empty when there is no counterpart.
    static QString GetSpecialFolderPath(int FolderIndex);
    static QByteArray f_MojeDokumenty();
    static QByteArray f_DaneAplikacji();
    static QByteArray f_FolderTemp();
    // Appends "/" unless empty or already ending in a separator.
    static QByteArray ForceBackslash(const QByteArray& PathName);
    static QByteArray MakeValidFileName(const QByteArray& Str);
    static QString WymienPlikWSciezce(const QString& path, const QString& newfile);
    static QString BajtyToStr(int64_t x);
    static int64_t RozmiarPliku(const QString& path);
    static int64_t RozmiarKatalogu(const QString& dir, bool subdir);
    static void KasujzKatalogu(const QString& StartDir);
    static bool SetFileDate(const QString& FileName, platform::TDateTime FileDate);

    static bool IniReadBool(const QString& FileName, const QString& Section, const QString& Line);
    static int IniReadInteger(const QString& FileName, const QString& Section, const QString& Line, int wd);
    static QString IniReadString(const QString& FileName, const QString& Section, const QString& Line);
    // Raise EIniFileException when the file cannot be written.
    static void IniWriteBool(const QString& FileName, const QString& Section, const QString& Line,
                             bool Value);
    static void IniWriteInteger(const QString& FileName, const QString& Section, const QString& Line,
                                int Value);
    static void IniWriteString(const QString& FileName, const QString& Section, const QString& Line,
                               const QString& Value);
};

} // namespace quorvel
