// Idle time-outs of transactions and the interval timer behind them, driven by the event loop.
#include "TransactionTestSupport.h"
#include "db/connection/FbInternal.h"

#include "db/connection/FbSafeTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

using namespace db::connection;

namespace {

// Runs the event loop until `quit` is called or the guard time is over; false on the guard.
class TLoop {
public:
    explicit TLoop(int guardMs) {
        QObject::connect(&FGuard, &QTimer::timeout, &FLoop, [this] {
            FTimedOut = true;
            FLoop.quit();
        });
        FGuard.setSingleShot(true);
        FGuard.start(guardMs);
    }
    bool Run() {
        if (!FQuit) FLoop.exec();
        return !FTimedOut;
    }
    void Quit() {
        FQuit = true;
        FLoop.quit();
    }

private:
    QEventLoop FLoop;
    QTimer FGuard;
    bool FTimedOut = false;
    bool FQuit = false;
};

} // namespace

TEST_F(TransactionTest, IdleTransactionEndsBetweenOneAndTwoIntervalsAfterItsLastCall) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction2", Db);
    tr->SetTimeout(1000);
    QElapsedTimer clock;
    qint64 lastCall = -1, ended = -1;
    TLoop loop(6000);
    tr->OnTimeout = [&](TFbTransaction* sender) {
        EXPECT_EQ(sender, tr);
        EXPECT_FALSE(sender->Active());
        ended = clock.elapsed();
        loop.Quit();
    };
    clock.start();
    tr->StartTransaction();
    Exec(*tr, "insert into t values (2, 0)");
    // One more client call a while after the start, in the middle of an interval.
    QTimer::singleShot(300, [&] {
        TransactionInfo(*tr, isc_info_tra_id);
        lastCall = clock.elapsed();
    });
    ASSERT_TRUE(loop.Run()) << "no time-out within 6 s";
    ASSERT_GE(lastCall, 0);
    // Only the lower bound is a guarantee; how late the tick comes depends on the machine's load.
    EXPECT_GE(ended - lastCall, 1000);
    EXPECT_EQ(tr->State(), TTransactionState::tsClosed);
    EXPECT_EQ(ReadInt(*Db, "select count(*) from t where id = 2"), 0);
}

TEST_F(TransactionTest, ClientCallsKeepATransactionAliveAndItsTimeoutActionEndsIt) {
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->SetTimeoutAction(TTransactionAction::TACommit);
    tr->StartTransaction();
    // Set while active: the timer starts at once.
    tr->SetTimeout(800);
    Exec(*tr, "insert into t values (2, 0)");
    QElapsedTimer clock;
    clock.start();
    qint64 lastCall = 0, ended = -1;
    bool aliveAfterCalls = false;
    TLoop loop(8000);
    QTimer caller;
    QObject::connect(&caller, &QTimer::timeout, [&] {
        if (clock.elapsed() >= 2000) {
            caller.stop();
            aliveAfterCalls = tr->Active();
            return;
        }
        TransactionInfo(*tr, isc_info_tra_id);
        lastCall = clock.elapsed();
    });
    caller.start(100);
    tr->OnTimeout = [&](TFbTransaction*) {
        ended = clock.elapsed();
        loop.Quit();
    };
    ASSERT_TRUE(loop.Run());
    EXPECT_TRUE(aliveAfterCalls) << "ended at " << ended << " ms while called every 100 ms";
    // Only the lower bound is a guarantee; how late the tick comes depends on the machine's load.
    EXPECT_GE(ended - lastCall, 800);
    EXPECT_EQ(ReadInt(*Db, "select count(*) from t where id = 2"), 1);
}

TEST_F(TransactionTest, TimeoutTimerExistsOnlyWithATimeoutAndATimeoutHandlerMayDestroyTheTransaction) {
    const int timers = FbTimerCount();
    TpFbTransaction* tr = NewTransaction("pFbTransaction1", Db);
    tr->SetTimeout(100);
    EXPECT_EQ(FbTimerCount(), timers + 1);
    tr->SetTimeout(0);
    EXPECT_EQ(FbTimerCount(), timers);

    tr->SetTimeout(100);
    tr->StartTransaction();
    TLoop loop(3000);
    bool destroyed = false;
    QObject::connect(tr, &QObject::destroyed, [&] {
        destroyed = true;
        loop.Quit();
    });
    tr->OnTimeout = [](TFbTransaction* sender) { delete sender; };
    ASSERT_TRUE(loop.Run());
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(FbTimerCount(), timers);
    EXPECT_EQ(Db->TransactionCount(), 0);
    // Later events of the deleted timer do no harm.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(FbCustomTimer, TimerMadeAndEnabledOnAnotherThreadTicksOnTheMainThread) {
    TFbCustomTimer* timer = nullptr;
    QThread* tickThread = nullptr;
    int ticks = 0;
    TLoop loop(3000);
    QThread* worker = QThread::create([&] {
        timer = new TFbCustomTimer(nullptr);
        timer->SetInterval(50);
        timer->OnTimer = [&](TFbCustomTimer* sender) {
            EXPECT_EQ(sender, timer);
            tickThread = QThread::currentThread();
            if (++ticks == 2) loop.Quit();
        };
        timer->SetEnabled(true);
    });
    worker->start();
    ASSERT_TRUE(loop.Run());
    worker->wait();
    delete worker;
    EXPECT_EQ(tickThread, QCoreApplication::instance()->thread());
    delete timer;
}

TEST(FbCustomTimer, IntervalChangesRestartThePeriodAndRepeatedEnablingDoesNot) {
    TFbCustomTimer timer;
    QElapsedTimer clock;
    qint64 tick = -1;
    TLoop loop(3000);
    timer.OnTimer = [&](TFbCustomTimer* sender) {
        tick = clock.elapsed();
        sender->SetEnabled(false);
        loop.Quit();
    };
    timer.SetInterval(400);
    clock.start();
    timer.SetEnabled(true);
    // Enabling again at 200 ms keeps the period; setting the interval at 300 ms starts a new one.
    QTimer::singleShot(200, [&] { timer.SetEnabled(true); });
    QTimer::singleShot(300, [&] { timer.SetInterval(400); });
    ASSERT_TRUE(loop.Run());
    // A tick before 700 ms means a period was kept or restarted wrongly; lateness is load.
    EXPECT_GE(tick, 690);

    // Disabled timers do not tick; enabling with interval 0 does not tick either.
    tick = -1;
    timer.SetInterval(0);
    timer.SetEnabled(true);
    TLoop idle(300);
    EXPECT_FALSE(idle.Run());
    EXPECT_EQ(tick, -1);
}
