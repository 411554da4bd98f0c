#pragma once
// Settings file with the profile semantics the program relies on: names match without regard to
// case, values are trimmed and lose one pair of enclosing quotes, at most 2047 characters are
// returned, integers are decimal or hexadecimal ("0x", "0X", "$") within the 32-bit signed range.
// Every call reads (or rewrites) the file, so changes made while the program runs are seen.
// A path that is not a regular file, or a file over 16 MiB, reads as a missing file and is never
// written over.
// The file's encoding: its byte-order mark; without one, UTF-8 when its bytes are valid UTF-8 and
// not plain ASCII, else Windows-1250. Writing keeps the encoding and the presence of a mark.

#include "StringList.h"

#include <QHash>
#include <QString>
#include <optional>

namespace platform {

// One section of a settings file as it was when read: lookups by name without reading the file
// again, for a reader that asks for many names at once.
class TIniSection {
public:
    std::optional<QString> Value(const QString& ident) const;
    int ReadInteger(const QString& ident, int defaultValue) const;

private:
    friend class TIniFile;
    QHash<QString, QString> FValues; // case-folded name -> value
};

class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return FFileName; }

    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) const;
    int ReadInteger(const QString& section, const QString& ident, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& ident, bool defaultValue) const;
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& ident) const;
    void ReadSection(const QString& section, TStringList& idents) const;
    void ReadSections(TStringList& sections) const;
    void ReadSectionValues(const QString& section, TStringList& values) const;
    // The section read now, once; what ReadInteger would give for each of its names.
    TIniSection ReadSectionOnce(const QString& section) const;

    // Writing creates the file and the section when missing and replaces an existing value in place.
    // Raises EFCreateError when the file cannot be written.
    void WriteString(const QString& section, const QString& ident, const QString& value);
    void WriteInteger(const QString& section, const QString& ident, int value);
    void WriteBool(const QString& section, const QString& ident, bool value);
    void DeleteKey(const QString& section, const QString& ident);
    void EraseSection(const QString& section);

private:
    struct Lines;
    std::optional<QString> RawValue(const QString& section, const QString& ident) const;

    QString FFileName;
};

// The runtime's integer conversion: optional sign, decimal digits or a hexadecimal number after
// "$", "0x" or "0X"; nothing else, and nothing outside the 32-bit signed range.
bool TryStrToInt(const QString& text, int& value);
int StrToIntDef(const QString& text, int defaultValue);
// Raises EConvertError "''%s'' is not a valid integer value".
int StrToInt(const QString& text);

} // namespace platform
