#pragma once
// The record cache of a data set: every fetched row as a fixed-size stored record in memory
// blocks that never move, with the longer character columns kept apart in a string collection.
// Record numbers are 1-based; a bookmark is the internal record number.

#include "CacheMemory.h"
#include "platform/Exceptions.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

// Failures of the record cache.
class EMemManagerError : public platform::Exception {
public:
    using Exception::Exception;
};

// Cache error texts.
namespace cachemsg {
inline constexpr const char* SIncompatibleSizes = "Incompatible Sizes";
inline constexpr const char* SCantReadBuffer = "Can't read Buffer.Incorrect RecordNo";
inline constexpr const char* SCantReadLogBuffer = "Can't read LogBuffer.Incorrect RecordNo";
inline constexpr const char* SCantWriteBuffer = "Can't write to Buffer.Incorrect RecordNo";
inline constexpr const char* SCantWriteField = "Can't write to Field to Buffer.Incorrect RecordNo";
inline constexpr const char* SCantReadFieldData = "Can't read  FieldData .Incorrect RecordNo";
inline constexpr const char* SStrReadBadX = "Can't read value to StrCollection. Bad X-Index";
inline constexpr const char* SStrReadBadY = "Can't read value to StrCollection. Bad Y-Index";
inline constexpr const char* SStrWriteBadX = "Can't write value to StrCollection. Bad X-Index";
inline constexpr const char* SStrWriteBadY = "Can't write value to StrCollection. Bad Y-Index";
} // namespace cachemsg

// Cached-update status of a row (byte 5 of a row buffer, byte 0 of a stored record).
enum class TCachedUpdateStatus : uint8_t {
    cusUnmodified,
    cusModified,
    cusInserted,
    cusDeleted,
    cusUninserted,
    cusDeletedApplied
};

// A table of 8-bit strings: HighBounds columns (one per separate string of a data set) and Count
// rows (one per record, 0-based). The bytes of each column live in large chunks; per row only a
// 16-bit length is kept, and one chunk address per group of rows, so a stored string costs
// little more than its own bytes.
class TStringCollection {
public:
    explicit TStringCollection(int highBounds);
    ~TStringCollection();
    TStringCollection(const TStringCollection&) = delete;
    TStringCollection& operator=(const TStringCollection&) = delete;

    int HighBounds() const { return FHighBounds; }
    int Count() const { return FCount; }
    // Allocated rows: 128 on first use, then growing by half.
    int Capacity() const { return FCapacity; }

    // One more row; every column holds an empty string in it.
    void AddRow();
    // Adds rows until there are `count`.
    void EnsureCount(int count) {
        if (count <= FCount) return;
        if (count > FCapacity) Grow(count);
        FCount = count;
    }
    // The string at column x, row y (valid until the next change of that column). Bad indexes
    // raise the assertion failure.
    QByteArrayView Value(int x, int y) const;
    // Stores `length` bytes (at most 65535) at column x, row y.
    void SetValue(int x, int y, const char* data, int length) {
        if (!Append(x, y, data, length)) Store(x, y, data, length);
    }
    void SetValue(int x, int y, QByteArrayView value) { SetValue(x, y, value.data(), int(value.size())); }
    // No rows.
    void Clear();
    // Bytes taken by the string chunks (for measurements).
    qint64 ChunkBytes() const;

private:
    friend class TRecordsCache;
    // Rows sharing one chunk address; a string's place is its group's address plus the lengths of
    // the rows before it in the group.
    static constexpr int GroupRows = 16;

    struct TColumn {
        uint16_t* Lengths = nullptr;
        char** Groups = nullptr;
        std::vector<TCachePiece> Chunks;
        char* Tail = nullptr;
        char* ChunkEnd = nullptr;
        qint64 Live = 0;
        qint64 Garbage = 0;
        qint64 Allocated = 0;
        // The last place found: row KnownY's string starts at KnownPlace (none when -1).
        mutable int KnownY = -1;
        mutable char* KnownPlace = nullptr;

        TColumn() = default;
        TColumn(const TColumn&) = delete;
        TColumn& operator=(const TColumn&) = delete;
        ~TColumn();

        char* Place(int y) const;
        // After any change of the column's bytes or groups.
        void ForgetPlace() const { KnownY = -1; }
        // `bytes` contiguous bytes at the tail, starting a new chunk when the current one is full.
        char* Allocate(size_t bytes);
        void Compact(int count);
    };

