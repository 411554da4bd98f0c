#pragma once
// The field classes of the select data set: each reads its column's value from the current row
// buffer (null flag, then the native value placed by the column descriptor).

#include "FbDataSet.h"
#include "FbRecordLayout.h"
#include "Field.h"

#include <QByteArray>
#include <QString>
#include <memory>

// What every field of the select data set shares: the data set and the column's place in a row.
class TFbField : public TField {
public:
    TFbField(TFbCustomDataSet* dataSet, TFieldType dataType);
    bool IsNull() const override { return Data() == nullptr; }

protected:
    TFbCustomDataSet* FbDataSet() const { return FFbDataSet; }
    // Every value read goes through these three: they stay inline.
    const TFbFieldDescr& Descr() const { return FFbDataSet->FieldDescr(FieldNo()); }
    // The current row's buffer, or none.
    const char* Row() const {
        if (FieldNo() < 1 || FieldNo() > FFbDataSet->FieldDescrCount()) return nullptr;
        return FFbDataSet->CurrentRowBuffer();
    }
    // The native value in the current row, or none when there is no row or the value is NULL.
    const char* Data() const {
        const char* row = Row();
        if (!row || RowFieldIsNull(row, FieldNo() - 1)) return nullptr;
        return row + Descr().fdDataOfs;
    }

private:
    TFbCustomDataSet* FFbDataSet;
};

class TFbStringField : public TFbField {
public:
    TFbStringField(TFbCustomDataSet* dataSet, TFieldType dataType = TFieldType::ftString);
    int DataSize() const override { return Size() + 1; }
    QString AsString() const override;
    int AsInteger() const override;
    double AsFloat() const override;
    QVariant AsVariant() const override;
    bool EmptyStrToNull() const { return FEmptyStrToNull; }
    void SetEmptyStrToNull(bool value) { FEmptyStrToNull = value; }

protected:
    // String reading: the value's bytes, trimmed as the options ask, cut at a zero byte; false for
    // NULL or no row. The bytes are those of the current row buffer, valid until it changes.
    bool ReadBytes(QByteArray& bytes) const;
    // The bytes as text for this column's character set on this connection.
    QString DecodeText(const QByteArray& bytes) const;
    // How this column's bytes become text, worked out on first use (fields live from one open to
    // the close, so the connection cannot change under them).
    enum class TDecoding { Unknown, Ansi, Utf8, Koi8 };
    TDecoding Decoding() const;
    mutable TDecoding FDecoding = TDecoding::Unknown;

private:
    bool FEmptyStrToNull = false;
};

class TFbWideStringField : public TFbStringField {
public:
    explicit TFbWideStringField(TFbCustomDataSet* dataSet);
    int DataSize() const override { return 2 * (Size() + 1); }
    QString AsString() const override;
};

class TFbGuidField : public TFbStringField {
public:
    explicit TFbGuidField(TFbCustomDataSet* dataSet);
    QString AsString() const override;
};

class TFbIntegerField : public TFbField {
public:
    explicit TFbIntegerField(TFbCustomDataSet* dataSet, TFieldType dataType = TFieldType::ftInteger);
    QString AsString() const override;
    // The conversion error outside the range of int.
    int AsInteger() const override;
    int64_t AsLargeInt() const override;
    double AsFloat() const override { return double(AsLargeInt()); }
    bool AsBoolean() const override { return AsLargeInt() != 0; }
    QVariant AsVariant() const override;
};

class TFbSmallIntField : public TFbIntegerField {
public:
    explicit TFbSmallIntField(TFbCustomDataSet* dataSet) : TFbIntegerField(dataSet, TFieldType::ftSmallint) {}
};

class TFbLargeIntField : public TFbIntegerField {
public:
    explicit TFbLargeIntField(TFbCustomDataSet* dataSet) : TFbIntegerField(dataSet, TFieldType::ftLargeint) {}
};

