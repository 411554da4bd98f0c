#pragma once
// The command line: the window (default), one run without a window, the daily trigger without a
// window, and a dry run that only shows what a run would write.

#include <QString>
#include <QStringList>

class TForm1;

inline const QString kProgramCaption = QStringLiteral("Tarvelo    ver 2.0");

enum class TRunMode { Window, RunOnce, Headless, Help, Version, PrintSchedule, Check };

struct TCommandLine {
    TRunMode Mode = TRunMode::Window;
    bool DryRun = false;
    // --check: hours since the last successful run that are still OK (--max-age).
    double MaxAgeHours = 26;
    QString Error; // not empty: the command line is wrong
};

// Exit statuses of the command-line modes.
enum TExitStatus : int {
    ExitOk = 0,
    ExitRunStopped = 1,   // the run stopped with an error
    ExitNotConnected = 2, // start-up could not connect a database
    ExitSomeFailed = 3,   // the run completed, some mould's update or history failed
    ExitBusy = 4,         // another run on the same program folder did not end in time
    ExitUsage = 64,       // wrong command line
};

// The arguments after the program name.
TCommandLine ParseCommandLine(const QStringList& arguments);
QString UsageText();

// Line of the dry run's table and the last line of a single run, as printed.
QString DryRunTable(const TForm1& form);
QString RunSummaryLine(const TForm1& form, double seconds);

// The modes themselves, on an application object that exists; both return the exit status.
int RunOnce(bool dryRun);
int RunHeadless();
// The answer of the last run's record for a monitoring system: prints one line, returns the
// plugin status (0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN). Needs no application object.
int RunCheck(double maxAgeHours);
