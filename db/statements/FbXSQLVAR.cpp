#include "FbXSQLDA.h"
#include "ValueConversions.h"
#include "ValueHelpers.h"

#include "db/connection/fb.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/RegionalSettings.h"
#include "platform/TextFile.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QStringEncoder>
#include <QTime>
#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

using platform::TDateTime;
using platform::TTimeStamp;
using namespace db::connection;
using namespace db::statements;

IFbQuery::~IFbQuery() = default;

// ---------------------------------------------------------------------------------------------
// TFbXSQLVAR

const QVariant TFbXSQLVAR::VariantTrue = QVariant::fromValue<quint8>(1);
const QVariant TFbXSQLVAR::VariantFalse = QVariant::fromValue<quint8>(0);

TFbXSQLVAR::TFbXSQLVAR(TFbXSQLDA* parent, IFbQuery* query) : FParent(parent), FQuery(query) {}

TFbXSQLVAR::~TFbXSQLVAR() = default;

QString TFbXSQLVAR::SqlName() const {
    return DecodeDescriptorName(FQuery, FXSQLVAR->sqlname, FXSQLVAR->sqlname_length);
}
QString TFbXSQLVAR::AliasName() const {
    return DecodeDescriptorName(FQuery, FXSQLVAR->aliasname, FXSQLVAR->aliasname_length);
}
QString TFbXSQLVAR::RelationName() const {
    return DecodeDescriptorName(FQuery, FXSQLVAR->relname, FXSQLVAR->relname_length);
}

QString TFbXSQLVAR::CharacterSet() const {
    // Text items carry their character set in sqlsubtype; text blobs carry it in sqlscale.
    const int id = (IsBlob() ? FXSQLVAR->sqlscale : FXSQLVAR->sqlsubtype) & 0xFF;
    return QString::fromLatin1(id <= 60 ? CharacterSetNames[id] : "UNKNOWN");
}

bool TFbXSQLVAR::IsParam() const {
    return FParent->IsParams();
}
bool TFbXSQLVAR::IsNumericType() const {
    return IsNumericSqlType(SQLType());
}
bool TFbXSQLVAR::IsRealType() const {
    return IsRealSqlType(SQLType());
}
bool TFbXSQLVAR::IsDateTimeType() const {
    return IsDateTimeSqlType(SQLType());
}

bool TFbXSQLVAR::IsNull() const {
    if (FHasStreamValue) return false;
    const short t = SQLType();
    if (t == 0 || t == SQL_NULL) return true;
    if (!FParent->IsParams() && FQuery && FQuery->RecordCount() == 0 && !FQuery->ProcExecuted()) return true;
    return (FXSQLVAR->sqltype & 1) && FXSQLVAR->sqlind && *FXSQLVAR->sqlind == -1;
}

void TFbXSQLVAR::GrowDataArea(int size) {
    const int n = size < 1 ? 1 : size;
    if (n > FDataCapacity) {
        void* p = std::realloc(FDataArea.get(), size_t(n));
        if (!p) throw std::bad_alloc();
        (void)FDataArea.release(); // moved by realloc
        FDataArea.reset(static_cast<char*>(p));
        FDataCapacity = n;
    }
}

void TFbXSQLVAR::PutMacroText(const QByteArray& encoded, const QString& wide) noexcept {
    const bool wasNull = IsNull();
    XSQLVAR& v = *FXSQLVAR;
    if ((v.sqltype & 1) && v.sqlind) *v.sqlind = 0;
    v.sqltype = short(SQL_TEXT | (v.sqltype & 1));
    v.sqlscale = 0;
    v.sqlsubtype = 0;
    v.sqllen = short(encoded.size());
    v.sqldata = FDataArea.get();
    if (!encoded.isEmpty()) std::memcpy(v.sqldata, encoded.constData(), size_t(encoded.size()));
    FHasStreamValue = false;
    FStreamValue.clear();
    FWideTempValue = wide;
    FHasWideTemp = true;
    FIsDefferedSetting = false;
    FModified = true;
    FInitialized = true;
    if (FTextData.FCanForceIsNull && !FQuery->NoForceIsNull() && wasNull) FQuery->SetNeedForceIsNull();
    if (FTextData.FIsMacro && !FQuery->MacroChanged() &&
        (VarIsNullOrEmpty(FOldValue) || wide != FOldValue.toString()))
        FQuery->SetMacroChanged();
}

void TFbXSQLVAR::Detach() noexcept {
    if (FXSQLVAR && FXSQLVAR != &FDetached) FDetached = *FXSQLVAR;
    FXSQLVAR = &FDetached;
    if (FDetached.sqlind) FDetached.sqlind = &FIndicator;
    FInEqualGroup = false;
}

TFbXSQLVAR::TSavedValue TFbXSQLVAR::SaveValue() const {
    TSavedValue s;
    const XSQLVAR& v = *FXSQLVAR;
    s.Typed = SQLType() != 0;
    s.Type = v.sqltype;
    s.SubType = v.sqlsubtype;
    s.Scale = v.sqlscale;
    s.Length = v.sqllen;
    s.HasIndicator = v.sqlind != nullptr;
    s.Indicator = v.sqlind ? *v.sqlind : 0;
    const int size = SQLType() == SQL_VARYING ? v.sqllen + 2 : v.sqllen;
    if (v.sqldata && size > 0) s.Data = QByteArray(v.sqldata, size);
    s.HasWide = FHasWideTemp;
    s.Wide = FWideTempValue;
    s.HasStream = FHasStreamValue;
    s.Stream = FStreamValue;
    s.Deferred = FIsDefferedSetting;
    return s;
}

