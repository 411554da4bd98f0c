#pragma once
// Generic field definitions and field objects of a data set: the description of a column and
// the typed view of its value in the current row. Concrete field classes read the value.

#include "DataSetTypes.h"
#include "platform/DateTime.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <cstdint>

class TDataSet;

struct TFieldDef {
    QString Name;
    TFieldType DataType = TFieldType::ftUnknown;
    int Size = 0;
    int FieldNo = 0; // 1-based column position in the select
    bool Required = false;
    bool InternalCalcField = false;
};

class TFieldDefs {
public:
    int Count() const { return int(FItems.size()); }
    const TFieldDef& operator[](int index) const { return FItems.at(index); }
    void Add(const TFieldDef& def) { FItems.append(def); }
    void Clear() { FItems.clear(); }
    const TFieldDef* Find(const QString& name) const;

private:
    QList<TFieldDef> FItems;
};

// Upper-cases a field name by the locale's rules and hashes it; field lookup compares these first.
size_t FieldNameHash(const QString& upperName);

class TField {
public:
    TField(TDataSet* dataSet, TFieldType dataType);
    virtual ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return FDataSet; }
    const QString& FieldName() const { return FFieldName; }
    void SetFieldName(const QString& value);
    // The upper-cased name and its hash.
    const QString& UpperName() const { return FUpperName; }
    size_t NameHash() const { return FNameHash; }
    int FieldNo() const { return FFieldNo; }
    void SetFieldNo(int value) { FFieldNo = value; }
    TFieldType DataType() const { return FDataType; }
    int Size() const { return FSize; }
    virtual void SetSize(int value) { FSize = value; }
    virtual int DataSize() const { return FSize; }
    TFieldKind FieldKind() const { return FFieldKind; }
    void SetFieldKind(TFieldKind value) { FFieldKind = value; }
    const QString& Origin() const { return FOrigin; }
    void SetOrigin(const QString& value) { FOrigin = value; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    bool Required() const { return FRequired; }
    void SetRequired(bool value) { FRequired = value; }
    const QString& DefaultExpression() const { return FDefaultExpression; }
    void SetDefaultExpression(const QString& value) { FDefaultExpression = value; }
    const QString& DisplayLabel() const { return FDisplayLabel; }
    void SetDisplayLabel(const QString& value) { FDisplayLabel = value; }
    QString DisplayName() const { return FDisplayLabel.isEmpty() ? FFieldName : FDisplayLabel; }
    // Numeric and date/time fields.
    const QString& DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& value) { FDisplayFormat = value; }
    const QString& EditFormat() const { return FEditFormat; }
    void SetEditFormat(const QString& value) { FEditFormat = value; }

    virtual bool IsNull() const = 0;
    virtual QString AsString() const = 0;
    virtual int AsInteger() const;
    virtual int64_t AsLargeInt() const;
    virtual double AsFloat() const;
    virtual bool AsBoolean() const;
    virtual platform::TDateTime AsDateTime() const;
    virtual QVariant AsVariant() const;
    // The text a visual control shows: AsString unless the class formats it.
    virtual QString DisplayText() const { return AsString(); }

protected:
    // "Cannot access field '%s' as type %s", without a component prefix.
    [[noreturn]] void AccessError(const char* typeName) const;

private:
    TDataSet* FDataSet;
    QString FFieldName;
    QString FUpperName;
    size_t FNameHash = 0;
    int FFieldNo = 0;
    TFieldType FDataType;
    int FSize = 0;
    TFieldKind FFieldKind = TFieldKind::fkData;
    QString FOrigin;
    bool FReadOnly = false;
    bool FRequired = false;
    QString FDefaultExpression;
    QString FDisplayLabel;
    QString FDisplayFormat;
    QString FEditFormat;
};
