// The database's internal transaction and the server clock read at connect.
#include "QueryTestSupport.h"
#include "db/connection/FbInternal.h"

#include "platform/DateTime.h"

#include <cmath>

using namespace db::connection;

namespace {
constexpr double OneSecond = 1.0 / 86400.0;
}

class ServerClock : public QueryTest {
protected:
    // A connected database component on Form1 that counts the starts of its internal transaction.
    TpFbDatabase* Counted(const QString& file, int dialect, bool synchronize) {
        const QString path = Dir.filePath(file);
        RunIsql(SchemaScript(path, dialect));
        auto* database = new TpFbDatabase(Form.get());
        database->SetName(QStringLiteral("pFbDatabaseVorek"));
        database->SetDBName(path);
        database->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("lc_ctype=WIN1250")});
        database->SetSQLDialect(3);
        database->SetSynchronizeTime(synchronize);
        database->InternalTransaction()->AddEvent(TFbTransaction::TNotice::AfterStart, this,
                                                  [this](TFbTransaction*) { ++Starts; });
        database->SetConnected(true);
        return database;
    }
    int Starts = 0;
};

TEST_F(ServerClock, TheQueryTextFollowsTheDialect) {
    EXPECT_EQ(ServerTimeQuery(3), "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE");
    EXPECT_EQ(ServerTimeQuery(2), "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE");
    EXPECT_EQ(ServerTimeQuery(1), "SELECT CAST('NOW' AS DATE) from RDB$DATABASE");
}

TEST_F(ServerClock, ALocalServersTimeIsWithinASecondAndTheInternalTransactionIsEnded) {
    TpFbDatabase* database = Counted(QStringLiteral("vorek_mes.fdb"), 3, true);
    EXPECT_EQ(Starts, 1);
    EXPECT_LT(std::fabs(database->DifferenceTime()), OneSecond);
    TFbTransaction* internal = database->InternalTransaction();
    EXPECT_FALSE(internal->Active());
    EXPECT_EQ(internal->Timeout(), 1000u);
    EXPECT_EQ(internal->TimeoutAction(), TTransactionAction::TACommit);
    EXPECT_EQ(internal->TRParams().Strings(),
              QStringList({"write", "isc_tpb_nowait", "read_committed", "rec_version"}));
    EXPECT_EQ(internal->DefaultDatabase(), database);
    EXPECT_EQ(database->TransactionCount(), 0);

    const double server = database->GetServerTime();
    EXPECT_LT(std::fabs(platform::Now() - server), OneSecond);
    EXPECT_GT(server - std::floor(server), 0.0); // a time of day, not only a date
    EXPECT_FALSE(internal->Active());

    database->SetConnected(false);
    EXPECT_EQ(database->DifferenceTime(), 0.0);
    EXPECT_EQ(internal->Timeout(), 0u);
    EXPECT_EQ(ClientErrorOf(12, [&] { database->GetServerTime(); }),
              "Form1.pFbDatabaseVorek: Cannot perform operation -- DB is not open.");
    // A forced close (idle time-out, lost connection) forgets the difference as well.
    database->SetConnected(true);
    EXPECT_EQ(Starts, 3); // the connect, the call above and the reconnect
    database->ForceClose();
    EXPECT_EQ(database->DifferenceTime(), 0.0);
}

TEST_F(ServerClock, ADialectOneDatabaseIsAskedWithTheDateForm) {
    TpFbDatabase* database = Counted(QStringLiteral("dialect1.fdb"), 1, true);
    EXPECT_EQ(database->SQLDialect(), 1);
    EXPECT_EQ(Starts, 1);
    // A dialect-1 DATE carries the time of day: the difference is still under a second.
    EXPECT_LT(std::fabs(database->DifferenceTime()), OneSecond);
    EXPECT_FALSE(database->InternalTransaction()->Active());
}

TEST_F(ServerClock, WithoutSynchronisationNoStatementRuns) {
    platform::SetClock([] { return 1000.5; });
    TpFbDatabase* database = Counted(QStringLiteral("nosync.fdb"), 3, false);
    platform::SetClock({});
    EXPECT_EQ(Starts, 0);
    EXPECT_EQ(database->DifferenceTime(), 0.0);
    EXPECT_FALSE(database->InternalTransaction()->Active());
}

TEST_F(ServerClock, TheDifferenceIsLocalTimeMinusServerTime) {
    // A local clock one hour ahead of the server's.
    platform::SetClock([] {
        QDateTime now = QDateTime::currentDateTime();
        return platform::EncodeDate(now.date().year(), now.date().month(), now.date().day()) +
               platform::EncodeTime(now.time().hour(), now.time().minute(), now.time().second(),
                                    now.time().msec()) +
               1.0 / 24.0;
    });
    TpFbDatabase* database = Counted(QStringLiteral("ahead.fdb"), 3, true);
    platform::SetClock({});
    EXPECT_NEAR(database->DifferenceTime(), 1.0 / 24.0, OneSecond);
}

TEST_F(ServerClock, TheInternalTransactionIsNamedAfterItsDatabaseWhenLoaded) {
    auto* form = new platform::TComponent(Form.get());
    form->BeginLoading();
    auto* database = new TpFbDatabase(form);
    database->SetName(QStringLiteral("pFbDatabaseFormy"));
    form->EndLoading();
    EXPECT_EQ(database->InternalTransaction()->Name(), "pFbDatabaseFormy_InternalTransaction");
}
