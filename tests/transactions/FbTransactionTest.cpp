// Transactions against real Firebird databases (embedded engine).
#include "TransactionTestSupport.h"

#include "ComponentFixtures.h"
#include "db/connection/fb.h"

#include <QElapsedTimer>
#include <QFile>

namespace {

const QByteArray SetValue20 = "update t set v = 20 where id = 1";
const QByteArray ReadValue = "select v from t where id = 1";
const QByteArray OtherAttachments = "select count(*) from mon$attachments "
                                    "where mon$system_flag = 0 and mon$attachment_id <> current_connection";

template <class E, class F> E Raised(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "nothing raised";
    return E(0, QString(), nullptr);
}

} // namespace

TEST_F(TransactionTest, NewTransactionStartsReadCommittedNoWaitReadWrite) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    EXPECT_EQ(tr->TPBMode(), TTPBMode::tpbReadCommitted);
    EXPECT_EQ(tr->TRParams().Count(), 0);
    EXPECT_EQ(tr->State(), TTransactionState::tsClosed);
    tr->StartTransaction();
    EXPECT_TRUE(tr->Active());
    EXPECT_EQ(tr->State(), TTransactionState::tsActive);
    EXPECT_EQ(tr->TPB(), QByteArray("\x03\x09\x07\x0f\x11"));
    EXPECT_EQ(tr->TRParams().Strings(),
              QStringList({"write", "isc_tpb_nowait", "read_committed", "rec_version"}));
    // The server runs it as asked.
    // Isolation and its option, read as one little-endian number.
    EXPECT_EQ(TransactionInfo(*tr, isc_info_tra_isolation),
              isc_info_tra_read_committed + isc_info_tra_rec_version * 256);
    EXPECT_EQ(TransactionInfo(*tr, isc_info_tra_access), isc_info_tra_readwrite);
    EXPECT_EQ(TransactionInfo(*tr, isc_info_tra_lock_timeout), 0);
    EXPECT_GT(tr->TransactionID(), 0);
    // A second start of an active transaction does nothing.
    const int id = tr->TransactionID();
    tr->StartTransaction();
    EXPECT_EQ(tr->TransactionID(), id);
}

TEST_F(TransactionTest, TpbModesChooseTheParameters) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->SetTPBMode(TTPBMode::tpbDefault);
    tr->StartTransaction();
    EXPECT_TRUE(tr->TPB().isEmpty());
    // The server's own defaults: concurrency, waiting.
    EXPECT_EQ(TransactionInfo(*tr, isc_info_tra_isolation), isc_info_tra_concurrency);
    EXPECT_EQ(TransactionInfo(*tr, isc_info_tra_lock_timeout), -1);
    tr->Commit();

    tr->SetTPBMode(TTPBMode::tpbRepeatableRead);
    tr->StartTransaction();
    EXPECT_EQ(tr->TPB(), QByteArray("\x03\x09\x07\x02"));
    EXPECT_EQ(tr->TRParams().Strings(), QStringList({"write", "isc_tpb_nowait", "concurrency"}));
    tr->Commit();

    tr->SetTPBMode(TTPBMode::tpbDefault);
    tr->SetTRParams({"read", " concurrency "});
    tr->StartTransaction();
    EXPECT_EQ(tr->TPB(), QByteArray("\x03\x08\x02"));
    EXPECT_EQ(TransactionInfo(*tr, isc_info_tra_access), isc_info_tra_readonly);
    tr->Rollback();
}

