// Prepare, cursor and transaction-end behaviour of a statement.
#include "QueryTestSupport.h"

#include <cfenv>

class QueryLifecycle : public QueryTest {
protected:
    void SetUp() override {
        QueryTest::SetUp();
        Tr->StartTransaction();
    }
};

TEST_F(QueryLifecycle, FieldByNameBeforeTheFirstExecutionRaisesClientError41) {
    SetLines(*Q, {QStringLiteral("select id, nazwa from formy order by id")});
    EXPECT_EQ(ClientErrorOf(41, [&] { Q->FieldByName(QStringLiteral("id")); }), "Field \"id\" not found.");
    EXPECT_EQ(Q->FieldCount(), 0);
    Q->ExecQuery();
    EXPECT_EQ(Q->FieldByName(QStringLiteral("id")).AsInteger(), 150);
    EXPECT_EQ(Q->FieldByName(QStringLiteral("Nazwa")).AsString(), "Forma 150");
    EXPECT_EQ(Q->FindField(QStringLiteral("kod1")), nullptr);
    EXPECT_EQ(ClientErrorOf(41, [&] { Q->Fields(2); }), "Field \"Field No: 2\" not found.");
    EXPECT_EQ(ClientErrorOf(41, [&] { Q->Fields(-1); }), "Field \"Field No: -1\" not found.");
    EXPECT_EQ(Q->Fields(1).AsString(), "Forma 150");
}

TEST_F(QueryLifecycle, ClearingTheTextOfAnOpenSelectIsRefusedUntilTheTransactionCommits) {
    SetLines(*Q, {QStringLiteral("select id from formy")});
    Q->ExecQuery();
    ASSERT_TRUE(Q->Open());
    EXPECT_EQ(ClientErrorOf(28, [&] { Q->SQL().Clear(); }),
              "Can't change sql text because Form1.pFbQueryFormy dataset open.");
    EXPECT_EQ(Q->SQL().Count(), 1);
    Tr->Commit();
    EXPECT_FALSE(Q->Open());
    Q->SQL().Clear();
    EXPECT_EQ(Q->SQL().Count(), 0);
    EXPECT_FALSE(Q->Prepared());
}

TEST_F(QueryLifecycle, CommitRetainingKeepsTheCursorOpenAndCommitClosesIt) {
    SetLines(*Q, {QStringLiteral("select id from formy order by id")});
    Q->ExecQuery();
    Tr->CommitRetaining();
    ASSERT_TRUE(Q->Open());
    ASSERT_NE(Q->Next(), nullptr);
    EXPECT_EQ(Q->FieldByName(QStringLiteral("ID")).AsInteger(), 151);
    Tr->RollbackRetaining();
    EXPECT_TRUE(Q->Open());
    Tr->Commit();
    EXPECT_FALSE(Q->Open());
    EXPECT_TRUE(Q->Eof());
    EXPECT_TRUE(Q->Prepared());
    EXPECT_EQ(ClientErrorOf(29, [&] { Q->Next(); }),
              "Can't fetch next record because Form1.pFbQueryFormy dataset closed.");
}

TEST_F(QueryLifecycle, ANewExecutionOfAnUnchangedStatementReusesThePreparedOne) {
    SetLines(*Q, {QStringLiteral("select id from formy order by id")});
    Q->ExecQuery();
    ASSERT_NE(Q->Next(), nullptr);
    Q->ExecQuery();
    EXPECT_EQ(Q->FieldByName(QStringLiteral("id")).AsInteger(), 150);
    EXPECT_EQ(Q->RecordCount(), 1);
    EXPECT_EQ(Q->PrepareCount(), 1);

    // With a parameter: new values, same statement.
    Q->Close();
    SetLines(*Q, {QStringLiteral("select sum(cx) from tools_data where id_t = :tid")});
    for (int tool : {7, 9, 7}) {
        Q->ParamByName(QStringLiteral("TID")).SetAsInteger(tool);
        Q->ExecQuery();
        EXPECT_EQ(Q->Fields(0).AsInteger(), tool == 7 ? 1000 : 1);
    }
    EXPECT_EQ(Q->PrepareCount(), 2);
}

