#pragma once
// What the SQL text routines and the parameter and column lists need of the statement they belong
// to: one interface, implemented by the statement (TFbQuery); the text state and the lists never
// outlive it. The text routines use it as it is; the value lists use IFbQuery (FbXSQLVAR.h),
// which adds the typed lists and the blob calls.

#include "db/connection/FbConstants.h"
#include <QString>

class IScanParamList;

namespace db::statements {

using db::connection::CharSetKoi8R;
using db::connection::CharSetKoi8U;
using db::connection::CharSetNone;
using db::connection::CharSetOctets;
using db::connection::CharSetUnicodeFss;
using db::connection::CharSetUtf8;
using db::connection::IsKoi8CharSet;
// The Unicode character sets of a connection: UNICODE_FSS and UTF8.
constexpr bool IsUnicodeCharSetId(int charSetId) {
    return charSetId == CharSetUnicodeFss || charSetId == CharSetUtf8;
}

} // namespace db::statements

class IStatementContext {
public:
    virtual ~IStatementContext() = default;

    // The statement's name preceded by its owners' names, joined with ".".
    virtual QString FullName() const = 0;
    // The statement or one of its owners is being loaded from a stored form.
    virtual bool BeingLoaded() const = 0;

    // Connection facts of the database.
    virtual int SQLDialect() const = 0;
    virtual bool IsUnicodeConnect() const = 0;
    virtual bool IsKOI8Connect() const = 0;
    virtual bool NeedUnicodeFieldsTranslation() const = 0;
    virtual bool NeedUTFEncodeDDL() const = 0;
    // Whether a character set id is one of the connection's Unicode character sets (UNICODE_FSS,
    // UTF8).
    virtual bool IsUnicodeCharSet(int charSetId) const {
        return db::statements::IsUnicodeCharSetId(charSetId);
    }
    // Options qoTrimCharFields and qoNoForceIsNull.
    virtual bool TrimCharFields() const = 0;
    virtual bool NoForceIsNull() const = 0;

    // Run state: a prepare or an execution under way, a prepared statement, rows fetched since the
    // cursor opened, an execute-procedure statement that ran.
    virtual bool Executing() const = 0;
    virtual bool Preparing() const = 0;
    virtual bool Prepared() const = 0;
    virtual int RecordCount() const = 0;
    virtual bool ProcExecuted() const = 0;

    // The parameter list as the user sets it and as the server describes it.
    virtual IScanParamList& UserParamList() = 0;
    virtual IScanParamList& ServerParamList() = 0;

    // Macro values: the changed flag, and putting changed macros into the text (closes the
    // statement, frees its handle and rebuilds the text with its server parameter list).
    virtual bool MacroChanged() const = 0;
    virtual void SetMacroChanged() = 0;
    virtual void ApplyMacros() = 0;
    // A parameter's null state changed so that the text may need an IS [NOT] NULL rewrite.
    virtual void SetNeedForceIsNull() = 0;
    // A parameter holds blob content to be written before execution.
    virtual void SetHaveStreamParams() = 0;

    // Raises the statement's error for a text it cannot scan (the message says what is wrong).
    [[noreturn]] virtual void RaiseSQLParseError(const QString& message) = 0;
};
