#include "RunModes.h"

#include "RunInterrupt.h"
#include "RunRecord.h"
#include "ServiceNotify.h"
#include "Unit1.h"
#include "platform/Application.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <sys/stat.h>

using namespace platform;

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    bool runOnce = false, headless = false, help = false, version = false, schedule = false;
    bool check = false, maxAgeNext = false, maxAgeGiven = false;
    for (const QString& argument : arguments) {
        if (maxAgeNext) {
            maxAgeNext = false;
            bool ok = false;
            result.MaxAgeHours = QLocale::c().toDouble(argument, &ok);
            if (!ok || !(result.MaxAgeHours > 0)) {
                result.Error =
                    QStringLiteral("--max-age: liczba godzin większa od zera, nie %1").arg(argument);
                return result;
            }
            continue;
        }
        if (argument == QLatin1String("--check"))
            check = true;
        else if (argument == QLatin1String("--max-age"))
            maxAgeNext = maxAgeGiven = true;
        else if (argument == QLatin1String("--run-once"))
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
    if (maxAgeNext)
        result.Error = QStringLiteral("--max-age: brak liczby godzin");
    else if (maxAgeGiven && !check)
        result.Error = QStringLiteral("--max-age działa tylko z --check");
    else if (check && (runOnce || headless || result.DryRun))
        result.Error = QStringLiteral("--check nie łączy się z innymi opcjami przebiegu");
    else if (check)
        result.Mode = TRunMode::Check;
    else if (help)
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
        "  --check [--max-age GODZINY]  stan ostatniego przebiegu dla systemu monitorowania (kod wyjścia:\n"
        "                      0 OK, 1 WARNING część form z błędem, 2 CRITICAL brak udanego przebiegu\n"
        "                      od 26 (GODZINY) godzin, 3 UNKNOWN nieczytelny zapis przebiegu)\n"
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

// Whether the stream is the journal's: JOURNAL_STREAM names the device and inode of the stream
// systemd connected the service's output to (not of one it was redirected to since).
bool IsJournalStream(FILE* stream) {
    const QByteArray value = qgetenv("JOURNAL_STREAM");
    unsigned long long device = 0, inode = 0;
    char end = 0;
    if (std::sscanf(value.constData(), "%llu:%llu%c", &device, &inode, &end) != 2) return false;
    struct stat st;
    return ::fstat(fileno(stream), &st) == 0 && st.st_dev == dev_t(device) && st.st_ino == ino_t(inode);
}

// On the journal's stream every line starts with its syslog priority, which journald takes and
// removes: "<3>" an error, "<6>" information (so no line's own text is read as a priority). On a
// terminal, a file or a pipe the text goes as it is.
enum class TPriority { Info, Error };
void PrintUtf8(FILE* stream, const QString& text, TPriority priority = TPriority::Info) {
    static const bool journal[2] = {IsJournalStream(stdout), IsJournalStream(stderr)};
    if (journal[stream == stderr ? 1 : 0]) {
        const QString prefix =
            stream == stderr || priority == TPriority::Error ? QStringLiteral("<3>") : QStringLiteral("<6>");
        QString marked;
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            marked += prefix + line + QLatin1Char('\n');
        const QByteArray bytes = marked.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
        std::fflush(stream);
        return;
    }
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
    options.LogEcho = [](const QString& line, bool failure) {
        PrintUtf8(stdout, line + QLatin1Char('\n'), failure ? TPriority::Error : TPriority::Info);
    };
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
        if (!interrupt || !interrupt->Requested()) {
            // A scheduled run that could not connect is a failed day for monitoring.
            try {
                form.RecordRun(QDateTime::currentDateTime(), 0, kRunNotConnected, QString());
            } catch (...) {
                Application().HandleException();
            }
            return ExitNotConnected;
        }
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
    PrintUtf8(stdout, RunSummaryLine(form, double(clock.nsecsElapsed()) / 1e9) + QLatin1Char('\n'),
              status == ExitOk ? TPriority::Info : TPriority::Error);
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
            const QString line = RunSummaryLine(*this, double(clock.nsecsElapsed()) / 1e9);
            const bool failed = !LastRun().Completed || LastRun().Failed > 0;
            PrintUtf8(stdout, line + QLatin1Char('\n'), failed ? TPriority::Error : TPriority::Info);
            servicenotify::Status(line);
            // The run may have taken longer than the loop's timer waits.
            servicenotify::Watchdog(true);
        });
        TForm1::FireUpdate();
    }
};

} // namespace

int RunCheck(double maxAgeHours) {
    const TCheckAnswer answer =
        CheckRunRecord(RunRecordFileName(), QDateTime::currentDateTime(), maxAgeHours);
    PrintUtf8(stdout, answer.Line + QLatin1Char('\n'));
    return answer.Status;
}

int RunHeadless() {
    TFormOptions options = WindowlessOptions();
    options.ReconnectBeforeRun = true;
    THeadlessForm form(nullptr, options);
    // Under systemd (Type=notify): start-up is done, connected or not, and the event loop tells
    // the watchdog it is alive at half its interval (runs tell it between moulds).
    servicenotify::Ready();
    QTimer watchdog;
    if (const auto interval = servicenotify::WatchdogInterval(); interval.count() > 0) {
        QObject::connect(&watchdog, &QTimer::timeout, [] { servicenotify::Watchdog(true); });
        watchdog.start(
            int(std::clamp<long long>(interval.count() / 2000, 1, std::numeric_limits<int>::max())));
        servicenotify::Watchdog(true);
    }
    // A termination signal quits the loop; the form's end then rolls back and disconnects.
    QCoreApplication::exec();
    return ExitOk;
}
