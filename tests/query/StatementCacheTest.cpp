// Reuse of prepared statements by text on one connection: handles, descriptions, bound,
// disconnect, lost connection and metadata changes.
#include "QueryTestSupport.h"

#include "ComponentFixtures.h"

class StatementCache : public QueryTest {
protected:
    void SetUp() override {
        QueryTest::SetUp();
        // Off unless turned on, for a span of work in which the tables do not change.
        EXPECT_EQ(Db->StatementCacheSize(), 0);
        Db->SetStatementCacheSize(64);
        Tr->StartTransaction();
    }
    // The statements the server holds for `database`'s attachment, counted over a connection of
    // its own (a fresh monitoring snapshot each time).
    int ServerStatements(TFbDatabase& database) {
        if (!Observer) {
            Observer =
                ConnectedDatabase(Form.get(), QStringLiteral("observer"), Dir.filePath("formy_db.fdb"));
            ObserverTr = NewTransaction(QStringLiteral("observerTr"), Observer);
            ObserverQ = NewQuery(QStringLiteral("observerQ"), Observer, ObserverTr);
        }
        ObserverTr->StartTransaction();
        SetLines(*ObserverQ,
                 {QStringLiteral("select count(*) from mon$statements where mon$attachment_id = %1")
                      .arg(database.AttachmentID())});
        ObserverQ->ExecQuery();
        const int count = ObserverQ->Fields(0).AsInteger();
        ObserverTr->Commit();
        return count;
    }
    void Run(TFbQuery& query, const QString& text) {
        if (query.Open()) query.Close();
        SetLines(query, {text});
        query.ExecQuery();
    }

    TpFbDatabase* Observer = nullptr;
    TpFbTransaction* ObserverTr = nullptr;
    TpFbQuery* ObserverQ = nullptr;
};

TEST_F(StatementCache, TextsSetAgainReuseTheirHandlesWithNewValuesAndNothingWhenOff) {
    const int before = ServerStatements(*Db);
    const QStringList sum = {QStringLiteral("select sum(cx) as s, count(*) as n from tools_data"),
                             QStringLiteral(" where id_t = :tid")};
    const QStringList update = {QStringLiteral("update formy set counter = :c where id = :id")};
    for (int round = 0; round < 3; ++round) {
        SetLines(*Q, sum);
        // Nothing has run on this statement yet, whoever ran the handle before.
        EXPECT_EQ(Q->RowsAffected(), 0);
        Q->ParamByName(QStringLiteral("tid")).SetAsInteger(round == 1 ? 9 : 7);
        Q->ExecQuery();
        EXPECT_EQ(Q->SQLType(), TFbSQLTypes::SQLSelect);
        ASSERT_EQ(Q->FieldCount(), 2);
        EXPECT_EQ(Q->Fields(1).Name(), QStringLiteral("N"));
        EXPECT_EQ(Q->FieldByName(QStringLiteral("s")).AsInteger(), round == 1 ? 1 : 1000);
        EXPECT_EQ(Q->FieldByName(QStringLiteral("n")).AsInteger(), round == 1 ? 1 : 2);
        Q->Close();

        SetLines(*Q, update);
        // A null value takes the kept description of its parameter as it would the server's.
        if (round == 2)
            Q->ParamByName(QStringLiteral("c")).Clear();
        else
            Q->ParamByName(QStringLiteral("c")).SetAsInteger(round);
        Q->ParamByName(QStringLiteral("id")).SetAsInteger(150);
        Q->ExecQuery();
        EXPECT_EQ(Q->SQLType(), TFbSQLTypes::SQLUpdate);
        EXPECT_EQ(Q->RowsAffected(), 1);
        Tr->CommitRetaining();
        EXPECT_EQ(ReadInt(QStringLiteral("select counter from formy where id = 150")),
                  round == 2 ? -1 : round);
    }
    EXPECT_EQ(Q->PrepareCount(), 2);
    // The select's handle waits (with ReadInt's); the update's is in use.
    EXPECT_EQ(Db->StatementCache().IdleCount(), 2);
    EXPECT_EQ(ServerStatements(*Db), before + 3);

    // Off: every text change prepares anew and nothing is kept. Dropping the kept handles leaves
    // the one in use alone (the client clears the address a dropped handle was allocated into).
    Db->SetStatementCacheSize(0);
    EXPECT_EQ(Db->StatementCache().IdleCount(), 0);
    ASSERT_NE(Q->Handle(), isc_stmt_handle(0));
    Q->ExecQuery();
    EXPECT_EQ(Q->RowsAffected(), 1);
    for (int round = 0; round < 2; ++round) {
        SetLines(*Q, sum);
        Q->ParamByName(QStringLiteral("tid")).SetAsInteger(7);
        Q->ExecQuery();
        EXPECT_EQ(Q->FieldByName(QStringLiteral("s")).AsInteger(), 1000);
        Q->Close();
    }
    EXPECT_EQ(Q->PrepareCount(), 4);
    Tr->Commit();
    EXPECT_EQ(ServerStatements(*Db), before + 1);
}

