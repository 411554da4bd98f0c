#pragma once
// Connection parameters as text lines ("user_name=SYSDBA") and the database parameter buffer
// (DPB) built from them for isc_attach_database.

#include "platform/StringList.h"

#include <QByteArray>
#include <QString>

// The connection parameter lines of a database, one "name=value" per line.
class TDBParams : public platform::TStringList {
public:
    using TStringList::TStringList;
    // Index of the first line whose name starts with `name` (optionally after "isc_dpb_"),
    // letters compared without regard to case; -1 when there is none.
    int IndexOfDBConst(const QString& name) const;
};

int IndexOfDBConst(const QString& name, const platform::TStringList& params);

// One line of a parameter-buffer list, read the way both buffer builders read it: blanks and
// control characters trimmed (the trimmed line written back into the list), the text taken in
// the ANSI code page, the name lower-cased and stripped of `prefix` ("isc_dpb_", "isc_tpb_").
struct TParamLine {
    bool Empty = true;
    QByteArray Name;
    QByteArray Value;
};
TParamLine ReadParamLine(platform::TStringList& params, int index, const char* prefix);

// The lines of DBParams by their role.
class TConnectParams {
public:
    explicit TConnectParams(TDBParams& params) : FParams(params) {}

    QString UserName() const { return Param(QStringLiteral("user_name")); }
    void SetUserName(const QString& value) { SetParam(QStringLiteral("user_name"), value); }
    QString Password() const { return Param(QStringLiteral("password")); }
    void SetPassword(const QString& value) { SetParam(QStringLiteral("password"), value); }
    QString RoleName() const { return Param(QStringLiteral("sql_role_name")); }
    void SetRoleName(const QString& value) { SetParam(QStringLiteral("sql_role_name"), value); }
    QString CharSet() const { return Param(QStringLiteral("lc_ctype")); }
    void SetCharSet(const QString& value);
    // Selects the Firebird numbering of the parameters InterBase numbers differently.
    bool IsFirebird() const { return FIsFirebird; }
    void SetIsFirebird(bool value) { FIsFirebird = value; }

    // The text after the first "=" of the line found by IndexOfDBConst, or "".
    QString Param(const QString& name) const;
    // A non-empty value replaces the line (or appends one); an empty value deletes it.
    void SetParam(const QString& name, const QString& value);

private:
    TDBParams& FParams;
    bool FIsFirebird = true;
};

// Builds the DPB from the parameter lines. Every line is trimmed and written back trimmed.
// Raises DPBConstantUnknown for an unknown name, DPBConstantUnsupported for a name the builder does not
// support, the runtime's conversion error for a numeric value that is not an integer, and a client error
// (SQLCode -1) for a value longer than 255 bytes or a buffer longer than 32767 bytes. The outputs
// are changed only when the build succeeds.
void GenerateDPB(platform::TStringList& params, QByteArray& dpb, short& dpbLength, bool isFirebird);
