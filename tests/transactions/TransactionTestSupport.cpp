#include "TransactionTestSupport.h"

#include "ComponentFixtures.h"
#include "db/connection/fb.h"

#include <cstdlib>
#include <cstring>

using namespace db::connection;

void CreateTestDatabase(const QString& path, const QString& extraDdl) {
    RunIsql(QStringLiteral("create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                           "create table t (id integer not null primary key, v integer);\n"
                           "insert into t values (1, 10);\n"
                           "commit;\n%2\n")
                .arg(path, extraDdl));
}

namespace {
TFbDatabase& DatabaseOf(TFbTransaction& transaction, TFbDatabase* database) {
    return database ? *database : *transaction.MainDatabase();
}
} // namespace

void Exec(TFbTransaction& transaction, const QByteArray& sql, TFbDatabase* database) {
    TFbDatabase& db = DatabaseOf(transaction, database);
    transaction.Call(transaction.ClientLibrary().isc_dsql_execute_immediate(
                         StatusVector(), db.HandleAddress(), transaction.HandleAddress(),
                         static_cast<unsigned short>(0), sql.constData(), static_cast<unsigned short>(3),
                         static_cast<const XSQLDA*>(nullptr)),
                     true);
}

qint64 QueryInt(TFbTransaction& transaction, const QByteArray& sql, TFbDatabase* database) {
    TFbDatabase& db = DatabaseOf(transaction, database);
    IIBClientLibrary& library = transaction.ClientLibrary();
    isc_stmt_handle statement = 0;
    transaction.Call(library.isc_dsql_alloc_statement2(StatusVector(), db.HandleAddress(), &statement), true);
    XSQLDA* out = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(1)));
    out->version = SQLDA_VERSION1;
    out->sqln = 1;
    ISC_INT64 value = 0;
    short indicator = 0;
    ISC_STATUS fetched = 100;
    try {
        transaction.Call(library.isc_dsql_prepare(StatusVector(), transaction.HandleAddress(), &statement,
                                                  static_cast<unsigned short>(0), sql.constData(),
                                                  static_cast<unsigned short>(3), out),
                         true);
        out->sqlvar[0].sqltype = SQL_INT64 | 1;
        out->sqlvar[0].sqlscale = 0;
        out->sqlvar[0].sqllen = sizeof(ISC_INT64);
        out->sqlvar[0].sqldata = reinterpret_cast<char*>(&value);
        out->sqlvar[0].sqlind = &indicator;
        transaction.Call(library.isc_dsql_execute(StatusVector(), transaction.HandleAddress(), &statement,
                                                  static_cast<unsigned short>(3),
                                                  static_cast<XSQLDA*>(nullptr)),
                         true);
        fetched = library.isc_dsql_fetch(StatusVector(), &statement, static_cast<unsigned short>(3), out);
        if (fetched != 0 && fetched != 100) transaction.Call(fetched, true);
    } catch (...) {
        library.isc_dsql_free_statement(StatusVector(), &statement, static_cast<unsigned short>(DSQL_drop));
        std::free(out);
        throw;
    }
    library.isc_dsql_free_statement(StatusVector(), &statement, static_cast<unsigned short>(DSQL_drop));
    std::free(out);
    return fetched == 0 && indicator == 0 ? value : -1;
}

qint64 ReadInt(TFbDatabase& database, const QByteArray& sql) {
    TFbTransaction reader;
    reader.AddDatabase(&database);
    reader.StartTransaction();
    const qint64 value = QueryInt(reader, sql, &database);
    reader.Rollback();
    return value;
}

int TransactionInfo(TFbTransaction& transaction, char item) {
    IIBClientLibrary& library = transaction.ClientLibrary();
    char buffer[64] = {};
    transaction.Call(library.isc_transaction_info(StatusVector(), transaction.HandleAddress(), short(1),
                                                  &item, short(sizeof(buffer)), buffer),
                     true);
    if (buffer[0] != item) return -2;
    const short length = short(library.isc_vax_integer(buffer + 1, short(2)));
    return int(library.isc_vax_integer(buffer + 3, length));
}

void TransactionTest::SetUp() {
    ASSERT_TRUE(Dir.isValid());
    Form = std::make_unique<platform::TComponent>();
    Form->SetName(QStringLiteral("Form1"));
    Db = NewDatabase(QStringLiteral("pFbDatabaseFormy"), QStringLiteral("formy_db.fdb"));
}

void TransactionTest::TearDown() {
    Form.reset();
}

TpFbDatabase* TransactionTest::NewDatabase(const QString& name, const QString& file,
                                           const QString& extraDdl) {
    const QString path = Dir.filePath(file);
    CreateTestDatabase(path, extraDdl);
    return ConnectedDatabase(Form.get(), name, path);
}

TpFbTransaction* TransactionTest::NewTransaction(const QString& name, TFbDatabase* database) {
    return RollbackTransaction(Form.get(), name, database);
}
