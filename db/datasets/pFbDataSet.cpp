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

QString WithoutLockingClause(const QString& select) {
    // The words outside parentheses, strings, quoted names and comments, with their positions.
    struct TWord {
        qsizetype At;
        QString Upper;
    };
    QList<TWord> words;
    int depth = 0;
    const qsizetype n = select.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = select[i];
        if (c == u'\'' || c == u'"') {
            // To the closing mark; a doubled one stands for itself.
            for (++i; i < n; ++i) {
                if (select[i] != c) continue;
                if (i + 1 < n && select[i + 1] == c)
                    ++i;
                else
                    break;
            }
            ++i;
        } else if (c == u'-' && i + 1 < n && select[i + 1] == u'-') {
            while (i < n && select[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && select[i + 1] == u'*') {
            const qsizetype end = select.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == u'(' || c == u')') {
            depth += c == u'(' ? 1 : -1;
            ++i;
        } else if (c.isLetterOrNumber() || c == u'_' || c == u'$') {
            const qsizetype start = i;
            while (i < n && (select[i].isLetterOrNumber() || select[i] == u'_' || select[i] == u'$'))
                ++i;
            if (depth == 0) words.append({start, select.mid(start, i - start).toUpper()});
        } else {
            ++i;
        }
    }
    for (qsizetype k = 0; k + 1 < words.size(); ++k)
        if (words[k].Upper == QLatin1String("FOR") && words[k + 1].Upper == QLatin1String("UPDATE"))
            return select.left(words[k].At);
    const qsizetype last = words.size() - 1;
    if (last >= 1 && words[last - 1].Upper == QLatin1String("WITH") &&
        words[last].Upper == QLatin1String("LOCK"))
        return select.left(words[last - 1].At);
    return select;
}

void TpFbDataSet::AskRecordCount() {
    FKnownRecordCount = 0;
    if (!PrepareOptions().testFlag(TpPrepareOption::psAskRecordCount)) return;
    if (QSelect().ParamCount() > 0) return;
    // Owned and named, so that its errors name the data set like those of its other statements.
    TFbQuery count(this);
    count.SetName(QStringLiteral("CountQuery"));
    count.SetDatabase(Database());
    count.SetTransaction(Transaction());
    // A derived table cannot lock its rows: the count is of the rows the select would lock. Its
    // columns are named here, as the select's own names may repeat or be missing.
    QStringList columns;
    for (int i = 1; i <= QSelect().FieldCount(); ++i)
        columns << QStringLiteral("C%1").arg(i);
    count.SQL().SetText(QStringLiteral("select count(*) from (") + WithoutLockingClause(SelectSQL().Text()) +
                        QStringLiteral("\n) as counted (") + columns.join(QLatin1Char(',')) +
                        QLatin1Char(')'));
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
        } else if ((field.DataType() == TFieldType::ftString ||
                    field.DataType() == TFieldType::ftWideString) &&
                   !info.DefaultValueIsKeyword) {
            value = QLatin1Char('\'') + value + QLatin1Char('\'');
        } else if (field.DataType() == TFieldType::ftFloat || field.DataType() == TFieldType::ftBCD) {
            value.replace(QLatin1Char('.'), platform::RegionalSettings().DecimalSeparator);
        }
        field.SetDefaultExpression(value);
    }
    if (o.testFlag(TpPrepareOption::pfSetRequiredFields))
        field.SetRequired(!d.fdNullable && info.DefaultValue.isEmpty() && !info.DefaultValueEmptyString);
}
