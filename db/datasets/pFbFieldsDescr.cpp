#include "pFbFieldsDescr.h"

#include "db/connection/FbDatabase.h"
#include "db/connection/FbTransaction.h"
#include "db/statements/FbQuery.h"

namespace {

// The transaction the statements run in: the connection's first active one, else its internal
// transaction, started here and ended here when it was not running.
class TLoadTransaction {
public:
    explicit TLoadTransaction(TFbDatabase& connection)
        : FTransaction(dynamic_cast<TFbTransaction*>(connection.FirstActiveTransaction())) {
        if (FTransaction) return;
        FTransaction = connection.InternalTransaction();
        if (!FTransaction->Active()) {
            FTransaction->StartTransaction();
            FStarted = true;
        }
    }
    ~TLoadTransaction() {
        if (!FStarted) return;
        try {
            FTransaction->Rollback();
        } catch (...) {
        }
    }
    TLoadTransaction(const TLoadTransaction&) = delete;
    TLoadTransaction& operator=(const TLoadTransaction&) = delete;

    TFbTransaction* Transaction() const { return FTransaction; }
    void Finish() {
        if (!FStarted) return;
        FStarted = false;
        FTransaction->Commit();
    }

private:
    TFbTransaction* FTransaction;
    bool FStarted = false;
};

template <class F>
void ForEachRow(TFbDatabase& connection, TFbTransaction* transaction, const QString& sql,
                const QString& param, const QString& value, F&& row) {
    TFbQuery query;
    query.SetDatabase(&connection);
    query.SetTransaction(transaction);
    query.SQL().SetText(sql);
    query.ParamByName(param).SetAsString(value);
    query.ExecQuery();
    while (!query.Eof()) {
        row(query);
        query.Next();
    }
    query.Close();
}

QString Trimmed(TFbXSQLVAR& column) {
    return column.IsNull() ? QString() : column.AsString().trimmed();
}

} // namespace

const QString TpFbTableInfoCollect::FormatSQL = QStringLiteral(
    "select a1.RDB$RELATION_ID VER  from RDB$RELATIONS a1\r\nwhere a1.RDB$SYSTEM_FLAG = 0  and "
    "a1.rdb$relation_name=?TN\r\nand not  a1.rdb$view_blr is null\r\nunion\r\nselect RDB$FORMAT from "
    "RDB$RELATIONS R\r\nwhere R.RDB$SYSTEM_FLAG = 0    and R.rdb$relation_name=?TN\r\nand  R.rdb$view_blr is "
    "null");
const QString TpFbTableInfoCollect::FieldsSQL = QStringLiteral(
    "Select R.RDB$FIELD_NAME,R.RDB$FIELD_SOURCE,F.RDB$COMPUTED_BLR, \r\nR.RDB$DEFAULT_SOURCE "
    "DS,F.RDB$DEFAULT_SOURCE DS1, \r\nF.RDB$FIELD_TYPE, \r\nF.RDB$CHARACTER_SET_ID \r\nfrom  "
    "RDB$RELATION_FIELDS "
    "R \r\nJOIN RDB$FIELDS F ON (R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME) \r\nwhere  R.RDB$RELATION_NAME=:TN "
    "\r\norder by R.RDB$FIELD_POSITION");
const QString TpFbTableInfoCollect::ProcedureSQL = QStringLiteral(
    "Select "
    "P.RDB$PARAMETER_NAME,F.RDB$FIELD_NAME,0,0,0,\r\nP.RDB$PARAMETER_TYPE,\r\nF.RDB$CHARACTER_SET_ID\r\nfrom "
    "RDB$PROCEDURE_PARAMETERS P\r\nJOIN RDB$FIELDS F ON (P.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME)WHERE "
    "P.RDB$PROCEDURE_NAME=:PN\r\nAND P.RDB$PARAMETER_TYPE=1");

void TpFbFieldInfo::Derive() {
    const QString domain = DomainName.toUpper();
    FCanBeBoolean = domain.contains(QLatin1String("BOOLEAN"));
    FCanBeGuid = domain.contains(QLatin1String("GUID"));
}

const TpFbFieldInfo* TpFbTableInfo::FieldInfo(const QString& fieldName) const {
    const auto it = FFields.constFind(fieldName);
    return it == FFields.constEnd() ? nullptr : &it.value();
}

TpFbTableInfoCollect& TpFbTableInfoCollect::Instance() {
    static TpFbTableInfoCollect instance;
    return instance;
}