TEST_F(TransactionTest, ReadCommittedSeesCommittedChangesAtOnceRepeatableReadDoesNot) {
    TpFbTransaction* writer = NewTransaction("writer", Db);
    TpFbTransaction* committed = NewTransaction("committed", Db);
    TpFbTransaction* snapshot = NewTransaction("snapshot", Db);
    snapshot->SetTPBMode(TTPBMode::tpbRepeatableRead);
    committed->StartTransaction();
    snapshot->StartTransaction();
    EXPECT_EQ(QueryInt(*committed, ReadValue), 10);
    EXPECT_EQ(QueryInt(*snapshot, ReadValue), 10);

    writer->StartTransaction();
    Exec(*writer, SetValue20);
    EXPECT_EQ(QueryInt(*committed, ReadValue), 10) << "uncommitted change seen";
    writer->Commit();
    EXPECT_FALSE(writer->Active());
    EXPECT_EQ(QueryInt(*committed, ReadValue), 20);
    EXPECT_EQ(QueryInt(*snapshot, ReadValue), 10);
}

TEST_F(TransactionTest, NoWaitUpdateOfAHeldRowFailsAtOnceWithUpdateConflict) {
    TpFbTransaction* first = NewTransaction("pFbTransaction1", Db);
    TpFbTransaction* second = NewTransaction("pFbTransaction3", Db);
    first->StartTransaction();
    Exec(*first, SetValue20);
    second->StartTransaction();
    QElapsedTimer clock;
    clock.start();
    const EFbInterBaseError e =
        Raised<EFbInterBaseError>([&] { Exec(*second, "update t set v = 30 where id = 1"); });
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(e.SenderObj(), second);
    EXPECT_EQ(e.SQLCode(), -913);
    // Firebird 3 reports a row held by a running transaction as a deadlock of an update conflict.
    EXPECT_EQ(e.IBErrorCode(), isc_deadlock);
    EXPECT_TRUE(
        e.Message().startsWith("Form1.pFbTransaction3:\r\nDeadlock.\r\nDeadlock.\r\nUpdate conflicts with "
                               "concurrent update.\r\nConcurrent transaction number is "))
        << e.Message().toStdString();
    // Statements never end the transaction on error.
    EXPECT_TRUE(second->Active());
    second->Rollback();
    first->Commit();
    EXPECT_EQ(ReadInt(*Db, ReadValue), 20);
}

TEST_F(TransactionTest, FailedCommitLeavesTheTransactionActiveAndRollbackThenSucceeds) {
    const QString failingCommit = QStringLiteral(
        "create exception e_refused 'commit refused';\n"
        "set term ^;\n"
        "create trigger refuse_commit on transaction commit as begin\n"
        "  if (rdb$get_context('USER_TRANSACTION', 'refuse') = '1') then exception e_refused;\n"
        "end^\n"
        "set term ;^\n"
        "commit;\n");
    TpFbDatabase* db = NewDatabase("pFbDatabaseVorek", "vorek_mes.fdb", failingCommit);
    TpFbTransaction* tr = NewTransaction("pFbTransaction2", db);
    tr->StartTransaction();
    Exec(*tr, SetValue20);
    Exec(*tr, "execute block as declare x integer; begin x = rdb$set_context('USER_TRANSACTION', 'refuse', "
              "'1'); end");
    const EFbInterBaseError e = Raised<EFbInterBaseError>([&] { tr->Commit(); });
    EXPECT_TRUE(e.Message().startsWith("Form1.pFbTransaction2:\r\n"));
    EXPECT_TRUE(e.Message().contains("E_REFUSED.\r\nCommit refused.\r\n")) << e.Message().toStdString();
    EXPECT_TRUE(tr->Active());
    EXPECT_EQ(tr->State(), TTransactionState::tsDoCommit);
    tr->Rollback();
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(tr->State(), TTransactionState::tsClosed);
    EXPECT_EQ(ReadInt(*db, ReadValue), 10);
}

