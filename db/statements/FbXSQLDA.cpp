#include "FbXSQLDA.h"
#include "ValueConversions.h"

#include "db/connection/fb.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/RegionalSettings.h"

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
using namespace db::statements;

namespace {

// Day numbers of 1858-11-17 (the client's day 0) and the days between it and 1899-12-30.
constexpr int ClientDateDelta = 678576;
constexpr int ClientToDateTimeDays = 15018;
constexpr double ClientTimeUnitsPerDay = 864000000.0;
constexpr int MaxTextLength = 32767;

const char* const CharacterSetNames[61] = {
    "NONE",       "OCTETS",  "ASCII",     "UNICODE_FSS", "UTF8",      "SJIS_0208", "EUCJ_0208", "UNKNOWN",
    "UNKNOWN",    "DOS737",  "DOS437",    "DOS850",      "DOS865",    "DOS860",    "DOS863",    "DOS775",
    "DOS858",     "DOS862",  "DOS864",    "NEXT",        "UNKNOWN",   "ISO8859_1", "ISO8859_2", "ISO8859_3",
    "UNKNOWN",    "UNKNOWN", "UNKNOWN",   "UNKNOWN",     "UNKNOWN",   "UNKNOWN",   "UNKNOWN",   "UNKNOWN",
    "UNKNOWN",    "UNKNOWN", "ISO8859_4", "ISO8859_5",   "ISO8859_6", "ISO8859_7", "ISO8859_8", "ISO8859_9",
    "ISO8859_13", "UNKNOWN", "UNKNOWN",   "UNKNOWN",     "KSC_5601",  "DOS852",    "DOS857",    "DOS861",
    "DOS866",     "DOS869",  "CYRL",      "WIN1250",     "WIN1251",   "WIN1252",   "WIN1253",   "WIN1254",
    "BIG_5",      "GB_2312", "WIN1255",   "WIN1256",     "WIN1257"};

bool IsIntegerType(short t) {
    return t == SQL_SHORT || t == SQL_LONG || t == SQL_INT64;
}
bool IsRealSqlType(short t) {
    return t == SQL_FLOAT || t == SQL_DOUBLE || t == SQL_D_FLOAT;
}
bool IsNumericSqlType(short t) {
    return IsIntegerType(t) || IsRealSqlType(t);
}
bool IsDateTimeSqlType(short t) {
    return t == SQL_TIMESTAMP || t == SQL_TYPE_DATE || t == SQL_TYPE_TIME;
}
bool IsTextType(short t) {
    return t == SQL_TEXT || t == SQL_VARYING;
}

[[noreturn]] void RaiseConversion() {
    RaiseFbError(FbClientError::InvalidDataConversion);
}

QStringEncoder& AnsiEncoder() {
    thread_local QStringEncoder encoder(
        QByteArray("windows-" + QByteArray::number(platform::AnsiCodePage())).constData(),
        QStringConverter::Flag::Stateless);
    return encoder;
}

QStringEncoder& Utf8Encoder() {
    thread_local QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return encoder;
}

// Encodes into `buffer`, reusing its storage.
void EncodeInto(QStringEncoder& encoder, const QString& text, QByteArray& buffer) {
    const qsizetype need = encoder.requiredSpace(text.size());
    if (buffer.isDetached() && buffer.capacity() >= need)
        buffer.resize(need);
    else
        buffer = QByteArray(need, Qt::Uninitialized);
    char* end = encoder.appendToBuffer(buffer.data(), QStringView(text));
    buffer.resize(end - buffer.constData());
}

TDateTime ParseDateTimeOrRaise(const QString& text) {
    TDateTime value = 0;
    if (!ParseDateTime(text, platform::RegionalSettings(), value)) RaiseConversion();
    return value;
}

int64_t TruncToInt64OrRaise(long double value) {
    int64_t result = 0;
    if (!TruncToInt64(value, result)) RaiseConversion();
    return result;
}

QByteArray DecimalSeparatorBytes() {
    return platform::AnsiFromString(QString(platform::RegionalSettings().DecimalSeparator));
}

QString FloatText(double value) {
    return FloatToStrGeneral(value, platform::RegionalSettings().DecimalSeparator);
}

} // namespace

