#include "Unit1.h"

#include "lib/quorvel/Tmylib.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// Termination requests (log-out, service stop, Ctrl+C) are blocked in every thread from the
// start, so the database engine's own handlers never see them, and are read here instead:
// they end the program the way closing the window does, disconnecting the databases in order.
void BlockTerminationSignals(sigset_t& set) {
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void QuitOnTerminationSignals(QApplication& app, const sigset_t& set) {
    const int fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [fd] {
        signalfd_siginfo info;
        while (::read(fd, &info, sizeof info) == sizeof info) {
        }
        QCoreApplication::quit();
    });
}

} // namespace

int main(int argc, char* argv[]) {
    sigset_t terminationSignals;
    BlockTerminationSignals(terminationSignals);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(true);
    QuitOnTerminationSignals(app, terminationSignals);
    (void)mylib;

    TForm1 form;
    QWidget* window = form.Window();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    return app.exec();
}