TEST_F(TransactionTest, ForcedCommitThatFailsBecomesARollback) {
    TpFbDatabase* db =
        NewDatabase("pFbDatabaseVorek", "vorek_mes.fdb",
                    "create exception e_refused 'commit refused';\nset term ^;\n"
                    "create trigger refuse_commit on transaction commit as begin\n"
                    "  if (rdb$get_context('USER_TRANSACTION', 'refuse') = '1') then exception e_refused;\n"
                    "end^\nset term ;^\ncommit;\n");
    TpFbTransaction* tr = NewTransaction("pFbTransaction2", db);
    tr->StartTransaction();
    Exec(*tr, SetValue20);
    Exec(*tr, "execute block as declare x integer; begin x = rdb$set_context('USER_TRANSACTION', 'refuse', "
              "'1'); end");
    tr->EndTransaction(TTransactionAction::TACommit, true);
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(tr->State(), TTransactionState::tsClosed);
    EXPECT_EQ(ReadInt(*db, ReadValue), 10);
}

TEST_F(TransactionTest, ClientErrorsOfMisuse) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    auto error = Raised<EFbClientError>([&] { tr->Rollback(); });
    EXPECT_EQ(error.SQLCode(), 15);
    EXPECT_EQ(error.Message(), "Form1.pFbTransaction1 :Transaction is not active.");
    EXPECT_EQ(Raised<EFbClientError>([&] { tr->CommitRetaining(); }).SQLCode(), 15);

    tr->StartTransaction();
    error = Raised<EFbClientError>([&] { tr->TRParams().Add("read"); });
    EXPECT_EQ(error.Message(), "Form1.pFbTransaction1 :Transaction is active.");
    EXPECT_EQ(tr->TRParams().Count(), 4);
    EXPECT_EQ(Raised<EFbClientError>([&] { tr->SetDefaultDatabase(nullptr); }).SQLCode(), 16);
    // The base start refuses an active transaction; the component's own start ignores it.
    EXPECT_EQ(Raised<EFbClientError>([&] { tr->TFbTransaction::StartTransaction(); }).SQLCode(), 16);
    tr->Rollback();

    TFbTransaction lonely;
    lonely.SetName("lonely");
    error = Raised<EFbClientError>([&] { lonely.StartTransaction(); });
    EXPECT_EQ(error.Message(), "lonely :No databases are listed in transaction component.");

    Db->SetConnected(false);
    error = Raised<EFbClientError>([&] { tr->StartTransaction(); });
    EXPECT_EQ(error.Message(), "Form1.pFbDatabaseFormy: Cannot perform operation -- DB is not open.");
    EXPECT_FALSE(tr->Active());
}

TEST_F(TransactionTest, RefusedStartLeavesNoHandleAndNamesTheTransaction) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->SetTPBMode(TTPBMode::tpbDefault);
    tr->SetTRParams({"read_committed", "concurrency"});
    const EFbInterBaseError e = Raised<EFbInterBaseError>([&] { tr->StartTransaction(); });
    EXPECT_TRUE(e.Message().startsWith("Form1.pFbTransaction1:\r\n")) << e.Message().toStdString();
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(tr->State(), TTransactionState::tsClosed);
    tr->SetTRParams({"concurrency"});
    tr->StartTransaction();
    EXPECT_TRUE(tr->Active());
}

TEST_F(TransactionTest, DeactivatingRollsBackWhateverTheTimeoutActionSays) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->SetTimeoutAction(TTransactionAction::TACommit);
    tr->SetActive(false); // inactive: nothing happens
    tr->SetActive(true);
    EXPECT_TRUE(tr->Active());
    Exec(*tr, SetValue20);
    tr->SetActive(false);
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(ReadInt(*Db, ReadValue), 10);
}

TEST_F(TransactionTest, RetainingEndsKeepTheTransactionRunningUnderANewId) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->StartTransaction();
    Exec(*tr, SetValue20);
    const int before = tr->TransactionID();
    tr->CommitRetaining();
    EXPECT_TRUE(tr->Active());
    EXPECT_EQ(tr->State(), TTransactionState::tsActive);
    EXPECT_EQ(ReadInt(*Db, ReadValue), 20);
    EXPECT_GT(tr->TransactionID(), before);
    Exec(*tr, "update t set v = 30 where id = 1");
    tr->RollbackRetaining();
    EXPECT_TRUE(tr->Active());
    EXPECT_EQ(QueryInt(*tr, ReadValue), 20);
    tr->Commit();
}

