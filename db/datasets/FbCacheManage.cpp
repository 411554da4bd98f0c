#include "FbCacheManage.h"

#include "platform/Encoding.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numeric>

namespace {

[[noreturn]] void CacheError(const char* text) {
    throw EMemManagerError(QString::fromLatin1(text));
}

[[noreturn]] void CollectionAssert(const char* text) {
    throw platform::EAssertionFailed(QString::fromLatin1(text) + QStringLiteral(" (pFbLists)"));
}

constexpr qint64 SmallChunk = 16 * 1024;
constexpr qint64 LargeChunk = 1024 * 1024;
// The largest memory region the record cache's blocks are cut from.
constexpr qint64 MaxRegion = 4 * 1024 * 1024;
// Relocated groups leave their old bytes behind; a column is compacted when those outweigh the
// live bytes.
constexpr qint64 CompactAbove = 64 * 1024;

// Room for one more element, reserved before what it will hold is made (so that no push_back can
// throw then). Grows by half: reserving only the one needed would copy the whole vector on every
// append and make filling a large cache quadratic.
template <typename T> void ReserveOneMore(std::vector<T>& items) {
    if (items.size() < items.capacity()) return;
    items.reserve(items.size() + std::max<size_t>(items.size() / 2, 16));
}

void* CheckedRealloc(void* block, size_t bytes) {
    void* result = std::realloc(block, bytes);
    if (!result) throw std::bad_alloc();
    return result;
}

} // namespace

TStringCollection::TColumn::~TColumn() {
    std::free(Lengths);
    std::free(Groups);
}

char* TStringCollection::TColumn::Place(int y) const {
    // Rows are mostly stored and read in order: the place of the row after the last one found
    // follows from it without summing the lengths before it.
    if (y == KnownY) return KnownPlace;
    char* place = nullptr;
    if (KnownY >= 0 && y == KnownY + 1 && y % GroupRows != 0) {
        place = KnownPlace + Lengths[KnownY];
    } else {
        const int first = y - y % GroupRows;
        char* base = Groups[y / GroupRows];
        if (!base) return nullptr;
        size_t offset = 0;
        for (int i = first; i < y; ++i)
            offset += Lengths[i];
        place = base + offset;
    }
    KnownY = y;
    KnownPlace = place;
    return place;
}

char* TStringCollection::TColumn::Allocate(size_t bytes) {
    if (Tail && size_t(ChunkEnd - Tail) >= bytes) {
        char* result = Tail;
        Tail += bytes;
        return result;
    }
    const qint64 chunkSize = std::max<qint64>(qint64(bytes), Live < 1024 * 1024 ? SmallChunk : LargeChunk);
    ReserveOneMore(Chunks);
    TCachePiece chunk{size_t(chunkSize), TCachePiece::TFill::Any};
    if (Tail) Garbage += ChunkEnd - Tail;
    Allocated += qint64(chunk.Size());
    Tail = chunk.Data() + bytes;
    ChunkEnd = chunk.Data() + chunk.Size();
    Chunks.push_back(std::move(chunk));
    return Tail - bytes;
}

void TStringCollection::TColumn::Compact(int count) {
    ForgetPlace();
    // The live groups move to new chunks after the old ones, which go only when all moved.
    const size_t oldChunks = Chunks.size();
    const qint64 oldAllocated = Allocated, oldGarbage = Garbage;
    Tail = ChunkEnd = nullptr;
    Garbage = 0;
    Allocated = 0;
    try {
        for (int first = 0; first < count; first += GroupRows) {
            const int end = std::min(first + GroupRows, count);
            size_t bytes = 0;
            for (int i = first; i < end; ++i)
                bytes += Lengths[i];
            char*& base = Groups[first / GroupRows];
            if (bytes == 0) {
                base = nullptr;
                continue;
            }
            char* target = Allocate(bytes);
            std::memcpy(target, base, bytes);
            base = target;
        }
    } catch (...) {
        // Groups already moved point into the new chunks, the others into the old ones: both stay.
        Allocated += oldAllocated;
        Garbage += oldGarbage;
        throw;
    }
    Chunks.erase(Chunks.begin(), Chunks.begin() + qsizetype(oldChunks));
}

