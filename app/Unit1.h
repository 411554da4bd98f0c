#pragma once
// The main window of the counter updater: reads setup.ini at start, composes the information
// text, keeps the operation log and its monthly file, runs the counter update daily and on demand.

#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/datasets/pFbDataSet.h"
#include "db/statements/pFbQuery.h"
#include "platform/Component.h"
#include "platform/Controls.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPushButton;
class QSystemTrayIcon;
class QTimer;
class QWidget;

namespace htmllabel {
class TMarkupLabel;
}

// How the program was started; the window with its daily trigger is the default.
struct TFormOptions {
    // The one-second timer of the daily trigger runs from creation.
    bool DailyTrigger = true;
    // A due run first connects a database that is not (or no longer) connected.
    bool ReconnectBeforeRun = false;
    // Runs read the moulds and sums but write nothing and do not save the log file.
    bool DryRun = false;
    // The notification-area icon exists; runs without a window have none.
    bool TrayIcon = true;
    // Prepared statements each connection keeps for reuse during an update run (dropped at its
    // end); 0: every text of the run is prepared anew.
    int RunStatementCacheSize = 8;
    // Receives every line added to the log view, from the first one on; failure: the line tells of
    // a failed mould or a stopped run.
    std::function<void(const QString& line, bool failure)> LogEcho;
    // How long a run waits for another run on the same program folder to end.
    int RunLockWaitMs = 60000;
};

// A run that did not start because another run (another program on the same folder) held the
// folder's lock for the whole wait.
class ERunBusy : public platform::Exception {
public:
    using Exception::Exception;
};

// What the last update run did, mould by mould.
struct TRunMould {
    int Id = 0;
    QString Nazwa;
    int OldCounter = 0;
    int NewCounter = 0;
    int Delta = 0;
    bool Failed = false;
};
struct TRunSummary {
    bool Completed = false;
    int Updated = 0;
    int Failed = 0;
    std::vector<TRunMould> Moulds;
};

class TForm1 : public platform::TComponent {
    Q_OBJECT
public:
    // Builds the window and its components, then runs the creation handler; an exception escaping
    // the handler goes to the default error display and the window is still created.
    explicit TForm1(platform::TComponent* owner = nullptr, const TFormOptions& options = {});
    ~TForm1() override;

    QWidget* Window() const { return FWindow; }
    const QString& InfoText() const { return FInfoText; }

    // Components of the stored layout.
    TpFbDatabase* pFbDatabaseFormy = nullptr;
    TpFbDatabase* pFbDatabaseVorek = nullptr;
    htmllabel::TMarkupLabel* MarkupLabel1 = nullptr;
    platform::TMemo* Memo1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QTimer* Timer1 = nullptr;
    QSystemTrayIcon* TrayIcon1 = nullptr;
    TpFbTransaction* pFbTransaction1 = nullptr;
    TpFbTransaction* pFbTransaction2 = nullptr;
    TpFbTransaction* pFbTransaction3 = nullptr;
    TpFbDataSet* pFbDataSetFormy = nullptr;
    TpFbQuery* pFbQueryVorek = nullptr;
    TpFbQuery* pFbQueryFormy = nullptr;

    // Settings and state.
    QString formybase;
    QString vorekbase;
    QString mylogfile;
    bool add_hist = false;
    bool loguj = false;
    bool f_blokady = false;
    quint16 godzina = 0;
    // Longest a run may take ([set] limit, minutes; 0: no limit): then it is stopped like a run
    // that lost its database.
    int runLimitMinutes = 60;
    // [monitoring] plik: the Prometheus textfile written after every run; empty: none.
    QString metricsFile;
    std::unique_ptr<platform::TIniFile> sini;

    void FormCreate(QObject* Sender);
    // Runs the update at once; the daily trigger's latch is left alone.
    void Button1Click(QObject* Sender);
    // Hides the window to the notification area; where its icon is not in one, minimises it, so the
    // window stays reachable.
    void Button2Click(QObject* Sender);
    // Restores the window: normal, visible and in front.
    void TrayIcon1Click(QObject* Sender);
    // Nothing of its own: closing the main window ends the program.
    void FormClose(QObject* Sender);
    // Whether the desktop offers a notification area; a seam for tests.
    std::function<bool()> TrayAvailable;
    // The icon is in a notification area, so a hidden window can be brought back.
    bool TrayIconShown() const;
    // Shows the icon again when a notification area has appeared since the last look.
    void WatchTray();
    // Appends a time-stamped line to the log view when logging is on.
    void DoLogu(const QString& sx, bool failure = false);
    // Brings the monthly file up to the log view: the first save writes the whole view, later ones
    // add the lines logged since (the view keeps only the newest lines). When that file exists but
    // could not be loaded at start, it is left as it is: the view goes to a file beside it instead
    // (named once, and named in a line added to the view).
    void SaveLog();

    // The daily trigger: starts the run at HH:05 of the configured hour, once per hour.
    void Timer1Timer(QObject* Sender);
    // The counter update run over every mould counted from the MES; failures of the list, the sums
    // or the log file escape it.
    virtual void FireUpdate();
    int QueryCycleSum(int tid);
    // Empty when written; otherwise the failure's first message line (the transaction rolled back).
    std::optional<QString> UpdateMouldCounter(int id, int value);
    std::optional<QString> InsertCounterHistory(int id, int stan, int ostan);
    const TRunSummary& LastRun() const { return FLastRun; }
    // The lock of the program folder that a run and its save hold, so that two programs on one
    // folder (the window and a cron job, two --run-once) never overlap: waits for it at most
    // Options().RunLockWaitMs, then raises ERunBusy. Where the folder cannot be locked at all (no
    // lock support), the run goes on without it.
    std::unique_ptr<platform::TFolderLock> LockFolder();
    const TFormOptions& Options() const { return FOptions; }
    // After a run (not a dry one): the record beside the log and the metrics file, with how the run
    // ended (see RunRecord.h) and why it stopped. Raises EFCreateError when one cannot be written.
    void RecordRun(const QDateTime& start, double seconds, const QString& ended, const QString& reason);

private:
    // The run itself; FireUpdate adds what ends it from outside.
    void RunMoulds(const std::function<bool()>& stopHere);
    // The trigger's decision at one moment; a due run starts from here.
    void DailyTick(double now);
    void StartDailyRun();
    void ShowInfoText();
    void CreateRunComponents();
    void CreateTimer();
    // Connects the database; on failure shows the message and returns false.
    bool ConnectDatabase(TpFbDatabase* database);
    // Names the monthly log file, loads it and logs the start.
    void OpenMonthlyLog();
    // Connects a database that is not connected or whose connection was lost; failures escape.
    void Reconnect();

    QWidget* FWindow = nullptr;
    QString FInfoText;
    bool FLogNotLoaded = false;
    // Until the creation handler is done, ticks only note the earliest moment they came at: a run
    // starts once the program is complete, from the event loop.
    bool FStarting = true;
    std::optional<double> FTickDuringStart;
    bool FTrayWasAvailable = false;
    QElapsedTimer FRestoring; // since the last click on the icon
    QString FLogBeside;
    TFormOptions FOptions;
    TRunSummary FLastRun;
};