TEST_F(TransactionTest, OneTransactionOverTwoDatabasesCommitsInBoth) {
    TpFbDatabase* vorek = NewDatabase("pFbDatabaseVorek", "vorek_mes.fdb");
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    EXPECT_EQ(tr->AddDatabase(vorek), 1);
    EXPECT_EQ(tr->AddDatabase(vorek), 1);
    EXPECT_EQ(tr->DatabaseCount(), 2);
    EXPECT_EQ(tr->MainDatabase(), Db);
    tr->StartTransaction();
    Exec(*tr, "insert into t values (2, 200)", Db);
    Exec(*tr, "insert into t values (3, 300)", vorek);
    tr->Commit();
    EXPECT_EQ(ReadInt(*Db, "select v from t where id = 2"), 200);
    EXPECT_EQ(ReadInt(*vorek, "select v from t where id = 3"), 300);

    // Rolled back in both as well.
    tr->StartTransaction();
    Exec(*tr, "delete from t", Db);
    Exec(*tr, "delete from t", vorek);
    tr->Rollback();
    EXPECT_EQ(ReadInt(*Db, "select count(*) from t"), 2);
    EXPECT_EQ(ReadInt(*vorek, "select count(*) from t"), 2);
}

TEST_F(TransactionTest, DatabaseWithItsOwnParametersStartsWithThem) {
    TpFbDatabase* vorek = NewDatabase("pFbDatabaseVorek", "vorek_mes.fdb");
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    EXPECT_EQ(tr->AddDatabase(vorek, "read\r\n concurrency"), 1);
    tr->StartTransaction();
    Exec(*tr, SetValue20, Db);
    const EFbInterBaseError e = Raised<EFbInterBaseError>([&] { Exec(*tr, SetValue20, vorek); });
    EXPECT_TRUE(e.Message().contains("read-only transaction")) << e.Message().toStdString();
    tr->Commit();
    EXPECT_EQ(ReadInt(*Db, ReadValue), 20);
}

TEST_F(TransactionTest, DatabasesOfOneTransactionShareOneClientLibrary) {
    QTemporaryDir libDir;
    const QString alias = libDir.filePath("libfbclient-alias.so");
    ASSERT_TRUE(QFile::link("/usr/lib/x86_64-linux-gnu/libfbclient.so.2", alias) ||
                QFile::link("/usr/lib/libfbclient.so.2", alias));
    TpFbDatabase other(nullptr);
    other.SetLibraryName(alias);
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    try {
        tr->AddDatabase(&other);
        FAIL() << "nothing raised";
    } catch (const EFbError&) {
        FAIL() << "wrong class";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message(),
                  "Form1.pFbTransaction1.\r\nTransaction can't work with different client library.");
    }
    EXPECT_EQ(tr->DatabaseCount(), 1);
    EXPECT_EQ(other.TransactionCount(), 0);
}

TEST_F(TransactionTest, DisconnectEndsActiveTransactionsWithTheirHardTimeoutAction) {
    const TTransactionAction actions[] = {
        TTransactionAction::TARollback, TTransactionAction::TARollbackRetaining, TTransactionAction::TACommit,
        TTransactionAction::TACommitRetaining};
    QList<std::pair<TTransactionAction, bool>> ends;
    for (int i = 0; i < 4; ++i) {
        TpFbTransaction* tr = NewTransaction(QStringLiteral("tr%1").arg(i), Db);
        tr->SetTimeoutAction(actions[i]);
        tr->BeforeEnd = [&](TFbTransaction*, TTransactionAction action, bool force) {
            ends.append({action, force});
        };
        tr->StartTransaction();
        Exec(*tr, QByteArray("insert into t values (") + QByteArray::number(10 + i) + ", 0)");
    }
    TpFbTransaction* idle = NewTransaction("idle", Db);
    Db->SetConnected(false);
    EXPECT_EQ(Db->ActiveTransactionCount(), 0);
    EXPECT_FALSE(idle->Active());
    const QList<std::pair<TTransactionAction, bool>> expected = {{TTransactionAction::TARollback, true},
                                                                 {TTransactionAction::TARollback, true},
                                                                 {TTransactionAction::TACommit, true},
                                                                 {TTransactionAction::TACommit, true}};
    EXPECT_EQ(ends, expected);
    Db->SetConnected(true);
    EXPECT_EQ(ReadInt(*Db, "select count(*) from t where id in (10, 11)"), 0);
    EXPECT_EQ(ReadInt(*Db, "select count(*) from t where id in (12, 13)"), 2);
}

