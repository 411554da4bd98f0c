#include "RunModes.h"
#include "Unit1.h"

#include "lib/quorvel/Tmylib.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <sys/stat.h>
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

// Qt also loads plugins from the program's own folder, in which the group may create folders: a
// member could put a plugin there for every other user's window, the service and root to load.
// The application object adds that folder to the plugin paths when it is made, but then takes
// out what the paths held before and the paths set by hand do not: so the folder is made one of
// the paths (through QT_PLUGIN_PATH, for that moment) and left out of those set.
void LeaveOwnFolderOutOfPluginPaths() {
    const QString own = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    if (own.isEmpty()) return;
    const bool had = qEnvironmentVariableIsSet("QT_PLUGIN_PATH");
    const QByteArray before = qgetenv("QT_PLUGIN_PATH");
    qputenv("QT_PLUGIN_PATH", own.toLocal8Bit() + QDir::listSeparator().toLatin1() + before);
    QStringList paths = QCoreApplication::libraryPaths();
    paths.removeAll(own);
    QCoreApplication::setLibraryPaths(paths);
    if (had)
        qputenv("QT_PLUGIN_PATH", before);
    else
        qunsetenv("QT_PLUGIN_PATH");
}

} // namespace

int main(int argc, char* argv[]) {
    // The month's log beside the program is shared by the group that runs it (the service and
    // the desktop users): whoever creates it first, the group may read and append to it.
    umask(umask(0) & ~mode_t(S_IRGRP | S_IWGRP));
    LeaveOwnFolderOutOfPluginPaths();

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
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    return app.exec();
}
