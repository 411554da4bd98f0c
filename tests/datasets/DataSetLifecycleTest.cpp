// Open, navigation, close, the end of the transaction and the errors of the select data set.
#include "DataSetTestSupport.h"

#include "ComponentFixtures.h"

namespace {

const char* FormySchema =
    "create table formy (id integer not null primary key, nazwa varchar(60), kod1 varchar(20),\n"
    "  counter integer, countmode integer, id_vorek integer, counttch timestamp);\n"
    "insert into formy values (150, 'Forma 150', 'K150', 500, 1, 7, null);\n"
    "insert into formy values (151, 'Forma 151', 'K151', 20, 1, 8, null);\n"
    "insert into formy values (152, 'Forma 152', 'K152', 0, 0, 9, null);\n";

class DataSetLifecycle : public DataSetTest {
protected:
    void SetUp() override {
        DataSetTest::SetUp();
        MakeDataSet(MakeDatabase(QStringLiteral("pFbDatabaseFormy"), QStringLiteral("formy_db.fdb"),
                                 QString::fromLatin1(FormySchema)));
        Tr->BeforeSQLExecute = [this](QObject* statement, int) {
            if (statement == &Ds->QSelect()) ++Executions;
        };
    }
    int Id() { return Ds->FieldByName(QStringLiteral("id")).AsInteger(); }

    int Executions = 0;
};

} // namespace

TEST_F(DataSetLifecycle, AnEmptyResultIsAtBofAndEofAtOnceAndAWhileLoopNeverRuns) {
    SetSelect(QStringLiteral("select id, nazwa from formy where id < 0"));
    Ds->Open();
    EXPECT_TRUE(Ds->Active());
    EXPECT_TRUE(Ds->Bof());
    EXPECT_TRUE(Ds->Eof());
    Ds->First();
    EXPECT_TRUE(Ds->Bof() && Ds->Eof());
    int loops = 0;
    while (!Ds->Eof()) {
        ++loops;
        Ds->Next();
    }
    EXPECT_EQ(loops, 0);
    EXPECT_EQ(Ds->RecordCount(), 0);
    EXPECT_TRUE(Ds->FieldByName(QStringLiteral("nazwa")).IsNull());
    EXPECT_EQ(Ds->MoveBy(5), 0);
}

TEST_F(DataSetLifecycle, NextPastTheLastRowKeepsItsValuesAndOnlyTheBeforeScrollEventRuns) {
    int before = 0, after = 0;
    Ds->BeforeScroll = [&](TDataSet*) { ++before; };
    Ds->AfterScroll = [&](TDataSet*) { ++after; };
    SetSelect(QStringLiteral("select id, nazwa from formy order by id"));
    Ds->Open();
    EXPECT_EQ(after, 1); // the open shows its first row
    Ds->Next();
    Ds->Next();
    EXPECT_FALSE(Ds->Eof());
    EXPECT_EQ(Id(), 152);
    Ds->Next();
    EXPECT_TRUE(Ds->Eof());
    EXPECT_EQ(Id(), 152);
    EXPECT_EQ(Ds->FieldByName(QStringLiteral("NAZWA")).AsString(), "Forma 152");
    const int beforeNow = before, afterNow = after;
    Ds->Next();
    EXPECT_EQ(before, beforeNow + 1);
    EXPECT_EQ(after, afterNow);
    EXPECT_EQ(Id(), 152);
    EXPECT_EQ(Ds->RecordCount(), 3);
    // Back from the end: Prior leaves Eof and moves to the row before.
    Ds->Prior();
    EXPECT_FALSE(Ds->Eof());
    EXPECT_EQ(Id(), 151);
}

TEST_F(DataSetLifecycle, FirstAfterNextReadsTheCacheAndReopeningExecutesAgainWithoutPreparing) {
    SetSelect(QStringLiteral("select id, counter from formy order by id"));
    Ds->Open();
    Ds->Next();
    Ds->Next();
    Exec(QStringLiteral("update formy set counter = 999 where id = 150"));
    Ds->First();
    EXPECT_EQ(Executions, 1);
    EXPECT_EQ(Id(), 150);
    EXPECT_EQ(Ds->FieldByName(QStringLiteral("counter")).AsInteger(), 500);
    EXPECT_TRUE(Ds->Bof());

    Ds->Close();
    EXPECT_TRUE(Tr->Active());
    Ds->Open();
    EXPECT_EQ(Executions, 2);
    EXPECT_EQ(Ds->QSelect().PrepareCount(), 1);
    EXPECT_EQ(Ds->FieldByName(QStringLiteral("counter")).AsInteger(), 999);
}