TStringCollection::TStringCollection(int highBounds)
    : FHighBounds(std::max(highBounds, 0)), FData(std::make_unique<TColumn[]>(size_t(FHighBounds))) {}

TStringCollection::~TStringCollection() = default;

void TStringCollection::Grow(int needed) {
    if (needed <= FCapacity) return;
    int capacity = FCapacity == 0 ? 128 : FCapacity;
    while (capacity < needed)
        capacity += std::max(capacity / 2, 1);
    const int groups = (capacity + GroupRows - 1) / GroupRows;
    const int oldGroups = (FCapacity + GroupRows - 1) / GroupRows;
    for (int x = 0; x < FHighBounds; ++x) {
        TColumn& column = FData[x];
        column.Lengths = static_cast<uint16_t*>(CheckedRealloc(column.Lengths, sizeof(uint16_t) * capacity));
        // Rows beyond the count are empty: adding rows then only raises the count.
        std::fill(column.Lengths + FCapacity, column.Lengths + capacity, uint16_t(0));
        column.Groups = static_cast<char**>(CheckedRealloc(column.Groups, sizeof(char*) * groups));
        std::fill(column.Groups + oldGroups, column.Groups + groups, nullptr);
    }
    FCapacity = capacity;
}

void TStringCollection::AddRow() {
    EnsureCount(FCount + 1);
}

inline QByteArrayView TStringCollection::Text(int x, int y) const {
    const TColumn& column = FData[x];
    const int length = column.Lengths[y];
    if (length == 0) return {};
    // A walk reads the row the fetch has just stored: its place is the one last found.
    return QByteArrayView(y == column.KnownY ? column.KnownPlace : column.Place(y), length);
}

QByteArrayView TStringCollection::Value(int x, int y) const {
    if (x < 0 || x >= FHighBounds) CollectionAssert(cachemsg::SStrReadBadX);
    if (y < 0 || y >= FCount) CollectionAssert(cachemsg::SStrReadBadY);
    return Text(x, y);
}

void TStringCollection::Store(int x, int y, const char* data, int length) {
    if (x < 0 || x >= FHighBounds) CollectionAssert(cachemsg::SStrWriteBadX);
    if (y < 0 || y >= FCount) CollectionAssert(cachemsg::SStrWriteBadY);
    length = std::clamp(length, 0, 0xFFFF);
    if (!data) length = 0;
    TColumn& column = FData[x];
    const int old = column.Lengths[y];
    if (old == 0 && length > 0 && y == FCount - 1) {
        // The newest row gets its first text (a fetch stores every row so): it goes to the column's
        // tail when its group ends there, and starts a new group when the group has no bytes yet.
        char*& base = column.Groups[y / GroupRows];
        char* place = nullptr;
        if (!base) {
            place = base = column.Allocate(size_t(length));
        } else {
            char* end = column.Place(y);
            if (end == column.Tail && size_t(column.ChunkEnd - column.Tail) >= size_t(length)) {
                place = end;
                column.Tail += length;
            }
        }
        if (place) {
            std::memcpy(place, data, size_t(length));
            column.Lengths[y] = uint16_t(length);
            column.Live += length;
            column.KnownY = y;
            column.KnownPlace = place;
            if (column.Garbage > CompactAbove && column.Garbage > column.Live) column.Compact(FCount);
            return;
        }
    }
    if (length == old) {
        if (length) std::memmove(column.Place(y), data, size_t(length));
        return;
    }
    const int first = y - y % GroupRows;
    const int end = std::min(first + GroupRows, FCount);
    char*& base = column.Groups[y / GroupRows];
    size_t before = 0, after = 0;
    if (base) {
        before = size_t(column.Place(y) - base);
    } else {
        for (int i = first; i < y; ++i)
            before += column.Lengths[i];
    }
    for (int i = y + 1; i < end; ++i)
        after += column.Lengths[i];
    const size_t groupBytes = before + old + after;
    const bool atTail = base && base + groupBytes == column.Tail;
    if (after == 0 && base &&
        (length < old || (atTail && size_t(column.ChunkEnd - column.Tail) >= size_t(length - old)))) {
        // The row ends its group: the text is rewritten in place, the group's end moves.
        std::memmove(base + before, data, size_t(length));
        if (atTail)
            column.Tail = base + before + length;
        else
            column.Garbage += old - length;
    } else {
        // The group moves to the tail with the new text in its place.
        const size_t bytes = groupBytes - old + length;
        char* target = column.Allocate(bytes);
        if (before) std::memcpy(target, base, before);
        std::memcpy(target + before, data, size_t(length));
        if (after) std::memcpy(target + before + length, base + before + old, after);
        column.Garbage += qint64(groupBytes);
        base = target;
    }
    column.Lengths[y] = uint16_t(length);
    column.Live += length - old;
    // The rows after y moved with it; y itself stands at its new place.
    column.KnownY = y;
    column.KnownPlace = base + before;
    if (column.Garbage > CompactAbove && column.Garbage > column.Live) column.Compact(FCount);
}