class TFbBooleanField : public TFbField {
public:
    explicit TFbBooleanField(TFbCustomDataSet* dataSet);
    QString AsString() const override;
    int AsInteger() const override { return AsBoolean() ? 1 : 0; }
    bool AsBoolean() const override;
    QVariant AsVariant() const override;
    const QString& StringTrue() const { return FStringTrue; }
    void SetStringTrue(const QString& value) { FStringTrue = value; }
    const QString& StringFalse() const { return FStringFalse; }
    void SetStringFalse(const QString& value) { FStringFalse = value; }

private:
    QString FStringTrue = QStringLiteral("True");
    QString FStringFalse = QStringLiteral("False");
};

class TFbFloatField : public TFbField {
public:
    explicit TFbFloatField(TFbCustomDataSet* dataSet);
    QString AsString() const override;
    int AsInteger() const override;
    int64_t AsLargeInt() const override;
    double AsFloat() const override;
    QVariant AsVariant() const override;
    bool RoundByScale() const { return FRoundByScale; }
    void SetRoundByScale(bool value) { FRoundByScale = value; }

private:
    bool FRoundByScale = true;
};

// A scaled 64-bit integer with Size decimals.
class TFbBCDField : public TFbField {
public:
    explicit TFbBCDField(TFbCustomDataSet* dataSet);
    QString AsString() const override;
    int AsInteger() const override;
    int64_t AsLargeInt() const override;
    double AsFloat() const override;
    QVariant AsVariant() const override;

private:
    int64_t Raw() const;
};

class TFbDateTimeField : public TFbField {
public:
    explicit TFbDateTimeField(TFbCustomDataSet* dataSet, TFieldType dataType = TFieldType::ftDateTime);
    QString AsString() const override;
    platform::TDateTime AsDateTime() const override;
    double AsFloat() const override { return AsDateTime(); }
    QVariant AsVariant() const override;
    bool ShowMsec() const { return FShowMsec; }
    void SetShowMsec(bool value) { FShowMsec = value; }

private:
    bool FShowMsec = false;
};

class TFbDateField : public TFbDateTimeField {
public:
    explicit TFbDateField(TFbCustomDataSet* dataSet) : TFbDateTimeField(dataSet, TFieldType::ftDate) {}
};

class TFbTimeField : public TFbDateTimeField {
public:
    explicit TFbTimeField(TFbCustomDataSet* dataSet) : TFbDateTimeField(dataSet, TFieldType::ftTime) {}
};

class TFbBlobField : public TFbField {
public:
    explicit TFbBlobField(TFbCustomDataSet* dataSet, TFieldType dataType = TFieldType::ftBlob);
    QString AsString() const override;
    // The blob's content.
    QByteArray AsBytes() const;
    bool IsClientField() const { return FIsClientField; }
    void SetIsClientField(bool value) { FIsClientField = value; }

private:
    bool FIsClientField = false;
};

class TFbMemoField : public TFbBlobField {
public:
    explicit TFbMemoField(TFbCustomDataSet* dataSet, TFieldType dataType = TFieldType::ftMemo)
        : TFbBlobField(dataSet, dataType) {}
    QString AsString() const override;
};

class TFbArrayField : public TFbField {
public:
    explicit TFbArrayField(TFbCustomDataSet* dataSet) : TFbField(dataSet, TFieldType::ftBytes) {}
    QString AsString() const override { return IsNull() ? QString() : QStringLiteral("(Array)"); }
};

// The field object for a definition; "Field '%s' is of an unknown type" for a type without a class.
std::unique_ptr<TField> CreateFbField(TFbCustomDataSet* dataSet, const TFieldDef& def);

// Text of a GUID's 16 bytes: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, the first three groups
// little-endian.
QString GuidToString(const unsigned char* bytes);
// Decimal text of a scaled integer with `decimals` digits after the separator.
QString ScaledIntegerText(int64_t value, int decimals, QChar separator);