void TFbXSQLVAR::RestoreValue(const TSavedValue& s) {
    if (!s.Typed) return; // never set: it takes the server's description and stays null
    EnsureDataArea(int(s.Data.size()));
    XSQLVAR& v = *FXSQLVAR;
    v.sqltype = s.Type;
    v.sqlsubtype = s.SubType;
    v.sqlscale = s.Scale;
    v.sqllen = s.Length;
    if (!s.Data.isEmpty()) std::memcpy(v.sqldata, s.Data.constData(), size_t(s.Data.size()));
    SetIndicator(s.HasIndicator);
    if (s.HasIndicator) FIndicator = s.Indicator;
    FHasWideTemp = s.HasWide;
    FWideTempValue = s.Wide;
    FHasStreamValue = s.HasStream;
    FStreamValue = s.Stream;
    SetDeferred(s.Deferred);
}

void TFbXSQLVAR::SetIndicator(bool present) {
    if (present) {
        if (FXSQLVAR->sqlind != &FIndicator) FIndicator = 0;
        FXSQLVAR->sqlind = &FIndicator;
    } else {
        FXSQLVAR->sqlind = nullptr;
    }
}

bool TFbXSQLVAR::IsClearedValue() const {
    const XSQLVAR& v = *FXSQLVAR;
    const bool indicatorCleared = (v.sqltype & 1) ? v.sqlind == &FIndicator : v.sqlind == nullptr;
    // Items whose null state the statement follows are cleared in full every time.
    return (v.sqltype & ~1) != 0 && indicatorCleared && FIndicator == -1 && !FHasStreamValue &&
           FStreamValue.isEmpty() && !FHasWideTemp && FWideTempValue.isEmpty() && !FIsDefferedSetting &&
           FModified && FInitialized && !FTextData.FCanForceIsNull && !FTextData.FIsMacro;
}

void TFbXSQLVAR::SpreadStore(const TStore& store) {
    if (FParent->IsParams() && FInEqualGroup) {
        const auto it = FParent->FEquelNames.find(FName);
        if (it != FParent->FEquelNames.end()) {
            for (int index : it->second)
                if (index < FParent->Count()) FParent->Vars(index).ApplyStore(store);
            return;
        }
    }
    ApplyStore(store);
}

void TFbXSQLVAR::PutData(const TStore& store) {
    XSQLVAR& v = *FXSQLVAR;
    if ((v.sqltype & 1) && v.sqlind) *v.sqlind = 0;
    v.sqlscale = 0;
    v.sqllen = short(store.Length);
    v.sqltype = short(store.Type | (v.sqltype & 1));
    if (store.Type == SQL_VARYING) {
        EnsureDataArea(store.Length + 2);
        const ISC_USHORT length = ISC_USHORT(store.TextLength);
        std::memcpy(v.sqldata, &length, sizeof length);
        if (length > 0) std::memmove(v.sqldata + 2, store.Bytes, length);
    } else {
        EnsureDataArea(store.Length);
        if (store.Length > 0 && store.Bytes && store.Bytes != v.sqldata) {
            // Numbers and date-times: copies of a known size, without a library call.
            switch (store.Length) {
            case 4:
                std::memmove(v.sqldata, store.Bytes, 4);
                break;
            case 8:
                std::memmove(v.sqldata, store.Bytes, 8);
                break;
            default:
                std::memmove(v.sqldata, store.Bytes, size_t(store.Length));
            }
        }
    }
    if (store.HasSubType) v.sqlsubtype = store.SubType;
    DropValueState(store.KeepStream);
    if (store.Wide) {
        FWideTempValue = *store.Wide;
        FHasWideTemp = true;
    }
    FModified = true;
    FInitialized = true;
}

void TFbXSQLVAR::DropHeldValues(bool keepStream) {
    if (!keepStream && FHasStreamValue) {
        FHasStreamValue = false;
        FStreamValue.clear();
    }
    if (FHasWideTemp) {
        FHasWideTemp = false;
        FWideTempValue.clear();
    }
}

void TFbXSQLVAR::ApplyStore(const TStore& store) {
    using TOp = TStore::TOp;
    // Only a parameter that may be rewritten to IS NULL asks whether it was null.
    const bool wasNull = FTextData.FCanForceIsNull && IsNull();
    XSQLVAR& v = *FXSQLVAR;
    switch (store.Op) {
    case TOp::Data:
        PutData(store);
        break;
    case TOp::SetNull:
        if ((v.sqltype & ~1) == 0) {
            v.sqltype = short(SQL_TEXT | (v.sqltype & 1));
            v.sqllen = 0;
        }
        if (!(v.sqltype & 1) || !v.sqlind) {
            v.sqltype |= 1;
            SetIndicator(true);
        }
        FIndicator = -1;
        DropValueState(false);
        FModified = true;
        break;
    case TOp::ClearNull:
        if ((v.sqltype & 1) && v.sqlind) *v.sqlind = 0;
        FModified = true;
        break;
    case TOp::Nullable:
        v.sqltype |= 1;
        SetIndicator(true);
        break;
    case TOp::NotNullable:
        v.sqltype &= ~1;
        SetIndicator(false);
        break;
    case TOp::Scale:
        v.sqlscale = store.Value;
        break;
    case TOp::SubType:
        v.sqlsubtype = store.Value;
        break;
    case TOp::Copy: {
        const XSQLVAR& s = *store.Source;
        if (&s == &v) break;
        v = s;
        v.sqldata = FDataArea.get();
        if (s.sqlind) {
            SetIndicator(true);
            FIndicator = *s.sqlind;
        } else {
            SetIndicator(false);
        }
        const short t = short(s.sqltype & ~1);
        const int size = t == SQL_VARYING ? s.sqllen + 2 : s.sqllen;
        EnsureDataArea(size);
        if (s.sqldata && size > 0) std::memmove(v.sqldata, s.sqldata, size_t(size));
        DropValueState(false);
        FModified = true;
        break;
    }
    case TOp::Stream:
        FHasStreamValue = true;
        FStreamValue = *store.Stream;
        v.sqlsubtype = store.Type;
        v.sqlscale = store.Value;
        break;
    }
    FInitialized = true;
    if (FTextData.FCanForceIsNull && !FQuery->NoForceIsNull() && wasNull != IsNull())
        FQuery->SetNeedForceIsNull();
    if (FTextData.FIsMacro && !FQuery->MacroChanged()) {
        const bool oldNull = VarIsNullOrEmpty(FOldValue);
        if (oldNull != IsNull() || (!IsNull() && AsWideString() != FOldValue.toString()))
            FQuery->SetMacroChanged();
    }
}