void TStringCollection::Clear() {
    for (int x = 0; x < FHighBounds; ++x) {
        TColumn& column = FData[x];
        column.Chunks.clear();
        std::free(column.Lengths);
        std::free(column.Groups);
        column.Lengths = nullptr;
        column.Groups = nullptr;
        column.Tail = column.ChunkEnd = nullptr;
        column.Live = column.Garbage = column.Allocated = 0;
        column.ForgetPlace();
    }
    FCount = 0;
    FCapacity = 0;
}

qint64 TStringCollection::ChunkBytes() const {
    qint64 total = 0;
    for (int x = 0; x < FHighBounds; ++x)
        total += FData[x].Allocated;
    return total;
}

// ---------------------------------------------------------------------------------------------

TRecordsCache::TRecordsCache(int bufferChunks, int stringFieldCount, int recordSize, int inOutRecordSize)
    : FRecordSize(recordSize), FInOutRecordSize(inOutRecordSize),
      FStrFieldCount(std::max(stringFieldCount, 0)) {
    if (recordSize < 1) CacheError(cachemsg::SIncompatibleSizes);
    qint64 blockSize = qint64(std::max(bufferChunks, 1)) * recordSize;
    if (blockSize < 1024) {
        const int unit = inOutRecordSize > 0 ? inOutRecordSize : recordSize;
        blockSize = 1024 + unit - 1024 % unit;
    }
    if (blockSize < recordSize || blockSize > INT32_MAX) CacheError(cachemsg::SIncompatibleSizes);
    FBlockSize = int(blockSize);
    FRecInBlock = FBlockSize / FRecordSize;
    if (FStrFieldCount > 0) {
        FStringData = std::make_unique<TStringCollection>(FStrFieldCount);
        FStringFieldOffsets.assign(size_t(FStrFieldCount), 0);
        FStringFieldSize.assign(size_t(FStrFieldCount), 0);
    }
    FOldBuffer.assign(size_t(std::max(inOutRecordSize, FRecordSize + 5)), char(1));
}

TRecordsCache::~TRecordsCache() {
    for (char* block : FChangeLog)
        std::free(block);
}

void TRecordsCache::NewRegion() {
    // Each region as large as all before it, up to MaxRegion: a large cache takes few pieces, a
    // small one a single block.
    const qint64 taken = qint64(FBlocks.size()) * FBlockSize;
    const qint64 blocks = std::clamp<qint64>(std::min(taken, MaxRegion) / FBlockSize, 1, INT32_MAX);
    ReserveOneMore(FRegions);
    TCachePiece piece{size_t(blocks * FBlockSize)};
    FRegionNext = piece.Data();
    FRegionEnd = piece.Data() + piece.Size();
    FRegions.push_back(std::move(piece));
}

int TRecordsCache::CreateNewBlock() {
    ReserveOneMore(FBlocks);
    if (FRegionEnd - FRegionNext < FBlockSize) NewRegion();
    // Region memory is zero-filled and handed out once.
    FBlocks.push_back(FRegionNext);
    FRegionNext += FBlockSize;
    return int(FBlocks.size());
}

