#pragma once
// The row as a data set sees it: one column descriptor per result column placing its value in the
// row buffer, the layout figures of the row buffer and stored record, and the moves of a fetched
// row (a client XSQLDA) into the record cache and of a cached row into a row buffer.

#include "FbCacheManage.h"

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ibase.h>
#include <memory>
#include <vector>

class TFbDatabase;

enum class TAddedTypeFields { atfStandard, atfGuidField, atfWideStringField };

// What the connection says about character sets, taken once from a database component.
struct TFbCharSetFacts {
    bool Connected = false;
    bool IsFirebird = false;
    bool IsIB2007 = false;
    bool IsUnicodeConnect = false;
    bool NeedUTFEncodeDDL = false;
    bool IsNoneConnect = false;
    int ServerMajorVersion = 0;

    static TFbCharSetFacts Of(TFbDatabase& database);

    // UNICODE_FSS always; UTF8 on Firebird; 8, 59 and 64 on InterBase 2007 (only 3 before the
    // connection is made).
    bool IsUnicodeCharSet(int charSetId) const;
    int BytesPerChar(int charSetId) const;
    // Whether text of this character set has to be translated from UTF-8 on this connection.
    bool NeedUnicodeTranslation(int charSetId) const;
    // Every server but Firebird 2 and later reports declared sizes of RDB$ columns.
    bool ServerReportsDeclaredSizes() const;
};

// One result column.
struct TFbFieldDescr {
    short fdDataType = 0; // without the nullable bit
    short fdDataScale = 0;
    bool fdNullable = false;
    short fdDataSize = 0;
    int fdDataOfs = 0; // in the row buffer
    bool fdIsDBKey = false;
    bool fdIsSeparateString = false;
    int fdStrIndex = -1;
    TAddedTypeFields fdAddedFields = TAddedTypeFields::atfStandard;
    short fdSubType = 0;
    QByteArray fdRelationTable;
    QByteArray fdRelationField;
    QByteArray fdTableAlias;
};
using TFbFieldDescrList = std::vector<TFbFieldDescr>;

// Bytes a column's value takes in the row buffer.
short FieldDataSize(const XSQLVAR& column, const TFbCharSetFacts& facts);

// The row layout of one open select.
struct TFbRecordLayout {
    TFbFieldDescrList Fields;
    int RecordSize = 0;            // end of the string area of a row buffer
    int BlockReadSize = 0;         // stored record size (without cached calculated fields)
    int BlobCacheOffset = 0;       // blob references in the stored record
    int BlobCacheBufferOffset = 0; // blob references in the row buffer
    int CalcFieldsOffset = 0;
    int RecordBufferSize = 0;
    int StringFieldCount = 0;
    int BlobFieldCount = 0;
    int BufferChunkSize = 0;
    int BufferChunks = 0;
    int CalcFieldsSize = 0;
    // Stored size the cache is created with (BlockReadSize, plus the calculated fields when
    // they are cached).
    int CacheRecordSize = 0;
};

struct TFbLayoutOptions {
    int BufferChunks = 32;
    int CalcFieldsSize = 0;
    bool CacheCalcFields = false;
};

// Computes the layout from the columns the server described. `added` gives each column's field
// kind by position (missing entries count as atfStandard); `tableAliases` the alias of each
// column's table in the select (may be empty).
TFbRecordLayout BuildRecordLayout(const XSQLDA& columns, const std::vector<TAddedTypeFields>& added,
                                  const std::vector<QByteArray>& tableAliases, const TFbCharSetFacts& facts,
                                  const TFbLayoutOptions& options);

// A record cache for the layout, with its first block and its string offsets set.
std::unique_ptr<TRecordsCache> CreateRecordsCache(const TFbRecordLayout& layout, bool cachedUpdates);

// The cache slot of 0-based row `rowIndex`: the row itself, or with the ring models (UniDirectional,
// limited buffer) the row modulo BufferChunks.
inline int CacheSlot(int rowIndex, bool ring, int bufferChunks) {
    return ring && bufferChunks > 0 && rowIndex >= 0 ? rowIndex % bufferChunks : rowIndex;
}

// Stores the fetched row held in `row` (the statement's output descriptor) as cache slot `slot`
// (0-based). With `int64ToBCD` 64-bit numerics of more than 4 decimals stay scaled integers.
void StoreFetchedRow(TRecordsCache& cache, const TFbRecordLayout& layout, const XSQLDA& row, int slot,
                     bool int64ToBCD);

// Reads 0-based row `rowIndex` (cache slot `slot`) into a row buffer of RecordBufferSize bytes:
// its index, a zeroed calculated-field area and the record from + 5. A negative slot does nothing.
inline void ReadRowBuffer(const TRecordsCache& cache, const TFbRecordLayout& layout, int rowIndex, int slot,
                          char* buffer) {
    if (slot < 0) return;
    const int32_t index = rowIndex;
    std::memcpy(buffer, &index, 4);
    if (layout.CalcFieldsSize > 0)
        std::memset(buffer + layout.CalcFieldsOffset, 0, size_t(layout.CalcFieldsSize));
    cache.ReadRecord(slot + 1, buffer + 5);
}

// Row buffer access.
inline bool RowFieldIsNull(const char* buffer, int column) {
    return buffer[6 + column] != 0;
}
// The text of a separate string in a row buffer (length, then bytes).
inline QByteArrayView RowSeparateString(const char* buffer, const TFbFieldDescr& field) {
    int32_t length;
    std::memcpy(&length, buffer + field.fdDataOfs, 4);
    length = std::clamp<int32_t>(length, 0, field.fdDataSize);
    return QByteArrayView(buffer + field.fdDataOfs + 4, length);
}

// Day number of 1858-11-17 (the server's day 0) in the time-stamp numbering (0001-01-01 is day 1).
inline constexpr int CachedServerDayZero = 678576;
// SQL_TIMESTAMP as cached: milliseconds in the time-stamp day numbering.
inline double CachedTimeStamp(const ISC_TIMESTAMP& value) {
    return (double(value.timestamp_date) + CachedServerDayZero) * 86400000.0 +
           double(value.timestamp_time / 10);
}