void TFbXSQLVAR::SetIsNull(bool value) {
    SetTypedValue(TStore{value ? TStore::TOp::SetNull : TStore::TOp::ClearNull});
}

void TFbXSQLVAR::SetIsNullable(bool value) {
    SetTypedValue(TStore{value ? TStore::TOp::Nullable : TStore::TOp::NotNullable});
}

void TFbXSQLVAR::SetScale(short value) {
    TStore s{TStore::TOp::Scale};
    s.Value = value;
    SetTypedValue(s);
}

void TFbXSQLVAR::SetAsXSQLVAR(const XSQLVAR& source) {
    TStore s{TStore::TOp::Copy};
    s.Source = &source;
    SetTypedValue(s);
}

// ---- setters

void TFbXSQLVAR::SetAsInteger(int value) {
    StoreData(SQL_LONG, 4, &value);
}
void TFbXSQLVAR::SetAsShort(short value) {
    StoreData(SQL_SHORT, 2, &value);
}

void TFbXSQLVAR::SetAsInt64(int64_t value) {
    if (FQuery->SQLDialect() >= 3)
        StoreData(SQL_INT64, 8, &value);
    else
        SetAsInteger(Low32(value));
}

void TFbXSQLVAR::SetAsDouble(double value) {
    StoreData(SQL_DOUBLE, 8, &value);
}
void TFbXSQLVAR::SetAsSingle(float value) {
    StoreData(SQL_FLOAT, 4, &value);
}

void TFbXSQLVAR::SetAsCurrency(TCurrency value) {
    if (FQuery->SQLDialect() >= 3) {
        StoreData(SQL_INT64, 8, &value.Scaled);
        SetScale(-4);
    } else {
        SetAsDouble(double(value.Scaled) / 10000.0);
    }
}

void TFbXSQLVAR::SetAsExtended(long double value) {
    if (FQuery->SQLDialect() < 3 || !std::isfinite(value)) {
        SetAsDouble(double(value));
        return;
    }
    const int d = IntegerDigits(std::fabs(value));
    const long double scaled = RoundEven(ScaleReal(value, 18 - d));
    if (scaled >= 9223372036854775807.0L || scaled <= -9223372036854775807.0L) {
        SetAsDouble(double(value)); // beyond 64-bit integers: keep the magnitude as a double
        return;
    }
    const int64_t stored = int64_t(scaled);
    StoreData(SQL_INT64, 8, &stored);
    SetScale(short(d - 18));
}

void TFbXSQLVAR::SetAsTimeStamp(const TTimeStamp& value) {
    ISC_TIMESTAMP ts;
    ts.timestamp_date = ISC_DATE(value.Date - ClientDateDelta);
    ts.timestamp_time = ISC_TIME(uint32_t(value.Time) * 10u);
    StoreData(SQL_TIMESTAMP, int(sizeof ts), &ts);
}

void TFbXSQLVAR::SetAsDateTime(TDateTime value) {
    SetAsTimeStamp(platform::DateTimeToTimeStamp(value));
}
void TFbXSQLVAR::SetAsDate(TDateTime value) {
    SetAsDateTime(std::trunc(value));
}
void TFbXSQLVAR::SetAsTime(TDateTime value) {
    SetAsDateTime(value);
}

void TFbXSQLVAR::SetAsQuad(const ISC_QUAD& value) {
    StoreData(SQLType() == SQL_ARRAY ? SQL_ARRAY : SQL_BLOB, 8, &value);
}

void TFbXSQLVAR::ServerType(short& type, short& subType, short& scale, short* length) const {
    type = subType = scale = 0;
    if (length) *length = 0;
    if (FParent->IsUserList()) {
        if (!FQuery->Prepared()) return;
        // Mostly the server list mirrors the user list: the item at the same place, when it bears
        // the name and no other item does, is the one the name lookup would find.
        const TFbXSQLDA& list = FQuery->ServerParams();
        const TFbXSQLVAR* server = nullptr;
        if (FIndex < list.Count()) {
            const TFbXSQLVAR& twin = *list.FXSQLVARs[size_t(FIndex)];
            // Names copied from one another share their characters: mostly no comparing.
            const bool sameName =
                (twin.FName.constData() == FName.constData() && twin.FName.size() == FName.size()) ||
                twin.FName == FName;
            if (!twin.FInEqualGroup && sameName) server = &twin;
        }
        if (!server) server = list.FindExact(FName);
        if (!server || server == this) return;
        type = server->FSrvSQLType;
        subType = server->FSrvSQLSubType;
        scale = server->FSrvSQLScale;
        if (length) *length = server->FSrvSQLLen;
        return;
    }
    type = FSrvSQLType;
    subType = FSrvSQLSubType;
    scale = FSrvSQLScale;
    if (length) *length = FSrvSQLLen;
}

