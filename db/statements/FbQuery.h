#pragma once
// TFbQuery: one SQL statement on one connection inside one transaction — its lines, prepare,
// named parameters, execution, the cursor of a select and the columns of the current row.

#include "FbXSQLDA.h"
#include "SqlTextRoutines.h"
#include "db/connection/FbDatabase.h"
#include "db/connection/FbOwners.h"
#include "db/connection/FbTransaction.h"
#include "platform/Component.h"
#include "platform/StringList.h"

#include <QFlags>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <initializer_list>

// The server's statement-type codes.
enum class TFbSQLTypes {
    SQLUnknown = 0,
    SQLSelect = 1,
    SQLInsert = 2,
    SQLUpdate = 3,
    SQLDelete = 4,
    SQLDDL = 5,
    SQLGetSegment = 6,
    SQLPutSegment = 7,
    SQLExecProcedure = 8,
    SQLStartTransaction = 9,
    SQLCommit = 10,
    SQLRollback = 11,
    SQLSelectForUpdate = 12,
    SQLSetGenerator = 13,
    SQLSavePointOperation = 14
};

enum class TpFbQueryOption {
    qoStartTransaction = 1,
    qoAutoCommit = 2,
    qoTrimCharFields = 4,
    qoNoForceIsNull = 8,
    qoFreeHandleAfterExecute = 16
};
Q_DECLARE_FLAGS(TpFbQueryOptions, TpFbQueryOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TpFbQueryOptions)

enum class TQueryRunStateFlag { qrsInPrepare = 1, qrsInExecute = 2 };
Q_DECLARE_FLAGS(TQueryRunState, TQueryRunStateFlag)

// Rows the server counted for the last execution.
struct TAllRowsAffected {
    qint32 Updates = 0;
    qint32 Deletes = 0;
    qint32 Selects = 0;
    qint32 Inserts = 0;
};

class TFbQuery : public platform::TComponent, public IFbQuery {
    Q_OBJECT
public:
    explicit TFbQuery(platform::TComponent* owner = nullptr);
    ~TFbQuery() override;

    using TNotifyEvent = std::function<void(TFbQuery* sender)>;
    using TSQLFetchEvent = std::function<void(int recordNumber, bool& stop)>;

    // Connection and transaction.
    TFbDatabase* Database() const { return FBase.Database(); }
    virtual void SetDatabase(TFbDatabase* value);
    TFbTransaction* Transaction() const { return FBase.Transaction(); }
    void SetTransaction(TFbTransaction* value);
    TFbBase& Base() { return FBase; }

    // Text.
    platform::TStringList& SQL() { return FSQL; }
    void SetSQL(const QStringList& lines);
    bool ParamCheck() const { return FParamCheck; }
    void SetParamCheck(bool value) { FParamCheck = value; }
    bool GoToFirstRecordOnExecute() const { return FGoToFirstRecordOnExecute; }
    void SetGoToFirstRecordOnExecute(bool value) { FGoToFirstRecordOnExecute = value; }
    TpFbQueryOptions Options() const { return FOptions; }
    void SetOptions(TpFbQueryOptions value) { FOptions = value; }
    QString CursorName() const { return FCursorName; }
    void SetCursorName(const QString& value) { FCursorName = value; }
    int SQLTextChangeCount() const { return FSQLTextChangeCount; }
    // The text as sent to the server (parameters as "?"), 8-bit.
    const QByteArray& PreparedSQL() const { return FText.PreparedSQL(); }
    const QString& ProcessedSQL() const { return FText.ProcessedSQL(); }
    void BeginModifySQLText();
    void EndModifySQLText();

    // State.
    isc_stmt_handle Handle() const { return FHandle.Get(); }
    bool Prepared() const override { return FPrepared; }
    bool Open() const { return FOpen; }
    bool Bof() const { return FBOF; }
    // Reading it true on an open cursor with qoFreeHandleAfterExecute frees the handle.
    bool Eof();
    int RecordCount() const override { return FRecordCount; }
    TFbSQLTypes SQLType() const { return FSQLType; }
    TSQLKind SQLKind() const { return FText.Parser().SQLKind(); }
    bool ProcExecuted() const override { return FProcExecuted; }
    quint32 CallTime() const { return FCallTime; }
    bool AutoCloseOnTransactionEnd() const { return FAutoCloseOnTransactionEnd; }
    void SetAutoCloseOnTransactionEnd(bool value) { FAutoCloseOnTransactionEnd = value; }
    // Number of statements the server prepared for this object so far (a handle taken from the
    // connection's cache of prepared statements is none).
    int PrepareCount() const { return FPrepareCount; }

    // Work.
    void Prepare();
    virtual void ExecQuery();
    TFbXSQLDA* Next();
    void Close();
    void FreeHandle();
    void ExecuteImmediate();
    bool IsProc() const;
    bool NeedsTextRebuild();

    // Columns and parameters.
    TFbXSQLDA& Current() { return FSQLRecord; }
    int FieldCount() const { return FSQLRecord.Count(); }
    TFbXSQLVAR& FieldByName(const QString& name);
    TFbXSQLVAR* FindField(const QString& name);
    TFbXSQLVAR& Fields(int index);
    TFbXSQLDA& Params();
    int ParamCount() { return Params().Count(); }
    TFbXSQLVAR& ParamByName(const QString& name) {
        // Asked at every execution, mostly with a name written as a literal at the caller's place:
        // the same string every time, found by its characters' address without a call.
        if (FText.UserParamsCreated())
            for (const TParamCacheEntry& entry : std::as_const(FParamCache))
                if (entry.Name.constData() == name.constData() && entry.Name.size() == name.size())
                    return *entry.Param;
        return LookUpParam(name);
    }
    TFbXSQLVAR* FindParam(const QString& name);
    // Parameters the server expects that the user list lacks (sorted, unique).
    const QStringList& OnlySrvParams() const { return FOnlySrvParams; }
    void SetParamValues(const QList<QVariant>& values);
    void SetParamValues(const QString& names, const QList<QVariant>& values);
    void ExecWP(const QList<QVariant>& values);
    void ExecWP(const QString& names, const QList<QVariant>& values);

