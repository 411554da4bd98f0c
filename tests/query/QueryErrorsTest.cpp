// Every way a statement refuses to work, with the messages the user sees.
#include "QueryTestSupport.h"

class QueryErrors : public QueryTest {};

TEST_F(QueryErrors, MissingDatabaseTransactionOrConnection) {
    auto* lone = new TpFbQuery(Form.get());
    lone->SetName(QStringLiteral("pFbQueryLone"));
    lone->SQL().Add(QStringLiteral("select id from formy"));
    EXPECT_EQ(ClientErrorOf(22, [&] { lone->ExecQuery(); }),
              "Transaction not assigned for Form1.pFbQueryLone.");
    EXPECT_EQ(ClientErrorOf(21, [&] { lone->Prepare(); }), "Database not assigned for Form1.pFbQueryLone.");
    lone->SetDatabase(Db);
    EXPECT_EQ(ClientErrorOf(22, [&] { lone->Prepare(); }),
              "Transaction not assigned for Form1.pFbQueryLone.");
    lone->SetTransaction(Tr);
    EXPECT_EQ(ClientErrorOf(15, [&] { lone->Prepare(); }),
              "Form1.pFbTransaction3 :Transaction is not active.");
    EXPECT_FALSE(lone->Prepared());
    Db->SetConnected(false);
    EXPECT_EQ(ClientErrorOf(12, [&] { lone->Prepare(); }),
              "Form1.pFbDatabaseFormy: Cannot perform operation -- DB is not open.");
}

TEST_F(QueryErrors, EmptyOrBlankTextCannotBePrepared) {
    Tr->StartTransaction();
    EXPECT_EQ(ClientErrorOf(37, [&] { Q->ExecQuery(); }), "Can't Prepare , because  query is empty");
    SetLines(*Q, {QString(), QStringLiteral("   "), QStringLiteral("\t")});
    EXPECT_EQ(ClientErrorOf(37, [&] { Q->ExecQuery(); }), "Can't Prepare , because  query is empty");
    EXPECT_EQ(Q->Handle(), isc_stmt_handle(0));
}

TEST_F(QueryErrors, SetTransactionIsNotPermittedAndLeavesNoHandle) {
    Tr->StartTransaction();
    SetLines(*Q, {QStringLiteral("set transaction read committed")});
    EXPECT_EQ(ClientErrorOf(2, [&] { Q->Prepare(); }), "Not permitted.");
    EXPECT_FALSE(Q->Prepared());
    EXPECT_EQ(Q->Handle(), isc_stmt_handle(0));
}