bool TFbXSQLVAR::ChooseUtf8(short srvType, short srvSubType, short srvScale) const {
    if (IsTextType(srvType)) {
        const int cs = srvSubType & 0xFF;
        return (FQuery->IsUnicodeConnect() && cs > CharSetOctets) || FQuery->IsUnicodeCharSet(cs);
    }
    if (srvType == SQL_BLOB) {
        const int cs = srvScale & 0xFF;
        if (FQuery->IsUnicodeCharSet(cs)) return true;
        return FQuery->IsUnicodeConnect() && FQuery->NeedUTFEncodeDDL() && srvSubType == isc_blob_text &&
               cs > CharSetOctets;
    }
    return false;
}

void TFbXSQLVAR::SetDeferred(bool value) {
    FIsDefferedSetting = value;
    if (value) FParent->FHasDefferedSettings = true;
}

void TFbXSQLVAR::SetPendingStream(const QByteArray& bytes, short subType, short scale) {
    static const char zeroId[8] = {};
    StoreData(SQL_BLOB, 8, zeroId);
    TStore s{TStore::TOp::Stream};
    s.Stream = &bytes;
    s.Type = subType;
    s.Value = scale;
    SetTypedValue(s);
    FQuery->SetHaveStreamParams();
}

namespace {

// The most bytes one character of a character set takes; sets not known here count as 4, so that
// text taken to fit fits in characters whatever the set.
int MaxBytesPerChar(int charSet) {
    switch (charSet) {
    case 3: // UNICODE_FSS
        return 3;
    case 5:  // SJIS_0208
    case 6:  // EUCJ_0208
    case 44: // KSC_5601
    case 56: // BIG_5
    case 57: // GB_2312
    case 67: // GBK
    case 68: // CP943C
        return 2;
    default: // UTF8 (4), GB18030 (69) and the unknown take 4; the others are single-byte sets
        return charSet == 4 || charSet > 66 ? 4 : 1;
    }
}

} // namespace

void TFbXSQLVAR::SetStringValue(const QString* wide, const QByteArray* ansi) {
    short srvType, srvSub, srvScale, srvLength;
    ServerType(srvType, srvSub, srvScale, &srvLength);

    bool utf8 = false, deferred = false;
    if (FQuery->NeedUnicodeFieldsTranslation() && !IsMacro()) {
        if (srvType == 0)
            deferred = true;
        else
            utf8 = ChooseUtf8(srvType, srvSub, srvScale);
    }

    QByteArray& buffer = FEncodeBuffer;
    qsizetype length = 0; // the encoded bytes are the first `length` of `buffer`
    if (wide && utf8) {
        length = EncodeIntoStart(Utf8Encoder(), *wide, buffer);
    } else {
        if (wide)
            EncodeAnsiInto(*wide, buffer);
        else if (utf8)
            buffer = platform::StringFromAnsi(*ansi).toUtf8();
        else
            buffer = *ansi;
        length = buffer.size();
    }
    // The text given, kept for AsWideString; copied first when the store may replace it: our own,
    // or one of the items of our name that the store reaches.
    QString ownCopy;
    const QString* keep = wide;
    if (wide && (wide == &FWideTempValue || FInEqualGroup)) [[unlikely]] {
        ownCopy = *wide;
        keep = &ownCopy;
    }

    // Text for a text item is the case of every execution; the others leave this path.
    const bool keyItem = IsKeyName();
    if (!IsTextType(srvType) || keyItem) [[unlikely]] {
        if (StoreTextInOtherType(srvType, srvSub, srvScale, length, keep)) {
            SetDeferred(deferred);
            return;
        }
    } else if (length > MaxTextLength) [[unlikely]] {
        StoreTextAsBlob(srvSub, srvScale, length, keep);
        SetDeferred(deferred);
        return;
    }

    TStore s{TStore::TOp::Data};
    s.Wide = keep;
    QByteArray key;
    if (keyItem && SQLType() != 0) [[unlikely]] {
        // The key keeps its own type and length; the bytes fill it.
        const int own = FXSQLVAR->sqllen;
        key = QByteArray(own, '\0');
        std::memcpy(key.data(), buffer.constData(), size_t(std::min<qsizetype>(own, length)));
        s.Type = SQLType();
        s.Length = own;
        s.Bytes = key.constData();
    } else if (srvType == SQL_VARYING && length * MaxBytesPerChar(srvSub & 0xFF) <= srvLength) {
        // In the form the server described: then every execution sends a message of the same form,
        // which the engine takes as it is, where text of each value's own length is converted at
        // every execution. Only text that surely fits in characters too: the engine does not check
        // a value of the described form against the declared characters, while converted text is
        // cut to them (trailing blanks) or refused. Same bytes, same character set: nothing stored
        // or compared changes.
        s.Type = SQL_VARYING;
        s.Length = srvLength;
        s.Bytes = buffer.constData();
        s.TextLength = int(length);
    } else {
        s.Type = SQL_TEXT;
        s.Length = int(length);
        s.Bytes = buffer.constData();
    }
    if (utf8) {
        // UTF-8 bytes for a column in UTF8 or UNICODE_FSS carry the column's own character set, so
        // that the server stores them without a transliteration; for other columns UNICODE_FSS.
        const int columnSet = srvSub & 0xFF;
        s.HasSubType = true;
        s.SubType =
            short(IsTextType(srvType) && IsUnicodeCharSetId(columnSet) ? columnSet : CharSetUnicodeFss);
    }
    SetTypedValue(s);
    SetDeferred(deferred);
}

