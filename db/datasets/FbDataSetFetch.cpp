// The row fetch of the select data set: rows from the cursor into the record cache, and from the
// cache into row buffers.
#include "FbCacheManage.h"
#include "FbDataSet.h"
#include "FbRecordLayout.h"
#include "db/connection/fb.h"

#include <climits>
#include <cstring>
#include <ibase.h>

using db::connection::RaiseFbError;
using db::statements::FbReadBlob;

namespace {

// Marks a run state for the duration of a scope.
class TRunStateMark {
public:
    TRunStateMark(TDataSetRunState& state, TDataSetRunStateValue value)
        : FState(state), FValue(value), FWasSet(state.testFlag(value)) {
        FState |= value;
    }
    ~TRunStateMark() {
        if (!FWasSet) FState &= ~TDataSetRunState(FValue);
    }

private:
    TDataSetRunState& FState;
    TDataSetRunStateValue FValue;
    bool FWasSet;
};

} // namespace

// ---- layout and cache

void TFbCustomDataSet::CreateCache() {
    // Each column's field kind, by position, from the field definitions.
    const int columns = FQSelect->Current().Count();
    std::vector<TAddedTypeFields> added(size_t(columns), TAddedTypeFields::atfStandard);
    for (int i = 0; i < FieldDefs().Count(); ++i) {
        const TFieldDef& def = FieldDefs()[i];
        if (def.FieldNo < 1 || def.FieldNo > columns) continue;
        if (def.DataType == TFieldType::ftGuid)
            added[size_t(def.FieldNo - 1)] = TAddedTypeFields::atfGuidField;
        if (def.DataType == TFieldType::ftWideString)
            added[size_t(def.FieldNo - 1)] = TAddedTypeFields::atfWideStringField;
    }
    TFbLayoutOptions options;
    options.BufferChunks = FCacheModelOptions.BufferChunks;
    options.CacheCalcFields = FOptions.testFlag(TpFbDsOption::poCacheCalcFields);
    const TFbCharSetFacts facts = TFbCharSetFacts::Of(*Database());
    FLayout = BuildRecordLayout(*FQSelect->Current().AsXSQLDA(), added, {}, facts, options);
    FRecordsCache = CreateRecordsCache(FLayout, FCachedUpdates);
}

void TFbCustomDataSet::ReadRowIntoBuffer(int rowIndex, char* buffer) {
    // A ring keeps only the last BufferChunks rows: an older row is no longer there to show.
    if (FUniDirectional && rowIndex < FRecordCount - FCacheModelOptions.BufferChunks)
        DatabaseError(QStringLiteral("Operation not allowed on a unidirectional dataset"));
    ReadRowBuffer(*FRecordsCache, FLayout, rowIndex, SlotOf(rowIndex), buffer);
}

// ---- fetching from the cursor

TFbCustomDataSet::TCursorFetch TFbCustomDataSet::FetchFromCursor() {
    if (!FOpen || FQSelect->Eof()) return TCursorFetch::None;
    if (BeforeFetchRecord) {
        bool stop = false;
        BeforeFetchRecord(FQSelect, FRecordCount, stop);
        if (stop) return TCursorFetch::None;
    }
    try {
        if (!FQSelect->Next()) return TCursorFetch::None;
    } catch (...) {
        // The statement closed its cursor: the rows after this one will never come.
        FFetchFailed = true;
        throw;
    }
    StoreFetchedRow(*FRecordsCache, FLayout, *FQSelect->Current().AsXSQLDA(), SlotOf(FRecordCount),
                    PrepareOptions().testFlag(TpPrepareOption::psSQLINT64ToBCD));
    // Blob content read for an earlier row of a reused slot belongs to that row only.
    if (FUniDirectional) FBlobs.clear();
    ++FRecordCount;
    if (AfterFetchRecord) {
        bool stop = false;
        AfterFetchRecord(FQSelect, FRecordCount - 1, stop);
        if (stop) return TCursorFetch::RowAndStop;
    }
    return TCursorFetch::Row;
}

TGetResult TFbCustomDataSet::FetchRecordInto(char* buffer, TGetMode mode) {
    switch (mode) {
    case TGetMode::gmNext:
        if (FCurrentRecord < FRecordCount - 1) {
            ++FCurrentRecord;
            break;
        }
        if (FCurrentRecord >= FRecordCount) return TGetResult::grEOF;
        switch (FetchFromCursor()) {
        case TCursorFetch::None:
            return TGetResult::grEOF;
        case TCursorFetch::RowAndStop:
            return TGetResult::grEOF;
        case TCursorFetch::Row:
            break;
        }
        ++FCurrentRecord;
        break;
    case TGetMode::gmPrior:
        if (FCurrentRecord >= 1 && FCurrentRecord <= FRecordCount) {
            --FCurrentRecord;
            break;
        }
        if (FCurrentRecord == 0) {
            FCurrentRecord = -1;
            return TGetResult::grBOF;
        }
        if (FCurrentRecord == -1) return TGetResult::grBOF;
        return TGetResult::grError;
    case TGetMode::gmCurrent:
        if (FCurrentRecord < 0) return TGetResult::grBOF;
        if (FCurrentRecord >= FRecordCount) {
            while (FRecordCount <= FCurrentRecord && FetchFromCursor() == TCursorFetch::Row) {
            }
            FCurrentRecord = FRecordCount - 1;
            if (FCurrentRecord < 0) return TGetResult::grBOF;
        }
        break;
    }
    FInspectedRow = buffer;
    ReadRowIntoBuffer(FCurrentRecord, buffer);
    return TGetResult::grOK;
}

