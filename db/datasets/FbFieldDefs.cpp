// Field definitions of the select data set, from the result columns of the prepared select.
#include "FbDataSet.h"
#include "FbRecordLayout.h"
#include "pFbFieldsDescr.h"

#include <ibase.h>

namespace {
constexpr short SQL_SERVER_BOOLEAN_IB = 590; // InterBase's Boolean type code

bool CanBe(const TpFbFieldInfo* info, bool (TpFbFieldInfo::*test)() const) {
    return info && (info->*test)();
}
} // namespace

void TFbCustomDataSet::InternalInitFieldDefs() {
    FieldDefs().Clear();
    TFbXSQLDA& columns = FQSelect->Current();
    const TFbCharSetFacts facts = Database() ? TFbCharSetFacts::Of(*Database()) : TFbCharSetFacts();
    // The column's facts from the field information cache, asked only when an option needs them.
    // The names come in the connection's character set.
    auto columnInfo = [&](const TFbXSQLVAR& item) -> const TpFbFieldInfo* {
        const QString table = item.RelationName();
        const QString column = item.SqlName();
        if (table.isEmpty() || column.isEmpty() || !Database()) return nullptr;
        return TpFbTableInfoCollect::Instance().GetFieldInfo(Database(), table, false, column);
    };
    for (int i = 0; i < columns.Count(); ++i) {
        const TFbXSQLVAR& column = columns.Vars(i);
        const XSQLVAR& v = *column.Data();
        TFieldDef def;
        def.Name = column.Name();
        def.FieldNo = i + 1;
        const short type = short(v.sqltype & ~1);
        switch (type) {
        case SQL_VARYING:
        case SQL_TEXT: {
            const int charSet = v.sqlsubtype & 0xFF;
            if (FPrepareOptions.testFlag(TpPrepareOption::psUseGuidField) && v.sqllen == 16 &&
                CanBe(columnInfo(column), &TpFbFieldInfo::CanBeGuid)) {
                def.DataType = TFieldType::ftGuid;
                def.Size = 38;
            } else if (facts.IsUnicodeCharSet(charSet)) {
                def.DataType = TFieldType::ftWideString;
                const QByteArray name(v.sqlname, v.sqlname_length);
                def.Size = name.size() > 4 && name.startsWith("RDB$") && facts.ServerReportsDeclaredSizes()
                               ? v.sqllen
                               : v.sqllen / facts.BytesPerChar(charSet);
            } else {
                def.DataType = TFieldType::ftString;
                def.Size = v.sqllen;
            }
            break;
        }
        case SQL_DOUBLE:
        case SQL_FLOAT:
            def.DataType = TFieldType::ftFloat;
            break;
        case SQL_SHORT:
        case SQL_LONG:
            if (v.sqlscale < 0) {
                def.DataType = TFieldType::ftFloat;
            } else if (FPrepareOptions.testFlag(TpPrepareOption::psUseBooleanField) &&
                       QByteArray(v.relname, v.relname_length)
                               .compare("Fb$FIELDS_INFO", Qt::CaseInsensitive) != 0 &&
                       CanBe(columnInfo(column), &TpFbFieldInfo::CanBeBoolean)) {
                def.DataType = TFieldType::ftBoolean;
            } else {
                def.DataType = type == SQL_SHORT ? TFieldType::ftSmallint : TFieldType::ftInteger;
            }
            break;
        case SQL_INT64:
            if (v.sqlscale == 0) {
                def.DataType = FPrepareOptions.testFlag(TpPrepareOption::psUseLargeIntField)
                                   ? TFieldType::ftLargeint
                                   : TFieldType::ftBCD;
            } else if (v.sqlscale >= -4 || FPrepareOptions.testFlag(TpPrepareOption::psSQLINT64ToBCD)) {
                def.DataType = TFieldType::ftBCD;
                def.Size = -v.sqlscale;
            } else {
                def.DataType = TFieldType::ftFloat;
            }
            break;
        case SQL_TIMESTAMP:
            def.DataType = TFieldType::ftDateTime;
            break;
        case SQL_TYPE_DATE:
            def.DataType = TFieldType::ftDate;
            break;
        case SQL_TYPE_TIME:
            def.DataType = TFieldType::ftTime;
            break;
        case SQL_BLOB:
            def.Size = 8;
            if (v.sqlsubtype != 1)
                def.DataType = TFieldType::ftBlob;
            else if (facts.NeedUTFEncodeDDL && facts.IsUnicodeConnect &&
                     facts.IsUnicodeCharSet(v.sqlscale & 0xFF))
                def.DataType = TFieldType::ftWideMemo;
            else
                def.DataType = TFieldType::ftMemo;
            break;
        case SQL_ARRAY:
            def.DataType = TFieldType::ftBytes;
            def.Size = 8;
            break;
        case SQL_SERVER_BOOLEAN_IB:
        case SQL_BOOLEAN:
            def.DataType = TFieldType::ftBoolean;
            break;
        default:
            // No definition; the position is used up all the same.
            continue;
        }
        FieldDefs().Add(def);
    }
}
