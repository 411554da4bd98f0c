// The database helper routines against a real database: values, failure values, commits seen
// from a second connection, rollbacks on failure and the shown SelectSQL failures.

#include "lib/quorvel/TmyFbDataBase.h"

#include "ComponentFixtures.h"
#include "FirebirdScript.h"
#include "QtPrinters.h"
#include "db/datasets/pFbDataSet.h"
#include "db/statements/pFbQuery.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/StringList.h"

#include <QBuffer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using quorvel::TmyFbDataBase;

class TmyFbDataBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Path = Dir.filePath(QStringLiteral("helpers.fdb"));
        RunIsql(QStringLiteral("create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                               "create table t (id integer not null primary key, name varchar(10), n integer,"
                               " f double precision, dt timestamp, d date, b blob sub_type 0);\n"
                               "create table \"Stan formy\" (id integer, n integer);\n"
                               "create generator g;\n"
                               "commit;\n"
                               "insert into t (id, name, n) values (1, 'jeden', 5);\n"
                               "insert into t (id, name, n) values (2, 'dwa', 0);\n"
                               "insert into \"Stan formy\" values (7, 70);\n"
                               "commit;\n")
                    .arg(Path));
        Form = std::make_unique<platform::TComponent>();
        Form->SetName(QStringLiteral("Form1"));
        Db = ConnectedDatabase(Form.get(), QStringLiteral("pFbDatabase1"), Path);
        Tr = RollbackTransaction(Form.get(), QStringLiteral("pFbTransaction1"), Db);
        Q = new TpFbQuery(Form.get());
        Q->SetName(QStringLiteral("pFbQuery1"));
        Q->SetDatabase(Db);
        Q->SetTransaction(Tr);
    }
    void TearDown() override {
        platform::Application().MessageBoxHook = nullptr;
        Form.reset();
    }

    // The first column of the first row of `sql`, read over a connection of its own, so that only
    // committed work is seen; empty when there is no row.
    QString Committed(const QString& sql) {
        platform::TComponent owner;
        auto* db = ConnectedDatabase(&owner, QStringLiteral("other"), Path);
        auto* tr = RollbackTransaction(&owner, QStringLiteral("otherTr"), db);
        TpFbQuery q(&owner);
        q.SetDatabase(db);
        q.SetTransaction(tr);
        tr->StartTransaction();
        q.SQL().Add(sql);
        q.ExecQuery();
        const QString v = q.Eof() ? QString() : q.Fields(0).AsString();
        tr->Rollback();
        return v;
    }

    QTemporaryDir Dir;
    QString Path;
    std::unique_ptr<platform::TComponent> Form;
    TpFbDatabase* Db = nullptr;
    TpFbTransaction* Tr = nullptr;
    TpFbQuery* Q = nullptr;
};