int TRecordsCache::MappedInternal(int recordNo) const {
    return recordNo <= int(FMapRecords->size()) ? (*FMapRecords)[size_t(recordNo - 1)] : -1;
}

int TRecordsCache::ExtendMap(int recordNo) {
    std::vector<int>& map = *FMapRecords;
    if (recordNo > int(map.size())) {
        const int added = recordNo - int(map.size());
        if (size_t(recordNo) > map.capacity())
            map.reserve(std::max(size_t(recordNo), map.size() + map.size() / 2));
        for (int i = 0; i < added; ++i)
            map.push_back(FRecordCount + 1 + i);
        FRecordCount += added;
        EnsureStringRows(FRecordCount);
    }
    return map[size_t(recordNo - 1)];
}

char* TRecordsCache::PrepareNewMemory(int recordNo) {
    if (recordNo < 1) CacheError(cachemsg::SCantWriteBuffer);
    const int internalNo = FMapRecords ? InternalExtend(recordNo) : recordNo;
    const int block = (internalNo - 1) / FRecInBlock;
    while (block >= BlockCount())
        CreateNewBlock();
    if (!FMapRecords) FRecordCount = std::max(FRecordCount, recordNo);
    return StoredRecord(internalNo);
}

void TRecordsCache::SetStrOffset(int strNo, int offset, int size) {
    if (strNo < 1 || strNo > FStrFieldCount || offset < 0 || size < 0 ||
        qint64(offset) + 4 + size > qint64(FInOutRecordSize) - 5)
        CacheError(cachemsg::SIncompatibleSizes);
    FStringFieldOffsets[size_t(strNo - 1)] = offset;
    FStringFieldSize[size_t(strNo - 1)] = size;
}

void TRecordsCache::CopyOut(const char* stored, const TStringCollection* strings, int stringRow,
                            char* dest) const {
    if (FStrFieldCount == 0) {
        std::memcpy(dest, stored, size_t(FRecordSize));
        return;
    }
    const int first = FStringFieldOffsets.front();
    if (first > 0) std::memcpy(dest, stored, size_t(first));
    for (int k = 0; k < FStrFieldCount; ++k) {
        const int offset = FStringFieldOffsets[size_t(k)];
        const int size = FStringFieldSize[size_t(k)];
        // A record whose string was never stored reads as the empty string, never as the bytes
        // some earlier row left in the buffer.
        QByteArrayView text;
        if (strings && stringRow >= 0 && stringRow < strings->Count()) text = strings->Text(k, stringRow);
        const int32_t length = int32_t(std::min<qsizetype>(text.size(), size));
        std::memcpy(dest + offset, &length, 4);
        if (length > 0) std::memcpy(dest + offset + 4, text.data(), size_t(length));
        if (length < size) dest[offset + 4 + length] = 0;
    }
    // Blob references and cached calculated fields follow the strings.
    const int after = FStringFieldOffsets.back() + FStringFieldSize.back() + 4;
    if (FRecordSize > first) std::memcpy(dest + after, stored + first, size_t(FRecordSize - first));
}

void TRecordsCache::ReadRecordBuffer(int recordNo, char* dest, bool oldValues) const {
    const int internalNo = Internal(recordNo);
    const char* stored = FindStored(internalNo);
    if (!stored) CacheError(cachemsg::SCantReadBuffer);
    const TStringCollection* strings = FStringData.get();
    int row = internalNo - 1;
    if (oldValues) {
        const int slot = LogSlot(internalNo);
        if (slot >= 0) {
            if (slot / FRecInBlock >= int(FChangeLog.size())) CacheError(cachemsg::SCantReadLogBuffer);
            stored = FChangeLog[size_t(slot / FRecInBlock)] + size_t(slot % FRecInBlock) * FRecordSize;
            strings = FLogStringData.get();
            row = slot;
        }
    }
    CopyOut(stored, strings, row, dest);
}

