#include "FbFields.h"

#include "FbDataSet.h"
#include "db/connection/fb.h"
#include "db/statements/ValueConversions.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <QLocale>
#include <climits>
#include <cmath>
#include <cstring>
#include <ibase.h>

using db::connection::RaiseFbError;

namespace {

// The runtime's general float format with the regional decimal separator.
QString FloatText(double value) {
    return db::statements::FloatToStrGeneral(value, platform::RegionalSettings().DecimalSeparator);
}

// A value outside the range of the integer asked for is the layer's conversion error, never a
// wrapped or undefined number.
int IntOrRaise(long double value) {
    if (!(value >= INT_MIN && value <= INT_MAX)) RaiseFbError(FbClientError::InvalidDataConversion);
    return int(value);
}

int RoundHalfEven(double value) {
    return IntOrRaise(db::statements::RoundEven(value));
}

// Text the connection delivers as UTF-8, read once per field and row. A leading byte order mark is
// content here and only platform::Decode keeps it; any other text goes to Qt's conversion
// directly, which gives the same characters.
QString Utf8Text(QByteArrayView bytes) {
    if (bytes.size() >= 3 && bytes[0] == '\xEF' && bytes[1] == '\xBB' && bytes[2] == '\xBF')
        return platform::Decode(bytes, platform::TTextEncoding::UTF8);
    return QString::fromUtf8(bytes);
}

} // namespace

QString GuidToString(const unsigned char* b) {
    auto hex = [](const unsigned char* p, int n, bool reverse) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QStringLiteral("%1").arg(p[reverse ? n - 1 - i : i], 2, 16, QLatin1Char('0'));
        return s.toUpper();
    };
    return QLatin1Char('{') + hex(b, 4, true) + QLatin1Char('-') + hex(b + 4, 2, true) + QLatin1Char('-') +
           hex(b + 6, 2, true) + QLatin1Char('-') + hex(b + 8, 2, false) + QLatin1Char('-') +
           hex(b + 10, 6, false) + QLatin1Char('}');
}

QString ScaledIntegerText(int64_t value, int decimals, QChar separator) {
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? 0 - uint64_t(value) : uint64_t(value);
    QString digits = QString::number(qulonglong(magnitude));
    if (decimals > 0) {
        if (digits.size() <= decimals)
            digits.prepend(QString(decimals - digits.size() + 1, QLatin1Char('0')));
        digits.insert(digits.size() - decimals, separator);
    }
    if (negative) digits.prepend(QLatin1Char('-'));
    return digits;
}

// ---- TFbField

TFbField::TFbField(TFbCustomDataSet* dataSet, TFieldType dataType)
    : TField(dataSet, dataType), FFbDataSet(dataSet) {}

// ---- strings

TFbStringField::TFbStringField(TFbCustomDataSet* dataSet, TFieldType dataType)
    : TFbField(dataSet, dataType) {}

bool TFbStringField::ReadBytes(QByteArray& bytes) const {
    const char* row = Row();
    if (!row || RowFieldIsNull(row, FieldNo() - 1)) return false;
    const TFbFieldDescr& d = Descr();
    if (DataType() == TFieldType::ftString && DataSize() < d.fdDataSize)
        RaiseFbError(FbClientError::FieldSizeTooSmall, {FbDataSet()->Name(), FieldName()});
    const char* text;
    int length;
    if (d.fdIsSeparateString) {
        const QByteArrayView view = RowSeparateString(row, d);
        text = view.data();
        length = int(view.size());
    } else {
        text = row + d.fdDataOfs;
        length = d.fdDataSize;
    }
    if (DataType() != TFieldType::ftGuid && !d.fdIsDBKey) {
        // The text ends at a zero byte, as it did in the character buffer it was read into.
        const void* zero = std::memchr(text, 0, size_t(length));
        if (zero) length = int(static_cast<const char*>(zero) - text);
        if (FbDataSet()->Options().testFlag(TpFbDsOption::poTrimCharFields))
            while (length > 0 && text[length - 1] == ' ')
                --length;
    }
    // No copy: every caller turns the bytes into its value before the row buffer can change.
    bytes = QByteArray::fromRawData(text, length);
    return true;
}

