#include "TestSupport.h"
#include "db/connection/FbSafeTimer.h"
#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>
#include <memory>

namespace {

// The application's arrangement: a window component "Form1" owning the database component.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FForm = std::make_unique<platform::TComponent>();
        FForm->SetName(Q("Form1"));
        FDatabase = new TpFbDatabase(FForm.get());
        FDatabase->SetName(Q("pFbDatabaseVorek"));
        FDatabase->SetDBParams(ApplicationParams());
        FDatabase->SetSQLDialect(3);
    }

    QString NewDatabase(const QString& fileName, const QString& charset = Q("WIN1250"), int dialect = 3) {
        const QString path = FDir.filePath(fileName);
        CreateDatabase(path, charset, dialect);
        return path;
    }

    template <class E, class F> E Expect(F&& f) {
        try {
            f();
        } catch (const E& e) {
            return e;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "other exception: " << e.what();
            throw;
        }
        ADD_FAILURE() << "nothing raised";
        throw std::logic_error("nothing raised");
    }

    QTemporaryDir FDir;
    std::unique_ptr<platform::TComponent> FForm;
    TpFbDatabase* FDatabase = nullptr;
};

// A transaction with uncommitted work, ended by the database's disconnect.
class TestTransaction : public IFbTransactionLink {
public:
    explicit TestTransaction(TFbDatabase& database) : FDatabase(&database) { database.AddTransaction(this); }
    ~TestTransaction() override {
        if (FDatabase) FDatabase->RemoveTransaction(this);
    }
    void Start() {
        struct {
            isc_db_handle* Database;
            int Length;
            const char* Tpb;
        } teb{FDatabase->HandleAddress(), 0, nullptr};
        FDatabase->Call(FDatabase->ClientLibrary().isc_start_multiple(StatusVector(), &FHandle, short(1),
                                                                      static_cast<void*>(&teb)),
                        true);
    }
    void Execute(const char* sql) {
        FDatabase->Call(FDatabase->ClientLibrary().isc_dsql_execute_immediate(
                            StatusVector(), FDatabase->HandleAddress(), &FHandle,
                            static_cast<unsigned short>(0), sql, static_cast<unsigned short>(3),
                            static_cast<const XSQLDA*>(nullptr)),
                        true);
    }
    bool InTransaction() const override { return FHandle != 0; }
    int DatabaseCount() const override { return FDatabase ? 1 : 0; }
    TFbDatabase* DefaultDatabase() const override { return FDatabase; }
    void OnDatabaseDisconnecting(TFbDatabase* database) override {
        ++Disconnecting;
        database->Call(database->ClientLibrary().isc_rollback_transaction(StatusVector(), &FHandle), true);
    }
    void OnDatabaseLostConnect(TFbDatabase*) override {
        ++LostConnect;
        FHandle = 0;
    }
    void OnDatabaseFree(TFbDatabase*) override { FDatabase = nullptr; }

    int Disconnecting = 0;
    int LostConnect = 0;

private:
    TFbDatabase* FDatabase;
    isc_tr_handle FHandle = 0;
};

int RowCount(const QString& path, const char* table) {
    const QString out =
        RunIsql(QStringLiteral("set list on;\nselect count(*) as n from %1;\n").arg(Q(table)), path);
    const QStringList words = out.simplified().split(QLatin1Char(' '));
    return words.size() >= 2 ? words[1].toInt() : -1;
}

} // namespace

TEST_F(DatabaseTest, AttachAndDetachEmbedded) {
    const QString path = NewDatabase(Q("vorek_mes.fdb"));
    FDatabase->SetDBName(path);
    EXPECT_EQ(FDatabase->FullName(), Q("Form1.pFbDatabaseVorek"));
    FDatabase->SetConnected(true);
    ASSERT_TRUE(FDatabase->Connected());
    const isc_db_handle handle = FDatabase->Handle();
    EXPECT_GT(FDatabase->AttachmentID(), 0);
    EXPECT_GT(FDatabase->BaseLevel(), 0);
    EXPECT_TRUE(FDatabase->TestConnected());

    // Connecting a connected database does nothing.
    FDatabase->SetConnected(true);
    EXPECT_EQ(FDatabase->Handle(), handle);

    FDatabase->SetConnected(false);
    EXPECT_FALSE(FDatabase->Connected());
    EXPECT_EQ(FDatabase->Handle(), 0);
    FDatabase->SetConnected(false);
    EXPECT_FALSE(FDatabase->TestConnected());

    // An operation on the closed database names it.
    const EFbClientError e = Expect<EFbClientError>([&] { FDatabase->BaseLevel(); });
    EXPECT_EQ(e.Message(), Q("Form1.pFbDatabaseVorek: Cannot perform operation -- DB is not open."));

    // And it connects again.
    FDatabase->SetConnected(true);
    EXPECT_TRUE(FDatabase->Connected());
}