void TRecordsCache::CopyIn(const char* source, char* stored, int internalNo) {
    if (FStrFieldCount == 0) {
        std::memcpy(stored, source, size_t(FRecordSize));
        return;
    }
    const int first = FStringFieldOffsets.front();
    for (int k = 0; k < FStrFieldCount; ++k) {
        const int offset = FStringFieldOffsets[size_t(k)];
        int32_t length;
        std::memcpy(&length, source + offset, 4);
        length = std::clamp<int32_t>(length, 0, FStringFieldSize[size_t(k)]);
        SetStringBytes(k, internalNo, source + offset + 4, length);
    }
    std::memcpy(stored, source, size_t(first));
    const int after = FStringFieldOffsets.back() + FStringFieldSize.back() + 4;
    std::memcpy(stored + first, source + after, size_t(FRecordSize - first));
}

void TRecordsCache::WriteRecord(int recordNo, const char* source, bool canAllocate) {
    char* stored = canAllocate && recordNo >= 1 ? PrepareMemory(recordNo) : FindStored(Internal(recordNo));
    if (!stored) CacheError(cachemsg::SCantWriteBuffer);
    const int internalNo = Internal(recordNo);
    if (source) {
        CopyIn(source, stored, internalNo);
        return;
    }
    std::memset(stored, 0, size_t(FRecordSize));
    if (FStringData && internalNo - 1 < FStringData->Count())
        for (int k = 0; k < FStrFieldCount; ++k)
            FStringData->SetValue(k, internalNo - 1, nullptr, 0);
}

void TRecordsCache::WriteField(int recordNo, int offset, int size, const void* data) {
    char* stored = FindStored(Internal(recordNo));
    if (!stored || offset < 0 || size < 0 || offset + size > FRecordSize)
        CacheError(cachemsg::SCantWriteField);
    if (data)
        std::memcpy(stored + offset, data, size_t(size));
    else
        std::memset(stored + offset, 0, size_t(size));
}

void TRecordsCache::SetStringFromPChar(int strIndex, int recIndex, bool fixedLength, int length,
                                       const char* bytes) {
    if (strIndex < 0 || strIndex >= FStrFieldCount) CollectionAssert(cachemsg::SStrWriteBadX);
    if (recIndex < 0) CollectionAssert(cachemsg::SStrWriteBadY);
    const int size = FStringFieldSize[size_t(strIndex)];
    if (length < 0) length = size;
    if (!bytes) length = 0;
    if (fixedLength)
        while (length > 0 && bytes[length - 1] == ' ')
            --length;
    length = std::min(length, size);
    SetStringBytes(strIndex, InternalExtend(recIndex + 1), bytes, length);
}

void TRecordsCache::SetStringValue(int strIndex, int recIndex, const QString* value) {
    if (strIndex < 0 || strIndex >= FStrFieldCount) CollectionAssert(cachemsg::SStrWriteBadX);
    if (recIndex < 0) CollectionAssert(cachemsg::SStrWriteBadY);
    QByteArray text = value ? platform::AnsiFromString(*value) : QByteArray();
    const int size = FStringFieldSize[size_t(strIndex)];
    auto trimControls = [&text] {
        while (!text.isEmpty() && uchar(text.back()) < 33)
            text.chop(1);
    };
    // The cached text never exceeds the column: what a read would cut off is not kept.
    if (text.size() > size) {
        text.truncate(size);
        trimControls();
    } else if (!text.isEmpty() && text.back() == ' ') {
        trimControls();
    }
    SetStringBytes(strIndex, InternalExtend(recIndex + 1), text.constData(), int(text.size()));
}

QByteArrayView TRecordsCache::GetStringFieldData(int recordNo, int strIndex) const {
    const int internalNo = Internal(recordNo);
    if (internalNo < 1 || internalNo > FRecordCount || !FindStored(internalNo))
        CacheError(cachemsg::SCantReadFieldData);
    if (strIndex < 0 || strIndex >= FStrFieldCount) CollectionAssert(cachemsg::SStrReadBadX);
    if (internalNo > FStringData->Count()) return {};
    return FStringData->Value(strIndex, internalNo - 1);
}