TEST_F(DataSetLifecycle, TheSelectTextChangesOnlyWhileClosedAndABlankTextCannotBePrepared) {
    SetSelect(QStringLiteral("select id from formy"));
    Ds->Open();
    // The open cursor refuses first; without one the data set itself does (see the commit test).
    EXPECT_EQ(ClientErrorOf(28, [&] { Ds->SelectSQL().Clear(); }),
              "Can't change sql text because Form1.pFbDataSetFormy.SelectQuery dataset open.");
    EXPECT_TRUE(Ds->Active());
    EXPECT_EQ(Ds->SelectSQL().Count(), 1);
    EXPECT_EQ(Id(), 150);

    Ds->Close();
    EXPECT_TRUE(Ds->Prepared());
    SetSelect(QStringLiteral("   "));
    EXPECT_FALSE(Ds->Prepared());
    EXPECT_EQ(Ds->FieldDefs().Count(), 0);
    EXPECT_EQ(ClientErrorOf(37, [&] { Ds->Open(); }),
              "Can't Prepare Form1.pFbDataSetFormy , because  query is empty");
    EXPECT_FALSE(Ds->Active());
}

TEST_F(DataSetLifecycle, AnInactiveTransactionIsStartedOnlyWithTheStartOption) {
    SetSelect(QStringLiteral("select id from formy"));
    Ds->SetOptions(Ds->Options() & ~TpFbDsOptions(TpFbDsOption::poStartTransaction));
    EXPECT_EQ(ClientErrorOf(15, [&] { Ds->Open(); }), "Form1.pFbTransaction1 :Transaction is not active.");
    EXPECT_FALSE(Ds->Active());
    Ds->SetOptions(DefaultDsOptions());
    Ds->Open();
    EXPECT_TRUE(Tr->Active());
    EXPECT_EQ(Id(), 150);
}

TEST_F(DataSetLifecycle, MissingDatabaseOrTransactionAndNavigationWhileClosedAreReported) {
    auto* lone = new TpFbDataSet(Form.get());
    lone->SetName(QStringLiteral("pFbDataSetLone"));
    lone->SelectSQL().Add(QStringLiteral("select id from formy"));
    EXPECT_EQ(ClientErrorOf(21, [&] { lone->Open(); }), "Database not assigned for Form1.pFbDataSetLone.");
    EXPECT_EQ(ErrorOf<platform::EDatabaseError>([&] { lone->First(); }),
              "pFbDataSetLone: Cannot perform this operation on a closed dataset");
    EXPECT_EQ(ErrorOf<platform::EDatabaseError>([&] { lone->Next(); }),
              "pFbDataSetLone: Cannot perform this operation on a closed dataset");
    // With a database but no transaction, the connection's default transaction is taken.
    lone->SetDatabase(Db);
    EXPECT_EQ(ClientErrorOf(22, [&] { lone->Open(); }), "Transaction not assigned for Form1.pFbDataSetLone.");
    Db->SetDefaultTransaction(Tr);
    lone->Open();
    EXPECT_EQ(lone->Transaction(), Tr);
    EXPECT_EQ(ClientErrorOf(28, [&] { lone->SetTransaction(nullptr); }),
              "Can't  change transaction  because Form1.pFbDataSetLone dataset open.");

    // A transaction that lists no database gets the data set's.
    lone->Close();
    auto* bare = new TpFbTransaction(Form.get());
    lone->SetTransaction(bare);
    lone->Open();
    EXPECT_EQ(bare->DefaultDatabase(), Db);
    EXPECT_TRUE(bare->Active());
}

TEST_F(DataSetLifecycle, CommitClosesCommitRetainingKeepsAndTheKeepOptionFetchesTheRest) {
    SetSelect(QStringLiteral("select id from formy order by id"));
    Ds->Open();
    Tr->CommitRetaining();
    EXPECT_TRUE(Ds->Active());
    Ds->Next();
    EXPECT_EQ(Id(), 151);
    Tr->Commit();
    EXPECT_FALSE(Ds->Active());

    Ds->Open();
    Tr->Rollback();
    EXPECT_FALSE(Ds->Active());

    Ds->SetOptions(Ds->Options() | TpFbDsOption::poDontCloseAfterEndTransaction);
    Ds->Open();
    EXPECT_EQ(Ds->RecordCount(), 1);
    Tr->Commit();
    EXPECT_FALSE(Tr->Active());
    ASSERT_TRUE(Ds->Active());
    EXPECT_EQ(Ds->RecordCount(), 3);
    EXPECT_TRUE(Ds->AllFetched());
    EXPECT_EQ(ClientErrorOf(28, [&] { Ds->SelectSQL().Clear(); }),
              "Can't  change SelectSQL  because Form1.pFbDataSetFormy dataset open.");
    Ds->Last();
    EXPECT_EQ(Id(), 152);
    Ds->First();
    EXPECT_EQ(Id(), 150);
    Ds->Close();
    EXPECT_FALSE(Tr->Active());
}