bool TFbXSQLVAR::IsKeyName() const {
    const auto sqlNameIs = [this](const char* text) {
        const size_t n = std::strlen(text);
        return size_t(FXSQLVAR->sqlname_length) == n && std::memcmp(FXSQLVAR->sqlname, text, n) == 0;
    };
    return sqlNameIs("DB_KEY") || sqlNameIs("RDB$DB_KEY");
}

void TFbXSQLVAR::StoreTextAsBlob(short srvSub, short srvScale, qsizetype length, const QString* keep) {
    const QByteArray content = length ? QByteArray(FEncodeBuffer.constData(), length) : QByteArray();
    SetPendingStream(content, srvSub, srvScale);
    if (keep) {
        FWideTempValue = *keep;
        FHasWideTemp = true;
    }
}

bool TFbXSQLVAR::StoreTextInOtherType(short srvType, short srvSub, short srvScale, qsizetype length,
                                      const QString* keep) {
    if (length > MaxTextLength || srvType == SQL_BLOB) {
        StoreTextAsBlob(srvSub, srvScale, length, keep);
        return true;
    }
    if (length == 0 && (IsNumericSqlType(srvType) || IsDateTimeSqlType(srvType))) {
        SetIsNull(true);
        return true;
    }
    if (IsNumericSqlType(srvType) && !IsMacro()) {
        const QChar sep = platform::RegionalSettings().DecimalSeparator;
        const char localSep = sep.unicode() < 128 ? char(sep.unicode()) : 0;
        char* p = FEncodeBuffer.data();
        for (qsizetype i = 0; i < length; ++i) {
            if (p[i] == ',' || (localSep && localSep != '.' && p[i] == localSep)) p[i] = '.';
        }
    }
    return false;
}

void TFbXSQLVAR::SetAsVariant(const QVariant& value) {
    short srvType, srvSub, srvScale;
    ServerType(srvType, srvSub, srvScale);
    QVariant v = value;
    const int id = v.typeId();
    const bool isNumber = id == QMetaType::SChar || id == QMetaType::Char || id == QMetaType::Short ||
                          id == QMetaType::Int || id == QMetaType::LongLong || id == QMetaType::Long ||
                          id == QMetaType::UShort || id == QMetaType::UInt || id == QMetaType::Float ||
                          id == QMetaType::Double || id == qMetaTypeId<TCurrency>();
    if ((srvType == SQL_TIMESTAMP || srvType == SQL_TYPE_DATE) && isNumber) {
        const double days =
            id == qMetaTypeId<TCurrency>() ? double(v.value<TCurrency>().Scaled) / 10000.0 : v.toDouble();
        v = QVariant::fromValue(TVarDate{days});
    }

    const auto setDate = [&](TDateTime dt) {
        if (srvType == SQL_TYPE_TIME)
            SetAsTime(dt);
        else if (srvType == SQL_TYPE_DATE)
            SetAsDate(dt);
        else
            SetAsDateTime(dt);
    };

    const int type = v.typeId();
    if (VarIsNullOrEmpty(v)) {
        SetIsNull(true);
    } else if (type == QMetaType::Bool) {
        SetAsInteger(v.toBool() ? 1 : 0); // VariantTrue / VariantFalse: 8-bit integers
    } else if (type == QMetaType::Char || type == QMetaType::SChar || type == QMetaType::UChar ||
               type == QMetaType::Short || type == QMetaType::UShort || type == QMetaType::Int) {
        SetAsInteger(v.toInt());
    } else if (type == QMetaType::UInt) {
        // Above the signed range an unsigned 32-bit value needs 64 bits to stay what it is.
        const uint u = v.toUInt();
        if (u > uint(INT_MAX))
            SetAsInt64(int64_t(u));
        else
            SetAsInteger(int(u));
    } else if (type == QMetaType::LongLong || type == QMetaType::Long) {
        SetAsInt64(v.toLongLong());
    } else if (type == QMetaType::ULongLong || type == QMetaType::ULong) {
        const qulonglong u = v.toULongLong();
        if (u > qulonglong(LLONG_MAX))
            SetAsDouble(double(u));
        else
            SetAsInt64(qlonglong(u));
    } else if (type == QMetaType::Float || type == QMetaType::Double) {
        SetAsDouble(v.toDouble());
    } else if (type == qMetaTypeId<TCurrency>()) {
        SetAsCurrency(v.value<TCurrency>());
    } else if (type == qMetaTypeId<TVarDate>()) {
        setDate(v.value<TVarDate>().Value);
    } else if (type == QMetaType::QDateTime) {
        setDate(QtToDateTime(v.toDateTime()));
    } else if (type == QMetaType::QDate) {
        setDate(QtToDateTime(QDateTime(v.toDate(), QTime(0, 0))));
    } else if (type == QMetaType::QTime) {
        setDate(QtToDateTime(QDateTime(QDate(1899, 12, 30), v.toTime())));
    } else if (type == QMetaType::QString || type == QMetaType::QChar) {
        SetAsWideString(v.toString());
    } else if (type == QMetaType::QByteArray) {
        SetAsAnsiString(v.toByteArray());
    } else if (type == qMetaTypeId<TVarBytes>()) {
        if (IsArray()) RaiseFbError(FbClientError::NotPermitted); // array values are not supported
        SetPendingStream(v.value<TVarBytes>().Bytes, srvType ? srvSub : SQLSubtype(),
                         srvType ? srvScale : Scale());
    } else {
        RaiseFbError(FbClientError::NotPermitted);
    }
    if (srvType == 0) SetDeferred(true);
}

