// The three statements of the counter update run, in the order and manner the run uses them.
#include "QueryTestSupport.h"

#include "platform/DateTime.h"

namespace {
const QString CycleSum =
    QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid");
const QStringList CounterUpdate = {QStringLiteral("UPDATE formy set counter=:counter, counttch=:counttch  "),
                                   QStringLiteral("WHERE id = :id")};
const QString HistoryInsert = QStringLiteral("Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm   ) "
                                             "Values ( :id_f,:stan,:ostan,:opis,:id_p,:lm )");
} // namespace

class ApplicationStatements : public QueryTest {
protected:
    // The sum statement's sequence: restart its transaction, new text, parameter, execute, read.
    int SumCycles(TpFbQuery& q, TpFbTransaction& tr, int toolId) {
        if (tr.Active()) tr.Rollback();
        tr.StartTransaction();
        SetLines(q, {CycleSum});
        q.ParamByName(QStringLiteral("tid")).SetAsInteger(toolId);
        q.ExecQuery();
        return q.FieldByName(QStringLiteral("scykli")).AsInteger();
    }
};

TEST_F(ApplicationStatements, CycleSumReadsTheFirstRowAtOnceAndAToolWithoutRowsAsNullAndZero) {
    // As during an update run, the connection keeps prepared handles.
    Db->SetStatementCacheSize(8);
    TpFbTransaction* vorekTr = NewTransaction(QStringLiteral("pFbTransaction2"), Db);
    TpFbQuery* q = NewQuery(QStringLiteral("pFbQueryVorek"), Db, vorekTr);
    EXPECT_EQ(SumCycles(*q, *vorekTr, 7), 1000);
    EXPECT_FALSE(q->Eof());
    EXPECT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(q->SQLType(), TFbSQLTypes::SQLSelect);
    EXPECT_EQ(q->PreparedSQL(),
              QByteArray("select sum( t.cx ) as scykli from tools_data t    where t.id_t=?   \r\n"));

    // The rollback at the start of the next sequence closes the open cursor.
    EXPECT_EQ(SumCycles(*q, *vorekTr, 42), 0);
    EXPECT_FALSE(q->Eof());
    TFbXSQLVAR& sum = q->FieldByName(QStringLiteral("scykli"));
    EXPECT_TRUE(sum.IsNull());
    EXPECT_EQ(sum.Name(), QStringLiteral("SCYKLI"));
    EXPECT_EQ(&q->FieldByName(QStringLiteral("SCYKLI")), &sum);
    EXPECT_EQ(q->Next(), nullptr);
    EXPECT_TRUE(q->Eof());
    EXPECT_EQ(SumCycles(*q, *vorekTr, 9), 1);
    // The same text set three times: prepared once, then taken from the connection's cache.
    EXPECT_EQ(q->PrepareCount(), 1);
}

TEST_F(ApplicationStatements, UpdateAndInsertEachRunInAFreshTransactionAndAreCommitted) {
    const platform::TDateTime when = platform::EncodeDate(2026, 3, 14) + platform::EncodeTime(3, 5, 9, 0);

    if (Tr->Active()) Tr->Rollback();
    Tr->StartTransaction();
    Q->Close();
    SetLines(*Q, CounterUpdate);
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(150);
    Q->ParamByName(QStringLiteral("counter")).SetAsInteger(980);
    Q->ParamByName(QStringLiteral("counttch")).SetAsDateTime(when);
    Q->ExecQuery();
    EXPECT_EQ(Q->RowsAffected(), 1);
    Tr->Commit();
    EXPECT_FALSE(Tr->Active());

    if (Tr->Active()) Tr->Rollback();
    Tr->StartTransaction();
    Q->Close();
    SetLines(*Q, {HistoryInsert});
    Q->ParamByName(QStringLiteral("id_f")).SetAsInteger(150);
    Q->ParamByName(QStringLiteral("stan")).SetAsInteger(1000);
    Q->ParamByName(QStringLiteral("ostan")).SetAsInteger(500);
    Q->ParamByName(QStringLiteral("opis")).SetAsString(QStringLiteral("Raport Vorek"));
    Q->ParamByName(QStringLiteral("id_p")).SetAsInteger(-1);
    Q->ParamByName(QStringLiteral("lm")).SetAsInteger(0);
    Q->ExecQuery();
    EXPECT_EQ(Q->SQLType(), TFbSQLTypes::SQLInsert);
    Tr->Commit();

    EXPECT_EQ(ReadInt(QStringLiteral("select counter from formy where id = 150")), 980);
    EXPECT_EQ(ReadInt(QStringLiteral("select counter from formy where id = 151")), 20);
    EXPECT_EQ(ReadInt(QStringLiteral("select count(*) from formy where counttch = '2026-03-14 03:05:09'")),
              1);
    EXPECT_EQ(
        ReadInt(QStringLiteral("select count(*) from FORMY_LICZNIKI where id_f = 150 and stan = 1000 and "
                               "ostan = 500 and opis = 'Raport Vorek' and id_p = -1 and lm = 0")),
        1);
}

TEST_F(ApplicationStatements, AFailedUpdateRolledBackLeavesTheRowAndTheStatementUsable) {
    Tr->StartTransaction();
    SetLines(*Q, CounterUpdate);
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(150);
    Q->ParamByName(QStringLiteral("counter")).SetAsString(QStringLiteral("not a number"));
    Q->ParamByName(QStringLiteral("counttch")).SetAsDateTime(platform::Now());
    EXPECT_THROW(Q->ExecQuery(), EFbError);
    EXPECT_TRUE(Q->Prepared());
    Tr->Rollback();
    Tr->StartTransaction();
    Q->ParamByName(QStringLiteral("counter")).SetAsInteger(7);
    Q->ExecQuery();
    Tr->Commit();
    EXPECT_EQ(ReadInt(QStringLiteral("select counter from formy where id = 150")), 7);
}
