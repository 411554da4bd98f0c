#include "FbRecordLayout.h"

#include "db/connection/FbDatabase.h"
#include "db/statements/ValueConversions.h"

#include <algorithm>
#include <cstring>

namespace {

// Exact in a double up to 10^22.
constexpr double Pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                            1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int Pow10Count = int(sizeof Pow10 / sizeof Pow10[0]);

// A value of a fixed-size type: the common sizes are copied without a library call.
void CopyValue(char* target, const char* data, int size) {
    switch (size) {
    case 2:
        std::memcpy(target, data, 2);
        break;
    case 4:
        std::memcpy(target, data, 4);
        break;
    case 8:
        std::memcpy(target, data, 8);
        break;
    default:
        std::memcpy(target, data, size_t(size));
        break;
    }
}

bool IsText(short type) {
    return type == SQL_VARYING || type == SQL_TEXT;
}

QByteArray Name(const char* text, short length) {
    return QByteArray(text, std::clamp<int>(length, 0, 32));
}

} // namespace

TFbCharSetFacts TFbCharSetFacts::Of(TFbDatabase& database) {
    TFbCharSetFacts facts;
    facts.Connected = database.Connected();
    facts.IsFirebird = database.IsFirebirdConnect();
    facts.IsIB2007 = database.IsIB2007Connect();
    facts.IsUnicodeConnect = database.IsUnicodeConnect();
    facts.NeedUTFEncodeDDL = database.NeedUTFEncodeDDL();
    facts.IsNoneConnect = database.IsNoneConnect();
    facts.ServerMajorVersion = facts.Connected ? database.ServerMajorVersion() : 0;
    return facts;
}

bool TFbCharSetFacts::IsUnicodeCharSet(int charSetId) const {
    if (charSetId == 3) return true;
    if (!Connected) return false;
    if (charSetId == 4) return IsFirebird;
    return IsIB2007 && (charSetId == 8 || charSetId == 59 || charSetId == 64);
}

int TFbCharSetFacts::BytesPerChar(int charSetId) const {
    if (charSetId == 3) return 3;
    if (!Connected) return 1;
    if (charSetId == 4 && IsFirebird) return 4;
    if (IsIB2007) {
        if (charSetId == 8 || charSetId == 64) return 2;
        if (charSetId == 59) return 4;
    }
    return 1;
}

bool TFbCharSetFacts::NeedUnicodeTranslation(int charSetId) const {
    if (!NeedUTFEncodeDDL && !IsNoneConnect) return IsUnicodeConnect && charSetId > 1;
    return IsUnicodeCharSet(charSetId);
}

bool TFbCharSetFacts::ServerReportsDeclaredSizes() const {
    return !(IsFirebird && ServerMajorVersion >= 2);
}

short FieldDataSize(const XSQLVAR& column, const TFbCharSetFacts& facts) {
    const short type = short(column.sqltype & ~1);
    switch (type) {
    case SQL_VARYING:
    case SQL_TEXT: {
        const int charSet = column.sqlsubtype & 0xFF;
        if (!facts.IsUnicodeCharSet(charSet) || facts.NeedUnicodeTranslation(charSet)) return column.sqllen;
        const QByteArray name = Name(column.sqlname, column.sqlname_length);
        if (name.size() > 4 && name.startsWith("RDB$") && facts.ServerReportsDeclaredSizes())
            return column.sqllen;
        return short(column.sqllen / facts.BytesPerChar(charSet));
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_TIMESTAMP:
    case SQL_INT64:
        return 8;
    case SQL_FLOAT:
    case SQL_LONG:
    case SQL_TYPE_TIME:
    case SQL_TYPE_DATE:
        return 4;
    case SQL_SHORT:
        return 2;
    default:
        return std::max<short>(column.sqllen, 0);
    }
}

TFbRecordLayout BuildRecordLayout(const XSQLDA& columns, const std::vector<TAddedTypeFields>& added,
                                  const std::vector<QByteArray>& tableAliases, const TFbCharSetFacts& facts,
                                  const TFbLayoutOptions& options) {
    TFbRecordLayout layout;
    const int n = std::max<int>(columns.sqld, 0);
    layout.BufferChunks = options.BufferChunks > 0 ? options.BufferChunks : 32;
    layout.CalcFieldsSize = std::max(options.CalcFieldsSize, 0);
    layout.RecordSize = n + 6;
    layout.BlockReadSize = n + 1;
    layout.Fields.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const XSQLVAR& column = columns.sqlvar[i];
        TFbFieldDescr field;
        field.fdDataType = short(column.sqltype & ~1);
        field.fdDataScale = column.sqlscale;
        field.fdNullable = (column.sqltype & 1) != 0;
        field.fdDataSize = FieldDataSize(column, facts);
        field.fdSubType = column.sqlsubtype;
        field.fdAddedFields = size_t(i) < added.size() ? added[size_t(i)] : TAddedTypeFields::atfStandard;
        field.fdRelationTable = Name(column.relname, column.relname_length);
        field.fdRelationField = Name(column.sqlname, column.sqlname_length);
        field.fdTableAlias = size_t(i) < tableAliases.size() ? tableAliases[size_t(i)] : QByteArray();
        field.fdIsDBKey = field.fdRelationField == "DB_KEY" || field.fdRelationField == "RDB$DB_KEY";
        field.fdIsSeparateString = IsText(field.fdDataType) &&
                                   field.fdAddedFields != TAddedTypeFields::atfGuidField &&
                                   field.fdDataSize > 12;
        if (field.fdIsSeparateString) {
            field.fdStrIndex = layout.StringFieldCount++;
        } else {
            field.fdDataOfs = layout.RecordSize;
            layout.RecordSize += field.fdDataSize;
            layout.BlockReadSize += field.fdDataSize;
        }
        if (field.fdDataType == SQL_BLOB) ++layout.BlobFieldCount;
        layout.Fields.push_back(std::move(field));
    }
    layout.BlobCacheOffset = layout.BlockReadSize;
    for (TFbFieldDescr& field : layout.Fields)
        if (field.fdIsSeparateString) {
            field.fdDataOfs = layout.RecordSize;
            layout.RecordSize += field.fdDataSize + 4;
        }
    layout.BlobCacheBufferOffset = layout.RecordSize;
    layout.CalcFieldsOffset = layout.RecordSize + 4 * layout.BlobFieldCount;
    layout.RecordBufferSize = layout.CalcFieldsOffset + layout.CalcFieldsSize;
    layout.BlockReadSize += 4 * layout.BlobFieldCount;
    layout.BufferChunkSize = layout.RecordBufferSize * layout.BufferChunks;
    layout.CacheRecordSize = layout.BlockReadSize + (options.CacheCalcFields ? layout.CalcFieldsSize : 0);
    return layout;
}