bool IsUnicodeCharSetId(int charSetId) {
    return charSetId == CharSetUnicodeFss || charSetId == CharSetUtf8;
}

IFbQuery::~IFbQuery() = default;

// ---------------------------------------------------------------------------------------------
// TFbXSQLVAR

const QVariant TFbXSQLVAR::VariantTrue = QVariant::fromValue<quint8>(1);
const QVariant TFbXSQLVAR::VariantFalse = QVariant::fromValue<quint8>(0);

struct TFbXSQLVAR::TStore {
    enum class TOp { Data, SetNull, ClearNull, Nullable, NotNullable, Scale, SubType, Copy, Stream };
    TOp Op;
    short Type = 0;
    int Length = 0;
    const void* Bytes = nullptr;
    // Data: the UTF-16 text the value came from (string setter), or none.
    const QString* Wide = nullptr;
    // Data: keep a pending blob value (the id of its written blob is being stored).
    bool KeepStream = false;
    short Value = 0;
    const XSQLVAR* Source = nullptr;
    const QByteArray* Stream = nullptr;
};

TFbXSQLVAR::TFbXSQLVAR(TFbXSQLDA* parent, IFbQuery* query) : FParent(parent), FQuery(query) {}

TFbXSQLVAR::~TFbXSQLVAR() = default;

static QString DecodeDescriptorName(const IFbQuery* query, const char* bytes, short length) {
    const QByteArray raw(bytes, qBound(0, int(length), 32));
    if (query && query->IsUnicodeConnect()) return QString::fromUtf8(raw);
    if (query && query->IsKOI8Connect()) return platform::Decode(raw, platform::TTextEncoding::KOI8R);
    return platform::StringFromAnsi(raw);
}

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

