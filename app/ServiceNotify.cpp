#include "ServiceNotify.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>

using namespace std::chrono;

namespace servicenotify {
namespace {

// The two calls of libsystemd's public interface (sd-daemon(3)) that the program uses.
using SdNotify = int (*)(int unsetEnvironment, const char* state);
using SdWatchdogEnabled = int (*)(int unsetEnvironment, uint64_t* usec);

struct TLibSystemd {
    SdNotify Notify = nullptr;
    microseconds Watchdog{0};
    QElapsedTimer SinceWatchdog;

    TLibSystemd() {
        // Outside a notify service there is nothing to tell: the library is not even loaded.
        if (qEnvironmentVariableIsEmpty("NOTIFY_SOCKET")) return;
        // Kept loaded for the life of the process.
        void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        Notify = reinterpret_cast<SdNotify>(dlsym(library, "sd_notify"));
        const auto watchdogEnabled =
            reinterpret_cast<SdWatchdogEnabled>(dlsym(library, "sd_watchdog_enabled"));
        uint64_t usec = 0;
        // Also checks WATCHDOG_PID: a watchdog asked of another process is not ours.
        if (Notify && watchdogEnabled && watchdogEnabled(0, &usec) > 0) Watchdog = microseconds(usec);
    }
    void Send(const QByteArray& state) const {
        if (Notify) Notify(0, state.constData());
    }
};

TLibSystemd& Lib() {
    static TLibSystemd lib;
    return lib;
}

} // namespace

void Ready() {
    Lib().Send("READY=1");
}

void Status(const QString& line) {
    // One line: the state's fields are separated by line breaks.
    QString text = line;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    Lib().Send("STATUS=" + text.toUtf8());
}

microseconds WatchdogInterval() {
    return Lib().Watchdog;
}

void Watchdog(bool force) {
    TLibSystemd& lib = Lib();
    if (lib.Watchdog.count() <= 0) return;
    if (!force && lib.SinceWatchdog.isValid() &&
        microseconds(lib.SinceWatchdog.nsecsElapsed() / 1000) < lib.Watchdog / 4)
        return;
    lib.Send("WATCHDOG=1");
    lib.SinceWatchdog.start();
}

} // namespace servicenotify