TEST_F(TransactionTest, DestroyingAnActiveTransactionEndsItWithItsTimeoutAction) {
    auto* committing = NewTransaction("committing", Db);
    committing->SetTimeoutAction(TTransactionAction::TACommitRetaining);
    committing->StartTransaction();
    Exec(*committing, "insert into t values (2, 0)");
    auto* rollingBack = NewTransaction("rollingBack", Db);
    rollingBack->StartTransaction();
    Exec(*rollingBack, "insert into t values (3, 0)");
    QStringList seen;
    committing->AfterEnd = [&](TFbTransaction*, TTransactionAction action, bool force) {
        seen << QStringLiteral("after end %1 %2").arg(int(action)).arg(force);
    };
    committing->AddEvent(TFbTransaction::TNotice::Destroy, &seen,
                         [&](TFbTransaction*) { seen << "destroy"; });
    delete committing;
    delete rollingBack;
    EXPECT_EQ(seen, QStringList({QStringLiteral("after end %1 1").arg(int(TTransactionAction::TACommit)),
                                 "destroy"}));
    EXPECT_EQ(Db->TransactionCount(), 0);
    EXPECT_EQ(ReadInt(*Db, "select count(*) from t where id = 2"), 1);
    EXPECT_EQ(ReadInt(*Db, "select count(*) from t where id = 3"), 0);
}

TEST_F(TransactionTest, DatabaseShortcutsUseItsDefaultTransaction) {
    const EFbClientError e = Raised<EFbClientError>([&] { Db->StartTransaction(); });
    EXPECT_EQ(e.Message(), "Transaction not assigned for Form1.pFbDatabaseFormy.");
    EXPECT_EQ(Raised<EFbClientError>([&] { Db->Commit(); }).SQLCode(), 22);

    auto* tr = new TpFbTransaction(Form.get());
    tr->SetName("pFbTransaction1");
    Db->SetDefaultTransaction(tr);
    EXPECT_EQ(tr->DefaultDatabase(), Db);
    EXPECT_EQ(tr->DatabaseCount(), 1);
    EXPECT_EQ(Db->TransactionCount(), 1);
    Db->StartTransaction();
    EXPECT_TRUE(tr->Active());
    Exec(*tr, SetValue20);
    Db->CommitRetaining();
    Exec(*tr, "update t set v = 30 where id = 1");
    Db->RollbackRetaining();
    Db->Commit();
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(ReadInt(*Db, ReadValue), 20);
    Db->StartTransaction();
    Db->Rollback();
    EXPECT_FALSE(tr->Active());

    // Removing the database from the transaction makes the database forget it.
    tr->RemoveDatabase(0);
    EXPECT_EQ(Db->DefaultTransaction(), nullptr);
    EXPECT_EQ(tr->DefaultDatabase(), nullptr);
    EXPECT_EQ(Db->TransactionCount(), 0);
}