TEST_F(DatabaseTest, ConnectionFactsForWin1250AndUtf8) {
    FDatabase->SetDBName(NewDatabase(Q("win.fdb")));
    FDatabase->SetConnected(true);
    EXPECT_TRUE(FDatabase->IsFirebirdConnect());
    EXPECT_EQ(FDatabase->FBAttachCharsetID(), 51);
    EXPECT_FALSE(FDatabase->IsUnicodeConnect());
    EXPECT_FALSE(FDatabase->IsNoneConnect());
    EXPECT_FALSE(FDatabase->IsKOI8Connect());
    EXPECT_FALSE(FDatabase->NeedUnicodeFieldsTranslation());
    EXPECT_FALSE(FDatabase->NeedUTFEncodeDDL());
    EXPECT_EQ(FDatabase->ServerMajorVersion(), 3);
    EXPECT_EQ(FDatabase->ServerMinorVersion(), 0);
    EXPECT_GT(FDatabase->ServerBuild(), 0);
    EXPECT_TRUE(FDatabase->FBVersion().startsWith(Q("LI-V3.0."))) << FDatabase->FBVersion().toStdString();
    EXPECT_EQ(FDatabase->ODSMajorVersion(), 12);
    EXPECT_EQ(FDatabase->DBSQLDialect(), 3);
    EXPECT_EQ(FDatabase->SQLDialect(), 3);
    FDatabase->SetConnected(false);

    TpFbDatabase unicode;
    unicode.SetDBParams(ApplicationParams(Q("tulipwand"), Q("UTF8")));
    unicode.SetDBName(NewDatabase(Q("utf.fdb"), Q("UTF8")));
    unicode.SetConnected(true);
    EXPECT_EQ(unicode.FBAttachCharsetID(), 4);
    EXPECT_TRUE(unicode.IsUnicodeConnect());
    EXPECT_FALSE(unicode.IsNoneConnect());
    EXPECT_TRUE(unicode.NeedUnicodeFieldsTranslation());
    EXPECT_TRUE(unicode.NeedUTFEncodeDDL());
    EXPECT_FALSE(unicode.IsKOI8Connect());
}

TEST_F(DatabaseTest, Dialect1DatabaseLowersSQLDialectSilently) {
    FDatabase->SetDBName(NewDatabase(Q("d1.fdb"), Q("WIN1250"), 1));
    EXPECT_EQ(FDatabase->SQLDialect(), 3);
    FDatabase->SetConnected(true);
    EXPECT_EQ(FDatabase->DBSQLDialect(), 1);
    EXPECT_EQ(FDatabase->SQLDialect(), 1);
    // Not above the database's dialect, never below 1.
    EXPECT_EQ(Expect<EFbClientError>([&] { FDatabase->SetSQLDialect(3); }).Message(),
              Q("SQL Dialect invalid"));
    EXPECT_EQ(Expect<EFbClientError>([&] { FDatabase->SetSQLDialect(0); }).SQLCode(), 61);
}