// ---- getters

void TFbXSQLVAR::ConversionError() const {
    RaiseConversion();
}

int64_t TFbXSQLVAR::RawInteger() const {
    return ReadSqlInteger(FXSQLVAR->sqldata, SQLType());
}

double TFbXSQLVAR::RawReal() const {
    if (SQLType() == SQL_FLOAT) {
        float f;
        std::memcpy(&f, FXSQLVAR->sqldata, 4);
        return f;
    }
    double d;
    std::memcpy(&d, FXSQLVAR->sqldata, 8);
    return d;
}

QByteArrayView TFbXSQLVAR::RawTextView() const {
    const XSQLVAR& v = *FXSQLVAR;
    if (!v.sqldata) return {};
    if (SQLType() == SQL_VARYING) {
        uint16_t n;
        std::memcpy(&n, v.sqldata, 2);
        // A count beyond the described length never reads past the data area.
        const int count = std::min<int>(n, std::max<int>(v.sqllen, 0));
        return QByteArrayView(v.sqldata + 2, count);
    }
    return QByteArrayView(v.sqldata, std::max<int>(v.sqllen, 0));
}

QByteArray TFbXSQLVAR::RawText() const {
    return RawTextView().toByteArray();
}

bool TFbXSQLVAR::TextIsUnicode() const {
    return FQuery->IsUnicodeCharSet(FXSQLVAR->sqlsubtype & 0xFF);
}

static bool ReadBoolean(const XSQLVAR& v) {
    if (v.sqllen >= 2) {
        int16_t s;
        std::memcpy(&s, v.sqldata, 2);
        return s == 1;
    }
    return static_cast<unsigned char>(v.sqldata[0]) == 1;
}

int TFbXSQLVAR::AsInteger() const {
    if (IsNull()) return 0;
    const short t = SQLType();
    if (IsTextType(t)) {
        int64_t value;
        if (!ParseInt64(AsWideString(), value) || value < INT_MIN || value > INT_MAX) ConversionError();
        return int(value);
    }
    if (IsIntegerType(t)) return Low32(ScaleInteger(RawInteger(), Scale()));
    if (IsRealSqlType(t)) return Low32(TruncToInt64OrRaise(RawReal()));
    if (t == SQL_BOOLEAN) return ReadBoolean(*FXSQLVAR) ? 1 : 0;
    ConversionError();
}

int64_t TFbXSQLVAR::AsInt64() const {
    if (IsNull()) return 0;
    const short t = SQLType();
    if (IsTextType(t)) {
        int64_t value;
        if (!ParseInt64(AsWideString(), value)) ConversionError();
        return value;
    }
    if (IsIntegerType(t)) return ScaleInteger(RawInteger(), Scale());
    if (IsRealSqlType(t)) return TruncToInt64OrRaise(RawReal());
    ConversionError();
}

bool TFbXSQLVAR::AsBoolean() const {
    if (IsNull()) return false;
    const short t = SQLType();
    if (IsIntegerType(t)) return RawInteger() == 1;
    if (t == SQL_BOOLEAN) return ReadBoolean(*FXSQLVAR);
    ConversionError();
}

double TFbXSQLVAR::AsDouble() const {
    if (IsNull()) return 0;
    const short t = SQLType();
    if (IsTextType(t)) {
        double value;
        if (!ParseFloat(AsWideString(), platform::RegionalSettings().DecimalSeparator, value))
            ConversionError();
        return value;
    }
    if (IsIntegerType(t)) return double(ScaleReal((long double)RawInteger(), Scale()));
    if (IsRealSqlType(t)) return RawReal();
    if (t == SQL_BOOLEAN) return ReadBoolean(*FXSQLVAR) ? 1 : 0;
    ConversionError();
}

float TFbXSQLVAR::AsSingle() const {
    const double d = AsDouble();
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) ConversionError();
    return float(d);
}

long double TFbXSQLVAR::AsExtended() const {
    if (IsNull()) return 0;
    const short t = SQLType();
    if (IsTextType(t)) return AsDouble();
    if (IsIntegerType(t)) return ScaleReal((long double)RawInteger(), Scale());
    if (IsRealSqlType(t)) return RawReal();
    ConversionError();
}

TCurrency TFbXSQLVAR::AsCurrency() const {
    if (IsNull()) return {};
    const short t = SQLType();
    if (IsDateTimeSqlType(t)) ConversionError();
    if (t == SQL_INT64 && FQuery->SQLDialect() >= 3) {
        // Exact division, rounded half to even.
        return {DivideHalfEven(RawInteger(), Scale() + 4)};
    }
    const long double scaled = RoundEven((long double)AsDouble() * 10000.0L);
    return {TruncToInt64OrRaise(scaled)};
}