TEST_F(TransactionTest, DefaultDatabaseReplacesTheOldOneAndDestroyedDatabasesAreForgotten) {
    TpFbDatabase* vorek = NewDatabase("pFbDatabaseVorek", "vorek_mes.fdb");
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->SetDefaultDatabase(vorek);
    EXPECT_EQ(tr->DatabaseCount(), 1);
    EXPECT_EQ(tr->Databases(0), vorek);
    EXPECT_EQ(Db->TransactionCount(), 0);
    tr->AddDatabase(Db);
    tr->StartTransaction();
    delete vorek; // disconnects first, which ends the transaction
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(tr->DefaultDatabase(), nullptr);
    EXPECT_EQ(tr->DatabaseCount(), 1);
    EXPECT_EQ(tr->MainDatabase(), Db);
    tr->StartTransaction();
    EXPECT_TRUE(tr->Active());
}

TEST_F(TransactionTest, SharedHandleIsOnlyForgottenByItsOwnAction) {
    IIBClientLibrary& library = Db->ClientLibrary();
    isc_tr_handle outside = 0;
    struct {
        isc_db_handle* Database;
        int Length;
        const char* TPB;
    } teb{Db->HandleAddress(), 0, nullptr};
    ASSERT_EQ(library.isc_start_multiple(StatusVector(), &outside, short(1), static_cast<void*>(&teb)), 0);

    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->SetHandle(outside);
    EXPECT_TRUE(tr->Active());
    EXPECT_TRUE(tr->HandleIsShared());
    const EFbClientError e = Raised<EFbClientError>([&] { tr->Commit(); });
    EXPECT_EQ(e.Message(),
              "Can't end a shared transaction unless it is forced and equal to the transaction's "
              "TimeoutAction.");
    EXPECT_TRUE(tr->Active());
    tr->Rollback();
    EXPECT_FALSE(tr->Active());
    EXPECT_FALSE(tr->HandleIsShared());
    // Forgotten, not ended: the outside transaction still runs.
    ISC_STATUS* status = StatusVector();
    EXPECT_EQ(library.isc_rollback_transaction(status, &outside), 0);
}

namespace {
// A statement's link that writes down the notices it receives.
struct TRecordingLink {
    TRecordingLink(const QString& name, QStringList& log) : Link(nullptr) {
        Link.OnTransactionStarting = [&log, name] { log << name + " starting"; };
        Link.OnTransactionStarted = [&log, name] { log << name + " started"; };
        Link.OnTransactionEnding = [&log, name] { log << name + " ending"; };
        Link.OnTransactionEnded = [&log, name] { log << name + " ended"; };
        Link.OnTransactionFree = [&log, name] { log << name + " free"; };
    }
    TFbBase Link;
};
} // namespace