TEST_F(QueryLifecycle, WithoutGoingToTheFirstRecordNothingIsFetchedUntilNext) {
    Q->SetGoToFirstRecordOnExecute(false);
    SetLines(*Q, {QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid")});
    Q->ParamByName(QStringLiteral("Tid")).SetAsInteger(7);
    Q->ExecQuery();
    EXPECT_TRUE(Q->Bof());
    EXPECT_FALSE(Q->Eof());
    EXPECT_EQ(Q->RecordCount(), 0);
    EXPECT_TRUE(Q->FieldByName(QStringLiteral("scykli")).IsNull());
    ASSERT_NE(Q->Next(), nullptr);
    EXPECT_FALSE(Q->Bof());
    EXPECT_EQ(Q->FieldByName(QStringLiteral("scykli")).AsInteger(), 1000);
    EXPECT_EQ(Q->Next(), nullptr);
    EXPECT_TRUE(Q->Eof());
    // After the end the columns keep the last row.
    EXPECT_EQ(Q->FieldByName(QStringLiteral("scykli")).AsInteger(), 1000);
}

TEST_F(QueryLifecycle, ANullParameterInAComparisonIsRewrittenAndBackAgain) {
    Db->SetStatementCacheSize(8);
    SetLines(*Q, {QStringLiteral("select count(*) from formy where counttch = :t")});
    Q->ParamByName(QStringLiteral("t")).Clear();
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsInteger(), 2);
    EXPECT_TRUE(Q->ProcessedSQL().contains(QStringLiteral("IS NULL")));
    Q->ParamByName(QStringLiteral("t")).SetAsString(QStringLiteral("2020-01-01"));
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsInteger(), 0);
    Q->ParamByName(QStringLiteral("t")).SetAsString(QStringLiteral("2021-01-01"));
    Q->ExecQuery();
    EXPECT_EQ(Q->PrepareCount(), 2);
    Q->ParamByName(QStringLiteral("t")).Clear();
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsInteger(), 2);
    // The IS NULL text again: its handle was kept by the connection.
    EXPECT_EQ(Q->PrepareCount(), 2);

    // Never rewritten with qoNoForceIsNull: null compares as unknown.
    Q->SetOptions(TpFbQueryOption::qoNoForceIsNull);
    Q->Close();
    Q->SQL().Put(0, QStringLiteral("select count(*) from formy where counttch = :t "));
    Q->ParamByName(QStringLiteral("t")).Clear();
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsInteger(), 0);
}

TEST_F(QueryLifecycle, RowsAffectedCountsInsertsUpdatesAndDeletes) {
    SetLines(*Q, {QStringLiteral("insert into tools_data (id_t, cx) select id_t, cx from tools_data")});
    Q->ExecQuery();
    EXPECT_EQ(Q->RowsAffected(), 3);
    EXPECT_EQ(Q->AllRowsAffected().Inserts, 3);
    SetLines(*Q, {QStringLiteral("update tools_data set cx = cx + 1 where id_t = 7")});
    Q->ExecQuery();
    EXPECT_EQ(Q->RowsAffected(), 4);
    EXPECT_EQ(Q->AllRowsAffected().Updates, 4);
    SetLines(*Q, {QStringLiteral("delete from tools_data where id_t = 9")});
    Q->ExecQuery();
    EXPECT_EQ(Q->RowsAffected(), 2);
    SetLines(*Q, {QStringLiteral("update tools_data set cx = 0 where id_t = 12345")});
    Q->ExecQuery();
    EXPECT_EQ(Q->RowsAffected(), 0);
}

