#include "RunInterrupt.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono;

namespace {

std::atomic<TRunInterrupt*> gCurrent{nullptr};

// How long a cancelled call may take to return before the attachment is aborted: a server that
// stopped answering never takes a plain cancellation.
constexpr milliseconds kCancelGrace{500};

QString SignalName(int signo) {
    switch (signo) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QString::number(signo);
    }
}

} // namespace

struct TRunInterrupt::State {
    int SignalFd = -1;
    int WakeFd = -1;
    bool QuitEventLoop = false;
    std::thread Watcher;

    std::atomic<bool> Signalled{false};
    std::atomic<bool> TimedOut{false};

    std::mutex Lock;
    std::condition_variable Changed;
    bool Ending = false;
    QString SignalReason;
    QString LimitReason;
    // The run in progress.
    bool RunActive = false;
    quint64 Generation = 0;
    bool ReachedStop = false;
    std::vector<TFbAttachmentCancel> Attachments;
    std::optional<steady_clock::time_point> Deadline;
    milliseconds Limit{0};

    void Wake() const {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = ::write(WakeFd, &one, sizeof one);
    }

    // Cancels the waiting call of the run in progress; aborts it when the run does not reach a
    // point where it can stop in time. Called with the lock held.
    void StopRun(std::unique_lock<std::mutex>& lock) {
        if (!RunActive) return;
        const quint64 run = Generation;
        for (const TFbAttachmentCancel& attachment : Attachments)
            attachment.Raise();
        const bool stopped = Changed.wait_for(lock, kCancelGrace,
                                              [&] { return !RunActive || Generation != run || ReachedStop; });
        if (!stopped)
            for (const TFbAttachmentCancel& attachment : Attachments)
                attachment.Abort();
    }

    void Run() {
        for (;;) {
            int timeout = -1;
            {
                std::lock_guard guard(Lock);
                if (Ending) return;
                if (RunActive && Deadline)
                    timeout = int(std::max<milliseconds::rep>(
                        0, duration_cast<milliseconds>(*Deadline - steady_clock::now()).count() + 1));
            }
            pollfd fds[2] = {{SignalFd, POLLIN, 0}, {WakeFd, POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0 && errno == EINTR) continue;
            if (fds[1].revents & POLLIN) {
                quint64 count;
                [[maybe_unused]] const ssize_t got = ::read(WakeFd, &count, sizeof count);
            }
            if (fds[0].revents & POLLIN) {
                int signo = 0;
                signalfd_siginfo info;
                while (::read(SignalFd, &info, sizeof info) == sizeof info)
                    signo = int(info.ssi_signo);
                if (signo == 0) continue;
                std::unique_lock lock(Lock);
                if (!Signalled) SignalReason = QStringLiteral("sygnał ") + SignalName(signo);
                Signalled = true;
                if (QuitEventLoop)
                    if (QCoreApplication* app = QCoreApplication::instance())
                        QMetaObject::invokeMethod(
                            app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
                StopRun(lock);
                continue;
            }
            std::unique_lock lock(Lock);
            if (RunActive && Deadline && steady_clock::now() >= *Deadline) {
                Deadline.reset();
                LimitReason = QStringLiteral("przekroczony limit czasu przebiegu (%1)")
                                  .arg(Limit.count() % 60000 == 0
                                           ? QStringLiteral("%1 min").arg(Limit.count() / 60000)
                                           : QStringLiteral("%1 s").arg(double(Limit.count()) / 1000.0));
                TimedOut = true;
                StopRun(lock);
            }
        }
    }
};

TRunInterrupt::TRunInterrupt(const sigset_t& signalSet, bool quitEventLoop)
    : FState(std::make_unique<State>()) {
    FState->QuitEventLoop = quitEventLoop;
    FState->SignalFd = signalfd(-1, &signalSet, SFD_CLOEXEC | SFD_NONBLOCK);
    FState->WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (FState->SignalFd < 0 || FState->WakeFd < 0) {
        if (FState->SignalFd >= 0) ::close(FState->SignalFd);
        if (FState->WakeFd >= 0) ::close(FState->WakeFd);
        throw std::system_error(errno, std::generic_category(), "signalfd/eventfd");
    }
    FState->Watcher = std::thread([state = FState.get()] { state->Run(); });
    gCurrent = this;
}

TRunInterrupt::~TRunInterrupt() {
    gCurrent = nullptr;
    {
        std::lock_guard guard(FState->Lock);
        FState->Ending = true;
    }
    FState->Wake();
    FState->Watcher.join();
    ::close(FState->SignalFd);
    ::close(FState->WakeFd);
}

TRunInterrupt* TRunInterrupt::Current() {
    return gCurrent;
}

bool TRunInterrupt::Requested() const {
    return FState->Signalled || FState->TimedOut;
}

QString TRunInterrupt::Reason() const {
    std::lock_guard guard(FState->Lock);
    return FState->Signalled ? FState->SignalReason : FState->LimitReason;
}

TRunInterrupt::TRunScope::TRunScope(std::vector<TFbAttachmentCancel> attachments, milliseconds limit)
    : FWatcher(Current()) {
    if (!FWatcher) return;
    State& state = *FWatcher->FState;
    {
        std::lock_guard guard(state.Lock);
        state.RunActive = true;
        state.ReachedStop = false;
        state.Attachments = std::move(attachments);
        state.Limit = limit;
        state.Deadline.reset();
        if (limit.count() > 0) state.Deadline = steady_clock::now() + limit;
        // A limit belongs to one run; a signal ends every run after it.
        state.TimedOut = false;
    }
    state.Wake();
}

TRunInterrupt::TRunScope::~TRunScope() {
    if (!FWatcher) return;
    State& state = *FWatcher->FState;
    {
        std::lock_guard guard(state.Lock);
        state.RunActive = false;
        ++state.Generation;
        state.Attachments.clear();
        state.Deadline.reset();
    }
    state.Changed.notify_all();
    state.Wake();
}

bool TRunInterrupt::TRunScope::StopHere() const {
    if (!FWatcher || !FWatcher->Requested()) return false;
    State& state = *FWatcher->FState;
    {
        std::lock_guard guard(state.Lock);
        state.ReachedStop = true;
    }
    state.Changed.notify_all();
    return true;
}