TEST_F(StatementCache, StatementsWithTheSameTextAtOnceEachHaveTheirOwnHandle) {
    const QString text = QStringLiteral("select id from formy order by id");
    TpFbQuery* q2 = NewQuery(QStringLiteral("q2"), Db, Tr);
    Run(*Q, text);
    Run(*q2, text);
    EXPECT_NE(Q->Handle(), q2->Handle());
    ASSERT_NE(Q->Next(), nullptr);
    EXPECT_EQ(Q->Fields(0).AsInteger(), 151);
    EXPECT_EQ(q2->Fields(0).AsInteger(), 150);

    // Given back with their cursors open: the next users open them afresh.
    Q->FreeHandle();
    q2->FreeHandle();
    EXPECT_EQ(Db->StatementCache().IdleCount(), 2);
    TpFbQuery* q3 = NewQuery(QStringLiteral("q3"), Db, Tr);
    TpFbQuery* q4 = NewQuery(QStringLiteral("q4"), Db, Tr);
    Run(*q3, text);
    Run(*q4, text);
    EXPECT_EQ(q3->PrepareCount() + q4->PrepareCount(), 0);
    EXPECT_EQ(Db->StatementCache().IdleCount(), 0);
    for (TpFbQuery* q : {q3, q4}) {
        EXPECT_EQ(q->Fields(0).AsInteger(), 150);
        ASSERT_NE(q->Next(), nullptr);
        EXPECT_EQ(q->Fields(0).AsInteger(), 151);
        EXPECT_EQ(q->Next(), nullptr);
    }
}

TEST_F(StatementCache, IdleHandlesStayWithinTheBoundAndGoWithTheConnection) {
    Db->SetStatementCacheSize(3);
    const int before = ServerStatements(*Db);
    for (int i = 1; i <= 6; ++i)
        Run(*Q, QStringLiteral("select %1 from rdb$database").arg(i));
    EXPECT_EQ(Db->StatementCache().IdleCount(), 3);
    EXPECT_EQ(ServerStatements(*Db), before + 4);
    // The least recently used went: 5 and 4 are kept, 1 prepares anew.
    const int prepares = Q->PrepareCount();
    Run(*Q, QStringLiteral("select 5 from rdb$database"));
    Run(*Q, QStringLiteral("select 4 from rdb$database"));
    EXPECT_EQ(Q->PrepareCount(), prepares);
    Run(*Q, QStringLiteral("select 1 from rdb$database"));
    EXPECT_EQ(Q->PrepareCount(), prepares + 1);
    Db->SetStatementCacheSize(1);
    EXPECT_EQ(ServerStatements(*Db), before + 2);

    // A component sharing the attachment drops what it kept before it lets go of it.
    TpFbDatabase* shared = new TpFbDatabase(Form.get());
    shared->SetSQLDialect(3);
    shared->SetHandle(Db->Handle());
    shared->SetStatementCacheSize(64);
    TpFbTransaction* sharedTr = NewTransaction(QStringLiteral("sharedTr"), shared);
    sharedTr->StartTransaction();
    TpFbQuery* sharedQ = NewQuery(QStringLiteral("sharedQ"), shared, sharedTr);
    Run(*sharedQ, QStringLiteral("select 7 from rdb$database"));
    Run(*sharedQ, QStringLiteral("select 8 from rdb$database"));
    EXPECT_EQ(ServerStatements(*Db), before + 4);
    shared->SetConnected(false);
    EXPECT_EQ(shared->StatementCache().IdleCount(), 0);
    EXPECT_EQ(ServerStatements(*Db), before + 2);

    // A lost connection's handles are forgotten: after the restore the texts are prepared anew.
    Tr->Commit();
    ASSERT_EQ(Db->StatementCache().IdleCount(), 1);
    ObserverTr->StartTransaction();
    SetLines(
        *ObserverQ,
        {QStringLiteral("delete from mon$attachments where mon$attachment_id = %1").arg(Db->AttachmentID())});
    ObserverQ->ExecQuery();
    ObserverTr->Commit();
    EXPECT_FALSE(Db->ExTestConnected(TOnLostConnectAction::laCloseConnect));
    EXPECT_EQ(Db->StatementCache().IdleCount(), 0);
    Db->SetConnected(true);
    Tr->StartTransaction();
    Run(*Q, QStringLiteral("select 4 from rdb$database"));
    EXPECT_EQ(Q->Fields(0).AsInteger(), 4);
    EXPECT_EQ(Q->PrepareCount(), prepares + 2);
}

