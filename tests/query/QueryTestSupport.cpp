#include "QueryTestSupport.h"
#include "ComponentFixtures.h"

QString SchemaScript(const QString& path, int dialect) {
    return QStringLiteral(
               "set sql dialect %2;\n"
               "create database '%1' user 'SYSDBA' default character set WIN1250;\n"
               "create table formy (id integer not null primary key, nazwa varchar(60), kod1 varchar(20),\n"
               "  counter integer, countmode integer, id_vorek integer, counttch timestamp);\n"
               "create table FORMY_LICZNIKI (id integer, id_f integer, stan integer, ostan integer,\n"
               "  opis varchar(100), id_p integer, lm integer, dt timestamp default current_timestamp);\n"
               "create table tools_data (id_t integer, cx integer);\n"
               "create table docs (id integer, txt blob sub_type 1, bin blob sub_type 0);\n"
               "create table m (id integer, amount numeric(15,2), name varchar(20), bin blob sub_type 0);\n"
               "set term ^ ;\n"
               "create procedure addmul (a integer, b integer) returns (s integer, p integer) as\n"
               "begin s = a + b; p = a * b; end^\n"
               "set term ; ^\n"
               "insert into formy values (150, 'Forma 150', 'K150', 500, 1, 7, null);\n"
               "insert into formy values (151, 'Forma 151', 'K151', 20, 1, 8, null);\n"
               "insert into tools_data values (7, 600);\n"
               "insert into tools_data values (7, 400);\n"
               "insert into tools_data values (9, 1);\n"
               "insert into m values (1, 0, 'old', null);\n"
               "commit;\n")
        .arg(path)
        .arg(dialect);
}

void QueryTest::SetUp() {
    ASSERT_TRUE(Dir.isValid());
    Form = std::make_unique<platform::TComponent>();
    Form->SetName(QStringLiteral("Form1"));
    Db = NewDatabase(QStringLiteral("pFbDatabaseFormy"), QStringLiteral("formy_db.fdb"));
    ASSERT_NE(Db, nullptr);
    Tr = NewTransaction(QStringLiteral("pFbTransaction3"), Db);
    Q = NewQuery(QStringLiteral("pFbQueryFormy"), Db, Tr);
}

void QueryTest::TearDown() {
    Form.reset();
}

TpFbDatabase* QueryTest::NewDatabase(const QString& name, const QString& file, int dialect) {
    const QString path = Dir.filePath(file);
    RunIsql(SchemaScript(path, dialect));
    return ConnectedDatabase(Form.get(), name, path);
}

TpFbTransaction* QueryTest::NewTransaction(const QString& name, TFbDatabase* database) {
    return RollbackTransaction(Form.get(), name, database);
}

TpFbQuery* QueryTest::NewQuery(const QString& name, TFbDatabase* database, TFbTransaction* transaction) {
    auto* query = new TpFbQuery(Form.get());
    query->SetName(name);
    query->SetDatabase(database);
    query->SetTransaction(transaction);
    return query;
}

void QueryTest::SetLines(TFbQuery& query, const QStringList& lines) {
    query.SQL().Clear();
    for (const QString& line : lines)
        query.SQL().Add(line);
}

qint64 QueryTest::ReadInt(const QString& sql) {
    TpFbTransaction reader;
    reader.SetDefaultDatabase(Db);
    reader.StartTransaction();
    TFbQuery query;
    query.SetDatabase(Db);
    query.SetTransaction(&reader);
    query.SQL().Add(sql);
    query.ExecQuery();
    const qint64 value = query.Eof() || query.Fields(0).IsNull() ? -1 : query.Fields(0).AsInt64();
    query.Close();
    reader.Rollback();
    return value;
}
