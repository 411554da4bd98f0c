#include "FbDataSet.h"

#include "FbCacheManage.h"
#include "FbFields.h"
#include "db/connection/fb.h"
#include "platform/Encoding.h"

platform::TStringList& TSQLs::SelectSQL() {
    return FOwner->SelectSQL();
}
platform::TStringList& TSQLs::InsertSQL() {
    return FOwner->InsertSQL();
}
platform::TStringList& TSQLs::UpdateSQL() {
    return FOwner->UpdateSQL();
}
platform::TStringList& TSQLs::DeleteSQL() {
    return FOwner->DeleteSQL();
}
platform::TStringList& TSQLs::RefreshSQL() {
    return FOwner->RefreshSQL();
}

using db::connection::RaiseFbError;

namespace {
enum TCallbackKind { cbBeforeOpen, cbAfterOpen, cbBeforeClose };
}

TFbCustomDataSet::TFbCustomDataSet(platform::TComponent* owner)
    : TDataSet(owner), FBase(this), FQSelect(NewStatement("SelectQuery")),
      FQInsert(NewStatement("InsertQuery")), FQUpdate(NewStatement("UpdateQuery")),
      FQDelete(NewStatement("DeleteQuery")), FQRefresh(NewStatement("RefreshQuery")), FSQLs(this) {
    FBase.OnTransactionEnding = [this] { OnTransactionEnding(); };
    FBase.OnTransactionEnded = [this] {
        if (TransactionEnded) TransactionEnded(this);
    };
    FBase.OnDatabaseDisconnecting = [this] { OnDatabaseDisconnecting(); };
    FBase.OnDatabaseDisconnected = [this] {
        if (DatabaseDisconnected) DatabaseDisconnected(this);
    };
}

TFbCustomDataSet::~TFbCustomDataSet() {
    Destroying_();
    try {
        if (Active()) Close();
    } catch (...) {
    }
    FBase.SetTransaction(nullptr);
    FBase.SetDatabase(nullptr);
}

TFbQuery* TFbCustomDataSet::NewStatement(const char* name) {
    auto* query = new TFbQuery(this);
    query->SetName(QString::fromLatin1(name));
    query->SetGoToFirstRecordOnExecute(false);
    query->SetParamCheck(true);
    query->SetOptions({});
    query->OnSQLChanging = [this](TFbQuery* sender) { SQLChanging(sender); };
    return query;
}

// ---- properties

void TFbCustomDataSet::SetDatabase(TFbDatabase* value) {
    if (value == Database()) return;
    CheckDatasetClosed(QStringLiteral(" change database "));
    FBase.SetDatabase(value);
    for (TFbQuery* q : {FQSelect, FQInsert, FQUpdate, FQDelete, FQRefresh})
        q->SetDatabase(value);
    FPrepared = false;
}

void TFbCustomDataSet::SetTransaction(TFbTransaction* value) {
    if (value == Transaction()) return;
    CheckDatasetClosed(QStringLiteral(" change transaction "));
    TFbTransaction* old = FQSelect->Transaction();
    for (TFbQuery* q : {FQInsert, FQUpdate, FQDelete})
        if (q->Transaction() == old) q->SetTransaction(value);
    if (FRefreshTransactionKind == TTransactionKind::tkReadTransaction) FQRefresh->SetTransaction(value);
    FQSelect->SetTransaction(value);
    FBase.SetTransaction(value);
}

void TFbCustomDataSet::SetUpdateTransaction(TFbTransaction* value) {
    FUpdateTransaction = value;
    for (TFbQuery* q : {FQInsert, FQUpdate, FQDelete})
        q->SetTransaction(value ? value : Transaction());
    if (FRefreshTransactionKind == TTransactionKind::tkUpdateTransaction) FQRefresh->SetTransaction(value);
}

void TFbCustomDataSet::SetOptions(TpFbDsOptions value) {
    FOptions = value;
    for (TFbQuery* q : {FQSelect, FQUpdate, FQDelete, FQInsert}) {
        TpFbQueryOptions o = q->Options();
        o.setFlag(TpFbQueryOption::qoStartTransaction, value.testFlag(TpFbDsOption::poStartTransaction));
        o.setFlag(TpFbQueryOption::qoNoForceIsNull, value.testFlag(TpFbDsOption::poNoForceIsNull));
        q->SetOptions(o);
    }
    FQSelect->SetAutoCloseOnTransactionEnd(!FCachedUpdates &&
                                           !value.testFlag(TpFbDsOption::poDontCloseAfterEndTransaction));
}

void TFbCustomDataSet::SetCachedUpdates(bool value) {
    FCachedUpdates = value;
    FQSelect->SetAutoCloseOnTransactionEnd(!value &&
                                           !FOptions.testFlag(TpFbDsOption::poDontCloseAfterEndTransaction));
}