TEST_F(TmyFbDataBaseTest, ReadingRoutinesTellNoRowFromFailure) {
    EXPECT_EQ(TmyFbDataBase::GetInteger(Q, 1, "t", "n"), 5);
    EXPECT_EQ(TmyFbDataBase::GetInteger(Q, 99, "t", "n"), -1);
    EXPECT_EQ(TmyFbDataBase::FindID(Q, "dwa", "t", "name"), 2);
    EXPECT_EQ(Q->SQL().Strings(), QStringList{"select id  from t where name =  :st "});
    EXPECT_EQ(TmyFbDataBase::FindID(Q, "trzy", "t", "name"), 0);
    EXPECT_TRUE(Tr->InTransaction()); // reading routines leave their transaction active
    EXPECT_EQ(TmyFbDataBase::FindID(Q, "dwa", "t", "no_such_column"), -1);
    EXPECT_FALSE(Tr->InTransaction());
    EXPECT_EQ(TmyFbDataBase::AllRecordInTable(Q, "t"), 2);
    EXPECT_EQ(Q->SQL().Strings(), QStringList{"select  count(*) from t"});
    EXPECT_EQ(TmyFbDataBase::AllRecordInTable(Q, "no_such_table"), -1);
    EXPECT_FALSE(Tr->InTransaction());
    EXPECT_EQ(TmyFbDataBase::GetString(Q, 1, "t", "name"), QStringLiteral("jeden"));
    EXPECT_EQ(TmyFbDataBase::GetString(Q, 9, "t", "name"), QString());
    EXPECT_TRUE(TmyFbDataBase::IsIDinTable(Q, 2, "t"));
    EXPECT_FALSE(TmyFbDataBase::IsIDinTable(Q, 3, "t"));
    EXPECT_TRUE(TmyFbDataBase::IsIdAndIdInTable(Q, 1, 5, "t", "id", "n"));
    EXPECT_FALSE(TmyFbDataBase::IsIdAndIdInTable(Q, 1, 0, "t", "id", "n"));
    EXPECT_TRUE(TmyFbDataBase::IsTxtInTable(Q, "t", "dwa", "name"));
    // The table name goes into the statement as it stands, quotes and blanks included.
    EXPECT_EQ(TmyFbDataBase::GetInteger(Q, 7, "\"Stan formy\"", "n"), 70);
    EXPECT_EQ(TmyFbDataBase::GetGenerator(Q, "g", 5), 5);
    EXPECT_EQ(Q->SQL().Strings(), QStringList{"select gen_id( g,5 ) from rdb$database "});
    EXPECT_EQ(TmyFbDataBase::GetMaxId(Q, "t"), 2);
    EXPECT_EQ(TmyFbDataBase::GetStrOnIDEx(Q, 2, "t", "name", "id"), QStringLiteral("dwa"));
    EXPECT_THROW(TmyFbDataBase::GetStrOnID(Q, 1, "name", "no_such_table"), EFbError);
}

TEST_F(TmyFbDataBaseTest, WritingRoutinesCommitAndInverseValueFlipsFlags) {
    EXPECT_TRUE(TmyFbDataBase::UpdateString(Q, 1, QStringLiteral("Łódź"), "t", "name"));
    EXPECT_EQ(Q->SQL().Strings(), (QStringList{"UPDATE t set name= :ss ", "WHERE id = :id"}));
    EXPECT_FALSE(Tr->InTransaction());
    EXPECT_EQ(Committed("select name from t where id = 1"), QStringLiteral("Łódź"));
    EXPECT_TRUE(TmyFbDataBase::UpdateInt(Q, 2, "t", "n", 42));
    EXPECT_EQ(Committed("select n from t where id = 2"), QStringLiteral("42"));
    EXPECT_TRUE(TmyFbDataBase::UpdateFloat(Q, 2, 2.5, "t", "f"));
    EXPECT_EQ(Committed("select f from t where id = 2"), QStringLiteral("2,5")); // regional separator
    const double when = platform::EncodeDate(2025, 12, 31) + platform::EncodeTime(23, 59, 58, 0);
    EXPECT_TRUE(TmyFbDataBase::UpdateTime(Q, 2, "t", "dt", when));
    EXPECT_DOUBLE_EQ(TmyFbDataBase::GetDateTime(Q, 2, "t", "dt"), when);
    EXPECT_TRUE(TmyFbDataBase::UpdateNumWithData(Q, 1, 7, "t", "f", "d"));
    EXPECT_EQ(Committed("select count(*) from t where id = 1 and f = 7 and d = current_date"),
              QStringLiteral("1"));
    EXPECT_TRUE(TmyFbDataBase::InsertStringAndInteger(Q, 3, "trzy", "t", "name", "id"));
    EXPECT_TRUE(TmyFbDataBase::InsertIntegerAndInteger(Q, 4, 40, "t", "id", "n"));
    EXPECT_TRUE(TmyFbDataBase::CommandSQL_ID(Q, "update t set n = 0 where id = :id", 3));
    EXPECT_EQ(Committed("select count(*) from t where n = 0 and id = 3"), QStringLiteral("1"));
    EXPECT_TRUE(TmyFbDataBase::DeleteRecordsIdId(Q, 4, 40, "t", "id", "n"));
    EXPECT_TRUE(TmyFbDataBase::DeleteRecordsEx(Q, 3, "t", "id"));
    EXPECT_EQ(Committed("select count(*) from t"), QStringLiteral("2"));

    Committed("select 1 from rdb$database"); // a second connection is not in the way below
    ASSERT_TRUE(TmyFbDataBase::UpdateInt(Q, 1, "t", "n", 5));
    EXPECT_TRUE(TmyFbDataBase::InverseValue(Q, 1, "t", "n"));
    EXPECT_EQ(Committed("select n from t where id = 1"), QStringLiteral("0"));
    EXPECT_TRUE(TmyFbDataBase::InverseValue(Q, 1, "t", "n"));
    EXPECT_EQ(Committed("select n from t where id = 1"), QStringLiteral("1"));
    EXPECT_FALSE(TmyFbDataBase::InverseValue(Q, 99, "t", "n"));
    EXPECT_EQ(Committed("select count(*) from t where id = 99"), QStringLiteral("0"));
    EXPECT_FALSE(Tr->InTransaction());
}