TFbStringField::TDecoding TFbStringField::Decoding() const {
    if (FDecoding != TDecoding::Unknown) return FDecoding;
    FDecoding = TDecoding::Ansi;
    const int charSet = Descr().fdSubType & 0xFF;
    TFbDatabase* database = FbDataSet()->Database();
    if (database && database->Connected()) {
        // Text the connection delivers as UTF-8 is decoded from UTF-8 directly.
        if (TFbCharSetFacts::Of(*database).NeedUnicodeTranslation(charSet))
            FDecoding = TDecoding::Utf8;
        else if (database->IsKOI8Connect() && charSet > 1)
            FDecoding = TDecoding::Koi8;
    }
    return FDecoding;
}

QString TFbStringField::DecodeText(const QByteArray& bytes) const {
    switch (Decoding()) {
    case TDecoding::Utf8:
        return Utf8Text(bytes);
    case TDecoding::Koi8:
        return platform::Decode(bytes, platform::TTextEncoding::KOI8R);
    default:
        return platform::StringFromAnsi(bytes);
    }
}

QString TFbStringField::AsString() const {
    QByteArray bytes;
    if (!ReadBytes(bytes)) return {};
    if (Descr().fdIsDBKey) {
        QString s;
        for (int i = 0; i + 4 <= bytes.size(); i += 4) {
            uint32_t group;
            std::memcpy(&group, bytes.constData() + i, 4);
            s += platform::Format(u"%-8.8x", {qlonglong(group)});
        }
        return s;
    }
    return DecodeText(bytes);
}

int TFbStringField::AsInteger() const {
    const QString text = AsString();
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) throw platform::EConvertError(platform::Format(platform::rtl::SInvalidInteger, {text}));
    return value;
}

double TFbStringField::AsFloat() const {
    const QString text = AsString();
    QString t = text.trimmed();
    t.replace(platform::RegionalSettings().DecimalSeparator, QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(t, &ok);
    if (!ok) throw platform::EConvertError(platform::Format(platform::rtl::SInvalidFloat, {text}));
    return value;
}

QVariant TFbStringField::AsVariant() const {
    return IsNull() ? QVariant() : QVariant(AsString());
}

TFbWideStringField::TFbWideStringField(TFbCustomDataSet* dataSet)
    : TFbStringField(dataSet, TFieldType::ftWideString) {}

QString TFbWideStringField::AsString() const {
    QByteArray bytes;
    if (!ReadBytes(bytes)) return {};
    if (Decoding() != TDecoding::Utf8) return DecodeText(bytes);
    const QString text = Utf8Text(bytes);
    // At most Size characters (code points); a text with no more UTF-16 units has no more.
    if (text.size() <= Size()) return text;
    int chars = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isLowSurrogate()) continue;
        if (chars == Size()) return text.left(i);
        ++chars;
    }
    return text;
}

TFbGuidField::TFbGuidField(TFbCustomDataSet* dataSet) : TFbStringField(dataSet, TFieldType::ftGuid) {}

QString TFbGuidField::AsString() const {
    QByteArray bytes;
    if (!ReadBytes(bytes) || bytes.size() < 16) return {};
    return GuidToString(reinterpret_cast<const unsigned char*>(bytes.constData()));
}

// ---- integers

TFbIntegerField::TFbIntegerField(TFbCustomDataSet* dataSet, TFieldType dataType)
    : TFbField(dataSet, dataType) {}

int TFbIntegerField::AsInteger() const {
    return IntOrRaise(AsLargeInt());
}

int64_t TFbIntegerField::AsLargeInt() const {
    const char* data = Data();
    return data ? db::statements::ReadSqlInteger(data, Descr().fdDataType) : 0;
}

QString TFbIntegerField::AsString() const {
    return IsNull() ? QString() : QString::number(qlonglong(AsLargeInt()));
}

QVariant TFbIntegerField::AsVariant() const {
    if (IsNull()) return {};
    if (DataType() == TFieldType::ftLargeint) return QVariant(qlonglong(AsLargeInt()));
    return QVariant(AsInteger());
}

// ---- Boolean

TFbBooleanField::TFbBooleanField(TFbCustomDataSet* dataSet) : TFbField(dataSet, TFieldType::ftBoolean) {}

