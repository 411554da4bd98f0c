#pragma once
// TFbCustomDataSet: a data set over a select statement that fetches rows on demand into a record
// cache and shows the current row through typed fields; TFbDataSet publishes its properties.

#include "DataSet.h"
#include "FbDataSetOptions.h"
#include "FbRecordLayout.h"
#include "db/connection/FbDatabase.h"
#include "db/connection/FbTransaction.h"
#include "db/statements/FbQuery.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TRecordsCache;
class TFbBlobStream;
class TFbCustomDataSet;

// The five statement lists of a data set, by role.
class TSQLs {
public:
    explicit TSQLs(TFbCustomDataSet* owner) : FOwner(owner) {}
    platform::TStringList& SelectSQL();
    platform::TStringList& InsertSQL();
    platform::TStringList& UpdateSQL();
    platform::TStringList& DeleteSQL();
    platform::TStringList& RefreshSQL();

private:
    TFbCustomDataSet* FOwner;
};

class TFbCustomDataSet : public TDataSet {
    Q_OBJECT
public:
    explicit TFbCustomDataSet(platform::TComponent* owner = nullptr);
    ~TFbCustomDataSet() override;

    using TGetRecordErrorEvent = std::function<void(
        TFbCustomDataSet* dataSet, const platform::EDatabaseError& error, TDataAction& action)>;
    using TFetchRecordEvent = std::function<void(TFbQuery* fromQuery, int recordNumber, bool& stopFetching)>;
    using TNotifyEvent = std::function<void(TFbCustomDataSet* dataSet)>;

    // Connection and transaction (only while closed).
    TFbDatabase* Database() const { return FBase.Database(); }
    void SetDatabase(TFbDatabase* value);
    TFbTransaction* Transaction() const { return FBase.Transaction(); }
    void SetTransaction(TFbTransaction* value);
    TFbTransaction* UpdateTransaction() const { return FUpdateTransaction; }
    void SetUpdateTransaction(TFbTransaction* value);

    // Statements.
    TFbQuery& QSelect() const { return *FQSelect; }
    TFbQuery& QInsert() const { return *FQInsert; }
    TFbQuery& QUpdate() const { return *FQUpdate; }
    TFbQuery& QDelete() const { return *FQDelete; }
    TFbQuery& QRefresh() const { return *FQRefresh; }
    platform::TStringList& SelectSQL() { return FQSelect->SQL(); }
    platform::TStringList& InsertSQL() { return FQInsert->SQL(); }
    platform::TStringList& UpdateSQL() { return FQUpdate->SQL(); }
    platform::TStringList& DeleteSQL() { return FQDelete->SQL(); }
    platform::TStringList& RefreshSQL() { return FQRefresh->SQL(); }
    TSQLs& SQLs() { return FSQLs; }

    // Options.
    TpFbDsOptions Options() const { return FOptions; }
    void SetOptions(TpFbDsOptions value);
    TpPrepareOptions PrepareOptions() const { return FPrepareOptions; }
    void SetPrepareOptions(TpPrepareOptions value);
    const TCacheModelOptions& CacheModelOptions() const { return FCacheModelOptions; }
    void SetCacheModelOptions(const TCacheModelOptions& value);
    bool UniDirectional() const { return FUniDirectional; }
    void SetUniDirectional(bool value);
    bool CachedUpdates() const { return FCachedUpdates; }
    void SetCachedUpdates(bool value);
    bool AutoCommit() const { return FAutoCommit; }
    void SetAutoCommit(bool value) { FAutoCommit = value; }
    TDetailConditions DetailConditions() const { return FDetailConditions; }
    void SetDetailConditions(TDetailConditions value) { FDetailConditions = value; }
    TFieldOriginRule FieldOriginRule() const { return FFieldOriginRule; }
    void SetFieldOriginRule(TFieldOriginRule value) { FFieldOriginRule = value; }
    TTransactionKind RefreshTransactionKind() const { return FRefreshTransactionKind; }
    void SetRefreshTransactionKind(TTransactionKind value) { FRefreshTransactionKind = value; }
    int SQLScreenCursor() const { return FSQLScreenCursor; }
    void SetSQLScreenCursor(int value) { FSQLScreenCursor = value; }
    bool Filtered() const { return FFiltered; }
    void SetFiltered(bool value) { FFiltered = value; }
    const QString& Filter() const { return FFilter; }
    void SetFilter(const QString& value) { FFilter = value; }
    TFilterOptions FilterOptions() const { return FFilterOptions; }
    void SetFilterOptions(TFilterOptions value) { FFilterOptions = value; }
    TCachedUpdateStatusSet UpdateRecordTypes() const { return FUpdateRecordTypes; }
    void SetUpdateRecordTypes(TCachedUpdateStatusSet value) { FUpdateRecordTypes = value; }

    // Prepare and transaction start.
    void Prepare();
    void UnPrepare();
    bool Prepared() const { return FPrepared; }
    void StartTransaction();

    // Fetching.
    void FetchAll();
    int FetchNext(int count);
    // Every row of the select is in the cache: false after a fetch failed (the rows before it stay,
    // the cursor is gone) until the data set is opened again.
    bool AllFetched() { return FQSelect->Eof() && !FFetchFailed; }
    void CloseOpen(bool doFetchAll);
    int RecordCount() override;
    // Current row's 0-based cache index (-1 before the first row).
    int CurrentRecord() const { return FCurrentRecord; }

    void CheckDatasetOpen(const QString& reason);
    void CheckDatasetClosed(const QString& reason);

    // Callbacks of other components, run after the event properties in registration order.
    void AddBeforeOpenEvent(const void* key, TNotifyEvent callback);
    void AddAfterOpenEvent(const void* key, TNotifyEvent callback);
    void AddBeforeCloseEvent(const void* key, TNotifyEvent callback);
    void RemoveEvents(const void* key);