TEST_F(TmyFbDataBaseTest, GuardedWritesRollBackAndReportFalse) {
    EXPECT_FALSE(TmyFbDataBase::UpdateString(Q, 1, "far too long for ten", "t", "name"));
    EXPECT_FALSE(Tr->InTransaction());
    EXPECT_FALSE(TmyFbDataBase::InsertStringAndInteger(Q, 1, "duplicate", "t", "name", "id"));
    EXPECT_FALSE(Tr->InTransaction());
    EXPECT_FALSE(TmyFbDataBase::DeleteRecords(Q, 1, "no_such_table"));
    EXPECT_FALSE(TmyFbDataBase::CommandSQL(Q, "update t set n = 1 / 0"));
    EXPECT_FALSE(Tr->InTransaction());
    EXPECT_EQ(Committed("select name || '/' || n from t where id = 1"), QStringLiteral("jeden/5"));
    EXPECT_EQ(Committed("select count(*) from t"), QStringLiteral("2"));
}

TEST_F(TmyFbDataBaseTest, AMegabyteBlobReadsBackByteForByte) {
    QByteArray data(1 << 20, '\0');
    for (auto& c : data)
        c = char(QRandomGenerator::global()->generate());
    QBuffer in(&data);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    in.seek(1000); // the whole stream is written, wherever it stands
    ASSERT_TRUE(TmyFbDataBase::UpdateBlob(Q, 2, "t", "b", in));
    EXPECT_FALSE(Tr->InTransaction());
    QByteArray back;
    QBuffer out(&back);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    ASSERT_TRUE(TmyFbDataBase::GetBlob(Q, 2, "t", "b", out));
    EXPECT_TRUE(back == data);
    EXPECT_EQ(back.size(), data.size());
    QBuffer none;
    none.open(QIODevice::ReadOnly);
    platform::TStringList lines;
    lines.SetStrings({QStringLiteral("{\\rtf1 Łódź}"), QString()});
    ASSERT_TRUE(TmyFbDataBase::UpdateBlobRTF(Q, 1, "t", "b", lines));
    QByteArray rtf;
    QBuffer rtfOut(&rtf);
    rtfOut.open(QIODevice::WriteOnly);
    ASSERT_TRUE(TmyFbDataBase::GetBlob(Q, 1, "t", "b", rtfOut));
    EXPECT_EQ(rtf, QByteArray("{\\rtf1 \xA3\xF3"
                              "d\x9F}\r\n\r\n"));
    EXPECT_FALSE(TmyFbDataBase::UpdateBlob(Q, 2, "no_such_table", "b", none));
    EXPECT_FALSE(Tr->InTransaction());
}