QString DefaultValueFromSource(const QString& source, bool& isEmptyString, bool* isKeyword) {
    isEmptyString = false;
    if (isKeyword) *isKeyword = false;
    QString value = source.mid(7).trimmed(); // the keyword DEFAULT
    qsizetype quote = -1;
    for (qsizetype i = 0; i < value.size() && quote < 0; ++i)
        if (value[i] == u'\'' || value[i] == u'"') quote = i;
    if (quote < 0) {
        if (value.compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0) return {};
        if (isKeyword) *isKeyword = !value.isEmpty() && value[0].isLetter();
        return value;
    }
    // A string literal: its text, a doubled quote standing for one.
    const QChar mark = value[quote];
    QString text;
    for (qsizetype i = quote + 1; i < value.size(); ++i) {
        if (value[i] == mark) {
            if (i + 1 < value.size() && value[i + 1] == mark) {
                text += mark;
                ++i;
                continue;
            }
            break;
        }
        text += value[i];
    }
    isEmptyString = text.isEmpty();
    return text;
}

std::unique_ptr<TpFbTableInfo> TpFbTableInfoCollect::Load(TFbDatabase& connection, const QString& tableName) {
    auto info = std::make_unique<TpFbTableInfo>();
    info->TableName = tableName;
    const QString databaseName = connection.DBName();
    auto observe = [&](const QString& sql) {
        if (FObserver) FObserver(databaseName, tableName, sql);
    };
    TLoadTransaction transaction(connection);

    observe(FormatSQL);
    ForEachRow(connection, transaction.Transaction(), FormatSQL, QStringLiteral("TN"), tableName,
               [&](TFbQuery& query) {
                   if (info->FormatNumber < 0 && !query.Fields(0).IsNull())
                       info->FormatNumber = query.Fields(0).AsInteger();
               });

    auto addField = [&](TFbQuery& query) {
        TpFbFieldInfo field;
        const QString name = Trimmed(query.Fields(0));
        field.DomainName = Trimmed(query.Fields(1));
        field.IsComputed = !query.Fields(2).IsNull();
        QString source = query.Fields(3).IsNull() ? QString() : query.Fields(3).AsString();
        if (source.trimmed().isEmpty() && !query.Fields(4).IsNull()) source = query.Fields(4).AsString();
        field.DefaultValue =
            DefaultValueFromSource(source, field.DefaultValueEmptyString, &field.DefaultValueIsKeyword);
        const int fieldType = query.Fields(5).IsNull() ? 0 : query.Fields(5).AsInteger();
        field.CanIncToWhereClause = fieldType != 9 && fieldType != 261;
        field.CharSet = query.Fields(6).IsNull() ? 0 : query.Fields(6).AsInteger();
        field.Derive();
        if (!info->FFields.contains(name)) info->FieldNames << name;
        info->FFields.insert(name, field);
    };
    observe(FieldsSQL);
    ForEachRow(connection, transaction.Transaction(), FieldsSQL, QStringLiteral("TN"), tableName, addField);
    if (info->FieldNames.isEmpty()) {
        observe(ProcedureSQL);
        ForEachRow(connection, transaction.Transaction(), ProcedureSQL, QStringLiteral("PN"), tableName,
                   addField);
    }
    transaction.Finish();
    return info;
}

const TpFbTableInfo* TpFbTableInfoCollect::GetTableInfo(TFbDatabase* connection, const QString& tableName,
                                                        bool /*withRepository*/) {
    if (!connection) return nullptr;
    // A quoted name ("Name", a doubled quote standing for one) is the name inside; any other is the
    // name as it stands, quotes included.
    QString name = tableName.trimmed();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        name = name.mid(1, name.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
    // ALIAS stands for no table.
    if (name.isEmpty() || name == QLatin1String("ALIAS")) return nullptr;
    const QString key = connection->DBName() + QChar(0) + name;
    std::lock_guard<std::mutex> lock(FLock);
    const auto it = FTables.find(key);
    if (it != FTables.end()) return it->second.get();
    // Loaded while holding the lock: a table is read once, whichever thread asks first.
    std::unique_ptr<TpFbTableInfo> info = Load(*connection, name);
    return FTables.emplace(key, std::move(info)).first->second.get();
}

const TpFbFieldInfo* TpFbTableInfoCollect::GetFieldInfo(TFbDatabase* connection, const QString& tableName,
                                                        bool withRepository, const QString& fieldName) {
    const TpFbTableInfo* table = GetTableInfo(connection, tableName, withRepository);
    return table ? table->FieldInfo(fieldName.trimmed()) : nullptr;
}

int TpFbTableInfoCollect::TableCount() {
    std::lock_guard<std::mutex> lock(FLock);
    return int(FTables.size());
}

void TpFbTableInfoCollect::SetQueryObserver(TQueryObserver observer) {
    std::lock_guard<std::mutex> lock(FLock);
    FObserver = std::move(observer);
}
