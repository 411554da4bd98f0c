#pragma once
// SQL text work of a statement: statement-kind detection, the parameter and macro scan that turns
// named parameters into positional "?" markers, the rebuild of the text before prepare (macro values,
// IS [NOT] NULL rewrites) and the encoding of the final text for the client library.
// Positions are 1-based character positions in UTF-16 text.

#include "StatementContext.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

enum class TSQLKind {
    skUnknown,
    skSelect,
    skUpdate,
    skInsert,
    skDelete,
    skExecuteProc,
    skDDL,
    skExecuteBlock,
    skUpdateOrInsert
};

namespace db::statements {
// The statement kind of a text whose first significant character is at `firstPos`.
TSQLKind DetectSQLKind(const QString& text, int firstPos);
// True when the text holds no ':', '?' or macro character outside strings and comments.
bool HasNoParamMarkers(const QString& text, QChar macroChar);
} // namespace db::statements

// A statement's text and what is derived from it.
class TSQLParser {
public:
    TSQLParser() = default;

    const QString& SQLText() const { return FSQLText; }
    void SetSQLText(const QString& text);
    int Len() const { return FLen; }
    int FirstPos() const { return FFirstPos; }
    TSQLKind SQLKind() const { return FSQLKind; }
    // Parameters are not looked for in DDL text.
    bool CanParamsCheck() const { return FCanParamsCheck; }

private:
    QString FSQLText;
    int FLen = 0;
    int FFirstPos = 1;
    TSQLKind FSQLKind = TSQLKind::skUnknown;
    bool FCanParamsCheck = true;
};

// One parameter or macro found by the scan, in order of appearance.
struct TScannedName {
    QString Name; // as written: without the marker, the macro characters and the quotes
    bool IsMacro = false;
    bool InWhereClause = false;
    bool CanForceIsNull = false;
    bool Quoted = false;
    int BeginPos = 0; // the marker (or first macro character)
    int EndPos = 0;   // the name's last character, the closing quote or the closing macro character
};

enum class TSQLScanError { None, EofInComment, EofInString, ParamNameExpected };

struct TSQLScanResult {
    QList<TScannedName> Names;
    QString ProcessedSQL; // filled only when the scan was asked for output
    TSQLScanError Error = TSQLScanError::None;
    int ErrorPos = 0;
};

namespace db::statements {
// The message text of a scan error.
QString SQLScanErrorText(TSQLScanError error);

// Walks `text` once. With `writeOutput` the result holds the text with every parameter replaced by
// "?" and blanks (same length; macros are copied as written). Never raises.
TSQLScanResult ScanSQLText(const QString& text, TSQLKind kind, bool canParamsCheck, QChar macroChar,
                           bool writeOutput);
} // namespace db::statements

// Text-scan data a parameter item carries.
struct TParamTextData {
    bool FInWhereClause = false;
    bool FCanForceIsNull = false;
    bool FIsMacro = false;
    bool FQuoted = false;
    QString FDefMacroValue;
    int FBeginPosInText = 0;
    int FEndPosInText = 0;
};

// What the text routines need of a parameter item.
class IScanParam {
public:
    virtual ~IScanParam() = default;
    virtual TParamTextData& TextData() = 0;
    virtual bool IsNull() const = 0;
    // The current value as UTF-16 text (a macro's value).
    virtual QString MacroValue() const = 0;
    // The value remembered when the text was last rebuilt (null: QVariant()).
    virtual void SetOldValue(const QVariant& value) = 0;
};

// One item of a parameter list rebuilt from a scan.
struct TParamListEntry {
    QString Name;    // the registered name (unquoted names upper-cased, macro names cut to 255)
    bool NameQuoted; // registered as a quoted name (case kept)
    int KeepIndex;   // index of the current item moved here with its value, or -1 for a fresh item
    TParamTextData TextData;
    bool SetMacroValue; // a fresh macro item: its value becomes MacroValue as UTF-16 text
    QString MacroValue;
};

// What the text routines need of a parameter list.
class IScanParamList {
public:
    virtual ~IScanParamList() = default;
    virtual int ParamCount() const = 0;
    virtual IScanParam& Param(int index) = 0;
    virtual QString ParamName(int index) const = 0;
    // A blob item holding only the id of a blob (no content of its own waiting to be written): it
    // is not carried into a rebuilt list.
    virtual bool ParamHoldsBlobId(int index) const = 0;
    // Replaces the items by `entries`, in order: entry i gets the current item KeepIndex (moved
    // with its value and object identity) or a fresh item without type and null; then its name is
    // registered, its text data stored and, when asked, its macro value set. Items not kept are
    // discarded.
    virtual void RebuildFromScan(const QList<TParamListEntry>& entries) = 0;
};

namespace db::statements {
// Turns scanned names into list entries. Parameters are upper-cased (ASCII only) unless quoted;
// a macro is split at its first '%' into name and default, a '#' default makes it quoted. With
// `keepMacros` false macros are dropped. Each entry reuses the first not yet reused item of the
// same name in `previous` that does not hold only a blob id.
QList<TParamListEntry> PlanParamList(const QList<TScannedName>& names, const IScanParamList* previous,
                                     bool keepMacros);

// Upper-cases ASCII 'a'..'z' only.
QString AsciiUpperCase(const QString& s);
} // namespace db::statements

// The text state of one statement: its parser, the text with markers and its 8-bit form.
class TSQLTextState {
public:
    explicit TSQLTextState(IStatementContext& owner);

    TSQLParser& Parser() { return FParser; }
    const TSQLParser& Parser() const { return FParser; }

    const QString& ProcessedSQL() const { return FProcessedSQL; }
    const QByteArray& PreparedSQL() const { return FPreparedSQL; }
    QChar MacroChar() const { return FMacroChar; }
    void SetMacroChar(QChar c) { FMacroChar = c; }
    bool HaveMacros() const { return FHaveMacros; }
    bool NeedForceIsNull() const { return FNeedForceIsNull; }
    void SetNeedForceIsNull(bool value) { FNeedForceIsNull = value; }
    bool CodePageApplied() const { return FCodePageApplied; }
    bool DiffParams() const { return vDiffParams; }
    bool UserParamsCreated() const { return vUserParamsCreated; }

    // A new text: sets the parser's text and builds the user list (or empties both lists when the
    // text has no markers or `paramCheck` is off).
    void SetSQLText(const QString& text, bool paramCheck);

    bool HasNoParamMarkers(const QString& text) const;
    // Scans `text`. With `buildUserList` the user list is rebuilt; otherwise FProcessedSQL and the
    // server list. Raises client error 51 on a scan error, leaving the lists as they were; while
    // the statement is being loaded a missing parameter name only stops the scan (result false).
    bool ScanParameters(const QString& text, bool buildUserList);
    // The parser's text with macro values put in and comparisons with null parameters rewritten.
    QString ReadySQLText(bool forExecution);
    // Encodes FProcessedSQL into FPreparedSQL, once per text.
    void ApplyCodePage();
    // The rebuild done at prepare: ReadySQLText, scan for the server list, ApplyCodePage.
    void RebuildForPrepare();

private:
    void SetPrepared(const QByteArray& bytes);

    IStatementContext& FOwner;
    TSQLParser FParser;
    QString FProcessedSQL;
    QByteArray FPreparedSQL;
    QString FPreparedSource; // the text FPreparedSQL was encoded from
    QChar FMacroChar = QChar(u'@');
    bool FHaveMacros = false;
    bool FNeedForceIsNull = false;
    bool FCodePageApplied = false;
    bool vDiffParams = false;
    bool vUserParamsCreated = false;
};
