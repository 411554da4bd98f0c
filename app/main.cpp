#include "RunModes.h"
#include "Unit1.h"
#include "WindowPlacement.h"

#include "lib/quorvel/Tmylib.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <cstdio>
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

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const TCommandLine commandLine = ParseCommandLine(arguments);
    if (!commandLine.Error.isEmpty()) {
        std::fprintf(stderr, "tarvelo: %s\n%s", commandLine.Error.toUtf8().constData(),
                     "Opcje programu: tarvelo --help\n");
        return ExitUsage;
    }
    if (commandLine.Mode == TRunMode::Help) {
        std::fputs(UsageText().toUtf8().constData(), stdout);
        return ExitOk;
    }
    if (commandLine.Mode == TRunMode::Version) {
        std::fputs((kProgramCaption + QLatin1Char('\n')).toUtf8().constData(), stdout);
        return ExitOk;
    }
    // Without a window no display is needed.
    if (commandLine.Mode != TRunMode::Window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(true);
    QuitOnTerminationSignals(app, terminationSignals);
    (void)mylib;

    if (commandLine.Mode == TRunMode::RunOnce) return RunOnce(commandLine.DryRun);
    if (commandLine.Mode == TRunMode::Headless) return RunHeadless();

    TForm1 form;
    QWidget* window = form.Window();
    ShowCentred(window);
    return app.exec();
}