TTimeStamp TFbXSQLVAR::AsTimeStamp() const {
    TTimeStamp ts;
    ts.Date = 0;
    ts.Time = 0;
    if (IsNull()) return ts;
    const short t = SQLType();
    if (IsTextType(t)) return platform::DateTimeToTimeStamp(ParseDateTimeOrRaise(AsWideString()));
    const char* p = FXSQLVAR->sqldata;
    switch (t) {
    case SQL_TIMESTAMP: {
        ISC_TIMESTAMP v;
        std::memcpy(&v, p, sizeof v);
        ts.Date = int(v.timestamp_date) + ClientDateDelta;
        ts.Time = int(uint32_t(v.timestamp_time) / 10u);
        return ts;
    }
    case SQL_TYPE_DATE: {
        ISC_DATE d;
        std::memcpy(&d, p, sizeof d);
        ts.Date = int(d) + ClientDateDelta;
        return ts;
    }
    case SQL_TYPE_TIME: {
        ISC_TIME tm;
        std::memcpy(&tm, p, sizeof tm);
        ts.Time = int(uint32_t(tm) / 10u);
        return ts;
    }
    default:
        ConversionError();
    }
}

TDateTime TFbXSQLVAR::AsDateTime() const {
    if (IsNull()) return 0;
    const short t = SQLType();
    if (IsTextType(t)) return ParseDateTimeOrRaise(AsWideString());
    const char* p = FXSQLVAR->sqldata;
    switch (t) {
    case SQL_TIMESTAMP: {
        TTimeStamp ts = AsTimeStamp();
        if (ts.Date == 0) {
            ts.Date = 1;
            return platform::TimeStampToDateTime(ts) - 1;
        }
        return platform::TimeStampToDateTime(ts);
    }
    case SQL_TYPE_DATE: {
        ISC_DATE d;
        std::memcpy(&d, p, sizeof d);
        return double(d) - ClientToDateTimeDays;
    }
    case SQL_TYPE_TIME: {
        ISC_TIME tm;
        std::memcpy(&tm, p, sizeof tm);
        return double(uint32_t(tm)) / ClientTimeUnitsPerDay;
    }
    default:
        ConversionError();
    }
}

ISC_QUAD TFbXSQLVAR::AsQuad() const {
    ISC_QUAD q{};
    if (IsNull() && !FHasStreamValue) return q;
    const short t = SQLType();
    if (t != SQL_BLOB && t != SQL_ARRAY && t != SQL_QUAD) ConversionError();
    std::memcpy(&q, FXSQLVAR->sqldata, sizeof q);
    return q;
}

QByteArray TFbXSQLVAR::BlobContent() const {
    if (FHasStreamValue) return FStreamValue;
    if (IsNull()) return {};
    if (!IsBlob()) ConversionError();
    return FbReadBlob(FQuery->BlobContext(), AsQuad());
}

QByteArray TFbXSQLVAR::AsAnsiString() const {
    if (IsNull()) return {};
    const short t = SQLType();
    switch (t) {
    case SQL_TEXT:
    case SQL_VARYING: {
        QByteArray bytes = RawText();
        const int cs = FXSQLVAR->sqlsubtype & 0xFF;
        if (FQuery->NeedUnicodeFieldsTranslation() && TextIsUnicode())
            bytes = platform::AnsiFromString(QString::fromUtf8(bytes));
        else if (IsKoi8CharSet(cs))
            bytes = platform::AnsiFromString(platform::Decode(bytes, platform::TTextEncoding::KOI8R));
        if (FQuery->TrimCharFields())
            while (bytes.endsWith(' '))
                bytes.chop(1);
        return bytes;
    }
    case SQL_SHORT:
    case SQL_LONG:
        if (Scale() == 0) return QByteArray::number(qlonglong(RawInteger()));
        return platform::AnsiFromString(FloatText(AsDouble()));
    case SQL_INT64:
        return ScaledDecimal(RawInteger(), Scale(), DecimalSeparatorBytes());
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return platform::AnsiFromString(FloatText(RawReal()));
    case SQL_TIMESTAMP:
        return platform::AnsiFromString(platform::DateTimeToStr(AsDateTime()));
    case SQL_TYPE_DATE:
        return platform::AnsiFromString(platform::DateToStr(AsDateTime()));
    case SQL_TYPE_TIME:
        return platform::AnsiFromString(platform::TimeToStr(AsDateTime()));
    case SQL_BLOB:
        if (FHasStreamValue) return FStreamValue;
        if (IsParam()) return QByteArrayLiteral("(BLOB)");
        try {
            return BlobContent();
        } catch (const platform::Exception&) {
            return QByteArrayLiteral("(BLOB)");
        }
    case SQL_ARRAY:
        return QByteArrayLiteral("(ARRAY)");
    case SQL_BOOLEAN:
        return ReadBoolean(*FXSQLVAR) ? QByteArrayLiteral("True") : QByteArrayLiteral("False");
    default:
        ConversionError();
    }
}