std::unique_ptr<TRecordsCache> CreateRecordsCache(const TFbRecordLayout& layout, bool cachedUpdates) {
    auto cache = std::make_unique<TRecordsCache>(layout.BufferChunks, layout.StringFieldCount,
                                                 layout.CacheRecordSize, layout.RecordBufferSize);
    cache->CreateNewBlock();
    cache->SetSaveChangeLog(cachedUpdates);
    for (const TFbFieldDescr& field : layout.Fields)
        if (field.fdIsSeparateString)
            cache->SetStrOffset(field.fdStrIndex + 1, field.fdDataOfs - 5, field.fdDataSize);
    return cache;
}

void StoreFetchedRow(TRecordsCache& cache, const TFbRecordLayout& layout, const XSQLDA& row, int slot,
                     bool int64ToBCD) {
    char* stored = cache.PrepareMemory(slot + 1);
    stored[0] = 0;
    // Locals: the stores into the record could otherwise change them for the compiler.
    const TFbFieldDescr* fields = layout.Fields.data();
    const XSQLVAR* columns = row.sqlvar;
    const int n = std::min<int>(row.sqld, int(layout.Fields.size()));
    for (int i = 0; i < n; ++i) {
        const XSQLVAR& column = columns[i];
        const TFbFieldDescr& field = fields[i];
        const bool isNull = field.fdNullable && column.sqlind && *column.sqlind == -1;
        stored[1 + i] = isNull ? 1 : 0;
        if (isNull) {
            // The null flag alone tells; only a separate string is emptied.
            if (field.fdIsSeparateString) cache.SetVaryingString(field.fdStrIndex, slot, 0, nullptr);
            continue;
        }
        const char* data = column.sqldata;
        char* target = stored + field.fdDataOfs - 5;
        const int size = field.fdDataSize;
        switch (field.fdDataType) {
        case SQL_VARYING: {
            ISC_USHORT length;
            std::memcpy(&length, data, sizeof length);
            const int textLength = std::min<int>(length, column.sqllen);
            if (field.fdIsSeparateString) {
                cache.SetVaryingString(field.fdStrIndex, slot, textLength, data + 2);
            } else {
                // The bytes after the text are zeros, never what the previous row left.
                const int copied = std::min(textLength, size);
                std::memcpy(target, data + 2, size_t(copied));
                std::memset(target + copied, 0, size_t(size - copied));
            }
            break;
        }
        case SQL_TEXT:
            if (field.fdIsSeparateString) {
                cache.SetStringFromPChar(field.fdStrIndex, slot, true, column.sqllen, data);
            } else {
                const int copied = std::min<int>(column.sqllen, size);
                std::memcpy(target, data, size_t(copied));
                std::memset(target + copied, 0, size_t(size - copied));
            }
            break;
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP value;
            std::memcpy(&value, data, sizeof value);
            const double ms = CachedTimeStamp(value);
            std::memcpy(target, &ms, sizeof ms);
            break;
        }
        case SQL_TYPE_TIME: {
            ISC_TIME value;
            std::memcpy(&value, data, sizeof value);
            const int32_t ms = int32_t(value / 10);
            std::memcpy(target, &ms, sizeof ms);
            break;
        }
        case SQL_TYPE_DATE: {
            ISC_DATE value;
            std::memcpy(&value, data, sizeof value);
            const int32_t day = value + CachedServerDayZero;
            std::memcpy(target, &day, sizeof day);
            break;
        }
        case SQL_INT64:
            if (field.fdDataScale < -4 && !int64ToBCD) {
                ISC_INT64 value;
                std::memcpy(&value, data, sizeof value);
                // The server reports scales down to -36 (products of scaled columns).
                const int decimals = -field.fdDataScale;
                const double scaled = decimals < Pow10Count
                                          ? double(value) / Pow10[decimals]
                                          : double(db::statements::ScaleReal(value, -decimals));
                std::memcpy(target, &scaled, sizeof scaled);
            } else {
                std::memcpy(target, data, 8);
            }
            break;
        default:
            CopyValue(target, data, std::min<int>(size, column.sqllen));
            break;
        }
    }
}