bool TFbBooleanField::AsBoolean() const {
    const char* data = Data();
    if (!data) return false;
    for (int i = 0; i < Descr().fdDataSize; ++i)
        if (data[i]) return true;
    return false;
}

QString TFbBooleanField::AsString() const {
    if (IsNull()) return {};
    return AsBoolean() ? FStringTrue : FStringFalse;
}

QVariant TFbBooleanField::AsVariant() const {
    return IsNull() ? QVariant() : QVariant(AsBoolean());
}

// ---- floating point and scaled numbers

TFbFloatField::TFbFloatField(TFbCustomDataSet* dataSet) : TFbField(dataSet, TFieldType::ftFloat) {}

double TFbFloatField::AsFloat() const {
    const char* data = Data();
    if (!data) return 0;
    const TFbFieldDescr& d = Descr();
    switch (d.fdDataType) {
    case SQL_FLOAT: {
        float v;
        std::memcpy(&v, data, 4);
        return v;
    }
    case SQL_SHORT:
    case SQL_LONG:
        return double(
            db::statements::ScaleReal(db::statements::ReadSqlInteger(data, d.fdDataType), d.fdDataScale));
    default: {
        double v;
        std::memcpy(&v, data, 8);
        return v;
    }
    }
}

QString TFbFloatField::AsString() const {
    return IsNull() ? QString() : FloatText(AsFloat());
}
int TFbFloatField::AsInteger() const {
    return RoundHalfEven(AsFloat());
}
int64_t TFbFloatField::AsLargeInt() const {
    int64_t value = 0;
    if (!db::statements::TruncToInt64(db::statements::RoundEven(AsFloat()), value))
        RaiseFbError(FbClientError::InvalidDataConversion);
    return value;
}
QVariant TFbFloatField::AsVariant() const {
    return IsNull() ? QVariant() : QVariant(AsFloat());
}

TFbBCDField::TFbBCDField(TFbCustomDataSet* dataSet) : TFbField(dataSet, TFieldType::ftBCD) {
    SetSize(8);
}

int64_t TFbBCDField::Raw() const {
    const char* data = Data();
    if (!data) return 0;
    int64_t v;
    std::memcpy(&v, data, 8);
    return v;
}

QString TFbBCDField::AsString() const {
    if (IsNull()) return {};
    return ScaledIntegerText(Raw(), Size(), platform::RegionalSettings().DecimalSeparator);
}
double TFbBCDField::AsFloat() const {
    return double(db::statements::ScaleReal(Raw(), -Size()));
}
int64_t TFbBCDField::AsLargeInt() const {
    // Truncated toward zero; with more than 18 decimals every 64-bit value is below 1.
    return db::statements::ScaleInteger(Raw(), -Size());
}
int TFbBCDField::AsInteger() const {
    return RoundHalfEven(AsFloat());
}
QVariant TFbBCDField::AsVariant() const {
    if (IsNull()) return {};
    if (Size() == 0) return QVariant(qlonglong(Raw()));
    return QVariant(AsFloat());
}

// ---- dates and times

TFbDateTimeField::TFbDateTimeField(TFbCustomDataSet* dataSet, TFieldType dataType)
    : TFbField(dataSet, dataType) {}

platform::TDateTime TFbDateTimeField::AsDateTime() const {
    const char* data = Data();
    if (!data) return 0;
    switch (DataType()) {
    case TFieldType::ftDate: {
        int32_t day;
        std::memcpy(&day, data, 4);
        return platform::TDateTime(day - platform::DateDelta);
    }
    case TFieldType::ftTime: {
        int32_t ms;
        std::memcpy(&ms, data, 4);
        return platform::TDateTime(ms) / platform::MSecsPerDay;
    }
    default: {
        double ms;
        std::memcpy(&ms, data, 8);
        platform::TTimeStamp ts;
        const int64_t total = int64_t(ms);
        ts.Date = int(total / platform::MSecsPerDay);
        ts.Time = int(total % platform::MSecsPerDay);
        return platform::TimeStampToDateTime(ts);
    }
    }
}