TEST_F(DataSetLifecycle, CloseNeverEndsTheTransactionAndADisconnectClosesAndUnprepares) {
    SetSelect(QStringLiteral("select id from formy"));
    Ds->Open();
    Ds->Close();
    EXPECT_TRUE(Tr->Active());
    Ds->Open();
    int disconnecting = 0;
    Ds->DatabaseDisconnecting = [&](TFbCustomDataSet*) { ++disconnecting; };
    Db->Close();
    EXPECT_FALSE(Ds->Active());
    EXPECT_FALSE(Ds->Prepared());
    EXPECT_EQ(disconnecting, 1);
    Db->SetConnected(true);
    Ds->Open();
    EXPECT_EQ(Id(), 150);
    Ds->DatabaseDisconnecting = nullptr;
}

TEST_F(DataSetLifecycle, AFetchErrorGoesToOnGetRecordErrorWhichMayFailOrRetry) {
    SetSelect(QStringLiteral("select id, 1 / (id - 151) as q from formy order by id"));
    Ds->Open();
    EXPECT_THROW(Ds->Next(), EFbInterBaseError);

    Ds->Close();
    TDataAction answer = TDataAction::daRetry;
    QString seen;
    Ds->OnGetRecordError = [&](TFbCustomDataSet*, const platform::EDatabaseError& e, TDataAction& action) {
        seen = e.Message();
        action = answer;
    };
    Ds->Open();
    Ds->Next();
    EXPECT_TRUE(seen.contains(QStringLiteral("divide by zero"))) << seen.toStdString();
    EXPECT_TRUE(Ds->Eof());
    EXPECT_EQ(Id(), 150);
    answer = TDataAction::daAbort;
    Ds->Close();
    Ds->Open();
    EXPECT_THROW(Ds->Next(), platform::EAbort);
    answer = TDataAction::daFail;
    Ds->Close();
    Ds->Open();
    EXPECT_THROW(Ds->Next(), EFbInterBaseError);
}

// A fetch that fails in the middle: the rows before it stay, but the data set never claims to hold
// every row of the select.
TEST_F(DataSetLifecycle, AFetchErrorInTheMiddleIsNeverACompleteResult) {
    SetSelect(QStringLiteral("select id, 1 / (id - 152) as q from formy order by id"));
    Ds->Open();
    Ds->Next();
    EXPECT_THROW(Ds->Next(), EFbInterBaseError);
    Ds->Next();
    EXPECT_TRUE(Ds->Eof());
    EXPECT_FALSE(Ds->AllFetched());
    EXPECT_EQ(Ds->RecordCount(), 2);
    Ds->First();
    EXPECT_EQ(Id(), 150);
    Ds->Close();
    SetSelect(QStringLiteral("select id from formy"));
    Ds->Open();
    Ds->FetchAll();
    EXPECT_TRUE(Ds->AllFetched());
}

// With psAskRecordCount the total comes from the server at open, also for selects that lock their
// rows or whose column names repeat; a failing count names the data set.
TEST_F(DataSetLifecycle, TheAskedRecordCountServesSelectsThatLockTheirRows) {
    Ds->SetPrepareOptions(Ds->PrepareOptions() | TpPrepareOption::psAskRecordCount);
    for (const char* select :
         {"select id from formy for update", "select id, id from formy with lock",
          "select id, '(for update)' from formy /* ) */ for update of id with lock -- end"}) {
        SCOPED_TRACE(select);
        if (Ds->Active()) Ds->Close();
        SetSelect(QString::fromLatin1(select));
        Ds->Open();
        EXPECT_EQ(Ds->RecordCount(), 3);
    }
    // A count that fails names the data set, as its other statements do.
    Ds->Close();
    SetSelect(QStringLiteral("select id from formy where id = (select id from formy)"));
    try {
        Ds->Open();
        ADD_FAILURE() << "the count of a failing select opened";
    } catch (const EFbError& e) {
        EXPECT_EQ(e.RaiserName(), QStringLiteral("Form1.pFbDataSetFormy.CountQuery"));
    }
}