TEST_F(DatabaseTest, EmptyNameAndWrongPath) {
    const EFbClientError missing = Expect<EFbClientError>([&] { FDatabase->SetConnected(true); });
    EXPECT_EQ(missing.Message(), Q("Database name is missing."));
    EXPECT_FALSE(FDatabase->Connected());

    FDatabase->SetDBName(FDir.filePath(Q("no/such/dir/formy_db.fdb")));
    const EFbInterBaseError e = Expect<EFbInterBaseError>([&] { FDatabase->SetConnected(true); });
    EXPECT_FALSE(FDatabase->Connected());
    EXPECT_EQ(FDatabase->Handle(), 0);
    EXPECT_TRUE(e.Message().startsWith(Q("Form1.pFbDatabaseVorek:\r\n"))) << e.what();
    EXPECT_EQ(e.RaiserName(), Q("Form1.pFbDatabaseVorek"));
    EXPECT_EQ(e.SenderObj(), FDatabase);
    EXPECT_EQ(e.IBErrorCode(), isc_io_error);
    EXPECT_TRUE(
        e.IBMessage().startsWith(Q("I/O error during \"open\" operation for file \"") + FDatabase->DBName()))
        << e.what();
    EXPECT_TRUE(e.IBMessage().endsWith(Q(".\r\n")));
    EXPECT_EQ(e.Message(), Q("Form1.pFbDatabaseVorek:\r\n") + e.SQLMessage() + e.IBMessage());

    // Without raising, a failed attach just leaves the database closed.
    EXPECT_NO_THROW(FDatabase->Open(false));
    EXPECT_FALSE(FDatabase->Connected());
}

TEST_F(DatabaseTest, PathWithPolishLettersAttaches) {
    ASSERT_TRUE(QDir(FDir.path()).mkpath(Q("Łódź żółć")));
    const QString path = FDir.filePath(Q("Łódź żółć/formy_db.fdb"));
    CreateDatabase(path);
    FDatabase->SetDBName(path);
    FDatabase->SetConnected(true);
    EXPECT_TRUE(FDatabase->Connected());

    // The client's messages quote such a name readably.
    TpFbDatabase missing;
    missing.SetDBParams(ApplicationParams());
    missing.SetDBName(FDir.filePath(Q("Łódź żółć/brak.fdb")));
    const EFbInterBaseError e = Expect<EFbInterBaseError>([&] { missing.SetConnected(true); });
    EXPECT_TRUE(e.IBMessage().contains(Q("Łódź żółć/brak.fdb"))) << e.what();
}

TEST_F(DatabaseTest, AttachmentShapingPropertiesAreFrozenWhileConnected) {
    FDatabase->SetDBName(NewDatabase(Q("frozen.fdb")));
    FDatabase->SetConnected(true);
    const QString busy = Q("Cannot perform operation -- DB is currently open.");
    EXPECT_EQ(Expect<EFbClientError>([&] { FDatabase->SetDBName(Q("/tmp/other.fdb")); }).Message(), busy);
    EXPECT_EQ(Expect<EFbClientError>([&] { FDatabase->DBParams().Add(Q("sql_role_name=R")); }).Message(),
              busy);
    EXPECT_EQ(Expect<EFbClientError>([&] { FDatabase->ConnectParams().SetPassword(Q("x")); }).SQLCode(), 13);
    EXPECT_EQ(FDatabase->DBParams().Strings(), ApplicationParams());
    // The same name is no change.
    EXPECT_NO_THROW(FDatabase->SetDBName(FDatabase->DBName()));
}

TEST_F(DatabaseTest, BadParameterLineFailsTheConnectAndIsRetriedAfterFix) {
    FDatabase->SetDBName(NewDatabase(Q("params.fdb")));
    FDatabase->DBParams().Add(Q("page_size=4096"));
    EXPECT_EQ(Expect<EFbClientError>([&] { FDatabase->SetConnected(true); }).Message(),
              Q("DPB Constant (isc_dpb_page_size) is unsupported."));
    EXPECT_FALSE(FDatabase->Connected());
    FDatabase->DBParams().Delete(3);
    FDatabase->SetConnected(true);
    EXPECT_TRUE(FDatabase->Connected());
}