TEST_F(QueryErrors, UnknownNamesOfParametersAndColumns) {
    Tr->StartTransaction();
    SetLines(*Q, {QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid")});
    EXPECT_EQ(&Q->ParamByName(QStringLiteral("tid")), &Q->ParamByName(QStringLiteral("TID")));
    EXPECT_EQ(&Q->ParamByName(QStringLiteral("tid")), &Q->ParamByName(QStringLiteral("tId")));
    try {
        Q->ParamByName(QStringLiteral("tool"));
        FAIL() << "no error";
    } catch (const EFbError&) {
        FAIL() << "a database error";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message(), "Parameter \"tool\" does not exist in Form1.pFbQueryFormy");
    }
    EXPECT_EQ(Q->FindParam(QStringLiteral("tool")), nullptr);
    Q->ParamByName(QStringLiteral("tid")).SetAsInteger(7);
    Q->ExecQuery();
    EXPECT_EQ(ClientErrorOf(41, [&] { Q->FieldByName(QStringLiteral("suma")); }),
              "Field \"suma\" not found.");
    EXPECT_EQ(ClientErrorOf(41, [&] { Q->FieldByName(QStringLiteral("\"scykli\"")); }),
              "Field \"\"scykli\"\" not found.");
    EXPECT_EQ(Q->FieldByName(QStringLiteral("\"SCYKLI\"")).AsInteger(), 1000);
}

TEST_F(QueryErrors, ScanErrorsAndServerErrors) {
    Tr->StartTransaction();
    SetLines(*Q, {QStringLiteral("select * from no_such_table")});
    try {
        Q->ExecQuery();
        FAIL() << "no error";
    } catch (const EFbInterBaseError& e) {
        EXPECT_EQ(e.SQLCode(), -204);
        EXPECT_TRUE(e.Message().contains(QStringLiteral("NO_SUCH_TABLE"))) << e.Message().toStdString();
        EXPECT_EQ(e.SenderObj(), Q);
    }
    EXPECT_FALSE(Q->Prepared());
    EXPECT_EQ(Q->Handle(), isc_stmt_handle(0));
}

TEST_F(QueryErrors, TextScanErrorsAreReportedAtTheTextChange) {
    Tr->StartTransaction();
    const QString missingName = ClientErrorOf(
        51, [&] { SetLines(*Q, {QStringLiteral("select id from formy where nazwa = :\"\"")}); });
    EXPECT_TRUE(missingName.contains(QStringLiteral("Form1.pFbQueryFormy"))) << missingName.toStdString();
    const QString openString = ClientErrorOf(
        51, [&] { SetLines(*Q, {QStringLiteral("select id from formy where id = :id and nazwa = 'x")}); });
    EXPECT_NE(openString, missingName);
    EXPECT_FALSE(Q->Prepared());
}

TEST_F(QueryErrors, ExecuteErrorRetriedOnceThenFailing) {
    Tr->StartTransaction();
    SetLines(*Q, {QStringLiteral("insert into formy (id, nazwa) values (:id, 'x')")});
    Q->ParamByName(QStringLiteral("id")).SetAsInteger(150); // duplicate key
    int executions = 0;
    int errors = 0;
    Q->BeforeExecute = [&](TFbQuery*) { ++executions; };
    Q->OnExecuteError = [&](TpFbQuery* sender, EFbError& error, TDataAction& action) {
        EXPECT_EQ(sender, Q);
        EXPECT_EQ(error.SQLCode(), -803);
        action = ++errors == 1 ? TDataAction::daRetry : TDataAction::daFail;
    };
    EXPECT_THROW(Q->ExecQuery(), EFbInterBaseError);
    EXPECT_EQ(executions, 2);
    EXPECT_EQ(errors, 2);

    // A retry that succeeds after the handler fixed the value.
    errors = 0;
    Q->OnExecuteError = [&](TpFbQuery* sender, EFbError&, TDataAction& action) {
        ++errors;
        sender->ParamByName(QStringLiteral("id")).SetAsInteger(300);
        action = TDataAction::daRetry;
    };
    Q->ExecQuery();
    EXPECT_EQ(errors, 1);
    Q->OnExecuteError = [&](TpFbQuery*, EFbError&, TDataAction& action) { action = TDataAction::daAbort; };
    EXPECT_THROW(Q->ExecQuery(), platform::EAbort);
}

TEST_F(QueryErrors, AFetchErrorClosesTheCursor) {
    Tr->StartTransaction();
    SetLines(*Q, {QStringLiteral("select 1 / (cx - 400) from tools_data where id_t = 7 order by cx desc")});
    Q->ExecQuery();
    ASSERT_TRUE(Q->Open());
    EXPECT_THROW(Q->Next(), EFbInterBaseError);
    EXPECT_FALSE(Q->Open());
    EXPECT_TRUE(Q->Prepared());
}

TEST_F(QueryErrors, AFailedTextChangeLeavesNothingToRun) {
    Tr->StartTransaction();
    SetLines(*Q, {QStringLiteral("select count(*) from formy")});
    Q->ExecQuery();
    Q->Close();
    ClientErrorOf(51, [&] { Q->SetSQL({QStringLiteral("delete from formy where id = :")}); });
    ClientErrorOf(51, [&] { Q->ExecQuery(); });
    EXPECT_FALSE(Q->Open());
}