TEST_F(DataSetLifecycle, EveryFetchedRowIsOfferedOnceAndStopFetchingEndsTheStep) {
    QList<int> offered;
    int stopAt = -1;
    Ds->AfterFetchRecord = [&](TFbQuery* from, int row, bool& stop) {
        EXPECT_EQ(from, &Ds->QSelect());
        offered.append(row);
        stop = row == stopAt;
    };
    SetSelect(QStringLiteral("select id from formy order by id"));
    Ds->Open();
    EXPECT_EQ(Ds->FetchNext(5), 2);
    EXPECT_EQ(Id(), 150);
    Ds->Last();
    Ds->First();
    Ds->Last();
    EXPECT_EQ(offered, (QList<int>{0, 1, 2}));

    Ds->Close();
    offered.clear();
    stopAt = 1;
    Ds->Open();
    Ds->Next();
    // The second row came and is kept, but the step ended on the first.
    EXPECT_EQ(Id(), 150);
    EXPECT_EQ(Ds->RecordCount(), 2);
    Ds->First();
    Ds->Next();
    EXPECT_EQ(Id(), 151);

    // The total asked from the server counts before the rows are fetched.
    Ds->Close();
    Ds->AfterFetchRecord = nullptr;
    Ds->SetPrepareOptions(Ds->PrepareOptions() | TpPrepareOption::psAskRecordCount);
    Ds->Open();
    EXPECT_EQ(Ds->RecordCount(), 3);
}

TEST_F(DataSetLifecycle, UniDirectionalKeepsOnlyTheLastChunkOfRows) {
    Exec(QStringLiteral("execute block as declare i integer = 1000; begin while (i < 1040) do begin "
                        "insert into formy (id, nazwa) values (:i, 'Ring ' || :i); i = i + 1; end end"));
    Ds->SetUniDirectional(true);
    SetSelect(QStringLiteral("select id, nazwa from formy where id >= 1000 order by id"));
    Ds->Open();
    for (int i = 1000; i < 1040; ++i) {
        ASSERT_FALSE(Ds->Eof());
        EXPECT_EQ(Id(), i);
        EXPECT_EQ(Ds->FieldByName(QStringLiteral("nazwa")).AsString(), QStringLiteral("Ring %1").arg(i));
        Ds->Next();
    }
    EXPECT_TRUE(Ds->Eof());
    EXPECT_EQ(Ds->RecordCount(), 32);
    // Row 1000 is gone from the ring: going back to it is refused instead of showing another row.
    EXPECT_EQ(ErrorOf<platform::EDatabaseError>([&] { Ds->First(); }),
              "pFbDataSetFormy: Operation not allowed on a unidirectional dataset");
}

// Tables changed and committed by another connection between two opens of the same select (closed,
// text cleared, the same line added, opened): the second open sees them as a fresh prepare does,
// on the embedded engine and through the loopback server.
TEST_F(DataSetLifecycle, TablesChangedByAnotherConnectionAreSeenAtTheNextOpen) {
    for (const QString& place : {QStringLiteral("embedded"), QStringLiteral("loopback")}) {
        SCOPED_TRACE(place.toStdString());
        TpFbDatabase* reader = MakeDatabase(place + QStringLiteral("Reader"), place + QStringLiteral(".fdb"),
                                            TablesChangedElsewhere);
        if (place == QStringLiteral("loopback")) {
            const QString name = LoopbackName(reader->DBName());
            if (name.isEmpty()) GTEST_SKIP() << "loopback server not running (scripts/firebird-server start)";
            reader->SetConnected(false);
            reader->SetDBName(name);
            reader->SetConnected(true);
        }
        TpFbDatabase* changer =
            ConnectedDatabase(Form.get(), place + QStringLiteral("Changer"), reader->DBName());
        TpFbTransaction* tr = RollbackTransaction(Form.get(), place + QStringLiteral("Tr"), reader);
        auto* ds = new TpFbDataSet(Form.get());
        ds->SetDatabase(reader);
        ds->SetTransaction(tr);
        const auto fields = [&](const QString& text) {
            if (!tr->Active()) tr->StartTransaction();
            ds->Close();
            ds->SelectSQL().Clear();
            ds->SelectSQL().Add(text);
            ds->Open();
            const int count = ds->FieldCount();
            tr->Commit();
            return count;
        };
        const auto alter = [&](const QString& ddl) { Exec(ddl, changer); };
        ExpectTablesChangedElsewhereSeen(fields, alter);
        tr->Rollback();
    }
}