TEST_F(DatabaseTest, BeforeConnectCanCancelAndEventsRunInOrder) {
    FDatabase->SetDBName(NewDatabase(Q("events.fdb")));
    QStringList calls;
    FDatabase->BeforeConnect = [&](TpFbDatabase*, TDBParams& params, bool& doConnect) {
        calls << Q("before:") + params[0];
        doConnect = false;
    };
    FDatabase->SetConnected(true);
    EXPECT_FALSE(FDatabase->Connected());
    EXPECT_EQ(calls, QStringList{Q("before:user_name=SYSDBA")});

    calls.clear();
    FDatabase->BeforeConnect = nullptr;
    TFbBase first(nullptr), second(nullptr);
    first.SetDatabase(FDatabase);
    second.SetDatabase(FDatabase);
    for (auto [link, name] : {std::pair{&first, "a"}, std::pair{&second, "b"}}) {
        const QString n = Q(name);
        link->OnDatabaseConnecting = [&calls, n] { calls << n + Q(" connecting"); };
        link->OnDatabaseConnected = [&calls, n] { calls << n + Q(" connected"); };
        link->OnDatabaseDisconnecting = [&calls, n] { calls << n + Q(" disconnecting"); };
        link->OnDatabaseDisconnected = [&calls, n] { calls << n + Q(" disconnected"); };
    }
    FDatabase->AfterConnect() = [&](TFbDatabase* db) { calls << Q("after connect ") + db->Name(); };
    FDatabase->AddEvent(TFbDatabase::TNotice::Connected, &calls, [&](TFbDatabase*) { calls << Q("notice"); });
    FDatabase->BeforeDisconnect = [&](TFbDatabase*) { calls << Q("before disconnect"); };
    FDatabase->AfterDisconnect = [&](TFbDatabase* db) {
        calls << Q("after disconnect ") + (db->Connected() ? "on" : "off");
    };
    FDatabase->SetConnected(true);
    FDatabase->SetConnected(false);
    EXPECT_EQ(calls, (QStringList{Q("a connecting"), Q("b connecting"), Q("after connect pFbDatabaseVorek"),
                                  Q("notice"), Q("a connected"), Q("b connected"), Q("before disconnect"),
                                  Q("a disconnecting"), Q("b disconnecting"), Q("a disconnected"),
                                  Q("b disconnected"), Q("after disconnect off")}));
}

TEST_F(DatabaseTest, DisconnectEventErrorsAreReportedWithTheEventName) {
    FDatabase->SetDBName(NewDatabase(Q("boom.fdb")));
    FDatabase->SetConnected(true);
    FDatabase->BeforeDisconnect = [](TFbDatabase*) { RaiseFbError(0); };
    try {
        FDatabase->SetConnected(false);
        ADD_FAILURE() << "nothing raised";
    } catch (const EFbError& e) {
        ADD_FAILURE() << "a database error: " << e.what();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message(), Q("Error of Form1.pFbDatabaseVorek.BeforeDisconnect. Unknown error."));
    }
    EXPECT_TRUE(FDatabase->Connected());

    FDatabase->BeforeDisconnect = nullptr;
    FDatabase->AfterDisconnect = [](TFbDatabase*) { throw platform::Exception(Q("late")); };
    EXPECT_EQ(Expect<platform::Exception>([&] { FDatabase->SetConnected(false); }).Message(),
              Q("Error of Form1.pFbDatabaseVorek.AfterDisconnect. late"));
    EXPECT_FALSE(FDatabase->Connected());
}

TEST_F(DatabaseTest, LinksAreReplacedByTheLastAndClearedWhenTheDatabaseGoes) {
    auto* statement = new platform::TComponent(FForm.get());
    statement->SetName(Q("pFbQueryFormy"));
    auto a = std::make_unique<TFbBase>(statement);
    TFbBase b(nullptr), c(nullptr);
    a->SetDatabase(FDatabase);
    b.SetDatabase(FDatabase);
    c.SetDatabase(FDatabase);
    ASSERT_EQ(FDatabase->FbBaseCount(), 3);
    a.reset();
    EXPECT_EQ(FDatabase->FbBaseCount(), 2);
    EXPECT_EQ(FDatabase->FbBases(0), &c);
    EXPECT_EQ(FDatabase->FbBases(1), &b);
    // The moved link knows its place: removing it again leaves the other.
    c.SetDatabase(nullptr);
    EXPECT_EQ(FDatabase->FbBaseCount(), 1);
    EXPECT_EQ(FDatabase->FbBases(0), &b);

    TFbBase unlinked(statement);
    EXPECT_EQ(Expect<EFbClientError>([&] { unlinked.CheckDatabase(); }).Message(),
              Q("Database not assigned for Form1.pFbQueryFormy."));
    unlinked.SetDatabase(FDatabase);
    EXPECT_EQ(Expect<EFbClientError>([&] { unlinked.DBHandle(); }).SQLCode(), 12);

    int freed = 0;
    b.OnDatabaseFree = [&] { ++freed; };
    const int databases = FbDatabaseCount();
    FForm.reset();
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(b.Database(), nullptr);
    EXPECT_EQ(FbDatabaseCount(), databases - 1);
}

