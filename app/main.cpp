#include "RunInterrupt.h"
#include "RunModes.h"
#include "Schedule.h"
#include "Unit1.h"
#include "WindowPlacement.h"

#include "lib/quorvel/Tmylib.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>

namespace {

// Termination requests (log-out, service stop, Ctrl+C) are blocked in every thread from the
// start, so the database engine's own handlers never see them; our watcher reads them.
void BlockTerminationSignals(sigset_t& set) {
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// Without a session (cron, a service) XDG_RUNTIME_DIR is not set; Qt then uses a private folder of
// its own and says so on standard error, where cron mail and the journal would show it as a fault.
QtMessageHandler gNextMessageHandler = nullptr;

void SkipRuntimeFolderNote(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (gNextMessageHandler)
        gNextMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
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
    gNextMessageHandler = qInstallMessageHandler(SkipRuntimeFolderNote);

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
    if (commandLine.Mode == TRunMode::Check) return RunCheck(commandLine.MaxAgeHours);
    if (commandLine.Mode == TRunMode::Version) {
        std::fputs((kProgramCaption + QLatin1Char('\n')).toUtf8().constData(), stdout);
        return ExitOk;
    }
    if (commandLine.Mode == TRunMode::PrintSchedule) return PrintSchedule();
    // Without a window no display is needed.
    if (commandLine.Mode != TRunMode::Window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(true);
    // Termination requests are read by a thread of their own, so that they also reach a run
    // waiting in a client call; the window and --headless end on them like a closed window.
    TRunInterrupt interrupt(terminationSignals, commandLine.Mode != TRunMode::RunOnce);
    (void)mylib;

    if (commandLine.Mode == TRunMode::RunOnce) return RunOnce(commandLine.DryRun);
    if (commandLine.Mode == TRunMode::Headless) return RunHeadless();

    TForm1 form;
    QWidget* window = form.Window();
    ShowCentred(window);
    return app.exec();
}
