#pragma once
// The process-wide field information cache: what the system tables say about the columns of a
// table (domain, computed, default, character set), read once per table and database for the
// whole process, under one lock shared by every thread.

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class TFbDatabase;

// One column of a table (or output parameter of a stored procedure).
class TpFbFieldInfo {
public:
    QString DomainName;
    bool IsComputed = false;
    QString DefaultValue;
    bool DefaultValueEmptyString = false;
    // The default is a server keyword or name (USER, CURRENT_ROLE, CURRENT_TIMESTAMP), not a value.
    bool DefaultValueIsKeyword = false;
    bool CanIncToWhereClause = true;
    int CharSet = 0;

    // The domain name, upper-cased, contains "BOOLEAN" / "GUID".
    bool CanBeBoolean() const { return FCanBeBoolean; }
    bool CanBeGuid() const { return FCanBeGuid; }

private:
    friend class TpFbTableInfoCollect;
    // Worked out once when the entry is made; entries never change afterwards, so readers on other
    // threads need no lock.
    void Derive();
    bool FCanBeBoolean = false;
    bool FCanBeGuid = false;
};

// The columns of one table, in column order.
class TpFbTableInfo {
public:
    QString TableName;
    // The table's format number (a view's relation id); -1 when the statement returned none.
    int FormatNumber = -1;
    QStringList FieldNames;
    const TpFbFieldInfo* FieldInfo(const QString& fieldName) const;

private:
    friend class TpFbTableInfoCollect;
    QHash<QString, TpFbFieldInfo> FFields;
};

class TpFbTableInfoCollect {
public:
    // The one cache of the process.
    static TpFbTableInfoCollect& Instance();

    // The information of a column, loading its table on first use; none when the table or column
    // is unknown. The entry lives as long as the process. `withRepository` asks for the field
    // repository too, which is not kept here.
    const TpFbFieldInfo* GetFieldInfo(TFbDatabase* connection, const QString& tableName, bool withRepository,
                                      const QString& fieldName);
    // The whole table, loading it on first use; none for an empty name or the pseudo-table ALIAS.
    const TpFbTableInfo* GetTableInfo(TFbDatabase* connection, const QString& tableName, bool withRepository);

    // Tables loaded so far.
    int TableCount();

    // Observes every system-table statement right before it runs (under the cache's lock): the
    // database name, the table name and the statement text. For tests and diagnostics.
    using TQueryObserver =
        std::function<void(const QString& databaseName, const QString& tableName, const QString& sql)>;
    void SetQueryObserver(TQueryObserver observer);

    // The statements, exactly as sent.
    static const QString FormatSQL;
    static const QString FieldsSQL;
    static const QString ProcedureSQL;

private:
    TpFbTableInfoCollect() = default;
    std::unique_ptr<TpFbTableInfo> Load(TFbDatabase& connection, const QString& tableName);

    std::mutex FLock;
    std::map<QString, std::unique_ptr<TpFbTableInfo>> FTables;
    TQueryObserver FObserver;
};

// A column's default as the system tables hold it ("DEFAULT 'abc'") turned into its value, and
// whether it is the empty string or a server keyword (a word outside quotes). DEFAULT NULL is no
// default: empty.
QString DefaultValueFromSource(const QString& source, bool& isEmptyString, bool* isKeyword = nullptr);