TGetResult TFbCustomDataSet::GetRecord(char* buffer, TGetMode mode) {
    TRunStateMark mark(FRunState, TDataSetRunStateValue::drsInGetRecordProc);
    TGetResult result = TGetResult::grError;
    try {
        result = FetchRecordInto(buffer, mode);
    } catch (const platform::EDatabaseError& e) {
        FInspectedRow = nullptr;
        if (!OnGetRecordError) throw;
        TDataAction action = TDataAction::daFail;
        OnGetRecordError(this, e, action);
        if (action == TDataAction::daFail) throw;
        if (action == TDataAction::daAbort) throw platform::EAbort(QStringLiteral("Operation aborted"));
        result = mode == TGetMode::gmPrior ? TGetResult::grBOF : TGetResult::grEOF;
    }
    FInspectedRow = nullptr;
    TBookmarkFlag flag = TBookmarkFlag::bfEOF;
    if (result == TGetResult::grOK) flag = TBookmarkFlag::bfCurrent;
    if (result == TGetResult::grBOF) flag = TBookmarkFlag::bfBOF;
    if (FLayout.RecordBufferSize > 4) buffer[4] = char(flag);
    return result;
}

void TFbCustomDataSet::InternalSetToRecord(const char* buffer) {
    int32_t index;
    std::memcpy(&index, buffer, sizeof index);
    FCurrentRecord = index;
}

void TFbCustomDataSet::InternalLast() {
    TRunStateMark mark(FRunState, TDataSetRunStateValue::drsInFetchingAll);
    while (FetchFromCursor() == TCursorFetch::Row) {
    }
    FCurrentRecord = FRecordCount;
}

void TFbCustomDataSet::FetchAll() {
    if (!FOpen || FQSelect->Eof()) return;
    // The current row and the Bof and Eof flags stay as they are; only the cache grows.
    TRunStateMark mark(FRunState, TDataSetRunStateValue::drsInFetchingAll);
    while (FetchFromCursor() == TCursorFetch::Row) {
    }
}

int TFbCustomDataSet::FetchNext(int count) {
    int fetched = 0;
    while (fetched < count) {
        const TCursorFetch r = FetchFromCursor();
        if (r == TCursorFetch::None) break;
        ++fetched;
        if (r == TCursorFetch::RowAndStop) break;
    }
    return fetched;
}

// ---- what the fields read

QByteArray TFbCustomDataSet::BlobContent(int fieldNo) {
    const char* row = CurrentRowBuffer();
    if (!row) return {};
    const TFbFieldDescr& d = FieldDescr(fieldNo);
    if (RowFieldIsNull(row, fieldNo - 1)) return {};
    int32_t rowIndex;
    std::memcpy(&rowIndex, row, sizeof rowIndex);
    const quint64 key = (quint64(quint32(rowIndex)) << 16) | quint64(fieldNo);
    auto it = FBlobs.find(key);
    if (it != FBlobs.end()) {
        it->LastUse = ++FBlobUses;
        return it->Content;
    }
    // Content not read yet needs the server: a blob that cannot be read is an error, never empty.
    if (!Database()) RaiseFbError(FbClientError::DatabaseNotAssigned, {FullName()});
    if (!Transaction()) RaiseFbError(FbClientError::TransactionNotAssigned, {FullName()});
    Transaction()->CheckInTransaction();
    ISC_QUAD id;
    std::memcpy(&id, row + d.fdDataOfs, sizeof id);
    TFbBlobContext context;
    context.Library = &Database()->ClientLibrary();
    context.DBHandle = Database()->HandleAddress();
    context.TRHandle = Transaction()->HandleAddress();
    context.Sender = this;
    const QByteArray content = FbReadBlob(context, id);
    const int limit = FCacheModelOptions.BlobCacheLimit;
    if (limit > 0) {
        // The least recently used content goes; a limit is a handful, so a scan is cheap.
        while (FBlobs.size() >= limit) {
            auto oldest = FBlobs.begin();
            for (auto i = FBlobs.begin(); i != FBlobs.end(); ++i)
                if (i->LastUse < oldest->LastUse) oldest = i;
            FBlobs.erase(oldest);
        }
    }
    FBlobs.insert(key, {content, ++FBlobUses});
    return content;
}