TEST_F(DatabaseTest, DisconnectRollsBackTheWorkOfItsTransactions) {
    const QString path = NewDatabase(Q("rollback.fdb"));
    RunIsql(Q("create table t (id integer);\ninsert into t values (1);\ncommit;\n"), path);
    FDatabase->SetDBName(path);
    FDatabase->SetConnected(true);
    {
        TestTransaction transaction(*FDatabase);
        transaction.Start();
        transaction.Execute("insert into t values (2)");
        EXPECT_EQ(FDatabase->ActiveTransactionCount(), 1);
        EXPECT_EQ(FDatabase->FirstActiveTransaction(), &transaction);
        FDatabase->SetConnected(false);
        EXPECT_EQ(transaction.Disconnecting, 1);
        EXPECT_FALSE(transaction.InTransaction());
    }
    EXPECT_EQ(FDatabase->TransactionCount(), 0);
    EXPECT_EQ(RowCount(path, "t"), 1);
}

TEST_F(DatabaseTest, DestroyingAConnectedDatabaseDetaches) {
    const QString path = NewDatabase(Q("destroy.fdb"));
    FDatabase->SetDBName(path);
    FDatabase->SetConnected(true);
    TestTransaction transaction(*FDatabase);
    transaction.Start();
    int destroyNotices = 0;
    FDatabase->AddEvent(TFbDatabase::TNotice::Destroy, this, [&](TFbDatabase*) { ++destroyNotices; });
    FForm.reset();
    EXPECT_EQ(destroyNotices, 1);
    EXPECT_EQ(transaction.Disconnecting, 1);
    // The file is free again: a new attachment with its own database succeeds and sees it.
    TpFbDatabase again;
    again.SetDBParams(ApplicationParams());
    again.SetDBName(path);
    again.SetConnected(true);
    EXPECT_TRUE(again.Connected());
}

TEST_F(DatabaseTest, DatabasesInUseAtProgramEndAreClosedWithTheirTransactionsEnded) {
    const QString path = NewDatabase(Q("atexit.fdb"));
    RunIsql(Q("create table t (id integer);\ninsert into t values (1);\ncommit;\n"), path);
    QProcess program;
    program.start(Q(CONNECTED_AT_EXIT_PATH), {path});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitCode(), 0);
    // The pending insert was committed by its transaction's time-out action.
    EXPECT_EQ(RowCount(path, "t"), 2);
}

TEST_F(DatabaseTest, ARefusedDetachIsRepeatedUntilTheAttachmentLetsGo) {
    const QString path = NewDatabase(Q("detach.fdb"));
    RunIsql(Q("create table t (id integer);\ninsert into t values (1);\ncommit;\n"), path);
    FDatabase->SetDBName(path);
    FDatabase->SetConnected(true);
    // A transaction the database does not know of holds a row: the server refuses the first detach.
    TestTransaction unknown(*FDatabase);
    FDatabase->RemoveTransaction(&unknown);
    unknown.Start();
    unknown.Execute("update t set id = 2");
    FDatabase->SetConnected(false);
    EXPECT_FALSE(FDatabase->Connected());
    EXPECT_EQ(
        RowCount(path,
                 "mon$attachments where mon$system_flag = 0 and mon$attachment_id <> current_connection"),
        0);
}