    // The step a fetch takes for most rows: the first text of the newest row goes right behind
    // the text of the row before it in its group, when that ends at the column's tail with room
    // after it. False when the general path has to store it.
    bool Append(int x, int y, const char* data, int length) {
        if (x < 0 || x >= FHighBounds || y < 1 || y != FCount - 1 || y % GroupRows == 0 || length <= 0 ||
            length > 0xFFFF || !data)
            return false;
        TColumn& column = FData[x];
        if (column.KnownY != y - 1 || column.Lengths[y] != 0) return false;
        char* place = column.KnownPlace + column.Lengths[y - 1];
        if (place != column.Tail || column.ChunkEnd - column.Tail < length) return false;
        std::memcpy(place, data, size_t(length));
        column.Tail += length;
        column.Lengths[y] = uint16_t(length);
        // Only live bytes grow: no compaction can be due.
        column.Live += length;
        column.KnownY = y;
        column.KnownPlace = place;
        return true;
    }
    void Store(int x, int y, const char* data, int length);
    void Grow(int needed);
    // Value without the index checks, for the cache's own reads of rows it knows to exist.
    QByteArrayView Text(int x, int y) const;

    int FHighBounds;
    int FCount = 0;
    int FCapacity = 0;
    std::unique_ptr<TColumn[]> FData;
};

// The record cache of one data set.
class TRecordsCache {
public:
    // bufferChunks: records per block before the 1024-byte rule; stringFieldCount: separate
    // strings per record; recordSize: stored record size; inOutRecordSize: row buffer size.
    TRecordsCache(int bufferChunks, int stringFieldCount, int recordSize, int inOutRecordSize);
    ~TRecordsCache();
    TRecordsCache(const TRecordsCache&) = delete;
    TRecordsCache& operator=(const TRecordsCache&) = delete;

    // Layout figures.
    int BlockSize() const { return FBlockSize; }
    int RecordSize() const { return FRecordSize; }
    int InOutRecordSize() const { return FInOutRecordSize; }
    int RecInBlock() const { return FRecInBlock; }
    int BlockCount() const { return int(FBlocks.size()); }
    // Highest record number in use (the number of records without a record map).
    int RecordCount() const { return FRecordCount; }
    int StrFieldCount() const { return FStrFieldCount; }
    const TStringCollection* StringData() const { return FStringData.get(); }
    // Blocks x records per block, and blocks x block size.
    int Capacity() const { return BlockCount() * FRecInBlock; }
    qint64 GetSize() const { return qint64(BlockCount()) * FBlockSize; }

    // Appends one zero-filled block; returns the new block count.
    int CreateNewBlock();
    // Makes room for record `recordNo` and returns its stored record.
    char* PrepareMemory(int recordNo) {
        // A fetch in order without a record map: the record's block mostly exists already.
        if (!FMapRecords && recordNo >= 1 && (recordNo - 1) / FRecInBlock < BlockCount()) {
            if (recordNo > FRecordCount) FRecordCount = recordNo;
            return StoredRecord(recordNo);
        }
        return PrepareNewMemory(recordNo);
    }

    // Separate string k (1-based): its offset counted from row buffer + 5, and its size.
    void SetStrOffset(int strNo, int offset, int size);
    int StrOffset(int strIndex) const { return FStringFieldOffsets.at(strIndex); }
    int StrSize(int strIndex) const { return FStringFieldSize.at(strIndex); }

    // Assembles record `recordNo` at `dest` (row buffer + 5); with `oldValues` the values saved in
    // the change log, when there are any.
    void ReadRecordBuffer(int recordNo, char* dest, bool oldValues) const;
    void ReadRecord(int recordNo, char* dest) const {
        if (!FMapRecords && recordNo >= 1 && (recordNo - 1) / FRecInBlock < BlockCount())
            CopyOut(StoredRecord(recordNo), FStringData.get(), recordNo - 1, dest);
        else
            ReadRecordBuffer(recordNo, dest, false);
    }
    // Stores a row buffer (from + 5) as record `recordNo`; no source zero-fills the record and
    // empties its strings. `canAllocate` makes room for the record first.
    void WriteRecord(int recordNo, const char* source, bool canAllocate);
    // Overwrites `size` bytes at `offset` of a stored record (zeros when `data` is none).
    void WriteField(int recordNo, int offset, int size, const void* data);

    // Stores separate string `strIndex` (0-based) of 0-based record `recIndex`. A length of -1
    // stands for the column size; fixed-length text loses its trailing blanks.
    void SetStringFromPChar(int strIndex, int recIndex, bool fixedLength, int length, const char* bytes);
    // The same for text of a variable-length column (`length` bytes, none when `bytes` is none).
    void SetVaryingString(int strIndex, int recIndex, int length, const char* bytes) {
        if (FMapRecords || strIndex < 0 || strIndex >= FStrFieldCount || recIndex < 0 || length < 0) {
            SetStringFromPChar(strIndex, recIndex, false, length, bytes);
            return;
        }
        if (!bytes) length = 0;
        SetStringBytes(strIndex, recIndex + 1, bytes, std::min(length, FStringFieldSize[size_t(strIndex)]));
    }
    // Stores text (editing), converted to the system ANSI code page; none or empty empties it.
    void SetStringValue(int strIndex, int recIndex, const QString* value);