const char* TRecordsCache::GetNonStringFieldData(int recordNo, int offset) const {
    const int internalNo = Internal(recordNo);
    const char* stored = internalNo <= FRecordCount ? FindStored(internalNo) : nullptr;
    if (!stored || offset < 0) CacheError(cachemsg::SCantReadFieldData);
    if (FStrFieldCount && offset >= FStringFieldOffsets.front()) {
        // Past the string area of the row buffer: blob references and calculated fields.
        const int after = FStringFieldOffsets.back() + FStringFieldSize.back() + 4;
        if (offset < after) CacheError(cachemsg::SCantReadFieldData);
        offset = FStringFieldOffsets.front() + (offset - after);
    }
    if (offset >= FRecordSize) CacheError(cachemsg::SCantReadFieldData);
    return stored + offset;
}

QByteArrayView TRecordsCache::GetFieldData(int recordNo, int offset) const {
    for (int k = 0; k < FStrFieldCount; ++k)
        if (FStringFieldOffsets[size_t(k)] == offset) return GetStringFieldData(recordNo, k);
    const char* data = GetNonStringFieldData(recordNo, offset);
    int storedOffset = offset;
    if (FStrFieldCount && offset >= FStringFieldOffsets.front())
        storedOffset =
            FStringFieldOffsets.front() + offset - (FStringFieldOffsets.back() + FStringFieldSize.back() + 4);
    return QByteArrayView(data, FRecordSize - storedOffset);
}

const char* TRecordsCache::OldBuffer(int recordNo) {
    if (FSaveChangeLog) {
        const int internalNo = Internal(recordNo);
        if (internalNo < 1 || internalNo > FRecordCount) {
            std::fill(FOldBuffer.begin(), FOldBuffer.end(), char(1));
            FOldBufRecordNumber = -1;
        } else {
            ReadRecordBuffer(recordNo, FOldBuffer.data() + 5, true);
            FOldBufRecordNumber = recordNo;
        }
        return FOldBuffer.data();
    }
    if (FOldBufRecordNumber != recordNo) SaveOldBuffer(recordNo);
    return FOldBuffer.data();
}

void TRecordsCache::SaveOldBuffer(int recordNo) {
    ReadRecordBuffer(recordNo, FOldBuffer.data() + 5, false);
    FOldBufRecordNumber = recordNo;
}

void TRecordsCache::RevertRecord(int recordNo) {
    const char* saved = OldBuffer(recordNo);
    const std::vector<char> old(saved, saved + FOldBuffer.size());
    WriteRecord(recordNo, old.data() + 5, false);
    const int internalNo = Internal(recordNo);
    auto it =
        std::lower_bound(FChangesPositions.begin(), FChangesPositions.end(), std::make_pair(internalNo, -1));
    if (it != FChangesPositions.end() && it->first == internalNo) {
        FChangesPositions.erase(it);
        --FChangesCount;
    }
}

int TRecordsCache::BookMarkByRecord(int recIndex) const {
    if (!FMapRecords) return recIndex + 1;
    return recIndex >= 0 && recIndex < int(FMapRecords->size()) ? (*FMapRecords)[size_t(recIndex)] : -1;
}

bool TRecordsCache::BookMarkValid(int bookmark) const {
    if (bookmark < 1) return false;
    if (!FMapRecords) return bookmark <= FRecordCount;
    return std::find(FMapRecords->begin(), FMapRecords->end(), bookmark) != FMapRecords->end();
}

int TRecordsCache::RecordByBookMark(int bookmark) const {
    if (!BookMarkValid(bookmark)) return -1;
    if (!FMapRecords) return bookmark;
    return int(std::find(FMapRecords->begin(), FMapRecords->end(), bookmark) - FMapRecords->begin()) + 1;
}

void TRecordsCache::EnsureMap() {
    if (FMapRecords) return;
    auto map = std::make_unique<std::vector<int>>(size_t(FRecordCount));
    std::iota(map->begin(), map->end(), 1);
    FMapRecords = std::move(map);
}

char* TRecordsCache::Insert(int recordNo) {
    EnsureMap();
    std::vector<int>& map = *FMapRecords;
    const int position = std::clamp(recordNo, 1, int(map.size()) + 1);
    const int internalNo = FRecordCount + 1;
    while ((internalNo - 1) / FRecInBlock >= BlockCount())
        CreateNewBlock();
    map.insert(map.begin() + (position - 1), internalNo);
    FRecordCount = internalNo;
    char* stored = StoredRecord(internalNo);
    std::memset(stored, 0, size_t(FRecordSize));
    EnsureStringRows(internalNo);
    for (int k = 0; k < FStrFieldCount; ++k)
        FStringData->SetValue(k, internalNo - 1, nullptr, 0);
    return stored;
}