void TFbXSQLVAR::EnsureDataArea(int size) {
    const int n = size < 1 ? 1 : size;
    if (n > FDataCapacity) {
        void* p = std::realloc(FDataArea.get(), size_t(n));
        if (!p) throw std::bad_alloc();
        (void)FDataArea.release(); // moved by realloc
        FDataArea.reset(static_cast<char*>(p));
        FDataCapacity = n;
    }
    FXSQLVAR->sqldata = FDataArea.get();
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

void TFbXSQLVAR::SetTypedValue(const TStore& store) {
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

void TFbXSQLVAR::ApplyStore(const TStore& store) {
    using TOp = TStore::TOp;
    const bool wasNull = IsNull();
    XSQLVAR& v = *FXSQLVAR;
    const auto dropValueState = [this](bool keepStream) {
        if (!keepStream && FHasStreamValue) {
            FHasStreamValue = false;
            FStreamValue.clear();
        }
        if (FHasWideTemp) {
            FHasWideTemp = false;
            FWideTempValue.clear();
        }
        FIsDefferedSetting = false;
    };
    switch (store.Op) {
    case TOp::Data: {
        if ((v.sqltype & 1) && v.sqlind) *v.sqlind = 0;
        v.sqlscale = 0;
        v.sqllen = short(store.Length);
        EnsureDataArea(store.Length);
        v.sqltype = short(store.Type | (v.sqltype & 1));
        if (store.Length > 0 && store.Bytes && store.Bytes != v.sqldata)
            std::memmove(v.sqldata, store.Bytes, size_t(store.Length));
        dropValueState(store.KeepStream);
        if (store.Wide) {
            FWideTempValue = *store.Wide;
            FHasWideTemp = true;
        }
        FModified = true;
        break;
    }
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
        dropValueState(false);
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
        dropValueState(false);
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

void TFbXSQLVAR::StoreData(short type, int length, const void* bytes, const QString* wide) {
    TStore s{TStore::TOp::Data};
    s.Type = type;
    s.Length = length;
    s.Bytes = bytes;
    s.Wide = wide;
    SetTypedValue(s);
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

void TFbXSQLVAR::ServerType(short& type, short& subType, short& scale) const {
    type = subType = scale = 0;
    if (FParent->IsUserList()) {
        if (!FQuery->Prepared()) return;
        const TFbXSQLVAR* server = FQuery->ServerParams().FindExact(FName);
        if (!server || server == this) return;
        type = server->FSrvSQLType;
        subType = server->FSrvSQLSubType;
        scale = server->FSrvSQLScale;
        return;
    }
    type = FSrvSQLType;
    subType = FSrvSQLSubType;
    scale = FSrvSQLScale;
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

void TFbXSQLVAR::SetStringValue(const QString* wide, const QByteArray* ansi) {
    short srvType, srvSub, srvScale;
    ServerType(srvType, srvSub, srvScale);

    bool utf8 = false, deferred = false;
    if (FQuery->NeedUnicodeFieldsTranslation() && !IsMacro()) {
        if (srvType == 0)
            deferred = true;
        else
            utf8 = ChooseUtf8(srvType, srvSub, srvScale);
    }

    QByteArray& buffer = FEncodeBuffer;
    if (wide)
        EncodeInto(utf8 ? Utf8Encoder() : AnsiEncoder(), *wide, buffer);
    else if (utf8)
        buffer = platform::StringFromAnsi(*ansi).toUtf8();
    else
        buffer = *ansi;
    // The text given, kept for AsWideString; taken by value first in case it is our own.
    const QString remembered = wide ? *wide : QString();
    const QString* keep = wide ? &remembered : nullptr;

    const qsizetype length = buffer.size();
    if (length > MaxTextLength || srvType == SQL_BLOB) {
        const QByteArray content = length ? QByteArray(buffer.constData(), length) : QByteArray();
        SetPendingStream(content, srvSub, srvScale);
        if (keep) {
            FWideTempValue = remembered;
            FHasWideTemp = true;
        }
        SetDeferred(deferred);
        return;
    }

    if (length == 0 && (IsNumericSqlType(srvType) || IsDateTimeSqlType(srvType))) {
        SetIsNull(true);
        SetDeferred(deferred);
        return;
    }

    if (IsNumericSqlType(srvType) && !IsMacro()) {
        const QChar sep = platform::RegionalSettings().DecimalSeparator;
        const char localSep = sep.unicode() < 128 ? char(sep.unicode()) : 0;
        char* p = buffer.data();
        for (qsizetype i = 0; i < length; ++i) {
            if (p[i] == ',' || (localSep && localSep != '.' && p[i] == localSep)) p[i] = '.';
        }
    }

    const auto sqlNameIs = [this](const char* text) {
        const size_t n = std::strlen(text);
        return size_t(FXSQLVAR->sqlname_length) == n && std::memcmp(FXSQLVAR->sqlname, text, n) == 0;
    };
    const bool dbKey = sqlNameIs("DB_KEY") || sqlNameIs("RDB$DB_KEY");
    if (dbKey && SQLType() != 0) {
        // The key keeps its own type and length; the bytes fill it.
        const int own = FXSQLVAR->sqllen;
        QByteArray key(own, '\0');
        std::memcpy(key.data(), buffer.constData(), size_t(std::min<qsizetype>(own, length)));
        const short ownType = SQLType();
        StoreData(ownType, own, key.constData(), keep);
    } else {
        StoreData(SQL_TEXT, int(length), buffer.constData(), keep);
    }
    if (utf8) {
        TStore s{TStore::TOp::SubType};
        s.Value = CharSetUnicodeFss;
        SetTypedValue(s);
    }
    SetDeferred(deferred);
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
    const char* p = FXSQLVAR->sqldata;
    switch (SQLType()) {
    case SQL_SHORT: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case SQL_LONG: {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    default: {
        int64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
    }
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

QByteArray TFbXSQLVAR::RawText() const {
    const XSQLVAR& v = *FXSQLVAR;
    if (!v.sqldata) return {};
    if (SQLType() == SQL_VARYING) {
        uint16_t n;
        std::memcpy(&n, v.sqldata, 2);
        // A count beyond the described length never reads past the data area.
        const int count = std::min<int>(n, std::max<int>(v.sqllen, 0));
        return QByteArray(v.sqldata + 2, count);
    }
    return QByteArray(v.sqldata, std::max<int>(v.sqllen, 0));
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
            QString s = QString::fromUtf8(RawText());
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
            QString s = platform::Decode(RawText(), platform::TTextEncoding::KOI8R);
            if (FQuery->TrimCharFields())
                while (s.endsWith(QLatin1Char(' ')))
                    s.chop(1);
            return s;
        }
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
    const QByteArray content = BlobContent();
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw platform::EFCreateError(
            platform::Format(platform::rtl::SFCreateErrorEx, {fileName, file.errorString()}));
    if (file.write(content) != content.size()) throw platform::EStreamError(file.errorString());
}

void TFbXSQLVAR::DropStreamValue() {
    FHasStreamValue = false;
    FStreamValue.clear();
}

// ---------------------------------------------------------------------------------------------
// TFbXSQLDA

TFbXSQLDA::TFbXSQLDA(IFbQuery* query, bool isParams) : FQuery(query), FIsParams(isParams) {}

TFbXSQLDA::~TFbXSQLDA() = default;

bool TFbXSQLDA::IsUserList() const {
    return FQuery && FIsParams && &FQuery->UserParams() == this;
}

int TFbXSQLDA::RecordSize() const {
    return int(XSQLDA_LENGTH(FCapacity)) + 4;
}

void TFbXSQLDA::EnsureCapacity(int count) {
    if (count <= FCapacity) return;
    // Everything that can fail is made first; the items move onto the new descriptor after.
    TFbXSQLDAPtr descriptor = NewXSQLDA(count);
    std::vector<std::unique_ptr<TFbXSQLVAR>> items;
    items.reserve(size_t(count));
    for (int i = FCapacity; i < count; ++i)
        items.push_back(std::make_unique<TFbXSQLVAR>(this, FQuery));
    FXSQLVARs.reserve(size_t(count));
    for (int i = 0; i < FCapacity; ++i)
        descriptor->sqlvar[i] = FXSQLDA->sqlvar[i];
    for (auto& item : items)
        FXSQLVARs.push_back(std::move(item));
    FXSQLDA = std::move(descriptor);
    for (int i = 0; i < count; ++i) {
        FXSQLVARs[size_t(i)]->FXSQLVAR = &FXSQLDA->sqlvar[i];
        FXSQLVARs[size_t(i)]->FIndex = i;
    }
    FCapacity = count;
}

void TFbXSQLDA::SetCount(int value) {
    if (value < 0) value = 0;
    ClearNames();
    EnsureCapacity(value);
    if (FXSQLDA) FXSQLDA->sqln = FXSQLDA->sqld = short(value);
    FCount = value;
}

TFbXSQLVAR& TFbXSQLDA::Vars(int index) const {
    if (index < 0 || index >= FCount) RaiseFbError(FbClientError::XSQLDAIndexOutOfRange);
    return *FXSQLVARs[size_t(index)];
}

void TFbXSQLDA::ClearNames() {
    FNames.clear();
    FEquelNames.clear();
    FCachedNames.clear();
    for (auto& item : FXSQLVARs)
        item->FInEqualGroup = false;
}

void TFbXSQLDA::AddName(const QString& name, int index, bool quoted) {
    TFbXSQLVAR& item = Vars(index);
    const QString key = quoted ? name : AsciiUpperCase(name);
    if (FIsParams) {
        auto equal = FEquelNames.find(key);
        if (equal != FEquelNames.end()) {
            equal->second.push_back(index);
            item.FInEqualGroup = true;
        } else if (const auto first = FNames.find(key); first != FNames.end()) {
            FEquelNames.emplace(key, std::vector<int>{first->second, index});
            Vars(first->second).FInEqualGroup = true;
            item.FInEqualGroup = true;
        }
    }
    FNames.emplace(key, index); // the first index of a name stays
    item.FName = key;
    item.FIndex = index;
    item.FTextData.FQuoted = quoted;
}

TFbXSQLVAR* TFbXSQLDA::FindExact(const QString& name) const {
    const auto it = FNames.find(name);
    if (it == FNames.end() || it->second >= FCount) return nullptr;
    return FXSQLVARs[size_t(it->second)].get();
}

TFbXSQLVAR* TFbXSQLDA::FindParam(const QString& name) {
    if (const auto cached = FCachedNames.constFind(name); cached != FCachedNames.constEnd())
        return cached.value();
    TFbXSQLVAR* found = nullptr;
    if (name.startsWith(QLatin1Char('"'))) {
        found = FindExact(name.size() >= 2 ? name.mid(1, name.size() - 2) : QString());
    } else {
        found = FindExact(name);
        if (!found) found = FindExact(AsciiUpperCase(name));
    }
    if (!found && IsUserList()) {
        if (FQuery->MacroChanged()) FQuery->ApplyMacros();
        return FQuery->ServerParams().FindParam(name);
    }
    if (found) FCachedNames.insert(name, found);
    return found;
}

TFbXSQLVAR& TFbXSQLDA::ParamByName(const QString& name) {
    TFbXSQLVAR* found = FindParam(name);
    if (!found)
        throw platform::Exception(platform::Format(u"Parameter \"%s\" does not exist in %s",
                                                   {name, FQuery ? FQuery->FullName() : QString()}));
    return *found;
}

void TFbXSQLDA::InitializeVars() {
    const bool named = !FNames.empty();
    int emptyAliases = 0;
    const bool userList = IsUserList();
    for (int i = 0; i < FCount; ++i) {
        TFbXSQLVAR& item = *FXSQLVARs[size_t(i)];
        XSQLVAR& v = *item.FXSQLVAR;
        const short type = short(v.sqltype & ~1);
        item.FSrvSQLType = type;
        item.FSrvSQLLen = v.sqllen;
        item.FSrvSQLScale = v.sqlscale;
        item.FSrvSQLSubType = v.sqlsubtype;
        item.FInitialized = true;
        if (!named) {
            QString name = DecodeDescriptorName(FQuery, v.aliasname, v.aliasname_length);
            if (name.isEmpty()) {
                name = QStringLiteral("F_") + QString::number(++emptyAliases);
                const QByteArray ascii = name.toLatin1();
                std::memset(v.aliasname, 0, sizeof v.aliasname);
                std::memcpy(v.aliasname, ascii.constData(), size_t(ascii.size()));
                v.aliasname_length = short(ascii.size());
            }
            if (FNames.count(name)) {
                for (int suffix = 1;; ++suffix) {
                    const QString tail = QString::number(suffix);
                    const QString candidate = name.left(32 - tail.size()) + tail;
                    if (!FNames.count(candidate)) {
                        name = candidate;
                        break;
                    }
                }
            }
            AddName(name, i, true);
        }
        int size = 0;
        switch (type) {
        case SQL_TEXT:
            size = std::max<int>(v.sqllen, 1);
            break;
        case SQL_VARYING:
            size = v.sqllen + 2;
            break;
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64:
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
        case SQL_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_BLOB:
        case SQL_ARRAY:
        case SQL_QUAD:
        case SQL_BOOLEAN:
        case SQL_NULL:
            size = v.sqllen;
            break;
        default:
            if (!(userList && type == 0)) RaiseFbError(FbClientError::UnknownSQLDataType, {int(type)});
            break;
        }
        item.EnsureDataArea(size);
        item.SetIndicator((v.sqltype & 1) != 0);
    }
}

void TFbXSQLDA::AssignValues(TFbXSQLDA& source) {
    for (int i = 0; i < source.Count(); ++i) {
        TFbXSQLVAR& src = source.Vars(i);
        TFbXSQLVAR* dst = FindExact(src.Name());
        if (!dst || dst == &src) continue;
        const bool dstBlobOrArray = dst->IsBlob() || dst->IsArray();
        if (src.IsNull()) {
            dst->SetIsNull(true);
        } else if ((src.IsBlob() || src.IsArray()) && dstBlobOrArray) {
            dst->StoreData(src.SQLType(), 8, src.FXSQLVAR->sqldata);
        } else if (src.SQLType() == SQL_INT64) {
            if (dstBlobOrArray) {
                const int64_t zero = 0;
                dst->StoreData(SQL_INT64, 8, &zero);
            }
            dst->Assign(src);
        } else if (src.IsDefferedSetting() && IsTextType(src.SQLType())) {
            if (src.FHasWideTemp)
                dst->SetAsWideString(src.FWideTempValue);
            else
                dst->SetAsAnsiString(src.RawText());
            // The source now mirrors the encoded value, with its remembered text kept.
            const bool hadWide = src.FHasWideTemp;
            const QString wide = src.FWideTempValue;
            src.SetAsXSQLVAR(dst->AsXSQLVAR());
            if (dst->HasStreamValue()) {
                src.FHasStreamValue = true;
                src.FStreamValue = dst->StreamValue();
            }
            if (hadWide) {
                src.FWideTempValue = wide;
                src.FHasWideTemp = true;
            }
        } else {
            dst->SetAsVariant(src.AsVariant());
        }
    }
    WriteStreamParams();
}

void TFbXSQLDA::ClearValues() {
    using TOp = TFbXSQLVAR::TStore::TOp;
    for (int i = 0; i < FCount; ++i) {
        TFbXSQLVAR& item = *FXSQLVARs[size_t(i)];
        const bool wasNullable = item.IsNullable();
        item.ApplyStore(TFbXSQLVAR::TStore{TOp::SetNull});
        if (!wasNullable) item.ApplyStore(TFbXSQLVAR::TStore{TOp::NotNullable});
    }
}

bool TFbXSQLDA::Modified() const {
    for (int i = 0; i < FCount; ++i)
        if (FXSQLVARs[size_t(i)]->Modified()) return true;
    return false;
}

void TFbXSQLDA::ClearModified() {
    for (int i = 0; i < FCount; ++i)
        FXSQLVARs[size_t(i)]->SetModified(false);
}

QStringList TFbXSQLDA::Names() const {
    QStringList names;
    names.reserve(FCount);
    for (int i = 0; i < FCount; ++i)
        names << FXSQLVARs[size_t(i)]->Name();
    return names;
}

void TFbXSQLDA::ApplyDeferredSettings() {
    FHasDefferedSettings = false;
    for (int i = 0; i < FCount; ++i) {
        TFbXSQLVAR& item = *FXSQLVARs[size_t(i)];
        if (!item.FIsDefferedSetting) continue;
        item.FIsDefferedSetting = false;
        if (item.IsNull()) continue;
        short srvType, srvSub, srvScale;
        item.ServerType(srvType, srvSub, srvScale);
        const short t = item.SQLType();
        if (IsTextType(t)) {
            // Re-encoded from the UTF-16 text when it is known: nothing is lost to the ANSI code page.
            if (item.FHasWideTemp) {
                const QString wide = item.FWideTempValue;
                item.SetStringValue(&wide, nullptr);
            } else {
                const QByteArray bytes = item.RawText();
                item.SetStringValue(nullptr, &bytes);
            }
        } else if (IsNumericSqlType(t)) {
            if (IsDateTimeSqlType(srvType)) item.SetAsDateTime(item.AsDouble());
        } else if (t == SQL_BLOB) {
            if (FQuery->NeedUTFEncodeDDL() && srvType == SQL_BLOB && srvSub == isc_blob_text &&
                FQuery->IsUnicodeCharSet(srvScale & 0xFF)) {
                if (item.FHasWideTemp) {
                    const QString wide = item.FWideTempValue;
                    item.SetStringValue(&wide, nullptr);
                } else {
                    const QByteArray bytes = item.FStreamValue;
                    item.SetStringValue(nullptr, &bytes);
                }
            }
        }
    }
}

void TFbXSQLDA::WriteStreamParams() {
    using TOp = TFbXSQLVAR::TStore::TOp;
    for (int i = 0; i < FCount; ++i) {
        TFbXSQLVAR& item = *FXSQLVARs[size_t(i)];
        if (!item.FHasStreamValue) continue;
        short srvType, srvSub, srvScale;
        item.ServerType(srvType, srvSub, srvScale);
        const short subType = srvType == SQL_BLOB ? srvSub : item.SQLSubtype();
        const ISC_QUAD id = FbWriteBlob(FQuery->BlobContext(), item.FStreamValue, subType);
        // The id is stored while the content stays pending until the statement has executed.
        TFbXSQLVAR::TStore s{TOp::Data};
        s.Type = SQL_BLOB;
        s.Length = 8;
        s.Bytes = &id;
        s.KeepStream = true;
        const bool hadWide = item.FHasWideTemp;
        const QString wide = item.FWideTempValue;
        item.ApplyStore(s);
        if (hadWide) {
            item.FWideTempValue = wide;
            item.FHasWideTemp = true;
        }
        if (!IsUserList()) {
            if (TFbXSQLVAR* user = FQuery->UserParams().FindExact(item.Name())) user->SetAsQuad(id);
        }
    }
}

void TFbXSQLDA::DropStreamValues() {
    for (int i = 0; i < FCapacity; ++i)
        FXSQLVARs[size_t(i)]->DropStreamValue();
}

std::vector<TFbXSQLVAR::TSavedValue> TFbXSQLDA::SaveValues() const {
    std::vector<TFbXSQLVAR::TSavedValue> saved;
    saved.reserve(size_t(FCount));
    for (int i = 0; i < FCount; ++i)
        saved.push_back(FXSQLVARs[size_t(i)]->SaveValue());
    return saved;
}

void TFbXSQLDA::RestoreValues(const std::vector<TFbXSQLVAR::TSavedValue>& saved) {
    const int n = std::min(FCount, int(saved.size()));
    for (int i = 0; i < n; ++i)
        FXSQLVARs[size_t(i)]->RestoreValue(saved[size_t(i)]);
}

void TFbXSQLDA::RebuildFromScan(const QList<TParamListEntry>& entries) {
    // The new list is made beside the old one; only when nothing more can fail does it replace it,
    // so that a failure leaves the old list as it was.
    const int n = int(entries.size());
    const int capacity = std::max(FCapacity, n);
    TFbXSQLDAPtr descriptor = NewXSQLDA(capacity);

    // Where each new item comes from: a kept item of this list, a retired one, or a new one.
    enum class TFrom { Kept, Retired, Fresh };
    struct TPlan {
        TFrom From = TFrom::Fresh;
        int Index = -1; // into FXSQLVARs or FRetired
        std::unique_ptr<TFbXSQLVAR> Fresh;
    };
    std::vector<TPlan> plan;
    plan.resize(size_t(capacity));
    std::vector<bool> kept(FXSQLVARs.size(), false);
    std::vector<bool> revived(FRetired.size(), false);
    for (int i = 0; i < capacity; ++i) {
        TPlan& p = plan[size_t(i)];
        if (i < n) {
            const int keep = entries[i].KeepIndex;
            if (keep >= 0 && keep < FCount && !kept[size_t(keep)]) {
                kept[size_t(keep)] = true;
                p.From = TFrom::Kept;
                p.Index = keep;
                continue;
            }
            for (size_t r = 0; r < FRetired.size(); ++r) {
                const TFbXSQLVAR& item = *FRetired[r];
                if (!revived[r] && item.FName == entries[i].Name &&
                    !(item.IsBlob() && !item.HasStreamValue())) {
                    revived[r] = true;
                    p.From = TFrom::Retired;
                    p.Index = int(r);
                    break;
                }
            }
            if (p.From == TFrom::Retired) continue;
        }
        p.Fresh = std::make_unique<TFbXSQLVAR>(this, FQuery);
        // No type yet, nullable and null; on a descriptor item of its own until the list is replaced.
        TFbXSQLVAR& item = *p.Fresh;
        item.FXSQLVAR = &item.FDetached;
        item.FDetached.sqltype = 1;
        item.SetIndicator(true);
        item.FIndicator = -1;
        item.EnsureDataArea(1);
    }

    // Names and equal-name groups, built aside.
    std::vector<QString> keys;
    keys.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        keys.push_back(entries[i].NameQuoted ? entries[i].Name : AsciiUpperCase(entries[i].Name));
    // (Standard containers: an insertion that runs out of memory leaves them as they were.)
    TNameIndex names;
    TEqualNames equalNames;
    std::vector<bool> inEqualGroup(size_t(n), false);
    for (int i = 0; i < n; ++i) {
        const QString& key = keys[size_t(i)];
        if (FIsParams) {
            auto equal = equalNames.find(key);
            if (equal != equalNames.end()) {
                equal->second.push_back(i);
                inEqualGroup[size_t(i)] = true;
            } else if (const auto first = names.find(key); first != names.end()) {
                equalNames.emplace(key, std::vector<int>{first->second, i});
                inEqualGroup[size_t(first->second)] = true;
                inEqualGroup[size_t(i)] = true;
            }
        }
        names.emplace(key, i);
    }

    // Macro values of new macro items: a value reaches every item of its name (the last one set
    // wins), encoded now so that storing it cannot fail.
    struct TMacroText {
        QString Wide;
        QByteArray Encoded;
    };
    std::unordered_map<QString, TMacroText> macroTexts;
    for (int i = 0; i < n; ++i) {
        if (!entries[i].SetMacroValue) continue;
        const QString& key = keys[size_t(i)];
        TMacroText text{entries[i].MacroValue, QByteArray()};
        EncodeInto(AnsiEncoder(), text.Wide, text.Encoded);
        macroTexts.insert_or_assign(key, std::move(text));
    }
    std::vector<const TMacroText*> macroOf(size_t(n), nullptr);
    for (int i = 0; i < n; ++i) {
        const auto text = macroTexts.find(keys[size_t(i)]);
        if (text == macroTexts.end() || text->second.Encoded.size() > MaxTextLength) continue;
        macroOf[size_t(i)] = &text->second;
        TPlan& p = plan[size_t(i)];
        TFbXSQLVAR& item = p.From == TFrom::Kept      ? *FXSQLVARs[size_t(p.Index)]
                           : p.From == TFrom::Retired ? *FRetired[size_t(p.Index)]
                                                      : *p.Fresh;
        item.EnsureDataArea(int(text->second.Encoded.size()));
    }

    // Room for the items left out, so that retiring them cannot fail.
    std::vector<std::unique_ptr<TFbXSQLVAR>> retired;
    retired.reserve(FRetired.size() + FXSQLVARs.size());
    std::vector<std::unique_ptr<TFbXSQLVAR>> items;
    items.reserve(size_t(capacity));

    // ---- nothing below allocates or raises
    for (int i = 0; i < capacity; ++i) {
        TPlan& p = plan[size_t(i)];
        std::unique_ptr<TFbXSQLVAR> item = p.From == TFrom::Kept      ? std::move(FXSQLVARs[size_t(p.Index)])
                                           : p.From == TFrom::Retired ? std::move(FRetired[size_t(p.Index)])
                                                                      : std::move(p.Fresh);
        XSQLVAR& slot = descriptor->sqlvar[i];
        slot = *item->FXSQLVAR;
        item->FXSQLVAR = &slot;
        if (slot.sqlind) slot.sqlind = &item->FIndicator;
        item->FIndex = i;
        item->FInEqualGroup = i < n && inEqualGroup[size_t(i)];
        if (i < n) {
            item->FName = keys[size_t(i)];
            item->FTextData = entries[i].TextData;
        }
        items.push_back(std::move(item));
    }
    // Items of the old list that were handed out may still be held: they retire, off the old
    // descriptor. Spare items past the old count were never handed out and go.
    for (int i = 0; i < int(FXSQLVARs.size()); ++i) {
        if (!FXSQLVARs[size_t(i)]) continue;
        if (i < FCount) {
            FXSQLVARs[size_t(i)]->Detach();
            retired.push_back(std::move(FXSQLVARs[size_t(i)]));
        }
    }
    for (auto& item : FRetired)
        if (item) retired.push_back(std::move(item));
    std::vector<std::unique_ptr<TFbXSQLVAR>> dropped = std::move(FXSQLVARs);
    FXSQLVARs = std::move(items);
    FRetired = std::move(retired);
    FXSQLDA = std::move(descriptor);
    FCapacity = capacity;
    FCount = n;
    if (FXSQLDA) FXSQLDA->sqln = FXSQLDA->sqld = short(n);
    FNames.swap(names);
    FEquelNames.swap(equalNames);
    FCachedNames.clear();
    for (int i = 0; i < n; ++i)
        if (const TMacroText* text = macroOf[size_t(i)])
            FXSQLVARs[size_t(i)]->PutMacroText(text->Encoded, text->Wide);
    FHasDefferedSettings = false;
    for (int i = 0; i < n; ++i)
        if (FXSQLVARs[size_t(i)]->FIsDefferedSetting) FHasDefferedSettings = true;
    // Macro values too long for text take the ordinary way (they become blob content).
    for (int i = 0; i < n; ++i) {
        if (!entries[i].SetMacroValue || macroOf[size_t(i)]) continue;
        FXSQLVARs[size_t(i)]->SetAsWideString(entries[i].MacroValue);
    }
}