    // A value of a stored record: `offset` counted from row buffer + 5. The offset of a separate
    // string gives its text, any other the bytes of the stored record from there on.
    QByteArrayView GetFieldData(int recordNo, int offset) const;
    const char* GetNonStringFieldData(int recordNo, int offset) const;
    QByteArrayView GetStringFieldData(int recordNo, int strIndex) const;

    // Old values of a record, as a whole row buffer (the record starts at + 5). With the change
    // log they come from it (all bytes 1 beyond the cache); otherwise the current record is kept.
    const char* OldBuffer(int recordNo);
    void SaveOldBuffer(int recordNo);
    void ClearOldBuffer() { FOldBufRecordNumber = -1; }
    int OldBufRecordNumber() const { return FOldBufRecordNumber; }
    // Writes the old values back into the record.
    void RevertRecord(int recordNo);

    // Bookmarks: the internal record number of 0-based row `recIndex`.
    int BookMarkByRecord(int recIndex) const;
    // The record number of a bookmark; -1 when it is not valid.
    int RecordByBookMark(int bookmark) const;
    bool BookMarkValid(int bookmark) const;

    // Reordering through the record map (made on first use, the identity).
    // A new empty record placed as record `recordNo`; returns its stored record.
    char* Insert(int recordNo);
    void CancelInsert(int recordNo);
    void MoveRecord(int fromRecordNo, int toRecordNo);
    void SwapRecords(int recordNo1, int recordNo2);
    bool HasRecordMap() const { return FMapRecords != nullptr; }
    // Records as seen through the map (RecordCount without one).
    int MappedCount() const { return FMapRecords ? int(FMapRecords->size()) : FRecordCount; }

    // Cached updates: the change log keeps the first saved state of every changed record.
    bool SaveChangeLog() const { return FSaveChangeLog; }
    void SetSaveChangeLog(bool value) { FSaveChangeLog = value; }
    void SaveToChangeLog(int recordNo);
    bool InChangeLog(int recordNo) const;
    int ChangesCount() const { return FChangesCount; }
    void ClearLog();

private:
    // Internal number of a record (-1 when there is none); InternalExtend appends missing map
    // entries. Without a record map (a plain fetch) both are the record number itself.
    int Internal(int recordNo) const {
        if (recordNo < 1) return -1;
        return FMapRecords ? MappedInternal(recordNo) : recordNo;
    }
    int InternalExtend(int recordNo) { return FMapRecords ? ExtendMap(recordNo) : recordNo; }
    int MappedInternal(int recordNo) const;
    char* PrepareNewMemory(int recordNo);
    int ExtendMap(int recordNo);
    char* StoredRecord(int internalNo) const {
        return FBlocks[size_t((internalNo - 1) / FRecInBlock)] +
               size_t((internalNo - 1) % FRecInBlock) * size_t(FRecordSize);
    }
    // The stored record, or none when its block does not exist.
    char* FindStored(int internalNo) const {
        if (internalNo < 1 || (internalNo - 1) / FRecInBlock >= BlockCount()) return nullptr;
        return StoredRecord(internalNo);
    }
    void EnsureStringRows(int count) {
        if (FStringData) FStringData->EnsureCount(count);
    }
    void SetStringBytes(int strIndex, int internalNo, const char* bytes, int length) {
        EnsureStringRows(internalNo);
        FStringData->SetValue(strIndex, internalNo - 1, bytes, length);
    }
    void CopyOut(const char* stored, const TStringCollection* strings, int stringRow, char* dest) const;
    void CopyIn(const char* source, char* stored, int internalNo);
    void EnsureMap();
    // A new region with room for at least one block.
    void NewRegion();
    // Slot of a record in the change log, or -1.
    int LogSlot(int internalNo) const;

    int FBlockSize = 0;
    int FRecordSize;
    int FInOutRecordSize;
    int FRecInBlock = 0;
    int FRecordCount = 0;
    std::vector<char*> FBlocks;
    // The memory the blocks are cut from: regions growing with the cache, so that a large cache
    // takes few large pieces and a small one a single block.
    std::vector<TCachePiece> FRegions;
    char* FRegionNext = nullptr;
    char* FRegionEnd = nullptr;

    int FStrFieldCount;
    std::vector<int> FStringFieldOffsets;
    std::vector<int> FStringFieldSize;
    std::unique_ptr<TStringCollection> FStringData;

    std::unique_ptr<std::vector<int>> FMapRecords;

    std::vector<char> FOldBuffer;
    int FOldBufRecordNumber = -1;

    bool FSaveChangeLog = false;
    std::vector<char*> FChangeLog;
    // (internal record number, log slot), sorted by record number.
    std::vector<std::pair<int, int>> FChangesPositions;
    int FChangesCount = 0;
    int FLogSlots = 0;
    std::unique_ptr<TStringCollection> FLogStringData;
};
