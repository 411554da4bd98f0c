#include "app/Unit1.h"
#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"

#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// The window with the run replaced by a counter; the run may move the clock or fail.
class TCountingForm : public TForm1 {
public:
    using TForm1::TForm1;
    int Runs = 0;
    std::function<void()> DuringRun;
    void FireUpdate() override {
        ++Runs;
        if (DuringRun) DuringRun();
    }
};

struct DailyTriggerTest : ::testing::Test {
    QTemporaryDir dir;
    TDateTime clock = 0;
    QStringList boxes;
    std::unique_ptr<TCountingForm> form;

    void SetUp() override {
        quorvel::Tmysystem::OverrideDirectory(dir.path());
        Application().MessageBoxHook = [this](const QString& text, const QString&, bool) { boxes << text; };
        SetClock([this] { return clock; });
        TFormOptions options;
        options.DailyTrigger = false; // ticks are driven by the test
        form = std::make_unique<TCountingForm>(nullptr, options);
        form->godzina = 3;
    }
    void TearDown() override {
        form.reset();
        quorvel::Tmysystem::OverrideDirectory(QString());
        Application().MessageBoxHook = nullptr;
        SetClock({});
    }
    void SetTime(int day, int hour, int minute, int second) {
        clock = EncodeDate(2024, 10, day) + EncodeTime(hour, minute, second, 0);
    }
    // One tick at the given local time; returns the number of runs so far.
    int Tick(int day, int hour, int minute, int second) {
        SetTime(day, hour, minute, second);
        form->Timer1Timer(form.get());
        return form->Runs;
    }
};

} // namespace

TEST(DailyTriggerTimer, TicksEverySecondFromCreationUnlessDisabled) {
    Application().MessageBoxHook = [](const QString&, const QString&, bool) {};
    TForm1 window;
    EXPECT_EQ(window.Timer1->interval(), 1000);
    EXPECT_TRUE(window.Timer1->isActive());
    TFormOptions once;
    once.DailyTrigger = false;
    TForm1 single(nullptr, once);
    EXPECT_FALSE(single.Timer1->isActive());
    Application().MessageBoxHook = nullptr;
}

TEST_F(DailyTriggerTest, OneRunPerDayAtFivePastTheConfiguredHour) {
    EXPECT_EQ(Tick(1, 3, 4, 59), 0); // clear latch, other tick: nothing
    EXPECT_FALSE(form->f_blokady);
    EXPECT_EQ(Tick(1, 3, 5, 0), 1); // clear latch, HH:05: run, latch set
    EXPECT_TRUE(form->f_blokady);
    EXPECT_EQ(Tick(1, 3, 5, 1), 1); // set latch, configured hour: nothing
    EXPECT_EQ(Tick(1, 3, 59, 59), 1);
    EXPECT_TRUE(form->f_blokady);
    EXPECT_EQ(Tick(1, 4, 0, 0), 1); // set latch, other hour: cleared
    EXPECT_FALSE(form->f_blokady);
    EXPECT_EQ(Tick(1, 15, 5, 0), 1);
    EXPECT_EQ(Tick(2, 3, 5, 0), 2); // the next day
}

TEST_F(DailyTriggerTest, LongRunsAndLateStarts) {
    // A run lasting past its minute starts no second run at its end.
    form->DuringRun = [this] { SetTime(1, 3, 6, 30); };
    EXPECT_EQ(Tick(1, 3, 5, 0), 1);
    EXPECT_EQ(Tick(1, 3, 6, 31), 1);
    EXPECT_EQ(Tick(1, 4, 0, 0), 1);
    form->DuringRun = [this] { SetTime(2, 3, 5, 50); };
    EXPECT_EQ(Tick(2, 3, 5, 0), 2);
    EXPECT_EQ(Tick(2, 3, 5, 51), 2);
    // Started during the minute (a fresh program's latch is clear): the first tick runs;
    // started at 03:07: nothing that day.
    form->DuringRun = nullptr;
    form->f_blokady = false;
    EXPECT_EQ(Tick(3, 3, 5, 30), 3);
    form->f_blokady = false;
    for (int minute = 7; minute < 60; ++minute)
        EXPECT_EQ(Tick(4, 3, minute, 0), 3);
    EXPECT_EQ(Tick(4, 4, 0, 0), 3);
}

TEST_F(DailyTriggerTest, AnHourOutsideTheDayNeverFires) {
    for (quint16 hour : {24, 27}) {
        form->godzina = hour;
        for (int h = 0; h < 24; ++h)
            for (int minute : {0, 5, 6})
                Tick(1, h, minute, 0);
    }
    EXPECT_EQ(form->Runs, 0);
}

TEST_F(DailyTriggerTest, ClockChangesAndARepeatedHour) {
    EXPECT_EQ(Tick(1, 3, 5, 0), 1);
    // Set back within the hour: the latch holds.
    EXPECT_EQ(Tick(1, 3, 30, 0), 1);
    EXPECT_EQ(Tick(1, 3, 4, 0), 1);
    EXPECT_EQ(Tick(1, 3, 5, 0), 1);
    // Set back into the hour before: the latch clears and 03:05 runs again.
    EXPECT_EQ(Tick(1, 2, 59, 0), 1);
    EXPECT_EQ(Tick(1, 3, 5, 0), 2);
    // End of daylight saving time repeats the configured hour: no second run.
    EXPECT_EQ(Tick(27, 2, 0, 0), 2);
    EXPECT_EQ(Tick(27, 3, 5, 0), 3);
    EXPECT_EQ(Tick(27, 3, 59, 59), 3);
    EXPECT_EQ(Tick(27, 3, 0, 0), 3);
    EXPECT_EQ(Tick(27, 3, 5, 0), 3);
    EXPECT_EQ(Tick(27, 4, 0, 0), 3);
}

TEST_F(DailyTriggerTest, AFailedRunKeepsTheLatchAndIsShown) {
    form->DuringRun = [] { throw EInOutError(QStringLiteral("Zerwane połączenie")); };
    EXPECT_THROW(Tick(1, 3, 5, 0), EInOutError);
    EXPECT_TRUE(form->f_blokady);
    EXPECT_EQ(Tick(1, 3, 5, 1), 1);
    // A tick of the timer shows the failure in the error box instead of crossing the event loop.
    boxes.clear();
    EXPECT_EQ(Tick(1, 4, 0, 0), 1);
    SetTime(1, 3, 5, 2);
    QMetaObject::invokeMethod(form->Timer1, "timeout", Qt::DirectConnection);
    EXPECT_EQ(form->Runs, 2);
    EXPECT_EQ(boxes, QStringList{QStringLiteral("Zerwane połączenie.")});
}