void TRecordsCache::CancelInsert(int recordNo) {
    EnsureMap();
    std::vector<int>& map = *FMapRecords;
    if (recordNo < 1 || recordNo > int(map.size())) CacheError(cachemsg::SCantWriteBuffer);
    const int internalNo = map[size_t(recordNo - 1)];
    map.erase(map.begin() + (recordNo - 1));
    if (internalNo == FRecordCount) --FRecordCount;
}

void TRecordsCache::MoveRecord(int fromRecordNo, int toRecordNo) {
    EnsureMap();
    std::vector<int>& map = *FMapRecords;
    const int count = int(map.size());
    if (fromRecordNo < 1 || fromRecordNo > count || toRecordNo < 1 || toRecordNo > count)
        CacheError(cachemsg::SCantWriteBuffer);
    const int internalNo = map[size_t(fromRecordNo - 1)];
    map.erase(map.begin() + (fromRecordNo - 1));
    map.insert(map.begin() + (toRecordNo - 1), internalNo);
}

void TRecordsCache::SwapRecords(int recordNo1, int recordNo2) {
    EnsureMap();
    std::vector<int>& map = *FMapRecords;
    const int count = int(map.size());
    if (recordNo1 < 1 || recordNo1 > count || recordNo2 < 1 || recordNo2 > count)
        CacheError(cachemsg::SCantWriteBuffer);
    std::swap(map[size_t(recordNo1 - 1)], map[size_t(recordNo2 - 1)]);
}

int TRecordsCache::LogSlot(int internalNo) const {
    auto it =
        std::lower_bound(FChangesPositions.begin(), FChangesPositions.end(), std::make_pair(internalNo, -1));
    return it != FChangesPositions.end() && it->first == internalNo ? it->second : -1;
}

bool TRecordsCache::InChangeLog(int recordNo) const {
    return LogSlot(Internal(recordNo)) >= 0;
}

void TRecordsCache::SaveToChangeLog(int recordNo) {
    const int internalNo = Internal(recordNo);
    const char* stored = FindStored(internalNo);
    if (!stored) CacheError(cachemsg::SCantReadBuffer);
    // The log keeps the state before the first change.
    auto it =
        std::lower_bound(FChangesPositions.begin(), FChangesPositions.end(), std::make_pair(internalNo, -1));
    if (it != FChangesPositions.end() && it->first == internalNo) return;
    const int slot = FLogSlots;
    while (slot / FRecInBlock >= int(FChangeLog.size())) {
        ReserveOneMore(FChangeLog);
        char* block = static_cast<char*>(std::calloc(1, size_t(FBlockSize)));
        if (!block) throw std::bad_alloc();
        FChangeLog.push_back(block);
    }
    if (FStrFieldCount) {
        if (!FLogStringData) FLogStringData = std::make_unique<TStringCollection>(FStrFieldCount);
        FLogStringData->EnsureCount(slot + 1);
        for (int k = 0; k < FStrFieldCount; ++k) {
            const QByteArrayView text =
                internalNo <= FStringData->Count() ? FStringData->Value(k, internalNo - 1) : QByteArrayView();
            FLogStringData->SetValue(k, slot, text);
        }
    }
    std::memcpy(FChangeLog[size_t(slot / FRecInBlock)] + size_t(slot % FRecInBlock) * FRecordSize, stored,
                size_t(FRecordSize));
    FChangesPositions.insert(it, std::make_pair(internalNo, slot));
    ++FLogSlots;
    ++FChangesCount;
}

void TRecordsCache::ClearLog() {
    for (char* block : FChangeLog)
        std::free(block);
    FChangeLog.clear();
    FChangesPositions.clear();
    FChangesCount = 0;
    FLogSlots = 0;
    FLogStringData.reset();
}
