#pragma once
// The record of the last update run, kept beside the log for monitoring: what the run did and how
// it ended, and when the last run that wrote every mould ended. `tarvelo --check` answers from it
// as monitoring plugins do, and the same figures can go to a Prometheus textfile.

#include <QDateTime>
#include <QString>
#include <optional>

// How a run ended, as the record names it.
inline const QString kRunOk = QStringLiteral("ok");                  // every mould written
inline const QString kRunSomeFailed = QStringLiteral("some-failed"); // completed, some moulds failed
inline const QString kRunStopped = QStringLiteral("stopped");        // stopped by an error, signal or limit
inline const QString kRunNotConnected = QStringLiteral("not-connected"); // a database could not be connected

struct TRunRecord {
    QDateTime Start;
    double Duration = 0; // seconds
    int Updated = 0;
    int Failed = 0;
    QString Ended;
    QString Reason;        // why it stopped, one line; empty for a completed run
    QDateTime LastSuccess; // end of the last run that wrote every mould; not valid: none yet

    QDateTime End() const { return Start.addMSecs(qint64(Duration * 1000.0)); }
};

// The record's file in the program's folder.
QString RunRecordFileName();

// Written whole through a file beside it, flushed and renamed over the old one. Raises
// EFCreateError.
void WriteRunRecord(const QString& fileName, const TRunRecord& record);
// The record, or nothing with `error` set: no file (error empty) or one that cannot be read.
std::optional<TRunRecord> ReadRunRecord(const QString& fileName, QString& error);

// The record of a run that has just ended: its last success kept from the previous record (read
// from the file), or this run's end when it wrote every mould.
TRunRecord NextRunRecord(const QString& fileName, TRunRecord run);

// The node_exporter textfile of the record: HELP, TYPE and value of every figure.
QString RunMetricsText(const TRunRecord& record);

// Monitoring plugin statuses.
enum TCheckStatus : int { CheckOk = 0, CheckWarning = 1, CheckCritical = 2, CheckUnknown = 3 };
struct TCheckAnswer {
    TCheckStatus Status = CheckUnknown;
    QString Line; // one line, ending in performance data when a record was read
};
// The answer at `now`: OK when the last run wrote every mould and ended within maxAgeHours,
// WARNING when it is not so but a run wrote every mould within maxAgeHours, CRITICAL when none did
// (or no run was recorded yet), UNKNOWN when the record cannot be read.
TCheckAnswer CheckRunRecord(const QString& fileName, const QDateTime& now, double maxAgeHours);