void TFbCustomDataSet::SetPrepareOptions(TpPrepareOptions value) {
    // psUseGuidField changes field types as well, so it rebuilds the definitions too.
    constexpr unsigned typeOptions =
        unsigned(TpPrepareOption::psUseBooleanField) | unsigned(TpPrepareOption::psSQLINT64ToBCD) |
        unsigned(TpPrepareOption::psUseLargeIntField) | unsigned(TpPrepareOption::psUseGuidField);
    const bool typesChange = ((unsigned(value) ^ unsigned(FPrepareOptions)) & typeOptions) != 0;
    if (typesChange)
        CheckDatasetClosed(
            QStringLiteral("change psUseBooleanField or psSQLINT64ToBCD or psUseLargeIntField\r\n"));
    FPrepareOptions = value;
    if (typesChange && FPrepared) {
        FieldDefs().Clear();
        InternalInitFieldDefs();
    }
}

void TFbCustomDataSet::SetCacheModelOptions(const TCacheModelOptions& value) {
    if (Active()) DatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    // The limited-buffer model is not built: no data set meets its conditions.
    if (value.CacheModelKind == TCacheModelKind::cmkLimitedBufferSize)
        RaiseFbError(FbClientError::CannotUseLimitedCache);
    TCacheModelOptions v = value;
    if (v.BufferChunks <= 0) v.BufferChunks = 32;
    FCacheModelOptions = v;
}

void TFbCustomDataSet::SetUniDirectional(bool value) {
    if (value == FUniDirectional) return;
    CheckDatasetClosed(QStringLiteral(" change UniDirectional "));
    FUniDirectional = value;
}

void TFbCustomDataSet::CheckDatasetOpen(const QString& reason) {
    if (!Active()) RaiseFbError(FbClientError::DatasetClosed, {reason, FullName()});
}

void TFbCustomDataSet::CheckDatasetClosed(const QString& reason) {
    if (Active()) RaiseFbError(FbClientError::DatasetOpen, {reason, FullName()});
}

// ---- callbacks

void TFbCustomDataSet::AddBeforeOpenEvent(const void* key, TNotifyEvent callback) {
    FCallbacks.append({cbBeforeOpen, key, std::move(callback)});
}
void TFbCustomDataSet::AddAfterOpenEvent(const void* key, TNotifyEvent callback) {
    FCallbacks.append({cbAfterOpen, key, std::move(callback)});
}
void TFbCustomDataSet::AddBeforeCloseEvent(const void* key, TNotifyEvent callback) {
    FCallbacks.append({cbBeforeClose, key, std::move(callback)});
}
void TFbCustomDataSet::RemoveEvents(const void* key) {
    FCallbacks.removeIf([key](const TCallback& c) { return c.Key == key; });
}
void TFbCustomDataSet::RunCallbacks(int kind) {
    // A callback may remove itself: walk a copy.
    const QList<TCallback> callbacks = FCallbacks;
    for (const TCallback& c : callbacks)
        if (c.Kind == kind && c.Callback) c.Callback(this);
}

// ---- transaction start and prepare

void TFbCustomDataSet::StartTransaction() {
    if (!Database() && Transaction()) SetDatabase(Transaction()->DefaultDatabase());
    if (!Transaction() && Database()) SetTransaction(Database()->DefaultTransaction());
    TFbTransaction* transaction = Transaction();
    if (!transaction || transaction->InTransaction()) return;
    if (transaction->DatabaseCount() == 0 && Database()) transaction->SetDefaultDatabase(Database());
    if (FOptions.testFlag(TpFbDsOption::poStartTransaction)) transaction->StartTransaction();
}

void TFbCustomDataSet::Prepare() {
    if (!Database()) RaiseFbError(FbClientError::DatabaseNotAssigned, {FullName()});
    Database()->CheckActive();
    StartTransaction();
    if (!Transaction()) RaiseFbError(FbClientError::TransactionNotAssigned, {FullName()});
    Transaction()->CheckInTransaction();
    if (SelectSQL().Text().trimmed().isEmpty())
        RaiseFbError(FbClientError::EmptyQuery, {QStringLiteral("Prepare ") + FullName()});
    if (!FQSelect->Open()) FQSelect->Prepare();
    FPrepared = true;
    FieldDefs().Clear();
    InternalInitFieldDefs();
}

void TFbCustomDataSet::UnPrepare() {
    CheckDatasetClosed(QStringLiteral(" unprepare "));
    for (TFbQuery* q : {FQSelect, FQInsert, FQUpdate, FQDelete, FQRefresh})
        if (q->Handle()) q->FreeHandle();
    FPrepared = false;
}

void TFbCustomDataSet::SQLChanging(TFbQuery* sender) {
    if (sender != FQSelect) return;
    FSelectSQLChanged = true;
    if (Active())
        RaiseFbError(FbClientError::DatasetOpen, {QStringLiteral(" change SelectSQL "), FullName()});
    FieldDefs().Clear();
    FPrepared = false;
}