TEST_F(TransactionTest, NoticesArriveInTheirOrders) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    QStringList log;
    TRecordingLink a("a", log), b("b", log);
    a.Link.SetTransaction(tr);
    b.Link.SetTransaction(tr);
    EXPECT_EQ(a.Link.Database(), Db) << "the link follows the transaction's main database";
    for (const char* key : {"1", "2"}) {
        const QString k = QString::fromLatin1(key);
        tr->AddEvent(TFbTransaction::TNotice::BeforeStart, key,
                     [&log, k](TFbTransaction*) { log << "before start " + k; });
        tr->AddEvent(TFbTransaction::TNotice::AfterStart, key,
                     [&log, k](TFbTransaction*) { log << "after start " + k; });
        tr->AddEndEvent(TFbTransaction::TEndNotice::BeforeEnd, key,
                        [&log, k](TFbTransaction* t, TTransactionAction, bool) {
                            log << "before end " + k +
                                       (t->State() == TTransactionState::tsDoCommit ? " doCommit" : "");
                        });
        tr->AddEndEvent(TFbTransaction::TEndNotice::AfterEnd, key,
                        [&log, k](TFbTransaction*, TTransactionAction, bool) { log << "after end " + k; });
    }
    tr->BeforeStart = [&](TFbTransaction*) { log << "BeforeStart"; };
    tr->AfterStart = [&](TFbTransaction*) { log << "AfterStart"; };
    tr->BeforeEnd = [&](TFbTransaction*, TTransactionAction, bool) { log << "BeforeEnd"; };
    tr->AfterEnd = [&](TFbTransaction*, TTransactionAction, bool) { log << "AfterEnd"; };
    Db->BeforeStartTransaction = [&](TpFbDatabase*) { log << "db before start"; };
    Db->AfterEndTransaction = [&](TpFbDatabase*) { log << "db after end"; };

    tr->StartTransaction();
    tr->Commit();
    const QStringList expected = {"db before start",
                                  "BeforeStart",
                                  "a starting",
                                  "b starting",
                                  "before start 2",
                                  "before start 1",
                                  "after start 2",
                                  "after start 1",
                                  "a started",
                                  "b started",
                                  "AfterStart",
                                  "BeforeEnd",
                                  "b ending",
                                  "a ending",
                                  "before end 1 doCommit",
                                  "before end 2 doCommit",
                                  "b ended",
                                  "a ended",
                                  "after end 1",
                                  "after end 2",
                                  "AfterEnd",
                                  "db after end"};
    EXPECT_EQ(log, expected);

    // A removed link is replaced by the last one.
    TRecordingLink c("c", log);
    c.Link.SetTransaction(tr);
    a.Link.SetTransaction(nullptr);
    ASSERT_EQ(tr->FbBaseCount(), 2);
    EXPECT_EQ(tr->FbBases(0), &c.Link);
    EXPECT_EQ(tr->FbBases(1), &b.Link);

    log.clear();
    delete tr;
    EXPECT_EQ(log, QStringList({"b free", "c free"}));
    EXPECT_EQ(b.Link.Transaction(), nullptr);
    EXPECT_EQ(c.Link.Transaction(), nullptr);
}

TEST_F(TransactionTest, LinksTakeTheDatabasesDefaultTransactionAndCheckIt) {
    QObject owner;
    TFbBase link(&owner);
    const EFbClientError e = Raised<EFbClientError>([&] { link.TRHandle(); });
    EXPECT_EQ(e.SQLCode(), 22);
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    Db->SetDefaultTransaction(tr);
    link.SetDatabase(Db);
    EXPECT_EQ(link.Transaction(), tr);
    EXPECT_EQ(Raised<EFbClientError>([&] { link.CheckTransaction(); }).SQLCode(), 15);
    tr->StartTransaction();
    EXPECT_EQ(link.TRHandle(), tr->HandleAddress());
    // Databases that reconnect by themselves let a statement start the transaction.
    tr->Commit();
    Db->SetAutoReconnect(true);
    link.CheckTransaction();
    EXPECT_TRUE(tr->Active());
}

namespace {
// A database component bound to another file name of the same client library.
struct AliasLibrary {
    QTemporaryDir dir;
    QString path = dir.filePath("libfbclient-alias.so");
    AliasLibrary() {
        if (!QFile::link("/usr/lib/x86_64-linux-gnu/libfbclient.so.2", path))
            QFile::link("/usr/lib/libfbclient.so.2", path);
    }
};
} // namespace

TEST_F(TransactionTest, RefusedDefaultTransactionIsNotRemembered) {
    AliasLibrary alias;
    TpFbDatabase other(nullptr);
    other.SetLibraryName(alias.path);
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    EXPECT_THROW(other.SetDefaultTransaction(tr), platform::Exception);
    EXPECT_EQ(other.DefaultTransaction(), nullptr);
    delete tr;
    // Nothing dangles: the shortcut reports the missing transaction.
    EXPECT_THROW(other.StartTransaction(), EFbClientError);
}

TEST_F(TransactionTest, MovingToADatabaseOfAnotherLibraryComparesWithTheDatabasesThatStay) {
    AliasLibrary alias;
    TpFbDatabase other(nullptr);
    other.SetLibraryName(alias.path);
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->SetDefaultDatabase(Db);
    tr->SetDefaultDatabase(&other);
    EXPECT_EQ(tr->DatabaseCount(), 1);
    EXPECT_EQ(tr->Databases(0), &other);
    EXPECT_EQ(Db->TransactionCount(), 0);
}