    // Read path events.
    TGetRecordErrorEvent OnGetRecordError;
    TFetchRecordEvent BeforeFetchRecord;
    TFetchRecordEvent AfterFetchRecord;
    TNotifyEvent TransactionEnding, TransactionEnded, DatabaseDisconnecting, DatabaseDisconnected;

    // What the field classes read.
    const TFbFieldDescr& FieldDescr(int fieldNo) const { return FLayout.Fields[size_t(fieldNo - 1)]; }
    int FieldDescrCount() const { return int(FLayout.Fields.size()); }
    // A table or column name of the result's description, decoded from the connection's character
    // set.
    QString DescriptorName(const QByteArray& name) const;
    // The row the fields read: the row under inspection while fetching, else the active buffer;
    // none when there is no open cursor or no row.
    const char* CurrentRowBuffer() const {
        if (FInspectedRow && FRunState.testFlag(TDataSetRunStateValue::drsInGetRecordProc))
            return FInspectedRow;
        return FOpen ? ActiveBuffer() : nullptr;
    }
    // The blob content of a blob column of the current row, read once per row and field.
    QByteArray BlobContent(int fieldNo);
    // Blob and memo contents held in memory (at most CacheModelOptions.BlobCacheLimit when that is
    // above 0, the least recently read dropped first).
    int LoadedBlobCount() const { return int(FBlobs.size()); }
    const TFbRecordLayout& Layout() const { return FLayout; }
    TDataSetRunState RunState() const { return FRunState; }

protected:
    // TDataSet hooks.
    void DoBeforeOpenPhase() override;
    void InternalOpen() override;
    void DoAfterOpenPhase() override;
    void DoBeforeClosePhase() override;
    void InternalClose() override;
    void DoAfterClosePhase() override;
    bool IsCursorOpen() const override { return FOpen; }
    int RecordBufferSize() const override { return FLayout.RecordBufferSize; }
    TGetResult GetRecord(char* buffer, TGetMode mode) override;
    void InternalFirst() override { FCurrentRecord = -1; }
    void InternalLast() override;
    void InternalSetToRecord(const char* buffer) override;
    bool IsUniDirectional() const override { return FUniDirectional; }
    std::unique_ptr<TField> CreateField(const TFieldDef& def) override;

    // Builds FieldDefs from the prepared statement's columns.
    virtual void InternalInitFieldDefs();
    // The row total known from the server (TpFbDataSet); 0 here.
    virtual int KnownRecordCount() const { return 0; }
    virtual void AskRecordCount() {}

    TFbBase& Base() { return FBase; }

private:
    friend class TSQLs;
    struct TCallback {
        int Kind;
        const void* Key;
        TNotifyEvent Callback;
    };

    TFbQuery* NewStatement(const char* name);
    void SQLChanging(TFbQuery* sender);
    void OnTransactionEnding();
    void OnDatabaseDisconnecting();
    void RunCallbacks(int kind);

    // Row fetch (FbDataSetFetch.cpp).
    TGetResult FetchRecordInto(char* buffer, TGetMode mode);
    // Fetches one more row from the cursor into the cache.
    enum class TCursorFetch { None, Row, RowAndStop };
    TCursorFetch FetchFromCursor();
    void ReadRowIntoBuffer(int rowIndex, char* buffer);
    int SlotOf(int rowIndex) const {
        return CacheSlot(rowIndex, FUniDirectional, FCacheModelOptions.BufferChunks);
    }
    // Record layout and cache of the open select.
    void CreateCache();

    TFbBase FBase;
    TFbQuery* FQSelect;
    TFbQuery* FQInsert;
    TFbQuery* FQUpdate;
    TFbQuery* FQDelete;
    TFbQuery* FQRefresh;
    TSQLs FSQLs;
    TFbTransaction* FUpdateTransaction = nullptr;

    TpFbDsOptions FOptions = DefaultDsOptions();
    TpPrepareOptions FPrepareOptions = DefaultPrepareOptions();
    TCacheModelOptions FCacheModelOptions;
    bool FUniDirectional = false;
    bool FCachedUpdates = false;
    bool FAutoCommit = false;
    TDetailConditions FDetailConditions;
    TFieldOriginRule FFieldOriginRule = TFieldOriginRule::forTableAndFieldName;
    TTransactionKind FRefreshTransactionKind = TTransactionKind::tkReadTransaction;
    int FSQLScreenCursor = 0;
    bool FFiltered = false;
    QString FFilter;
    TFilterOptions FFilterOptions;
    TCachedUpdateStatusSet FUpdateRecordTypes = DefaultUpdateRecordTypes();

    bool FOpen = false;
    bool FFetchFailed = false;
    bool FPrepared = false;
    bool FSelectSQLChanged = false;
    int FCurrentRecord = -1;
    int FRecordCount = 0;
    std::unique_ptr<TRecordsCache> FRecordsCache;
    // The column descriptors (Fields) and layout figures of the open select.
    TFbRecordLayout FLayout;
    TDataSetRunState FRunState;
    // The row under inspection while a row is fetched.
    const char* FInspectedRow = nullptr;
    // Blob content read per row and field: (row index << 16 | field number) -> content, with the
    // count of reads at its last use.
    struct TLoadedBlob {
        QByteArray Content;
        quint64 LastUse = 0;
    };
    QHash<quint64, TLoadedBlob> FBlobs;
    quint64 FBlobUses = 0;
    QList<TCallback> FCallbacks;
};

// The class that publishes the properties.
class TFbDataSet : public TFbCustomDataSet {
    Q_OBJECT
public:
    using TFbCustomDataSet::TFbCustomDataSet;
};
