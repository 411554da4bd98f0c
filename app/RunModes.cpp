#include "RunModes.h"

#include "RunInterrupt.h"
#include "Unit1.h"
#include "platform/Application.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <cstdio>

using namespace platform;

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    bool runOnce = false, headless = false, help = false, version = false, schedule = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--run-once"))
            runOnce = true;
        else if (argument == QLatin1String("--headless"))
            headless = true;
        else if (argument == QLatin1String("--dry-run"))
            result.DryRun = true;
        else if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            help = true;
        else if (argument == QLatin1String("--version"))
            version = true;
        else if (argument == QLatin1String("--print-schedule"))
            schedule = true;
        else {
            result.Error = QStringLiteral("nieznana opcja: %1").arg(argument);
            return result;
        }
    }
    if (help)
        result.Mode = TRunMode::Help;
    else if (version)
        result.Mode = TRunMode::Version;
    else if (schedule && (runOnce || headless || result.DryRun))
        result.Error = QStringLiteral("--print-schedule nie łączy się z innymi opcjami");
    else if (schedule)
        result.Mode = TRunMode::PrintSchedule;
    else if (runOnce && headless)
        result.Error = QStringLiteral("--run-once i --headless wykluczają się");
    else if (result.DryRun && !runOnce)
        result.Error = QStringLiteral("--dry-run działa tylko z --run-once");
    else if (runOnce)
        result.Mode = TRunMode::RunOnce;
    else if (headless)
        result.Mode = TRunMode::Headless;
    return result;
}

QString UsageText() {
    return QStringLiteral(
        "Użycie: tarvelo [opcja]\n"
        "Bez opcji program otwiera okno i aktualizuje liczniki codziennie o godzinie z setup.ini.\n"
        "  --run-once          jedna aktualizacja bez okna, potem koniec\n"
        "                      (kod wyjścia: 0 wszystko zapisane, 3 część form z błędem,\n"
        "                      2 brak połączenia z bazą, 1 przebieg przerwany błędem,\n"
        "                      4 inny przebieg w tym katalogu nie skończył się w ciągu minuty)\n"
        "  --run-once --dry-run  tylko odczyt: tabela form z licznikami przed i po, nic nie jest zapisywane\n"
        "  --headless          codzienna aktualizacja bez okna; kończy ją SIGTERM, SIGINT lub SIGHUP\n"
        "  --print-schedule    godzina codziennej aktualizacji z setup.ini jako OnCalendar= timera systemd\n"
        "                      (kod wyjścia 1, gdy godzina jest spoza 0..23)\n"
        "  --version           wersja programu\n"
        "  --help              ten opis\n");
}

QString DryRunTable(const TForm1& form) {
    const auto row = [](const QString& id, const QString& name, const QString& oldCounter,
                        const QString& newCounter, const QString& delta) {
        return id.rightJustified(8) + QStringLiteral("  ") + name.leftJustified(40) + QStringLiteral("  ") +
               oldCounter.rightJustified(12) + QStringLiteral("  ") + newCounter.rightJustified(12) +
               QStringLiteral("  ") + delta.rightJustified(8) + QLatin1Char('\n');
    };
    QString table = row(QStringLiteral("id"), QStringLiteral("nazwa"), QStringLiteral("licznik"),
                        QStringLiteral("nowy licznik"), QStringLiteral("delta"));
    for (const TRunMould& m : form.LastRun().Moulds)
        table += row(QString::number(m.Id), m.Nazwa, QString::number(m.OldCounter),
                     QString::number(m.NewCounter), QString::number(m.Delta));
    return table;
}

QString RunSummaryLine(const TForm1& form, double seconds) {
    const TRunSummary& run = form.LastRun();
    QString line =
        form.Options().DryRun
            ? QStringLiteral("Sprawdzone formy: %1").arg(run.Moulds.size())
            : QStringLiteral("Zaktualizowane formy: %1, z błędem: %2").arg(run.Updated).arg(run.Failed);
    line += QStringLiteral(", czas: %1 s").arg(seconds, 0, 'f', 3);
    if (!run.Completed) line += QStringLiteral(" (przebieg przerwany)");
    return line;
}

namespace {

void PrintUtf8(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Without a window the message boxes become lines on standard error and the log lines go to
// standard output as they are logged, so cron mail and the journal show the run.
TFormOptions WindowlessOptions() {
    Application().MessageBoxHook = [](const QString& text, const QString& caption, bool) {
        PrintUtf8(stderr, caption + QStringLiteral(": ") + text + QLatin1Char('\n'));
    };
    TFormOptions options;
    options.TrayIcon = false;
    options.LogEcho = [](const QString& line) { PrintUtf8(stdout, line + QLatin1Char('\n')); };
    return options;
}

} // namespace

int RunOnce(bool dryRun) {
    TFormOptions options = WindowlessOptions();
    options.DailyTrigger = false;
    options.DryRun = dryRun;
    TForm1 form(nullptr, options);
    const TRunInterrupt* interrupt = TRunInterrupt::Current();
    const auto reportInterrupt = [interrupt] {
        PrintUtf8(stderr,
                  QStringLiteral("tarvelo: przebieg przerwany: ") + interrupt->Reason() + QLatin1Char('\n'));
    };
    if (!form.pFbDatabaseVorek->Connected() || !form.pFbDatabaseFormy->Connected()) {
        if (!interrupt || !interrupt->Requested()) return ExitNotConnected;
        reportInterrupt();
        return ExitRunStopped;
    }

    QElapsedTimer clock;
    clock.start();
    int status = ExitOk;
    try {
        form.FireUpdate();
        if (form.LastRun().Failed > 0) status = ExitSomeFailed;
    } catch (const ERunBusy&) {
        Application().HandleException();
        status = ExitBusy;
    } catch (...) {
        Application().HandleException();
        if (interrupt && interrupt->Requested()) reportInterrupt();
        status = ExitRunStopped;
    }
    if (dryRun && form.LastRun().Completed) PrintUtf8(stdout, DryRunTable(form));
    PrintUtf8(stdout, RunSummaryLine(form, double(clock.nsecsElapsed()) / 1e9) + QLatin1Char('\n'));
    return status;
}

namespace {

// Each daily run ends with the summary line of a single run, also when it stops with an error,
// so the journal shows how every run ended and how long it took.
class THeadlessForm : public TForm1 {
public:
    using TForm1::TForm1;
    void FireUpdate() override {
        QElapsedTimer clock;
        clock.start();
        const auto summary = qScopeGuard([&] {
            PrintUtf8(stdout, RunSummaryLine(*this, double(clock.nsecsElapsed()) / 1e9) + QLatin1Char('\n'));
        });
        TForm1::FireUpdate();
    }
};

} // namespace

int RunHeadless() {
    TFormOptions options = WindowlessOptions();
    options.ReconnectBeforeRun = true;
    THeadlessForm form(nullptr, options);
    // A termination signal quits the loop; the form's end then rolls back and disconnects.
    QCoreApplication::exec();
    return ExitOk;
}
