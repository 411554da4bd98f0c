// The process-wide field information cache: what it reads from the system tables, and that
// threads with connections of their own load every table exactly once.

#include "db/datasets/pFbFieldsDescr.h"

#include "ComponentFixtures.h"
#include "FirebirdScript.h"

#include <QCoreApplication>
#include <QMap>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class FieldInfoCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Path = Dir.filePath(QStringLiteral("info.fdb"));
        RunIsql(
            QStringLiteral(
                "create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                "create domain DBOOLEAN as smallint;\n"
                "create domain TGUID as char(16) character set octets;\n"
                "create table t1 (id integer default 5 not null, flag dboolean, g tguid,\n"
                "  quoted varchar(20) default 'it''s', empty varchar(20) default '', memo blob sub_type 1,\n"
                "  twice computed by (id * 2));\n"
                "create table t2 (a integer, b varchar(10));\n"
                "create table t3 (c timestamp default current_timestamp);\n"
                "create view v1 as select id from t1;\n"
                "set term ^ ;\n"
                "create procedure p1 (x integer) returns (y integer, z varchar(5)) as begin y = x; suspend; "
                "end^\n"
                "set term ; ^\n"
                "commit;\n")
                .arg(Path));
        TpFbTableInfoCollect::Instance().SetQueryObserver(
            [this](const QString& database, const QString& table, const QString& sql) {
                if (database != Path) return;
                {
                    std::lock_guard<std::mutex> lock(CountLock);
                    ++Statements[table];
                    if (sql == TpFbTableInfoCollect::ProcedureSQL) ++ProcedureStatements;
                }
                // Widens the window in which a second loader of the same table would slip in.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            });
    }
    void TearDown() override { TpFbTableInfoCollect::Instance().SetQueryObserver(nullptr); }

    QTemporaryDir Dir;
    QString Path;
    std::mutex CountLock;
    QMap<QString, int> Statements;
    int ProcedureStatements = 0;
};

} // namespace

TEST_F(FieldInfoCacheTest, ReadsColumnsOfTablesViewsAndProcedures) {
    platform::TComponent form;
    TpFbDatabase* db = ConnectedDatabase(&form, QStringLiteral("pFbDatabaseFormy"), Path);
    TpFbTableInfoCollect& cache = TpFbTableInfoCollect::Instance();

    // No transaction of the connection is running: the internal one is used and ended again.
    const TpFbFieldInfo* id = cache.GetFieldInfo(db, QStringLiteral(" \"T1\" "), false, QStringLiteral("ID"));
    ASSERT_NE(id, nullptr);
    EXPECT_FALSE(db->InternalTransaction()->Active());
    EXPECT_EQ(id->DefaultValue, "5");
    EXPECT_FALSE(id->DefaultValueEmptyString);
    EXPECT_FALSE(id->IsComputed);
    EXPECT_TRUE(id->CanIncToWhereClause);
    const TpFbFieldInfo* flag = cache.GetFieldInfo(db, QStringLiteral("T1"), false, QStringLiteral("FLAG"));
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->DomainName, "DBOOLEAN");
    EXPECT_TRUE(flag->CanBeBoolean());
    EXPECT_FALSE(flag->CanBeGuid());
    const TpFbFieldInfo* guid = cache.GetFieldInfo(db, QStringLiteral("T1"), false, QStringLiteral("G"));
    ASSERT_NE(guid, nullptr);
    EXPECT_TRUE(guid->CanBeGuid());
    EXPECT_EQ(guid->CharSet, 1) << "OCTETS";
    const TpFbFieldInfo* quoted =
        cache.GetFieldInfo(db, QStringLiteral("T1"), false, QStringLiteral("QUOTED"));
    ASSERT_NE(quoted, nullptr);
    EXPECT_EQ(quoted->DefaultValue, "it's");
    EXPECT_EQ(quoted->CharSet, 51) << "WIN1250";
    const TpFbFieldInfo* empty = cache.GetFieldInfo(db, QStringLiteral("T1"), false, QStringLiteral("EMPTY"));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->DefaultValue, "");
    EXPECT_TRUE(empty->DefaultValueEmptyString);
    EXPECT_FALSE(
        cache.GetFieldInfo(db, QStringLiteral("T1"), false, QStringLiteral("MEMO"))->CanIncToWhereClause);
    EXPECT_TRUE(cache.GetFieldInfo(db, QStringLiteral("T1"), false, QStringLiteral("TWICE"))->IsComputed);
    EXPECT_EQ(cache.GetFieldInfo(db, QStringLiteral("T1"), false, QStringLiteral("NOPE")), nullptr);
    EXPECT_EQ(cache.GetTableInfo(db, QStringLiteral("T1"), false)->FieldNames,
              QStringList({"ID", "FLAG", "G", "QUOTED", "EMPTY", "MEMO", "TWICE"}));
    EXPECT_EQ(cache.GetFieldInfo(db, QStringLiteral("T3"), false, QStringLiteral("C"))->DefaultValue,
              "current_timestamp");
    EXPECT_GE(cache.GetTableInfo(db, QStringLiteral("T1"), false)->FormatNumber, 1);
    ASSERT_NE(cache.GetTableInfo(db, QStringLiteral("V1"), false), nullptr);
    EXPECT_EQ(cache.GetTableInfo(db, QStringLiteral("V1"), false)->FieldNames, QStringList({"ID"}));

    // A running transaction of the connection is used as it is and stays running.
    TpFbTransaction* tr = RollbackTransaction(&form, QStringLiteral("pFbTransaction1"), db);
    tr->StartTransaction();
    const TpFbFieldInfo* z = cache.GetFieldInfo(db, QStringLiteral("P1"), false, QStringLiteral("Z"));
    ASSERT_NE(z, nullptr);
    EXPECT_TRUE(tr->Active());
    EXPECT_EQ(cache.GetTableInfo(db, QStringLiteral("P1"), false)->FieldNames, QStringList({"Y", "Z"}));
    EXPECT_EQ(cache.GetFieldInfo(db, QStringLiteral("P1"), false, QStringLiteral("X")), nullptr)
        << "input parameters are not columns";

    EXPECT_EQ(cache.GetTableInfo(db, QStringLiteral("ALIAS"), false), nullptr);
    EXPECT_EQ(Statements.value(QStringLiteral("T1")), 2) << "format and columns, once";
    EXPECT_EQ(Statements.value(QStringLiteral("P1")), 3) << "no columns: the procedure statement too";
    EXPECT_EQ(Statements.value(QStringLiteral("ALIAS")), 0);
    EXPECT_EQ(ProcedureStatements, 1);
}