TEST_F(DatabaseTest, IdleTimeoutClosesUnlessTheHandlerKeepsTheConnection) {
    FDatabase->SetDBName(NewDatabase(Q("idle.fdb")));
    FDatabase->SetConnected(true);
    int asked = 0, timedOut = 0;
    quint32 lastIdle = 0;
    FDatabase->OnIdleConnect = [&](TFbDatabase*, quint32 idle, TActionOnIdle& action) {
        lastIdle = idle;
        if (++asked == 1) action = TActionOnIdle::aiKeepLiveConnect;
    };
    FDatabase->OnTimeout = [&](TFbDatabase*) { ++timedOut; };
    FDatabase->SetTimeout(150);
    EXPECT_TRUE(WaitFor([&] { return asked >= 1; }, 3000));
    EXPECT_TRUE(FDatabase->Connected());
    EXPECT_GE(lastIdle, 100u);
    EXPECT_TRUE(WaitFor([&] { return !FDatabase->Connected(); }, 3000));
    EXPECT_EQ(timedOut, 1);
    EXPECT_EQ(asked, 2);
    FDatabase->SetTimeout(0);
}

TEST_F(DatabaseTest, ClientCallsKeepAnIdleConnectionOpen) {
    FDatabase->SetDBName(NewDatabase(Q("busy.fdb")));
    FDatabase->SetConnected(true);
    FDatabase->SetTimeout(400);
    // Calls every 100 ms restart the idle period.
    for (int i = 0; i < 10; ++i) {
        WaitFor([] { return false; }, 100);
        ASSERT_TRUE(FDatabase->Connected()) << "closed after " << i;
        FDatabase->BaseLevel();
    }
    EXPECT_TRUE(WaitFor([&] { return !FDatabase->Connected(); }, 3000));
}

TEST_F(DatabaseTest, LoginDialogSeamIsOffByDefault) {
    FDatabase->SetDBName(NewDatabase(Q("login.fdb")));
    FDatabase->SetUseLoginPrompt(true);
    EXPECT_EQ(Expect<EFbClientError>([&] { FDatabase->SetConnected(true); }).Message(),
              Q("Operation cancelled at user's request."));
    EXPECT_FALSE(FDatabase->Connected());

    QString shown;
    SetFbLoginDialog([&](const QString& name, QString& user, QString& password, QString& role) {
        shown = name;
        EXPECT_EQ(user, Q("SYSDBA"));
        EXPECT_TRUE(password.isEmpty());
        password = Q("secret");
        role = Q("RDB$ADMIN");
        return true;
    });
    FDatabase->SetConnected(true);
    SetFbLoginDialog(nullptr);
    EXPECT_TRUE(FDatabase->Connected());
    EXPECT_EQ(shown, LoginDialogDatabaseName(FDatabase->DBName()));
    EXPECT_EQ(FDatabase->ConnectParams().Password(), Q("secret"));
    EXPECT_EQ(FDatabase->ConnectParams().RoleName(), Q("RDB$ADMIN"));

    const QString longName = Q("/home/operator/databases/production/2024/formy_db.fdb");
    EXPECT_EQ(LoginDialogDatabaseName(longName), longName.left(10) + Q("...") + longName.right(33));
    EXPECT_EQ(LoginDialogDatabaseName(longName.left(45)), longName.left(45));
}

TEST_F(DatabaseTest, ConnectedSetWhileLoadingConnectsWhenLoaded) {
    FDatabase->SetDBName(NewDatabase(Q("loaded.fdb")));
    FForm->BeginLoading();
    FDatabase->SetConnected(true);
    EXPECT_FALSE(FDatabase->Connected());
    FForm->EndLoading();
    EXPECT_TRUE(FDatabase->Connected());
}

TEST_F(DatabaseTest, AutoReconnectLetsCheckActiveConnect) {
    FDatabase->SetDBName(NewDatabase(Q("auto.fdb")));
    FDatabase->SetAutoReconnect(true);
    FDatabase->CheckActive(false);
    EXPECT_TRUE(FDatabase->Connected());
    EXPECT_FALSE(FDatabase->UseLoginPrompt());
}