TEST_F(TmyFbDataBaseTest, SelectSQLShowsAndRecordsItsFailureUnlessHidden) {
    QStringList shown;
    platform::Application().MessageBoxHook = [&](const QString& text, const QString&, bool) {
        shown << text;
    };
    TmyFbDataBase fb;
    EXPECT_TRUE(fb.SelectSQL(Q, "select name from t order by id"));
    EXPECT_EQ(Q->Fields(0).AsString(), QStringLiteral("jeden"));
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_FALSE(fb.SelectSQL(Q, "select x from no_such_table"));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("NO_SUCH_TABLE"))) << shown[0].toStdString();
    EXPECT_EQ(TmyFbDataBase::LastErrorSQL, QStringLiteral("select x from no_such_table"));
    EXPECT_EQ(TmyFbDataBase::LastErrorMessage, shown[0]);
    EXPECT_FALSE(Tr->InTransaction());

    fb.Hide_error = true;
    EXPECT_FALSE(fb.SelectSQL(Q, "select y from other_missing"));
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(TmyFbDataBase::LastErrorSQL, QStringLiteral("select x from no_such_table"));

    auto* ds = new TpFbDataSet(Form.get());
    ds->SetName(QStringLiteral("pFbDataSet1"));
    ds->SetDatabase(Db);
    ds->SetTransaction(Tr);
    fb.Hide_error = false;
    EXPECT_FALSE(fb.SelectSQL(ds, "select z from ds_missing"));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(TmyFbDataBase::LastErrorSQL, QStringLiteral("select z from ds_missing"));
    EXPECT_FALSE(Tr->InTransaction());
    TmyFbDataBase::DefaultsDataSet(ds);
    ASSERT_TRUE(fb.SelectSQL(ds, "select id, name, dt, f from t order by id"));
    EXPECT_EQ(ds->FieldByName("DT").DisplayFormat(), QStringLiteral("yyyy-mm-dd  hh:mm:ss"));
    EXPECT_TRUE(TmyFbDataBase::fieldExists(ds, "NAME"));
    EXPECT_FALSE(TmyFbDataBase::fieldExists(ds, "N"));
    ds->Next();
    EXPECT_FALSE(TmyFbDataBase::LocateTable(ds, 9));
    EXPECT_EQ(ds->FieldByName("ID").AsInteger(), 2); // the row stays where it was
    EXPECT_TRUE(TmyFbDataBase::LocateTable(ds, 1));
    EXPECT_EQ(ds->FieldByName("NAME").AsString(), QStringLiteral("jeden"));
}

TEST(TmyFbDataBase, SqlTextHelpersAndSearchColours) {
    EXPECT_EQ(TmyFbDataBase::SQL_SR("select * from t where id = :ID or p = :id", 42, ":id"),
              QStringLiteral("select * from t where id = 42 or p = 42"));
    EXPECT_EQ(TmyFbDataBase::SQLBool(true), 1);
    EXPECT_TRUE(TmyFbDataBase::SQLBool(-3));
    EXPECT_EQ(TmyFbDataBase::FiltrEditColorValue(5, QString()), 0xFFFFFFu);
    EXPECT_EQ(TmyFbDataBase::FiltrEditColorValue(5, "x"), 0xA4FFA4u);
    EXPECT_EQ(TmyFbDataBase::FiltrEditColorValue(0, "x"), 0xA4A4FFu);
    QLineEdit ed(QStringLiteral("x"));
    TmyFbDataBase::FiltrEditColor(0, &ed);
    EXPECT_EQ(ed.palette().color(QPalette::Base), QColor(0xFF, 0xA4, 0xA4));
}

// A row whose ID is NULL has no ID: looking for 0 passes it, and the current row stays.
TEST_F(TmyFbDataBaseTest, LocatingPassesRowsWithoutAnId) {
    auto* ds = new TpFbDataSet(Form.get());
    ds->SetName(QStringLiteral("pFbDataSet1"));
    ds->SetDatabase(Db);
    ds->SetTransaction(Tr);
    TmyFbDataBase fb;
    ASSERT_TRUE(fb.SelectSQL(ds, "select id, name from t union all select cast(null as integer), 'bez' "
                                 "from rdb$database order by 1 nulls first"));
    ds->Next();
    EXPECT_FALSE(TmyFbDataBase::LocateTable(ds, 0));
    EXPECT_EQ(ds->FieldByName("ID").AsInteger(), 1);
    EXPECT_TRUE(TmyFbDataBase::LocateTable(ds, 2));
    EXPECT_EQ(ds->FieldByName("NAME").AsString(), QStringLiteral("dwa"));
}