TEST_F(FieldInfoCacheTest, ThreadsWithTheirOwnConnectionsLoadEachTableOnce) {
    const QStringList tables{QStringLiteral("T1"), QStringLiteral("T2"), QStringLiteral("T3"),
                             QStringLiteral("P1")};
    const QStringList columns{QStringLiteral("FLAG"), QStringLiteral("B"), QStringLiteral("C"),
                              QStringLiteral("Z")};
    const int threadCount = 6;
    std::atomic<int> finished{0};
    std::atomic<int> ready{0};
    std::vector<QString> failures(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back([&, t] {
            try {
                auto db =
                    std::unique_ptr<TpFbDatabase>(ConnectedDatabase(nullptr, QStringLiteral("db"), Path));
                auto tr = std::unique_ptr<TpFbTransaction>(
                    RollbackTransaction(nullptr, QStringLiteral("tr"), db.get()));
                tr->StartTransaction();
                // Every thread asks at once, each starting at a different table.
                ++ready;
                while (ready.load() < threadCount)
                    std::this_thread::yield();
                for (int round = 0; round < 3; ++round)
                    for (int i = 0; i < tables.size(); ++i) {
                        const int k = (t + i) % int(tables.size());
                        const TpFbFieldInfo* info = TpFbTableInfoCollect::Instance().GetFieldInfo(
                            db.get(), tables[k], false, columns[k]);
                        if (!info)
                            failures[size_t(t)] += tables[k] + QStringLiteral(" missing; ");
                        else if (k == 0 && !info->CanBeBoolean())
                            failures[size_t(t)] += QStringLiteral("FLAG not Boolean; ");
                    }
                tr.reset();
                db.reset();
            } catch (const std::exception& e) {
                failures[size_t(t)] += QString::fromUtf8(e.what());
            }
            ++finished;
        });
    // The database layer hands timer ticks to this thread: keep it serving events while waiting.
    while (finished.load() < threadCount)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < threadCount; ++t)
        EXPECT_TRUE(failures[size_t(t)].isEmpty()) << t << ": " << failures[size_t(t)].toStdString();
    EXPECT_EQ(Statements.value(QStringLiteral("T1")), 2);
    EXPECT_EQ(Statements.value(QStringLiteral("T2")), 2);
    EXPECT_EQ(Statements.value(QStringLiteral("T3")), 2);
    EXPECT_EQ(Statements.value(QStringLiteral("P1")), 3);
}