TEST_F(DatabaseTest, LostConnectionIsDetectedAndRestored) {
    const QString path = NewDatabase(Q("lost.fdb"));
    FDatabase->SetDBName(path);
    FDatabase->SetConnected(true);
    TestTransaction transaction(*FDatabase);
    transaction.Start();
    TFbBase link(nullptr);
    int statementNotices = 0;
    link.OnDatabaseLostConnect = [&] { ++statementNotices; };
    link.SetDatabase(FDatabase);

    TpFbDatabase killer;
    killer.SetDBParams(ApplicationParams());
    killer.SetDBName(path);
    killer.SetConnected(true);
    ExecSQL(killer, QStringLiteral("delete from mon$attachments where mon$attachment_id = %1")
                        .arg(FDatabase->AttachmentID())
                        .toUtf8());

    FDatabase->SetWaitForRestoreConnect(100);
    int lost = 0, restored = 0;
    FDatabase->OnLostConnect = [&](TpFbDatabase*, EFbError& error, TOnLostConnectActions& actions, bool&) {
        ++lost;
        EXPECT_TRUE(error.Message().startsWith(Q("Form1.pFbDatabaseVorek:\r\n"))) << error.what();
        actions = TOnLostConnectAction::laWaitRestore;
    };
    FDatabase->AfterRestoreConnect = [&](TpFbDatabase*) { ++restored; };
    EXPECT_FALSE(FDatabase->ExTestConnected(TOnLostConnectAction::laCloseConnect));
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(FDatabase->Connected());
    EXPECT_EQ(transaction.LostConnect, 1);
    EXPECT_EQ(statementNotices, 1);
    EXPECT_TRUE(FDatabase->WaitingRestoreConnect());
    EXPECT_TRUE(WaitFor([&] { return restored == 1; }, 5000));
    EXPECT_TRUE(FDatabase->Connected());
    EXPECT_FALSE(FDatabase->WaitingRestoreConnect());
    EXPECT_TRUE(FDatabase->ExTestConnected(TOnLostConnectAction::laCloseConnect));
}

class RemoteDatabaseTest : public DatabaseTest {
protected:
    void SetUp() override {
        if (!ServerRunning()) GTEST_SKIP() << "loopback server not running (scripts/firebird-server start)";
        DatabaseTest::SetUp();
    }
};

TEST_F(RemoteDatabaseTest, AttachThroughTheLoopbackServer) {
    FDatabase->SetDBName(RemoteName(NewDatabase(Q("remote.fdb"))));
    FDatabase->SetConnected(true);
    EXPECT_TRUE(FDatabase->Connected());
    EXPECT_EQ(FDatabase->FBAttachCharsetID(), 51);
    EXPECT_EQ(FDatabase->ServerMajorVersion(), 3);
    FDatabase->SetConnected(false);
    EXPECT_FALSE(FDatabase->Connected());
}

TEST_F(RemoteDatabaseTest, WrongPasswordIsAStatusVectorError) {
    FDatabase->SetDBParams(ApplicationParams(Q("wrong")));
    FDatabase->SetDBName(RemoteName(NewDatabase(Q("password.fdb"))));
    const EFbInterBaseError e = Expect<EFbInterBaseError>([&] { FDatabase->SetConnected(true); });
    EXPECT_FALSE(FDatabase->Connected());
    EXPECT_TRUE(e.Message().startsWith(Q("Form1.pFbDatabaseVorek:\r\n"))) << e.what();
    EXPECT_EQ(e.IBErrorCode(), isc_login);
    EXPECT_EQ(e.IBMessage(),
              Q("Your user name and password are not defined. Ask your database administrator to "
                "set up a Firebird login.\r\n"));
    EXPECT_EQ(e.Message(), Q("Form1.pFbDatabaseVorek:\r\n") + e.SQLMessage() + e.IBMessage());
}

TEST_F(DatabaseTest, StoppedServerIsAStatusVectorError) {
    // Nothing listens on this port: the same answer as from a stopped server.
    FDatabase->SetDBName(RemoteName(FDir.filePath(Q("x.fdb")), 30599));
    const EFbInterBaseError e = Expect<EFbInterBaseError>([&] { FDatabase->SetConnected(true); });
    EXPECT_FALSE(FDatabase->Connected());
    EXPECT_TRUE(e.Message().startsWith(Q("Form1.pFbDatabaseVorek:\r\n"))) << e.what();
    EXPECT_EQ(e.IBErrorCode(), isc_network_error);
    EXPECT_TRUE(e.IBMessage().startsWith(Q("Unable to complete network request to host \"127.0.0.1\".\r\n")))
        << e.what();
}
