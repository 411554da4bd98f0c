// The daily trigger of TForm1: a one-second timer and a latch that lets one run start per day,
// at the first tick of minute 5 of the configured hour.
#include "Unit1.h"

#include "platform/Application.h"
#include "platform/DateTime.h"

#include <QTimer>

using namespace platform;

void TForm1::CreateTimer() {
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    // Exceptions of a run end at the edge of the event loop, in the default error display.
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(this); }); });
    if (FOptions.DailyTrigger) Timer1->start();
}

void TForm1::Timer1Timer(QObject* /*Sender*/) {
    if (FStarting) {
        if (!FTickDuringStart) FTickDuringStart = Now();
        return;
    }
    DailyTick(Now());
}

void TForm1::DailyTick(double now) {
    int hour, minute, second, msec;
    DecodeTime(now, hour, minute, second, msec);
    // The latch is set before the run, so a run that fails keeps it set for the rest of the hour.
    if (hour == godzina && minute == 5 && !f_blokady) {
        f_blokady = true;
        StartDailyRun();
    }
    if (hour != godzina) f_blokady = false;
}

void TForm1::StartDailyRun() {
    if (FOptions.ReconnectBeforeRun) Reconnect();
    FireUpdate();
}
