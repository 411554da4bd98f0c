#include "RunInterrupt.h"
#include "RunModes.h"
#include "Unit1.h"

#include "lib/quorvel/Tmylib.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <csignal>
#include <cstdio>

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

} // namespace

int main(int argc, char* argv[]) {
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
    if (commandLine.Mode == TRunMode::Version) {
        std::fputs((kProgramCaption + QLatin1Char('\n')).toUtf8().constData(), stdout);
        return ExitOk;
    }
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
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    return app.exec();
}