QString TFbDateTimeField::AsString() const {
    if (IsNull()) return {};
    const platform::TDateTime value = AsDateTime();
    QString text;
    switch (DataType()) {
    case TFieldType::ftDate:
        text = platform::DateToStr(value);
        break;
    case TFieldType::ftTime:
        text = platform::TimeToStr(value);
        break;
    default:
        text = platform::DateTimeToStr(value);
        break;
    }
    if (FShowMsec && DataType() != TFieldType::ftDate) {
        int h, m, s, ms;
        platform::DecodeTime(value, h, m, s, ms);
        // Always three digits: ".5" would read as half a second.
        if (ms) text += QLatin1Char('.') + QStringLiteral("%1").arg(ms, 3, 10, QLatin1Char('0'));
    }
    return text;
}

QVariant TFbDateTimeField::AsVariant() const {
    return IsNull() ? QVariant() : QVariant(AsDateTime());
}

// ---- blobs

TFbBlobField::TFbBlobField(TFbCustomDataSet* dataSet, TFieldType dataType) : TFbField(dataSet, dataType) {
    SetSize(8);
}

QByteArray TFbBlobField::AsBytes() const {
    if (IsNull()) return {};
    return FbDataSet()->BlobContent(FieldNo());
}

QString TFbBlobField::AsString() const {
    return platform::StringFromAnsi(AsBytes());
}

QString TFbMemoField::AsString() const {
    const QByteArray bytes = AsBytes();
    TFbDatabase* database = FbDataSet()->Database();
    const int charSet = Descr().fdDataScale & 0xFF;
    if (database && database->Connected() && TFbCharSetFacts::Of(*database).NeedUnicodeTranslation(charSet))
        return platform::Decode(bytes, platform::TTextEncoding::UTF8);
    return platform::StringFromAnsi(bytes);
}

// ---- creation

std::unique_ptr<TField> CreateFbField(TFbCustomDataSet* dataSet, const TFieldDef& def) {
    std::unique_ptr<TField> field;
    switch (def.DataType) {
    case TFieldType::ftString:
        field = std::make_unique<TFbStringField>(dataSet);
        break;
    case TFieldType::ftWideString:
        field = std::make_unique<TFbWideStringField>(dataSet);
        break;
    case TFieldType::ftGuid:
        field = std::make_unique<TFbGuidField>(dataSet);
        break;
    case TFieldType::ftSmallint:
        field = std::make_unique<TFbSmallIntField>(dataSet);
        break;
    case TFieldType::ftInteger:
        field = std::make_unique<TFbIntegerField>(dataSet);
        break;
    case TFieldType::ftLargeint:
        field = std::make_unique<TFbLargeIntField>(dataSet);
        break;
    case TFieldType::ftBoolean:
        field = std::make_unique<TFbBooleanField>(dataSet);
        break;
    case TFieldType::ftFloat:
        field = std::make_unique<TFbFloatField>(dataSet);
        break;
    case TFieldType::ftBCD:
        field = std::make_unique<TFbBCDField>(dataSet);
        break;
    case TFieldType::ftDate:
        field = std::make_unique<TFbDateField>(dataSet);
        break;
    case TFieldType::ftTime:
        field = std::make_unique<TFbTimeField>(dataSet);
        break;
    case TFieldType::ftDateTime:
        field = std::make_unique<TFbDateTimeField>(dataSet);
        break;
    case TFieldType::ftBytes:
        field = std::make_unique<TFbArrayField>(dataSet);
        break;
    case TFieldType::ftBlob:
    case TFieldType::ftFmtMemo:
    case TFieldType::ftTypedBinary:
    case TFieldType::ftParadoxOle:
    case TFieldType::ftDBaseOle:
        field = std::make_unique<TFbBlobField>(dataSet, def.DataType);
        break;
    case TFieldType::ftMemo:
    case TFieldType::ftWideMemo:
        field = std::make_unique<TFbMemoField>(dataSet, def.DataType);
        break;
    default:
        dataSet->DatabaseError(platform::Format(u"Field '%s' is of an unknown type", {def.Name}));
    }
    field->SetSize(def.Size);
    field->SetFieldName(def.Name);
    field->SetFieldNo(def.FieldNo);
    if (auto* s = dynamic_cast<TFbStringField*>(field.get()))
        s->SetEmptyStrToNull(dataSet->PrepareOptions().testFlag(TpPrepareOption::psSetEmptyStrToNull));
    return field;
}
