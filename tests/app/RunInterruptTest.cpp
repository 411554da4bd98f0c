#include "app/RunInterrupt.h"
#include "ComponentFixtures.h"
#include "FirebirdScript.h"
#include "app/Unit1.h"
#include "db/statements/pFbQuery.h"
#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"
#include "platform/DateTime.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace platform;
using namespace std::chrono_literals;

TEST(RunInterrupt, ATimeLimitCancelsTheWaitingCallAndHoldsForOneRunOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("busy.fdb"));
    RunIsql(QStringLiteral("create database '%1' user 'SYSDBA';\ncommit;\n").arg(path));
    TComponent owner;
    TpFbDatabase* database = ConnectedDatabase(&owner, QStringLiteral("db"), path);
    auto* query = new TpFbQuery(&owner);
    query->SetDatabase(database);
    query->SetTransaction(RollbackTransaction(&owner, QStringLiteral("t"), database));
    query->SetSQL({QStringLiteral("execute block as declare i bigint = 0; begin "
                                  "while (i < 100000000000) do i = i + 1; end")});

    sigset_t none;
    sigemptyset(&none);
    TRunInterrupt interrupt(none, false);
    {
        TRunInterrupt::TRunScope run({database->AttachmentCancel()}, 300ms);
        query->Transaction()->StartTransaction();
        // Hours of work, ended by the limit.
        EXPECT_THROW(query->ExecQuery(), EFbError);
        EXPECT_TRUE(run.StopHere());
        EXPECT_EQ(interrupt.Reason(), QStringLiteral("przekroczony limit czasu przebiegu (0.3 s)"));
    }
    TRunInterrupt::TRunScope next({database->AttachmentCancel()}, 0ms);
    EXPECT_FALSE(next.StopHere());
    // The connection was cancelled, not lost.
    query->Transaction()->Rollback();
    query->SetSQL({QStringLiteral("select 1 from rdb$database")});
    query->Transaction()->StartTransaction();
    EXPECT_NO_THROW(query->ExecQuery());
}

namespace {

class TCountingForm : public TForm1 {
public:
    using TForm1::TForm1;
    int Runs = 0;
    void FireUpdate() override { ++Runs; }
};

} // namespace

TEST(DailyTriggerAtStart, ATickDueWhileStartingUpRunsTheCompleteProgramsRunOnce) {
    QTemporaryDir dir;
    quorvel::Tmysystem::OverrideDirectory(dir.path());
    QFile ini(dir.filePath(QStringLiteral("setup.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[set]\ngodzina=3\n");
    ini.close();
    Application().MessageBoxHook = [](const QString&, const QString&, bool) {};
    SetClock([] { return EncodeDate(2024, 3, 5) + EncodeTime(3, 5, 0, 0); });
    // Start-up waits for a slow server: the one-second timer comes due meanwhile.
    bool waited = false;
    Application().ProcessMessagesHook = [&waited] {
        if (!waited) QThread::msleep(1100);
        waited = true;
        QCoreApplication::processEvents();
    };
    {
        TCountingForm form;
        Application().ProcessMessagesHook = nullptr;
        EXPECT_EQ(form.Runs, 0);
        QCoreApplication::processEvents();
        EXPECT_EQ(form.Runs, 1);
        form.Timer1Timer(&form);
        EXPECT_EQ(form.Runs, 1);
    }
    SetClock({});
    Application().MessageBoxHook = nullptr;
    quorvel::Tmysystem::OverrideDirectory(QString());
}