    int RowsAffected();
    TAllRowsAffected AllRowsAffected();

    void CheckOpen(const QString& operation);
    void CheckClosed(const QString& operation);

    TNotifyEvent OnSQLChanging;
    TNotifyEvent TransactionEnding;
    TNotifyEvent TransactionEnded;
    TSQLFetchEvent OnSQLFetch;

    // Epilogue of every client call: the transaction's (or database's) check, then the
    // status-vector error with this statement as sender when asked and errCode > 0.
    ISC_STATUS Call(ISC_STATUS errCode, bool raiseError);

    // IFbQuery (the statement context)
    QString FullName() const override { return platform::TComponent::FullName(); }
    int SQLDialect() const override;
    bool IsUnicodeConnect() const override;
    bool IsKOI8Connect() const override;
    bool NeedUnicodeFieldsTranslation() const override;
    bool NeedUTFEncodeDDL() const override;
    bool TrimCharFields() const override { return FOptions.testFlag(TpFbQueryOption::qoTrimCharFields); }
    bool NoForceIsNull() const override { return FOptions.testFlag(TpFbQueryOption::qoNoForceIsNull); }
    TFbXSQLDA& UserParams() override { return FUserSQLParams; }
    TFbXSQLDA& ServerParams() override { return FSQLParams; }
    bool MacroChanged() const override { return FMacroChanged; }
    void SetMacroChanged() override { FMacroChanged = true; }
    void ApplyMacros() override;
    void SetNeedForceIsNull() override { FText.SetNeedForceIsNull(true); }
    void SetHaveStreamParams() override { FHaveStreamParams = true; }
    TFbBlobContext BlobContext() override;

    bool BeingLoaded() const override;
    bool Executing() const override { return FQueryRunState.testFlag(TQueryRunStateFlag::qrsInExecute); }
    bool Preparing() const override { return FQueryRunState.testFlag(TQueryRunStateFlag::qrsInPrepare); }
    [[noreturn]] void RaiseSQLParseError(const QString& message) override;

protected:
    virtual void DoBeforeExecute();
    virtual void DoAfterExecute();
    // Blob calls and prepare start the transaction first with qoStartTransaction.
    void StartTransactionIfAsked();

private:
    void SQLChanging();
    void SQLChanged();
    void ProcessTextChange();
    void TransactionEndingHandler();
    // The connection was lost or the database is going away: forget the handle without the server.
    void ForgetHandle();
    void ReadStatementType();
    void DescribeInput(XSQLDA* da);
    void DescribeOutput(XSQLDA* da);
    // Hands the prepared handle (its cursor closed) to the connection's cache; false when it is to
    // be dropped instead.
    bool GiveHandleBack(bool cursorOpen);
    // The statement is about to change metadata: the connection's cached handles may go stale.
    void MetadataChanging();
    void RunExecQuery();
    void NameCursor();
    void MatchServerParams();
    void DescribeParams(bool diffParams);
    void DescribeColumns();
    void RememberTextNulls();
    XSQLDA* InputList();
    IIBClientLibrary& Library();
    void RunSelect(XSQLDA* input);

    TFbBase FBase;
    platform::TStringList FSQL;
    TFbXSQLDA FUserSQLParams;
    TFbXSQLDA FSQLParams;
    TFbXSQLDA FSQLRecord;
    TSQLTextState FText;
    QStringList FOnlySrvParams;

    TFbStatementHandle FHandle;
    // What the server said of the prepared text (kept with the handle in the connection's cache),
    // whether the handle came from that cache, and whether it has run since it came.
    TFbPreparedForm FForm;
    bool FFormFromCache = false;
    bool FReusedUnexecuted = false;
    bool FOpen = false;
    bool FEof = false;
    bool FBOF = false;
    bool FPrepared = false;
    int FRecordCount = 0;
    TFbSQLTypes FSQLType = TFbSQLTypes::SQLUnknown;
    bool FProcExecuted = false;
    TQueryRunState FQueryRunState;
    bool FAutoCloseOnTransactionEnd = true;
    int FCountLockSQL = 0;
    bool FDoParamCheck = true;
    bool FHaveStreamParams = false;
    bool FMacroChanged = false;
    bool FParamCheck = true;
    bool FGoToFirstRecordOnExecute = true;
    TpFbQueryOptions FOptions;
    QString FCursorName;
    int FSQLTextChangeCount = 0;
    quint32 FCallTime = 0;
    int FPrepareCount = 0;
    // Which parameters the text last sent to the server treats as null (IS NULL rewrites).
    QList<bool> FTextNulls;
    // Whether a parameter of the prepared text is a macro or a comparison that may become IS NULL.
    bool FTextFollowsValues = false;
    TFbXSQLVAR& LookUpParam(const QString& name);
    struct TParamCacheEntry {
        QString Name;
        TFbXSQLVAR* Param;
    };
    QList<TParamCacheEntry> FParamCache;
    // Columns asked for by name since the column list was last described.
    QList<TParamCacheEntry> FFieldCache;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TQueryRunState)
