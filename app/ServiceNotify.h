#pragma once
// Tells systemd how a service of Type=notify is doing: that start-up is done, that the program is
// alive (the watchdog), and a line of status for "systemctl status". libsystemd is loaded when
// the service manager asks for notifications (NOTIFY_SOCKET), so the program needs it only there
// and runs where it is missing; without it, or outside such a service, every call does nothing.

#include <QString>
#include <chrono>

namespace servicenotify {

// Start-up has finished: "READY=1".
void Ready();
// "STATUS=<line>": shown by systemctl status.
void Status(const QString& line);
// The watchdog's interval (WATCHDOG_USEC, when it is meant for this process); zero: none asked for.
std::chrono::microseconds WatchdogInterval();
// "WATCHDOG=1" when a watchdog is asked for and a quarter of its interval has passed since the
// last one (always, with force): cheap enough to call between moulds.
void Watchdog(bool force = false);

} // namespace servicenotify