TEST_F(QueryLifecycle, ExecuteProcedureReturnsItsOutputsWithoutNext) {
    SetLines(*Q, {QStringLiteral("execute procedure addmul(:a, :b)")});
    EXPECT_TRUE(Q->IsProc());
    Q->ParamByName(QStringLiteral("a")).SetAsInteger(6);
    Q->ParamByName(QStringLiteral("b")).SetAsInteger(7);
    Q->ExecQuery();
    EXPECT_EQ(Q->SQLType(), TFbSQLTypes::SQLExecProcedure);
    EXPECT_TRUE(Q->ProcExecuted());
    EXPECT_FALSE(Q->Open());
    EXPECT_EQ(Q->FieldByName(QStringLiteral("s")).AsInteger(), 13);
    // Output parameters are found as parameters too.
    EXPECT_EQ(Q->ParamByName(QStringLiteral("p")).AsInteger(), 42);
    EXPECT_EQ(Q->ParamByName(QStringLiteral("p")).Parent(), &Q->Current());

    Q->ExecProcedure(QStringLiteral("addmul"), {QVariant(2), QVariant(5)});
    EXPECT_EQ(Q->SQL().Text(), "EXECUTE  PROCEDURE addmul(?P0,?P1)\r\n");
    EXPECT_EQ(Q->FieldByName(QStringLiteral("P")).AsInteger(), 10);
    EXPECT_FALSE(Q->FieldIsNull(Q->FieldByName(QStringLiteral("S"))));
    Q->ExecProcedure(QStringLiteral("addmul"), {QVariant(3), QVariant(3)});
    EXPECT_EQ(Q->FieldByName(QStringLiteral("S")).AsInteger(), 6);
}

TEST_F(QueryLifecycle, OptionsStartCommitAndFreeTheHandle) {
    Tr->Rollback();
    Q->SetOptions(TpFbQueryOption::qoStartTransaction | TpFbQueryOption::qoAutoCommit |
                  TpFbQueryOption::qoFreeHandleAfterExecute);
    SetLines(*Q, {QStringLiteral("update formy set counter = 1 where id = 151")});
    Q->ExecQuery();
    EXPECT_FALSE(Tr->Active());
    EXPECT_FALSE(Q->Prepared());
    EXPECT_EQ(Q->Handle(), isc_stmt_handle(0));
    EXPECT_EQ(ReadInt(QStringLiteral("select counter from formy where id = 151")), 1);

    // A transaction that ends with commit-retaining stays active.
    Tr->SetTimeoutAction(TTransactionAction::TACommitRetaining);
    SetLines(*Q, {QStringLiteral("update formy set counter = 2 where id = 151")});
    Q->ExecQuery();
    EXPECT_TRUE(Tr->Active());
    EXPECT_EQ(ReadInt(QStringLiteral("select counter from formy where id = 151")), 2);

    // Reading the end of an open cursor frees the handle.
    SetLines(*Q, {QStringLiteral("select id from formy where id = 151")});
    Q->SetOptions(TpFbQueryOption::qoFreeHandleAfterExecute);
    Q->ExecQuery();
    EXPECT_FALSE(Q->Eof());
    EXPECT_EQ(Q->Next(), nullptr);
    EXPECT_TRUE(Q->Eof());
    EXPECT_EQ(Q->Handle(), isc_stmt_handle(0));
}

TEST_F(QueryLifecycle, DdlRunsImmediatelyAndTrimOptionCutsTrailingBlanks) {
    SetLines(*Q, {QStringLiteral("create table extra (c char(10))")});
    EXPECT_EQ(Q->SQLKind(), TSQLKind::skDDL);
    Q->ExecQuery();
    EXPECT_FALSE(Q->Prepared());
    Tr->Commit();
    Tr->StartTransaction();
    SetLines(*Q, {QStringLiteral("insert into extra values ('ab')")});
    Q->ExecQuery();
    SetLines(*Q, {QStringLiteral("select c from extra")});
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsString(), "ab        ");
    Q->Close();
    Q->SetOptions(TpFbQueryOption::qoTrimCharFields);
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsString(), "ab");
}

TEST_F(QueryLifecycle, DisconnectingClosesAndUnpreparesTheStatement) {
    SetLines(*Q, {QStringLiteral("select id from formy")});
    Q->ExecQuery();
    Db->SetConnected(false);
    EXPECT_FALSE(Q->Open());
    EXPECT_FALSE(Q->Prepared());
    EXPECT_EQ(Q->Handle(), isc_stmt_handle(0));
    Db->SetConnected(true);
    Tr->StartTransaction();
    Q->ExecQuery();
    EXPECT_EQ(Q->RecordCount(), 1);
}