QString TFbXSQLVAR::AsWideString() const {
    if (FHasWideTemp) return FWideTempValue;
    if (IsNull()) return {};
    const short t = SQLType();
    if (FQuery->NeedUnicodeFieldsTranslation()) {
        if (IsTextType(t) && TextIsUnicode()) {
            QString s = QString::fromUtf8(RawTextView());
            if (FQuery->TrimCharFields())
                while (s.endsWith(QLatin1Char(' ')))
                    s.chop(1);
            return s;
        }
        if (t == SQL_BLOB) {
            if (!FHasStreamValue && IsParam()) return QStringLiteral("(BLOB)");
            try {
                const QByteArray content = BlobContent();
                const bool unicode = FXSQLVAR->sqlsubtype == isc_blob_text &&
                                     FQuery->IsUnicodeCharSet(FXSQLVAR->sqlscale & 0xFF);
                return unicode ? QString::fromUtf8(content) : platform::StringFromAnsi(content);
            } catch (const platform::Exception&) {
                return QStringLiteral("(BLOB)");
            }
        }
    }
    if (IsTextType(t)) {
        // KOI8 text is decoded straight from its own code page, not through the ANSI one.
        const int cs = FXSQLVAR->sqlsubtype & 0xFF;
        if (IsKoi8CharSet(cs)) {
            QString s = platform::Decode(RawTextView(), platform::TTextEncoding::KOI8R);
            if (FQuery->TrimCharFields())
                while (s.endsWith(QLatin1Char(' ')))
                    s.chop(1);
            return s;
        }
        // As through AsAnsiString, decoded straight from the data area.
        QByteArrayView bytes = RawTextView();
        if (FQuery->TrimCharFields())
            while (bytes.endsWith(' '))
                bytes.chop(1);
        return platform::StringFromAnsi(bytes);
    }
    return platform::StringFromAnsi(AsAnsiString());
}

QVariant TFbXSQLVAR::AsVariant() const {
    if (IsNull()) return VarNull();
    const short t = SQLType();
    const short scale = Scale();
    switch (t) {
    case SQL_BLOB:
        return AsString();
    case SQL_TEXT:
    case SQL_VARYING:
        if (FHasWideTemp || TextIsUnicode()) return AsWideString();
        return AsAnsiString();
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return RawReal();
    case SQL_SHORT:
    case SQL_LONG:
        if (scale == 0) return int(RawInteger());
        return AsDouble();
    case SQL_INT64:
        if (scale == 0) return qlonglong(RawInteger());
        if (scale < -4 || scale > 0) return AsDouble();
        return double(AsExtended());
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
        return QVariant::fromValue(TVarDate{AsDateTime()});
    case SQL_ARRAY:
        return QStringLiteral("(Array)");
    case SQL_BOOLEAN:
        return AsBoolean();
    case SQL_NULL:
        return VarNull();
    default:
        ConversionError();
    }
}

void TFbXSQLVAR::Assign(const TFbXSQLVAR& source) {
    if (&source == this) return;
    if (source.IsNull()) {
        SetIsNull(true);
        return;
    }
    short srvType, srvSub, srvScale;
    ServerType(srvType, srvSub, srvScale);
    const bool sourceBlob = source.IsBlob() || source.HasStreamValue();
    const bool targetBlob = IsBlob() || (FParent->IsUserList() && srvType == SQL_BLOB);
    if (source.IsArray() || IsArray()) return; // arrays are not copied
    if (!sourceBlob && !targetBlob) {
        SetAsXSQLVAR(source.AsXSQLVAR());
        return;
    }
    // The bytes keep the character set they are in: a text blob names it in its scale, text in
    // its subtype; bytes made by AsAnsiString are in the ANSI code page (none).
    QByteArray content;
    short charSet = 0;
    if (sourceBlob) {
        content = source.BlobContent();
        if (source.SQLSubtype() == isc_blob_text) charSet = short(source.Scale() & 0xFF);
    } else if (IsTextType(source.SQLType())) {
        content = source.RawText();
        charSet = short(source.SQLSubtype() & 0xFF);
    } else {
        content = source.AsAnsiString();
    }
    if (targetBlob || content.size() > MaxTextLength) {
        const short sub = srvType == SQL_BLOB ? srvSub : (IsBlob() ? SQLSubtype() : short(isc_blob_text));
        const short scale = srvType == SQL_BLOB ? srvScale : (IsBlob() ? Scale() : charSet);
        SetPendingStream(content, sub, scale);
    } else {
        StoreData(SQL_TEXT, int(content.size()), content.constData());
        TStore s{TStore::TOp::SubType};
        s.Value = charSet;
        SetTypedValue(s);
    }
}

void TFbXSQLVAR::LoadFromStream(QIODevice& stream) {
    const QByteArray bytes = stream.readAll();
    short srvType, srvSub, srvScale;
    ServerType(srvType, srvSub, srvScale);
    const short sub = srvType == SQL_BLOB ? srvSub : (IsBlob() ? SQLSubtype() : short(0));
    const short scale = srvType == SQL_BLOB ? srvScale : (IsBlob() ? Scale() : short(0));
    SetPendingStream(bytes, sub, scale);
    SetIsNullable(false);
}

void TFbXSQLVAR::LoadFromFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw platform::EFOpenError(
            platform::Format(platform::rtl::SFOpenErrorEx, {fileName, file.errorString()}));
    LoadFromStream(file);
}

void TFbXSQLVAR::SaveToStream(QIODevice& stream) const {
    const QByteArray content = BlobContent();
    if (!content.isEmpty() && stream.write(content) != content.size())
        throw platform::EStreamError(stream.errorString());
}

void TFbXSQLVAR::SaveToFile(const QString& fileName) const {
    // Replaced whole, flushed to the disk: a failed write leaves the old file as it was.
    platform::SaveFileBytes(fileName, BlobContent());
}

void TFbXSQLVAR::DropStreamValue() {
    FHasStreamValue = false;
    FStreamValue.clear();
}