QString TFbCustomDataSet::DescriptorName(const QByteArray& name) const {
    // As the statement decodes the names of its columns.
    if (FQSelect->IsUnicodeConnect()) return QString::fromUtf8(name);
    if (FQSelect->IsKOI8Connect()) return platform::Decode(name, platform::TTextEncoding::KOI8R);
    return platform::StringFromAnsi(name);
}

// ---- open and close

void TFbCustomDataSet::DoBeforeOpenPhase() {
    StartTransaction();
    if (CloseOpenEventsDisabled()) return;
    TDataSet::DoBeforeOpenPhase();
    RunCallbacks(cbBeforeOpen);
}

void TFbCustomDataSet::InternalOpen() {
    if (FQSelect->MacroChanged()) {
        FieldDefs().Clear();
        FPrepared = false;
    }
    if (!FPrepared || !FQSelect->Prepared()) Prepare();
    if (FieldDefs().Count() == 0) InternalInitFieldDefs();
    const TFbSQLTypes kind = FQSelect->SQLType();
    if (kind != TFbSQLTypes::SQLSelect && kind != TFbSQLTypes::SQLSelectForUpdate) {
        FQSelect->ExecQuery();
        return;
    }
    CreateFields();
    FCurrentRecord = -1;
    FFetchFailed = false;
    AskRecordCount();
    FQSelect->ExecQuery();
    FOpen = FQSelect->Open();
    CreateCache();
    FSelectSQLChanged = false;
}

void TFbCustomDataSet::DoAfterOpenPhase() {
    if (FFieldOriginRule == TFieldOriginRule::forTableAndFieldName) {
        for (TField* field : Fields()) {
            const TFbFieldDescr& d = FieldDescr(field->FieldNo());
            const QByteArray column =
                d.fdRelationField == "DB_KEY" ? QByteArray("RDB$DB_KEY") : d.fdRelationField;
            field->SetOrigin(d.fdRelationTable.isEmpty() ? QString()
                                                         : DescriptorName(d.fdRelationTable) +
                                                               QLatin1Char('.') + DescriptorName(column));
        }
    }
    TDataSet::DoAfterOpenPhase();
    if (FOptions.testFlag(TpFbDsOption::poFetchAll)) FetchAll();
    if (!CloseOpenEventsDisabled()) RunCallbacks(cbAfterOpen);
}

void TFbCustomDataSet::DoBeforeClosePhase() {
    if (CloseOpenEventsDisabled()) return;
    TDataSet::DoBeforeClosePhase();
    RunCallbacks(cbBeforeClose);
}

void TFbCustomDataSet::InternalClose() {
    FCurrentRecord = -1;
    FOpen = false;
    FFetchFailed = false;
    FRecordCount = 0;
    FRecordsCache.reset();
    FBlobs.clear();
    DestroyFields();
    FLayout = TFbRecordLayout();
    FQSelect->Close();
}

void TFbCustomDataSet::DoAfterClosePhase() {
    TDataSet::DoAfterClosePhase();
    if (FOptions.testFlag(TpFbDsOption::poFreeHandlesAfterClose)) {
        for (TFbQuery* q : {FQSelect, FQInsert, FQUpdate, FQDelete, FQRefresh})
            if (q->Handle()) q->FreeHandle();
        FPrepared = false;
    }
}

void TFbCustomDataSet::CloseOpen(bool doFetchAll) {
    if (Active()) Close();
    Open();
    if (doFetchAll) FetchAll();
}

// ---- the end of the transaction and of the connection

void TFbCustomDataSet::OnTransactionEnding() {
    if (TransactionEnding) TransactionEnding(this);
    TFbTransaction* transaction = Transaction();
    if (!transaction || !Active()) return;
    const TTransactionState state = transaction->State();
    if (state != TTransactionState::tsDoCommit && state != TTransactionState::tsDoRollback) return;
    if (Destroying() ||
        !(FCachedUpdates || FOptions.testFlag(TpFbDsOption::poDontCloseAfterEndTransaction))) {
        Close();
        return;
    }
    // Keep what the cursor still holds: the rows stay browsable after the cursor is gone.
    FetchNext(INT_MAX);
    FQSelect->Close();
}

void TFbCustomDataSet::OnDatabaseDisconnecting() {
    if (Active()) {
        if (FCachedUpdates) {
            FetchNext(INT_MAX);
            FQSelect->Close();
        } else {
            Close();
        }
    }
    FPrepared = false;
    if (DatabaseDisconnecting) DatabaseDisconnecting(this);
}

// ---- counts

int TFbCustomDataSet::RecordCount() {
    int count = FRecordCount;
    if (FUniDirectional && count > FCacheModelOptions.BufferChunks) count = FCacheModelOptions.BufferChunks;
    return std::max(count, KnownRecordCount());
}

std::unique_ptr<TField> TFbCustomDataSet::CreateField(const TFieldDef& def) {
    return CreateFbField(this, def);
}
