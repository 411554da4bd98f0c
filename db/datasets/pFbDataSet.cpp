#include "pFbDataSet.h"

#include "FbFields.h"
#include "pFbFieldsDescr.h"

#include <ibase.h>

QString FormatWithDecimals(const QString& format, int decimals) {
    if (decimals <= 0 || format.isEmpty()) return format;
    if (format.endsWith(QLatin1Char('.'))) return format + QString(decimals, QLatin1Char('0'));
    if (format.size() >= 2 && format[format.size() - 2] == QLatin1Char('.'))
        return format + QString(decimals, format.back());
    return format;
}

TpFbDataSet::TpFbDataSet(platform::TComponent* owner) : TFbDataSet(owner) {}

void TpFbDataSet::AskRecordCount() {
    FKnownRecordCount = 0;
    if (!PrepareOptions().testFlag(TpPrepareOption::psAskRecordCount)) return;
    if (QSelect().ParamCount() > 0) return;
    TFbQuery count;
    count.SetDatabase(Database());
    count.SetTransaction(Transaction());
    count.SQL().SetText(QStringLiteral("select count(*) from (") + SelectSQL().Text() + QStringLiteral(")"));
    count.ExecQuery();
    FKnownRecordCount = count.Fields(0).AsInteger();
}

void TpFbDataSet::AfterInternalOpen() {
    if (!IsCursorOpen()) return;
    for (TField* field : Fields())
        SetUpField(*field);
}

void TpFbDataSet::SetUpField(TField& field) {
    const TFbFieldDescr& d = FieldDescr(field.FieldNo());
    if (Options().testFlag(TpFbDsOption::poAutoFormatFields)) {
        int decimals = -1;
        switch (field.DataType()) {
        case TFieldType::ftSmallint:
        case TFieldType::ftInteger:
        case TFieldType::ftFloat:
            if (d.fdDataScale < 0) decimals = -d.fdDataScale;
            break;
        case TFieldType::ftBCD:
            if (field.Size() >= 1) decimals = field.Size();
            break;
        default:
            break;
        }
        if (decimals >= 0) {
            if (field.DisplayFormat().isEmpty())
                field.SetDisplayFormat(FormatWithDecimals(FDefaultFormats.NumericDisplayFormat, decimals));
            if (field.EditFormat().isEmpty())
                field.SetEditFormat(FormatWithDecimals(FDefaultFormats.NumericEditFormat, decimals));
        }
        if (field.DisplayFormat().isEmpty()) {
            if (field.DataType() == TFieldType::ftDate)
                field.SetDisplayFormat(FDefaultFormats.DisplayFormatDate);
            if (field.DataType() == TFieldType::ftTime)
                field.SetDisplayFormat(FDefaultFormats.DisplayFormatTime);
            if (field.DataType() == TFieldType::ftDateTime)
                field.SetDisplayFormat(FDefaultFormats.DateTimeDisplayFormat);
        }
    }
    const TpPrepareOptions o = PrepareOptions();
    if (!o.testFlag(TpPrepareOption::pfSetRequiredFields) &&
        !o.testFlag(TpPrepareOption::pfSetReadOnlyFields) &&
        !o.testFlag(TpPrepareOption::pfImportDefaultValues) &&
        !o.testFlag(TpPrepareOption::psUseBooleanField))
        return;
    if (d.fdRelationTable.isEmpty() || d.fdRelationField.isEmpty()) return;
    const TpFbFieldInfo* found = TpFbTableInfoCollect::Instance().GetFieldInfo(
        Database(), DescriptorName(d.fdRelationTable), false, DescriptorName(d.fdRelationField));
    if (!found) return;
    const TpFbFieldInfo& info = *found;
    if (o.testFlag(TpPrepareOption::pfSetReadOnlyFields) && info.IsComputed) field.SetReadOnly(true);
    if (o.testFlag(TpPrepareOption::pfImportDefaultValues) && !info.DefaultValue.isEmpty()) {
        QString value = info.DefaultValue;
        if (auto* b = dynamic_cast<TFbBooleanField*>(&field)) {
            if (value == QLatin1String("1")) value = b->StringTrue();
            if (value == QLatin1String("0")) value = b->StringFalse();
        } else if (field.DataType() == TFieldType::ftString || field.DataType() == TFieldType::ftWideString) {
            value = QLatin1Char('\'') + value + QLatin1Char('\'');
        } else if (field.DataType() == TFieldType::ftFloat || field.DataType() == TFieldType::ftBCD) {
            value.replace(QLatin1Char('.'), platform::RegionalSettings().DecimalSeparator);
        }
        field.SetDefaultExpression(value);
    }
    if (o.testFlag(TpPrepareOption::pfSetRequiredFields))
        field.SetRequired(!d.fdNullable && info.DefaultValue.isEmpty() && !info.DefaultValueEmptyString);
}