TEST_F(TransactionTest, FailingEndHandlerWhileDestroyingStillEndsTheTransactionOnTheServer) {
    TpFbTransaction* holder = NewTransaction("holder", Db);
    holder->StartTransaction();
    Exec(*holder, "update t set v = 11 where id = 1");
    holder->BeforeEnd = [](TFbTransaction*, TTransactionAction, bool) {
        throw platform::Exception(QStringLiteral("handler failed"));
    };
    delete holder;
    // The row is free again and the change is gone.
    TpFbTransaction* other = NewTransaction("other", Db);
    other->StartTransaction();
    EXPECT_NO_THROW(Exec(*other, "update t set v = 12 where id = 1"));
    other->Rollback();
    EXPECT_EQ(ReadInt(*Db, "select v from t where id = 1"), 10);
}

TEST_F(TransactionTest, DestroyingAConnectedDatabaseEndsItsTransactionsWithItsEvents) {
    TpFbDatabase* vorek = NewDatabase("pFbDatabaseVorek", "vorek_mes.fdb");
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", vorek);
    tr->StartTransaction();
    QStringList seen;
    vorek->BeforeEndTransaction = [&](TpFbDatabase*) { seen << "before"; };
    vorek->AfterEndTransaction = [&](TpFbDatabase*) { seen << "after"; };
    delete vorek;
    EXPECT_EQ(seen, QStringList({"before", "after"}));
    EXPECT_FALSE(tr->Active());
}

TEST_F(TransactionTest, TheInternalTransactionIsCommittedBeforeEveryDetach) {
    TpFbDatabase* other = ConnectedDatabase(Form.get(), "other", Db->DBName());
    TFbTransaction* internal = Db->InternalTransaction();
    const auto holdRow = [&](int v) {
        internal->StartTransaction();
        Exec(*internal, "update t set v = " + QByteArray::number(v) + " where id = 1");
    };
    holdRow(20);
    Db->SetConnected(false);
    EXPECT_FALSE(internal->Active());
    EXPECT_EQ(ReadInt(*other, ReadValue), 20);
    ASSERT_NO_THROW(Db->SetConnected(true));

    // A lost connection forgets it with the attachment.
    holdRow(30);
    TpFbTransaction* killer = NewTransaction("killer", other);
    killer->StartTransaction();
    Exec(*killer,
         "delete from mon$attachments where mon$attachment_id = " + QByteArray::number(Db->AttachmentID()));
    killer->Commit();
    EXPECT_FALSE(Db->ExTestConnected(TOnLostConnectAction::laCloseConnect));
    EXPECT_FALSE(internal->Active());
    ASSERT_NO_THROW(Db->SetConnected(true));

    holdRow(40);
    delete Db;
    EXPECT_EQ(ReadInt(*other, ReadValue), 40);
    EXPECT_EQ(ReadInt(*other, OtherAttachments), 0);
}

TEST_F(TransactionTest, ForcedCloseEndsTransactionsAndDetachesWhateverDisconnectHandlersRaise) {
    TpFbDatabase* other = ConnectedDatabase(Form.get(), "other", Db->DBName());
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    const auto failing = [](TFbDatabase*) { throw platform::Exception(QStringLiteral("handler failed")); };
    Db->BeforeDisconnect = failing;
    Db->AddEvent(TFbDatabase::TNotice::BeforeDisconnect, this, failing);
    tr->StartTransaction();
    Exec(*tr, SetValue20);
    EXPECT_THROW(Db->ForceClose(), platform::Exception);
    EXPECT_FALSE(Db->Connected());
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(ReadInt(*other, OtherAttachments), 0);

    Db->SetConnected(true);
    tr->StartTransaction();
    Exec(*tr, SetValue20);
    delete Db;
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(ReadInt(*other, OtherAttachments), 0);
    EXPECT_EQ(ReadInt(*other, ReadValue), 10);
}