TEST_F(QueryLifecycle, SetParamValuesByPositionAndByName) {
    SetLines(*Q, {QStringLiteral("select count(*) from tools_data where id_t = :a and cx > :b")});
    Q->ExecWP({QVariant(7), QVariant(500)});
    EXPECT_EQ(Q->Fields(0).AsInteger(), 1);
    Q->ExecWP(QStringLiteral("b;a"), {QVariant(0), QVariant(7)});
    EXPECT_EQ(Q->Fields(0).AsInteger(), 2);
    try {
        Q->SetParamValues(QStringLiteral("a;b"), {QVariant(1)});
        FAIL() << "no error";
    } catch (const EFbError&) {
        FAIL() << "wrong class";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message(), "procedure Form1.pFbQueryFormy.SetParamValues. Parameters count is not equel "
                               "count of parameter values");
    }
}

TEST_F(QueryLifecycle, TheFloatingPointRoundingModeIsRestoredAfterClientCalls) {
    const int saved = fegetround();
    SetLines(*Q, {QStringLiteral("select id from formy where id = :id")});
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(150);
    Q->ExecQuery();
    ASSERT_EQ(fegetround(), saved);
    // A call that leaves the state as it was keeps it; a changed one is put back.
    fesetround(saved == FE_UPWARD ? FE_DOWNWARD : FE_UPWARD);
    Q->ExecQuery();
    EXPECT_EQ(fegetround(), saved);
    EXPECT_EQ(Q->FieldByName(QStringLiteral("id")).AsInteger(), 150);
}

TEST_F(QueryLifecycle, MacroValuesRebuildTheTextAndParametersFollowByName) {
    SetLines(*Q,
             {QStringLiteral("select sum(cx) as s from tools_data where id_t = :t and cx > @@minimum%0@")});
    Q->ParamByName(QStringLiteral("t")).SetAsInteger(7);
    Q->ExecQuery();
    EXPECT_EQ(Q->FieldByName(QStringLiteral("s")).AsInteger(), 1000);
    EXPECT_TRUE(Q->ProcessedSQL().contains(QStringLiteral("cx > 0")));
    EXPECT_EQ(Q->PrepareCount(), 1);

    Q->ExecQuery();
    EXPECT_EQ(Q->PrepareCount(), 1) << "an unchanged macro keeps the prepared statement";

    Q->Close();
    Q->ParamByName(QStringLiteral("minimum")).SetAsString(QStringLiteral("500"));
    EXPECT_TRUE(Q->MacroChanged());
    Q->ExecQuery();
    EXPECT_EQ(Q->FieldByName(QStringLiteral("s")).AsInteger(), 600);
    EXPECT_EQ(Q->PrepareCount(), 2);
    EXPECT_TRUE(Q->OnlySrvParams().isEmpty());
    // The parameter goes to the server by name, through the rebuilt list.
    Q->ParamByName(QStringLiteral("t")).SetAsInteger(9);
    Q->ExecQuery();
    EXPECT_TRUE(Q->FieldByName(QStringLiteral("s")).IsNull());
    EXPECT_EQ(Q->PrepareCount(), 2);
}

TEST_F(QueryLifecycle, ANameUsedTwiceIsOneValue) {
    SetLines(*Q, {QStringLiteral("select count(*) from tools_data where id_t = :v or cx = :v")});
    EXPECT_EQ(Q->ParamCount(), 2);
    Q->ParamByName(QStringLiteral("v")).SetAsInteger(7);
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsInteger(), 2);
    Q->ParamByName(QStringLiteral("v")).SetAsInteger(1);
    Q->ExecQuery();
    EXPECT_EQ(Q->Fields(0).AsInteger(), 1);
}

TEST_F(QueryLifecycle, FetchStopAndCallTime) {
    SetLines(*Q, {QStringLiteral("select id from formy order by id")});
    QList<int> seen;
    Q->OnSQLFetch = [&](int recordNumber, bool& stop) {
        seen << recordNumber;
        stop = recordNumber >= 1;
    };
    Q->ExecQuery();
    EXPECT_EQ(Q->RecordCount(), 1);
    EXPECT_EQ(Q->Next(), nullptr);
    EXPECT_FALSE(Q->Eof()) << "a stop is no end of the rows";
    EXPECT_EQ(seen, QList<int>({0, 1}));
    EXPECT_LT(Q->CallTime(), 10000u);
}