TEST_F(StatementCache, MetadataChangesDropKeptHandlesAndAStaleOneIsPreparedOnceMore) {
    // Kept handles would hold the table in use: a drop through this connection drops them first.
    Run(*Q, QStringLiteral("select count(*) from docs"));
    Q->Close();
    Run(*Q, QStringLiteral("select 1 from rdb$database"));
    Q->Close();
    Tr->Commit();
    ASSERT_EQ(Db->StatementCache().IdleCount(), 1);
    TpFbTransaction* ddlTr = NewTransaction(QStringLiteral("ddlTr"), Db);
    TpFbQuery* ddl = NewQuery(QStringLiteral("ddl"), Db, ddlTr);
    ddlTr->StartTransaction();
    Run(*ddl, QStringLiteral("drop table docs"));
    ddlTr->Commit();
    EXPECT_EQ(Db->StatementCache().IdleCount(), 0);
    Tr->StartTransaction();

    // A change the layer cannot see (inside a block): the kept insert refers to a dropped column.
    const QStringList insert = {QStringLiteral("insert into m (id, name) values (:id, :name)")};
    SetLines(*Q, insert);
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(2);
    Q->ParamByName(QStringLiteral("name")).SetAsString(QStringLiteral("first"));
    Q->ExecQuery();
    Run(*Q, QStringLiteral("select 1 from rdb$database"));
    Tr->Commit();
    ddlTr->StartTransaction();
    Run(*ddl, QStringLiteral("execute block as begin execute statement "
                             "'alter table m drop name, add name varchar(30)'; end"));
    ddlTr->Commit();
    ASSERT_EQ(Db->StatementCache().IdleCount(), 1);
    Tr->StartTransaction();
    const int prepares = Q->PrepareCount();
    SetLines(*Q, insert);
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(3);
    Q->ParamByName(QStringLiteral("name")).SetAsString(QStringLiteral("second"));
    Q->ExecQuery();
    EXPECT_EQ(Q->PrepareCount(), prepares + 1);
    EXPECT_EQ(Q->RowsAffected(), 1);
    Tr->Commit();
    ddlTr->StartTransaction();
    Run(*ddl, QStringLiteral("select name from m where id = 3"));
    EXPECT_EQ(ddl->Fields(0).AsString(), QStringLiteral("second"));
    ddlTr->Commit();

    // When the text no longer fits the table, the second failure is the error.
    Tr->StartTransaction();
    Run(*Q, QStringLiteral("select 2 from rdb$database"));
    Tr->Commit();
    ddlTr->StartTransaction();
    Run(*ddl, QStringLiteral("execute block as begin execute statement 'alter table m drop name'; end"));
    ddlTr->Commit();
    Tr->StartTransaction();
    SetLines(*Q, insert);
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(4);
    Q->ParamByName(QStringLiteral("name")).SetAsString(QStringLiteral("third"));
    EXPECT_THROW(Q->ExecQuery(), EFbInterBaseError);
    EXPECT_FALSE(Q->Prepared());
    // "select 2", the kept insert that failed, and the one more prepare that failed too.
    EXPECT_EQ(Q->PrepareCount(), prepares + 3);
}

// Tables changed and committed by another connection between two runs of the same texts: the
// second run sees them as a fresh prepare does, on the embedded engine and through the loopback
// server; also with handles prepared before the cache was turned on.
TEST_F(StatementCache, TablesChangedByAnotherConnectionAreSeenWhenTheTextIsSetAgain) {
    for (const QString& place : {QStringLiteral("embedded"), QStringLiteral("loopback")}) {
        SCOPED_TRACE(place.toStdString());
        const QString path = Dir.filePath(place + QStringLiteral(".fdb"));
        RunIsql(QStringLiteral("create database '%1' user 'SYSDBA';\n").arg(path) + TablesChangedElsewhere +
                QStringLiteral("commit;\n"));
        const QString name = place == QStringLiteral("embedded") ? path : LoopbackName(path);
        if (name.isEmpty()) GTEST_SKIP() << "loopback server not running (scripts/firebird-server start)";
        TpFbDatabase* reader = ConnectedDatabase(Form.get(), place + QStringLiteral("Reader"), name);
        TpFbDatabase* changer = ConnectedDatabase(Form.get(), place + QStringLiteral("Changer"), name);
        TpFbTransaction* tr = NewTransaction(place + QStringLiteral("Tr"), reader);
        TpFbQuery* q = NewQuery(place + QStringLiteral("Q"), reader, tr);
        TpFbTransaction* changeTr = NewTransaction(place + QStringLiteral("ChangeTr"), changer);
        TpFbQuery* change = NewQuery(place + QStringLiteral("Change"), changer, changeTr);
        // The application's sequence: fresh transaction, close, the same text anew, execute.
        const auto columns = [&](const QString& text) {
            tr->StartTransaction();
            q->Close();
            SetLines(*q, {text});
            q->ExecQuery();
            const int count = q->FieldCount();
            tr->Commit();
            return count;
        };
        const auto alter = [&](const QString& ddl) {
            changeTr->StartTransaction();
            SetLines(*change, {ddl});
            change->ExecQuery();
            changeTr->Commit();
        };
        ExpectTablesChangedElsewhereSeen(columns, alter);
        tr->Rollback();

        // Prepared while the cache was off, given back once it is on: not kept.
        const QString uText = QStringLiteral("select * from u");
        EXPECT_EQ(columns(uText), 2);
        alter(QStringLiteral("alter table u add s3 integer"));
        reader->SetStatementCacheSize(8);
        EXPECT_EQ(columns(uText), 3);
    }
}
