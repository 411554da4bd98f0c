#include "DataSetTestSupport.h"

void DataSetTest::SetUp() {
    ASSERT_TRUE(Dir.isValid());
    Form = std::make_unique<platform::TComponent>();
    Form->SetName(QStringLiteral("Form1"));
}

void DataSetTest::TearDown() {
    Form.reset();
}

TpFbDatabase* DataSetTest::MakeDatabase(const QString& name, const QString& file, const QString& script,
                                        const QString& charSet) {
    const QString path = Dir.filePath(file);
    RunIsql(
        QStringLiteral(
            "set names UTF8;\ncreate database '%1' user 'SYSDBA' default character set %2;\n%3\ncommit;\n")
            .arg(path, charSet, script));
    auto* database = new TpFbDatabase(Form.get());
    database->SetName(name);
    database->SetDBName(path);
    database->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=tulipwand"),
                           QStringLiteral("lc_ctype=") + charSet});
    database->SetSQLDialect(3);
    database->SetConnected(true);
    if (!Db) {
        Db = database;
        Path = path;
    }
    return database;
}

void DataSetTest::MakeDataSet(TpFbDatabase* database) {
    Tr = new TpFbTransaction(Form.get());
    Tr->SetName(QStringLiteral("pFbTransaction1"));
    Tr->SetDefaultDatabase(database);
    Tr->SetTimeoutAction(TTransactionAction::TARollback);
    Ds = new TpFbDataSet(Form.get());
    Ds->SetName(QStringLiteral("pFbDataSetFormy"));
    Ds->SetDatabase(database);
    Ds->SetTransaction(Tr);
}

void DataSetTest::SetSelect(const QString& sql) {
    Ds->SelectSQL().Clear();
    Ds->SelectSQL().Add(sql);
}

void DataSetTest::Exec(const QString& sql, TpFbDatabase* database) {
    if (!database) database = Db;
    TpFbTransaction transaction;
    transaction.SetDefaultDatabase(database);
    TpFbQuery query;
    query.SetDatabase(database);
    query.SetTransaction(&transaction);
    transaction.StartTransaction();
    query.SQL().Add(sql);
    query.ExecQuery();
    transaction.Commit();
}

TpFbDataSet* DataSetTest::DataSetOn(TpFbDatabase* database) {
    auto* transaction = new TpFbTransaction(Form.get());
    transaction->SetDefaultDatabase(database);
    auto* ds = new TpFbDataSet(Form.get());
    ds->SetDatabase(database);
    ds->SetTransaction(transaction);
    return ds;
}
