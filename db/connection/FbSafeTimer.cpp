#include "FbSafeTimer.h"

#include "platform/Application.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

namespace {

// Runs f on the main thread and waits for it when called from another thread.
template <class F> void OnMainThread(QObject* context, F&& f) {
    if (!QCoreApplication::instance() || QThread::currentThread() == context->thread())
        f();
    else
        QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

} // namespace

quint32 FbTickCount() {
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TFbCustomTimer::TFbCustomTimer(platform::TComponent* owner) : platform::TComponent(owner) {
    FHandle = new QTimer();
    if (QCoreApplication::instance()) FHandle->moveToThread(QCoreApplication::instance()->thread());
    QObject::connect(FHandle, &QTimer::timeout, FHandle, [this] { Tick(); });
}

TFbCustomTimer::~TFbCustomTimer() {
    QTimer* timer = FHandle;
    FHandle = nullptr;
    OnMainThread(timer, [timer] { delete timer; });
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

void TFbCustomTimer::Tick() {
    if (!FActive || !OnTimer) return;
    // A tick comes from the event loop, which no exception may cross.
    platform::Guarded([this] { OnTimer(this); });
}
