#pragma once
// Interval timer of the database layer (idle connections, transaction time-outs, connection
// restore). Ticks always arrive on the main thread, whichever thread enables the timer; every
// timer is kept in one process-wide list, through which ticks find their handler.

#include "platform/Component.h"

#include <QTimer>
#include <functional>

class TFbCustomTimer : public platform::TComponent {
    Q_OBJECT
public:
    explicit TFbCustomTimer(platform::TComponent* owner = nullptr);
    ~TFbCustomTimer() override;

    bool Enabled() const { return FActive; }
    // Enabling an enabled timer does nothing; disabling stops it.
    void SetEnabled(bool value);
    int Interval() const { return FInterval; }
    // Stores the interval and restarts the period when the timer is enabled.
    void SetInterval(int value);
    // Starts the period again from now when the timer is enabled.
    void Restart();

    std::function<void(TFbCustomTimer* sender)> OnTimer;

private:
    void Apply();
    static void DispatchTick(QTimer* handle);

    bool FActive = false;
    int FInterval = 1000;
    QTimer* FHandle = nullptr;
};

namespace db::connection {
// Milliseconds from an arbitrary fixed point, wrapping at 2^32.
quint32 FbTickCount();
} // namespace db::connection
