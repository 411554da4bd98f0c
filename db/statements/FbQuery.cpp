#include "FbQuery.h"

#include "db/connection/FbConstants.h"
#include "db/connection/FbInfo.h"

#include "db/connection/FbSafeTimer.h"
#include "db/connection/fb.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

using namespace db::connection;
using namespace db::statements;

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
// A call of its own: the vector registers are the caller's to lose across it, so none of ours is
// live when their upper halves are cleared.
__attribute__((target("avx"), noinline)) void ZeroUpperVectorHalves() {
    _mm256_zeroupper();
}
#endif

// The client library may return with the upper halves of the vector registers in use. Until they
// are cleared every plain SSE instruction of ours (all double and much copying code) waits on
// them: measured, a walk over fetched rows then takes about a fifth longer. Done after each fetch.
void ClearVectorStateAfterClientCall() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) ZeroUpperVectorHalves();
#endif
}

// Whether the calling thread's status vector holds the error code anywhere in its clusters.
bool StatusHolds(ISC_STATUS code) {
    const ISC_STATUS* sv = StatusVector();
    for (int i = 0; i < ISC_STATUS_LENGTH - 1 && sv[i] != isc_arg_end;) {
        const ISC_STATUS kind = sv[i];
        if (kind == isc_arg_gds && sv[i + 1] == code) return true;
        i += kind == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

// Statement types whose handles are kept for reuse: the ones a text change replaces in a loop.
// A select for update keeps its cursor name on the handle; DDL changes what the others described.
bool Reusable(TFbSQLTypes type) {
    switch (type) {
    case TFbSQLTypes::SQLSelect:
    case TFbSQLTypes::SQLInsert:
    case TFbSQLTypes::SQLUpdate:
    case TFbSQLTypes::SQLDelete:
    case TFbSQLTypes::SQLExecProcedure:
        return true;
    default:
        return false;
    }
}

// An execution failed because the prepared form no longer matches the metadata: the server
// reports a column the form uses as dropped ("Column has been unexpectedly deleted"), or the form
// as obsolete.
bool StaleFormError() {
    return StatusHolds(isc_field_disappeared) || StatusHolds(isc_obsolete_metadata);
}

// The statement runs a prepare or an execution; the mark goes away on every way out.
class TRunMark {
public:
    TRunMark(TQueryRunState& state, TQueryRunStateFlag flag)
        : FState(state), FFlag(flag), FWasSet(state.testFlag(flag)) {
        FState |= flag;
    }
    ~TRunMark() {
        if (!FWasSet) FState &= ~TQueryRunState(FFlag);
    }

private:
    TQueryRunState& FState;
    TQueryRunStateFlag FFlag;
    bool FWasSet;
};

} // namespace

TFbQuery::TFbQuery(platform::TComponent* owner)
    : platform::TComponent(owner), FBase(this), FUserSQLParams(this, true), FSQLParams(this, true),
      FSQLRecord(this, false), FText(*this) {
    FBase.OnDatabaseDisconnecting = [this] {
        Close();
        if (FHandle) FreeHandle();
    };
    FBase.OnDatabaseLostConnect = [this] { ForgetHandle(); };
    FBase.OnDatabaseFree = [this] { ForgetHandle(); };
    FBase.OnTransactionEnding = [this] { TransactionEndingHandler(); };
    FSQL.OnChanging = [this] { SQLChanging(); };
    FSQL.OnChange = [this] { SQLChanged(); };
    if (auto* database = qobject_cast<TFbDatabase*>(owner))
        FBase.SetDatabase(database);
    else if (auto* transaction = qobject_cast<TFbTransaction*>(owner))
        FBase.SetTransaction(transaction);
}

TFbQuery::~TFbQuery() {
    Destroying_();
    try {
        if (FOpen) Close();
    } catch (...) {
    }
    try {
        if (FHandle) FreeHandle();
    } catch (...) {
    }
    FHandle.Release();
    FBase.SetTransaction(nullptr);
    FBase.SetDatabase(nullptr);
}

// ---- connection facts

int TFbQuery::SQLDialect() const {
    return Database() ? Database()->SQLDialect() : 3;
}
bool TFbQuery::IsUnicodeConnect() const {
    return Database() && Database()->IsUnicodeConnect();
}
bool TFbQuery::IsKOI8Connect() const {
    return Database() && Database()->IsKOI8Connect();
}
bool TFbQuery::NeedUnicodeFieldsTranslation() const {
    return Database() && Database()->NeedUnicodeFieldsTranslation();
}
bool TFbQuery::NeedUTFEncodeDDL() const {
    return Database() && Database()->NeedUTFEncodeDDL();
}

bool TFbQuery::BeingLoaded() const {
    for (const QObject* o = this; o; o = o->parent()) {
        auto* component = qobject_cast<const platform::TComponent*>(o);
        if (component && component->Loading()) return true;
    }
    return false;
}

void TFbQuery::RaiseSQLParseError(const QString& message) {
    RaiseFbError(FbClientError::SQLParseError, {FullName(), message});
}

IIBClientLibrary& TFbQuery::Library() {
    FBase.CheckDatabase();
    return Database()->ClientLibrary();
}

ISC_STATUS TFbQuery::Call(ISC_STATUS errCode, bool raiseError) {
    // The transaction's and the database's checks restore the floating-point state themselves.
    if (Transaction())
        Transaction()->Call(errCode, false);
    else if (Database())
        Database()->Call(errCode, false);
    else
        RestoreDefaultFPUState();
    if (raiseError && errCode > 0) RaiseIBError(Library(), this);
    return errCode;
}

TFbBlobContext TFbQuery::BlobContext() {
    StartTransactionIfAsked();
    TFbBlobContext context;
    context.Library = &Library();
    context.DBHandle = FBase.DBHandle();
    context.TRHandle = FBase.TRHandle();
    context.Sender = this;
    return context;
}

void TFbQuery::StartTransactionIfAsked() {
    if (!FOptions.testFlag(TpFbQueryOption::qoStartTransaction)) return;
    TFbTransaction* transaction = Transaction();
    if (transaction && !transaction->InTransaction()) transaction->StartTransaction();
}

// ---- database, transaction, text

void TFbQuery::SetDatabase(TFbDatabase* value) {
    if (value == Database()) return;
    if (FHandle) {
        if (FOpen) Close();
        FreeHandle();
    }
    FBase.SetDatabase(value);
}

void TFbQuery::SetTransaction(TFbTransaction* value) {
    if (value == Transaction()) return;
    if (FOpen) Close();
    FBase.SetTransaction(value);
}

void TFbQuery::SetSQL(const QStringList& lines) {
    FSQL.BeginUpdate();
    try {
        FSQL.Clear();
        FSQL.AddStrings(lines);
    } catch (...) {
        FSQL.EndUpdate();
        throw;
    }
    FSQL.EndUpdate();
}

void TFbQuery::CheckOpen(const QString& operation) {
    if (!FOpen) RaiseFbError(FbClientError::DatasetClosed, {operation, FullName()});
}

void TFbQuery::CheckClosed(const QString& operation) {
    if (FOpen) RaiseFbError(FbClientError::DatasetOpen, {operation, FullName()});
}

void TFbQuery::SQLChanging() {
    CheckClosed(QStringLiteral("change sql text"));
    if (OnSQLChanging) OnSQLChanging(this);
    if (FHandle) FreeHandle();
    FMacroChanged = false;
}

void TFbQuery::SQLChanged() {
    if (FCountLockSQL > 0) {
        FText.Parser().SetSQLText(FSQL.Text());
        return;
    }
    ProcessTextChange();
}

void TFbQuery::ProcessTextChange() {
    ++FSQLTextChangeCount;
    FParamCache.clear();
    FDoParamCheck = FParamCheck;
    FTextNulls.clear();
    if (FHandle) FreeHandle();
    FPrepared = false;
    // Items of the old text may go once the new one is in place (or failed to be).
    struct TDropRetired {
        TFbQuery& Query;
        ~TDropRetired() {
            Query.FUserSQLParams.DropRetired();
            Query.FSQLParams.DropRetired();
        }
    } dropRetired{*this};
    FText.SetSQLText(FSQL.Text(), FDoParamCheck);
}

void TFbQuery::BeginModifySQLText() {
    ++FCountLockSQL;
}

void TFbQuery::EndModifySQLText() {
    if (FCountLockSQL <= 0) return;
    if (--FCountLockSQL == 0) ProcessTextChange();
}

TFbXSQLDA& TFbQuery::Params() {
    if (!FText.UserParamsCreated()) {
        FParamCache.clear();
        FText.SetSQLText(FSQL.Text(), FParamCheck);
    }
    return FUserSQLParams;
}

void TFbQuery::ApplyMacros() {
    FParamCache.clear();
    if (FOpen) Close();
    if (FHandle) FreeHandle();
    FPrepared = false;
    FText.RebuildForPrepare();
    RememberTextNulls();
    FMacroChanged = false;
    FText.SetNeedForceIsNull(false);
}

bool TFbQuery::IsProc() const {
    const QString text = FSQL.Text();
    int i = 0;
    while (i < text.size() && text[i].unicode() <= 32)
        ++i;
    return text.mid(i, 8).compare(QLatin1String("EXECUTE "), Qt::CaseInsensitive) == 0;
}

// ---- prepare

void TFbQuery::RememberTextNulls() {
    // Comparisons with a null parameter are rewritten only for executions.
    const bool rewrites = !NoForceIsNull() && (Executing() || !Preparing());
    FTextNulls.clear();
    FTextFollowsValues = false;
    for (int i = 0; i < FUserSQLParams.Count(); ++i) {
        const TFbXSQLVAR& p = FUserSQLParams.Vars(i);
        const bool nullRewrite = p.CanForceIsNull() && p.InWhereClause();
        FTextNulls.append(rewrites && nullRewrite && p.IsNull());
        FTextFollowsValues = FTextFollowsValues || nullRewrite || p.IsMacro();
    }
}

bool TFbQuery::NeedsTextRebuild() {
    if (!FPrepared || FMacroChanged || FText.NeedForceIsNull()) return true;
    const int n = FUserSQLParams.Count();
    // A text whose parameters are neither macros nor comparisons that may become IS NULL stays as
    // it is whatever the values: no walk through them at every execution.
    if (!FTextFollowsValues && FTextNulls.size() == n) return false;
    if (!FText.HaveMacros() && NoForceIsNull()) return false;
    if (FTextNulls.size() != n) return true;
    for (int i = 0; i < n; ++i) {
        const TFbXSQLVAR& p = FUserSQLParams.Vars(i);
        if (p.IsMacro()) {
            const bool oldNull = VarIsNullOrEmpty(p.OldValue());
            if (oldNull != p.IsNull() || (!p.IsNull() && p.AsWideString() != p.OldValue().toString()))
                return true;
        } else if (!NoForceIsNull() && p.CanForceIsNull() && p.InWhereClause() &&
                   p.IsNull() != FTextNulls[i]) {
            return true;
        }
    }
    return false;
}

void TFbQuery::Prepare() {
    TRunMark mark(FQueryRunState, TQueryRunStateFlag::qrsInPrepare);
    if (FOpen) Close();
    FBase.CheckDatabase();
    StartTransactionIfAsked();
    FBase.CheckTransaction();

    if (FDoParamCheck && Params().Count() > 0) {
        if (NeedsTextRebuild()) {
            FText.RebuildForPrepare();
            RememberTextNulls();
            FMacroChanged = false;
            FText.SetNeedForceIsNull(false);
            if (FHandle) FreeHandle();
            FPrepared = false;
        } else {
            FText.ApplyCodePage();
        }
    }
    if (FPrepared) return;

    bool blank = true;
    for (QChar c : FText.ProcessedSQL())
        if (c.unicode() > 32) {
            blank = false;
            break;
        }
    if (blank) RaiseFbError(FbClientError::EmptyQuery, {QStringLiteral("Prepare")});
    // The text may have been set without parameters: encode it once.
    FText.ApplyCodePage();

    IIBClientLibrary& library = Library();
    const int dialect = SQLDialect();
    // The same text prepared before on this connection: its handle and description are reused.
    TFbStatementCache& cache = Database()->StatementCache();
    FForm = TFbPreparedForm();
    FFormFromCache = cache.Take(FText.PreparedSQL(), dialect, FHandle, FForm);
    FReusedUnexecuted = FFormFromCache;
    if (!FFormFromCache) {
        FForm.Text = FText.PreparedSQL();
        FForm.Dialect = dialect;
        FForm.Generation = cache.Generation();
        Call(library.isc_dsql_alloc_statement2(StatusVector(), FBase.DBHandle(), FHandle.Allocate(library)),
             true);
    }
    try {
        FFieldCache.clear();
        FSQLRecord.SetCount(1);
        if (FFormFromCache) {
            TFbPreparedForm::Replay(FSQLRecord.AsXSQLDA(), FForm.OutputCount, FForm.Output);
        } else {
            ++FPrepareCount;
            Call(library.isc_dsql_prepare(StatusVector(), FBase.TRHandle(), FHandle.Address(),
                                          static_cast<unsigned short>(0), FText.PreparedSQL().constData(),
                                          static_cast<unsigned short>(dialect), FSQLRecord.AsXSQLDA()),
                 true);
            FForm.OutputCount = FSQLRecord.AsXSQLDA()->sqld;
            FForm.Output = TFbPreparedForm::Items(FSQLRecord.AsXSQLDA());
        }

        ReadStatementType();
        if (FSQLType == TFbSQLTypes::SQLSelectForUpdate) NameCursor();

        switch (FSQLType) {
        case TFbSQLTypes::SQLSelect:
        case TFbSQLTypes::SQLInsert:
        case TFbSQLTypes::SQLUpdate:
        case TFbSQLTypes::SQLDelete:
        case TFbSQLTypes::SQLExecProcedure:
        case TFbSQLTypes::SQLSelectForUpdate: {
            const bool diff = FText.DiffParams();
            DescribeParams(diff);
            if (FSQLType == TFbSQLTypes::SQLSelect || FSQLType == TFbSQLTypes::SQLExecProcedure ||
                FSQLType == TFbSQLTypes::SQLSelectForUpdate)
                DescribeColumns();
            else
                FSQLRecord.SetCount(0);
            FOnlySrvParams.clear();
            if (diff) MatchServerParams();
            break;
        }
        case TFbSQLTypes::SQLGetSegment:
        case TFbSQLTypes::SQLPutSegment:
        case TFbSQLTypes::SQLStartTransaction:
            FreeHandle();
            RaiseFbError(FbClientError::NotPermitted);
        default:
            FSQLRecord.SetCount(0);
            break;
        }
        FPrepared = true;
    } catch (...) {
        try {
            if (FHandle) FreeHandle();
        } catch (...) {
        }
        FHandle.Release();
        FPrepared = false;
        throw;
    }
}

void TFbQuery::ReadStatementType() {
    if (FFormFromCache) {
        FSQLType = TFbSQLTypes(FForm.StatementType);
        return;
    }
    IIBClientLibrary& library = Library();
    char item = isc_info_sql_stmt_type;
    char info[8] = {};
    Call(library.isc_dsql_sql_info(StatusVector(), FHandle.Address(), short(1), &item, short(sizeof(info)),
                                   info),
         true);
    const std::optional<QByteArray> type = InfoValue(info, sizeof(info), isc_info_sql_stmt_type);
    if (info[0] != isc_info_sql_stmt_type || !type || type->isEmpty())
        RaiseFbError(FbClientError::UnknownError);
    FSQLType = TFbSQLTypes(InfoInteger(*type));
    FForm.StatementType = int(FSQLType);
}

void TFbQuery::DescribeInput(XSQLDA* da) {
    const size_t wanted = size_t(std::min<int>(da->sqln, FForm.InputCount));
    if (FForm.InputDescribed && FForm.Input.size() >= wanted) {
        TFbPreparedForm::Replay(da, FForm.InputCount, FForm.Input);
        return;
    }
    Call(Library().isc_dsql_describe_bind(StatusVector(), FHandle.Address(),
                                          static_cast<unsigned short>(SQLDialect()), da),
         true);
    FForm.InputDescribed = true;
    FForm.InputCount = da->sqld;
    FForm.Input = TFbPreparedForm::Items(da);
}

void TFbQuery::DescribeOutput(XSQLDA* da) {
    if (FForm.Output.size() >= size_t(std::min<int>(da->sqln, FForm.OutputCount))) {
        TFbPreparedForm::Replay(da, FForm.OutputCount, FForm.Output);
        return;
    }
    Call(Library().isc_dsql_describe(StatusVector(), FHandle.Address(),
                                     static_cast<unsigned short>(SQLDialect()), da),
         true);
    FForm.OutputCount = da->sqld;
    FForm.Output = TFbPreparedForm::Items(da);
}

void TFbQuery::NameCursor() {
    if (FCursorName.isEmpty()) {
        for (int i = 0; i < 10; ++i)
            FCursorName += QChar(u'0' + QRandomGenerator::global()->bounded(10));
    }
    const QByteArray name = platform::AnsiFromString(FCursorName);
    Call(Library().isc_dsql_set_cursor_name(StatusVector(), FHandle.Address(), name.constData(),
                                            static_cast<unsigned short>(0)),
         true);
}

void TFbQuery::MatchServerParams() {
    // Numbers given for what the server describes as a date become date-times; the server's
    // parameters the user list lacks are named.
    for (int i = 0; i < FUserSQLParams.Count(); ++i) {
        TFbXSQLVAR& user = FUserSQLParams.Vars(i);
        const TFbXSQLVAR* server = FSQLParams.FindParam(user.Name());
        if (!server || user.IsNull()) continue;
        const short st = server->ServerSQLType();
        const short ut = user.SQLType();
        if ((st == SQL_TIMESTAMP || st == SQL_TYPE_DATE) &&
            (ut == SQL_DOUBLE || ut == SQL_FLOAT || ut == SQL_D_FLOAT || ut == SQL_INT64))
            user.SetAsDateTime(user.AsDouble());
    }
    for (int i = 0; i < FSQLParams.Count(); ++i) {
        const QString name = FSQLParams.Vars(i).Name();
        if (FUserSQLParams.FindParam(name) == nullptr && !FOnlySrvParams.contains(name))
            FOnlySrvParams.append(name);
    }
    FOnlySrvParams.sort();
}

void TFbQuery::DescribeParams(bool diffParams) {
    TFbXSQLDA& inUse = diffParams ? FSQLParams : FUserSQLParams;
    const int n = inUse.Count();
    if (n == 0) {
        if (!diffParams) FSQLParams.SetCount(0);
        return;
    }
    if (!diffParams) {
        // The server list mirrors the user list, position by position and name by name.
        FSQLParams.SetCount(n);
        for (int i = 0; i < n; ++i)
            FSQLParams.AddName(FUserSQLParams.Vars(i).Name(), i, true);
    }
    // The describe overwrites the types of the server list, whose items (the parameters found only
    // in macro values) may hold values already: they are kept aside and put back.
    const bool keepValues = diffParams && FText.HaveMacros();
    std::vector<TFbXSQLVAR::TSavedValue> saved;
    if (keepValues) saved = FSQLParams.SaveValues();
    DescribeInput(FSQLParams.AsXSQLDA());
    FSQLParams.InitializeVars();
    if (keepValues) {
        FSQLParams.RestoreValues(saved);
        if (FSQLParams.HasDefferedSettings()) FSQLParams.ApplyDeferredSettings();
    }
    if (diffParams) return;

    for (int i = 0; i < n && i < FSQLParams.AsXSQLDA()->sqld; ++i) {
        TFbXSQLVAR& user = FUserSQLParams.Vars(i);
        XSQLVAR described = FSQLParams.Vars(i).AsXSQLVAR();
        const short type = short(described.sqltype & ~1);
        if (user.IsNull() && !user.HasStreamValue()) {
            // Takes the server's description and stays null.
            short indicator = -1;
            described.sqltype |= 1;
            described.sqlind = &indicator;
            described.sqldata = nullptr;
            user.SetAsXSQLVAR(described);
        } else if (type == SQL_BLOB && !user.IsBlob() && !user.HasStreamValue()) {
            // A value given as text for a blob parameter becomes the blob's content.
            QByteArray content;
            if (NeedUnicodeFieldsTranslation() &&
                db::statements::IsUnicodeCharSetId(described.sqlscale & 0xFF))
                content = user.AsWideString().toUtf8();
            else
                content = user.AsAnsiString();
            short indicator = 0;
            described.sqltype |= 1;
            described.sqlind = &indicator;
            described.sqldata = nullptr;
            user.SetAsXSQLVAR(described);
            QBuffer buffer(&content);
            buffer.open(QIODevice::ReadOnly);
            user.LoadFromStream(buffer);
        }
    }
}

void TFbQuery::DescribeColumns() {
    const int columns = FSQLRecord.AsXSQLDA() ? FSQLRecord.AsXSQLDA()->sqld : 0;
    if (columns == 0) {
        FSQLRecord.SetCount(0);
        return;
    }
    if (columns > FSQLRecord.Count()) {
        FSQLRecord.SetCount(columns);
        DescribeOutput(FSQLRecord.AsXSQLDA());
    } else {
        FSQLRecord.SetCount(columns);
    }
    FSQLRecord.InitializeVars();
}

// ---- execution

void TFbQuery::DoBeforeExecute() {
    if (!Transaction()) RaiseFbError(FbClientError::TransactionNotAssigned, {FullName()});
    FSQLRecord.ClearValues();
    StartTransactionIfAsked();
    Transaction()->DoOnSQLExec(this, int(SQLKind()), true);
}

void TFbQuery::DoAfterExecute() {
    if (Transaction()) Transaction()->DoOnSQLExec(this, int(SQLKind()), false);
    FUserSQLParams.ClearModified();
    FMacroChanged = false;
    FText.SetNeedForceIsNull(false);
    if (FOptions.testFlag(TpFbQueryOption::qoAutoCommit) && Transaction() && Transaction()->InTransaction()) {
        if (Transaction()->TimeoutAction() == TTransactionAction::TACommitRetaining)
            Transaction()->CommitRetaining();
        else
            Transaction()->Commit();
    }
}

XSQLDA* TFbQuery::InputList() {
    if (FText.DiffParams() && FDoParamCheck && FUserSQLParams.Count() > 0) {
        FSQLParams.AssignValues(FUserSQLParams);
        return FSQLParams.Count() > 0 ? FSQLParams.AsXSQLDA() : nullptr;
    }
    if (FUserSQLParams.HasDefferedSettings()) FUserSQLParams.ApplyDeferredSettings();
    return FUserSQLParams.Count() > 0 ? FUserSQLParams.AsXSQLDA() : nullptr;
}

void TFbQuery::RunSelect(XSQLDA* input) {
    if (FOpen) Close();
    Call(Library().isc_dsql_execute(StatusVector(), FBase.TRHandle(), FHandle.Address(),
                                    static_cast<unsigned short>(SQLDialect()), input),
         true);
    FOpen = true;
    FBOF = true;
    FEof = false;
    FRecordCount = 0;
    FSQLRecord.ClearValues();
    if (FGoToFirstRecordOnExecute) Next();
}

void TFbQuery::ExecQuery() {
    try {
        RunExecQuery();
    } catch (const EFbInterBaseError&) {
        // A handle from the connection's cache may predate a metadata change made elsewhere:
        // prepared again once, with every other kept handle of the connection.
        if (!FFormFromCache || !StaleFormError() || !Database()) throw;
        Database()->StatementCache().Invalidate();
        if (FOpen) Close();
        FreeHandle();
        RunExecQuery();
    }
}

void TFbQuery::MetadataChanging() {
    if (Database()) Database()->StatementCache().MetadataChanging(Transaction());
}

void TFbQuery::RunExecQuery() {
    TRunMark mark(FQueryRunState, TQueryRunStateFlag::qrsInExecute);
    if (SQLKind() == TSQLKind::skDDL) {
        ExecuteImmediate();
        return;
    }
    DoBeforeExecute();
    // A prepared text that its parameters' values leave as it is runs as prepared: the checks of
    // the connection and the transaction come with the client call's handles.
    const bool withParams = FDoParamCheck && Params().Count() > 0;
    if (!FPrepared || (withParams && (FOpen || NeedsTextRebuild())))
        Prepare();
    else if (withParams)
        FText.ApplyCodePage();
    if (FHaveStreamParams) FUserSQLParams.WriteStreamParams();
    XSQLDA* input = InputList();
    if (FSQLType == TFbSQLTypes::SQLDDL) MetadataChanging();
    FReusedUnexecuted = false;

    const quint32 start = FbTickCount();
    try {
        IIBClientLibrary& library = Library();
        const unsigned short dialect = static_cast<unsigned short>(SQLDialect());
        switch (FSQLType) {
        case TFbSQLTypes::SQLSelect:
        case TFbSQLTypes::SQLSelectForUpdate:
            RunSelect(input);
            break;
        case TFbSQLTypes::SQLExecProcedure: {
            const ISC_STATUS result =
                library.isc_dsql_execute2(StatusVector(), FBase.TRHandle(), FHandle.Address(), dialect, input,
                                          FSQLRecord.Count() > 0 ? FSQLRecord.AsXSQLDA() : nullptr);
            Call(result, true);
            FProcExecuted = true;
            break;
        }
        case TFbSQLTypes::SQLCommit:
            Transaction()->Commit();
            break;
        case TFbSQLTypes::SQLRollback:
            Transaction()->Rollback();
            break;
        default:
            Call(
                library.isc_dsql_execute(StatusVector(), FBase.TRHandle(), FHandle.Address(), dialect, input),
                true);
            break;
        }
        FCallTime = FbTickCount() - start;
        if (FDoParamCheck && FUserSQLParams.Count() > 0 && FText.HaveMacros()) {
            // Only macro values decide whether the text must be rebuilt (nulls are followed by
            // FTextNulls), so only they are remembered: reading a blob parameter as text could
            // mean a server round trip.
            for (int i = 0; i < FUserSQLParams.Count(); ++i) {
                TFbXSQLVAR& p = FUserSQLParams.Vars(i);
                if (p.IsMacro()) p.SetOldValue(p.IsNull() ? QVariant() : QVariant(p.AsWideString()));
            }
        }
        DoAfterExecute();
    } catch (...) {
        FCallTime = FbTickCount() - start;
        throw;
    }
    if (!FOpen && FOptions.testFlag(TpFbQueryOption::qoFreeHandleAfterExecute)) FreeHandle();
}

void TFbQuery::ExecuteImmediate() {
    DoBeforeExecute();
    if (FText.ProcessedSQL().isEmpty() || FMacroChanged) {
        FText.RebuildForPrepare();
        RememberTextNulls();
    } else {
        FText.ApplyCodePage();
    }
    if (FHaveStreamParams) FUserSQLParams.WriteStreamParams();
    XSQLDA* input = InputList();
    if (FHandle) FreeHandle();
    if (SQLKind() == TSQLKind::skDDL) MetadataChanging();
    const quint32 start = FbTickCount();
    try {
        Call(Library().isc_dsql_execute_immediate(
                 StatusVector(), FBase.DBHandle(), FBase.TRHandle(), static_cast<unsigned short>(0),
                 FText.PreparedSQL().constData(), static_cast<unsigned short>(SQLDialect()), input),
             true);
        FCallTime = FbTickCount() - start;
        DoAfterExecute();
    } catch (...) {
        FCallTime = FbTickCount() - start;
        throw;
    }
}

TFbXSQLDA* TFbQuery::Next() {
    if (FEof) return nullptr;
    CheckOpen(QStringLiteral("fetch next record"));
    if (OnSQLFetch) {
        bool stop = false;
        OnSQLFetch(FRecordCount, stop);
        if (stop && !BeingLoaded()) return nullptr;
    }
    const ISC_STATUS result = Library().isc_dsql_fetch(
        StatusVector(), FHandle.Address(), static_cast<unsigned short>(SQLDialect()), FSQLRecord.AsXSQLDA());
    ClearVectorStateAfterClientCall();
    Call(result, false);
    if (result == 0) {
        ++FRecordCount;
        FBOF = false;
        return &FSQLRecord;
    }
    if (result == FetchEnd || StatusHolds(isc_dsql_cursor_err)) {
        FEof = true;
        return nullptr;
    }
    // Keep the error of the fetch: closing the cursor overwrites the status vector.
    ISC_STATUS saved[ISC_STATUS_LENGTH];
    std::memcpy(saved, StatusVector(), sizeof(saved));
    try {
        Close();
    } catch (...) {
    }
    std::memcpy(StatusVector(), saved, sizeof(saved));
    RaiseIBError(Library(), this);
    return nullptr;
}

bool TFbQuery::Eof() {
    const bool eof = FEof || !FOpen;
    if (eof && FOpen && FOptions.testFlag(TpFbQueryOption::qoFreeHandleAfterExecute)) FreeHandle();
    return eof;
}

void TFbQuery::Close() {
    ISC_STATUS result = 0;
    bool raise = false;
    // Without a connection the server has already dropped the cursor.
    if (FHandle && FOpen && Database() && Database()->Connected() &&
        (FSQLType == TFbSQLTypes::SQLSelect || FSQLType == TFbSQLTypes::SQLSelectForUpdate)) {
        result = Library().isc_dsql_free_statement(StatusVector(), FHandle.Address(),
                                                   static_cast<unsigned short>(DSQL_close));
        Call(result, false);
        raise = result > 0 && !StatusHolds(isc_bad_stmt_handle) && !StatusHolds(isc_dsql_cursor_close_err);
        // Whether the cursor is still open is unknown then: the handle is not for reuse.
        if (raise) FForm = TFbPreparedForm();
    }
    FEof = false;
    FBOF = false;
    FOpen = false;
    FProcExecuted = false;
    if (FOptions.testFlag(TpFbQueryOption::qoFreeHandleAfterExecute) && FHandle) {
        if (raise) {
            // The error of the close is the one to report.
            ISC_STATUS saved[ISC_STATUS_LENGTH];
            std::memcpy(saved, StatusVector(), sizeof(saved));
            try {
                FreeHandle();
            } catch (...) {
            }
            std::memcpy(StatusVector(), saved, sizeof(saved));
        } else {
            FreeHandle();
        }
    }
    if (raise) RaiseIBError(Library(), this);
}

void TFbQuery::FreeHandle() {
    FFieldCache.clear();
    FSQLRecord.SetCount(0);
    const bool cursorOpen = FOpen;
    FOpen = false;
    if (!FHandle) {
        FPrepared = false;
        return;
    }
    ISC_STATUS result = 0;
    bool raise = false;
    if (Database() && Database()->Connected() && FPrepared && GiveHandleBack(cursorOpen)) {
        FEof = true;
        FPrepared = false;
        return;
    }
    if (Database() && Database()->Connected()) {
        result = Library().isc_dsql_free_statement(StatusVector(), FHandle.Address(),
                                                   static_cast<unsigned short>(DSQL_drop));
        Call(result, false);
        raise = result > 0 && !StatusHolds(isc_bad_stmt_handle);
    }
    FEof = true;
    FPrepared = false;
    FHandle.Release();
    if (raise) RaiseIBError(Library(), this);
}

bool TFbQuery::GiveHandleBack(bool cursorOpen) {
    TFbStatementCache& cache = Database()->StatementCache();
    if (cache.Capacity() == 0 || !Reusable(FSQLType) || FForm.Text.isEmpty()) return false;
    IIBClientLibrary& library = Library();
    if (cursorOpen && FSQLType == TFbSQLTypes::SQLSelect) {
        // The next user opens it again. The client reports an already closed cursor (at the end of
        // the rows, or closed with its transaction) as isc_dsql_cursor_close_err.
        const ISC_STATUS result = library.isc_dsql_free_statement(StatusVector(), FHandle.Address(),
                                                                  static_cast<unsigned short>(DSQL_close));
        Call(result, false);
        if (result > 0 && !StatusHolds(isc_dsql_cursor_close_err)) return false;
    }
    cache.Give(FHandle, std::move(FForm));
    FForm = TFbPreparedForm();
    FFormFromCache = false;
    return true;
}

void TFbQuery::ForgetHandle() {
    FForm = TFbPreparedForm();
    FFormFromCache = false;
    FHandle.Release();
    FOpen = false;
    FEof = true;
    FBOF = false;
    FPrepared = false;
    FProcExecuted = false;
    FFieldCache.clear();
    FSQLRecord.SetCount(0);
}

void TFbQuery::TransactionEndingHandler() {
    TFbTransaction* transaction = Transaction();
    if (!transaction) return;
    const TTransactionState state = transaction->State();
    if ((state == TTransactionState::tsDoCommit || state == TTransactionState::tsDoRollback) &&
        FAutoCloseOnTransactionEnd && FOpen)
        Close();
}

// ---- lookups

TFbXSQLVAR* TFbQuery::FindField(const QString& name) {
    // As for parameters: a short list of the names asked since the columns were last described.
    for (const TParamCacheEntry& entry : FFieldCache)
        if (entry.Name.constData() == name.constData() && entry.Name.size() == name.size())
            return entry.Param;
    for (const TParamCacheEntry& entry : FFieldCache)
        if (entry.Name == name) return entry.Param;
    TFbXSQLVAR* field = FSQLRecord.FindParam(name);
    if (field && FFieldCache.size() < 16) FFieldCache.append({name, field});
    return field;
}

TFbXSQLVAR& TFbQuery::FieldByName(const QString& name) {
    TFbXSQLVAR* field = FindField(name);
    if (!field) RaiseFbError(FbClientError::FieldNotFound, {name});
    return *field;
}

TFbXSQLVAR& TFbQuery::Fields(int index) {
    if (index < 0 || index >= FSQLRecord.Count())
        RaiseFbError(FbClientError::FieldNotFound, {QStringLiteral("Field No: ") + QString::number(index)});
    return FSQLRecord.Vars(index);
}

TFbXSQLVAR* TFbQuery::FindParam(const QString& name) {
    return Params().FindParam(name);
}

TFbXSQLVAR& TFbQuery::LookUpParam(const QString& name) {
    TFbXSQLDA& params = Params();
    // The same few names are asked for at every execution: a short list compared by text is
    // cheaper than the list's hash lookup. Only items of the user list are kept; the list's items
    // live until the next text change.
    for (const TParamCacheEntry& entry : std::as_const(FParamCache))
        if (entry.Name == name) return *entry.Param;
    if (TFbXSQLVAR* param = params.FindParam(name)) {
        if (param->Parent() == &FUserSQLParams && FParamCache.size() < 16) FParamCache.append({name, param});
        return *param;
    }
    if (IsProc()) return FieldByName(name);
    throw platform::Exception(platform::Format(u"Parameter \"%s\" does not exist in %s", {name, FullName()}));
}

void TFbQuery::SetParamValues(const QList<QVariant>& values) {
    TFbXSQLDA& params = Params();
    const int n = std::min<int>(int(values.size()), params.Count());
    for (int i = 0; i < n; ++i)
        params.Vars(i).SetAsVariant(values[i]);
}

void TFbQuery::SetParamValues(const QString& names, const QList<QVariant>& values) {
    const QStringList list = names.split(QLatin1Char(';'));
    if (list.size() != values.size())
        throw platform::Exception(platform::Format(
            u"%s. Parameters count is not equel count of parameter values",
            {QStringLiteral("procedure ") + FullName() + QStringLiteral(".SetParamValues")}));
    for (int i = 0; i < list.size(); ++i)
        ParamByName(list[i]).SetAsVariant(values[i]);
}

void TFbQuery::ExecWP(const QList<QVariant>& values) {
    SetParamValues(values);
    ExecQuery();
}

void TFbQuery::ExecWP(const QString& names, const QList<QVariant>& values) {
    SetParamValues(names, values);
    ExecQuery();
}

// ---- counts

TAllRowsAffected TFbQuery::AllRowsAffected() {
    TAllRowsAffected counts;
    if (!FPrepared) Prepare();
    // A reused handle still answers with the counts of its previous user's last execution.
    if (FReusedUnexecuted) return counts;
    IIBClientLibrary& library = Library();
    char item = isc_info_sql_records;
    QByteArray buffer(255, '\0');
    Call(library.isc_dsql_sql_info(StatusVector(), FHandle.Address(), short(1), &item, short(buffer.size()),
                                   buffer.data()),
         true);
    if (buffer[0] == char(isc_info_end)) return counts;
    if (buffer[0] != char(isc_info_sql_records)) RaiseFbError(FbClientError::UnknownError);
    const int length = int(InfoInteger(QByteArrayView(buffer.constData() + 1, 2)) & 0xFFFF);
    if (length + 3 > buffer.size()) {
        buffer = QByteArray(length + 4, '\0');
        Call(library.isc_dsql_sql_info(StatusVector(), FHandle.Address(), short(1), &item,
                                       short(buffer.size()), buffer.data()),
             true);
    }
    const std::optional<QByteArray> records =
        InfoValue(buffer.constData(), buffer.size(), isc_info_sql_records);
    if (!records) return counts;
    const auto count = [&](char code) {
        const std::optional<QByteArray> value = InfoValue(records->constData(), records->size(), code);
        return value ? int(InfoInteger(*value)) : 0;
    };
    counts.Selects = count(isc_info_req_select_count);
    counts.Inserts = count(isc_info_req_insert_count);
    counts.Updates = count(isc_info_req_update_count);
    counts.Deletes = count(isc_info_req_delete_count);
    return counts;
}

int TFbQuery::RowsAffected() {
    const TAllRowsAffected c = AllRowsAffected();
    switch (FSQLType) {
    case TFbSQLTypes::SQLSelect:
        return c.Selects;
    case TFbSQLTypes::SQLInsert:
        return c.Inserts;
    case TFbSQLTypes::SQLUpdate:
        return c.Updates;
    case TFbSQLTypes::SQLDelete:
        return c.Deletes;
    default:
        return c.Selects + c.Inserts + c.Updates + c.Deletes;
    }
}
