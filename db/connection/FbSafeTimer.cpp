#include "FbSafeTimer.h"

#include "FbInternal.h"
#include <climits>

#include "platform/Application.h"

#include <QCoreApplication>
#include <QThread>
#include <ctime>
#include <mutex>

using namespace db::connection;

namespace {

// Runs f on the main thread and waits for it when called from another thread.
template <class F> void OnMainThread(QObject* context, F&& f) {
    if (!QCoreApplication::instance() || QThread::currentThread() == context->thread())
        f();
    else
        QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

// Every timer of the process. A tick finds its timer here; the list stays locked while the
// handler runs, so a timer destroyed on another thread waits for its running handler. The lock
// is recursive: handlers may create and destroy timers.
struct TTimerList {
    std::recursive_mutex Lock;
    QList<TFbCustomTimer*> Items;
};

// Never destroyed: timers are still removed from it while the program ends.
TTimerList& Timers() {
    static TTimerList* const list = new TTimerList;
    return *list;
}

} // namespace

quint32 db::connection::FbTickCount() {
    // The kernel's tick (a few milliseconds' resolution, as a tick counter has): read twice per
    // execution, where the precise clock would cost about as much as the layer's own work on a
    // statement's parameters.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return quint32(quint64(now.tv_sec) * 1000u + quint64(now.tv_nsec) / 1000000u);
}

TFbCustomTimer::TFbCustomTimer(platform::TComponent* owner) : platform::TComponent(owner) {
    FHandle = new QTimer();
    // Time-outs promise "between one and two intervals": no coarse early or late ticks.
    FHandle->setTimerType(Qt::PreciseTimer);
    if (QCoreApplication::instance()) FHandle->moveToThread(QCoreApplication::instance()->thread());
    QTimer* handle = FHandle;
    QObject::connect(FHandle, &QTimer::timeout, FHandle, [handle] { DispatchTick(handle); });
    TTimerList& list = Timers();
    std::lock_guard lock(list.Lock);
    list.Items.append(this);
}

TFbCustomTimer::~TFbCustomTimer() {
    {
        TTimerList& list = Timers();
        std::lock_guard lock(list.Lock);
        list.Items.removeAll(this);
    }
    QTimer* timer = FHandle;
    FHandle = nullptr;
    OnMainThread(timer, [timer] {
        timer->stop();
        QObject::disconnect(timer, nullptr, nullptr, nullptr);
        // The timer may be destroyed from inside its own tick.
        if (QCoreApplication::instance())
            timer->deleteLater();
        else
            delete timer;
    });
}

void TFbCustomTimer::SetEnabled(bool value) {
    if (value == FActive) return;
    FActive = value;
    Apply();
}

void TFbCustomTimer::SetInterval(int value) {
    FInterval = value;
    Apply();
}

void TFbCustomTimer::Restart() {
    if (FActive) Apply();
}

void TFbCustomTimer::Apply() {
    QTimer* timer = FHandle;
    const bool active = FActive && FInterval > 0;
    const int interval = FInterval;
    OnMainThread(timer, [timer, active, interval] {
        if (active)
            timer->start(interval);
        else
            timer->stop();
    });
}

void TFbCustomTimer::DispatchTick(QTimer* handle) {
    TTimerList& list = Timers();
    std::lock_guard lock(list.Lock);
    for (TFbCustomTimer* timer : list.Items) {
        if (timer->FHandle != handle) continue;
        if (!timer->FActive || !timer->OnTimer) return;
        // A tick comes from the event loop, which no exception may cross. The handler may
        // destroy the timer: it runs from a copy and nothing of the timer is touched afterwards.
        const std::function<void(TFbCustomTimer*)> handler = timer->OnTimer;
        platform::Guarded([timer, &handler] { handler(timer); });
        return;
    }
}

int db::connection::FbTimerCount() {
    TTimerList& list = Timers();
    std::lock_guard lock(list.Lock);
    return int(list.Items.size());
}

TFbCustomTimer* db::connection::SetTimeoutTimer(TFbCustomTimer*& timer, quint32 timeout,
                                                std::function<void()> onTick) {
    if (timeout == 0) {
        delete timer;
        timer = nullptr;
        return nullptr;
    }
    if (!timer) {
        timer = new TFbCustomTimer(nullptr);
        timer->OnTimer = [tick = std::move(onTick)](TFbCustomTimer*) { tick(); };
    }
    timer->SetInterval(int(qMin<quint32>(timeout, INT_MAX)));
    return timer;
}
