// The counter update run of TForm1: the mould list, the cycle sums, the counter and history writes.
#include "UpdateRun.h"

#include "RunInterrupt.h"
#include "RunRecord.h"
#include "ServiceNotify.h"
#include "Unit1.h"
#include "db/connection/fb.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <exception>

#include <initializer_list>
#include <utility>

using namespace platform;
using namespace updaterun;

QString updaterun::DeltaText(int delta) {
    return delta == 0 ? QString() : QStringLiteral("+ {") + QString::number(delta) + QLatin1Char('}');
}

QString updaterun::OneLine(const QString& message) {
    const auto breaksLine = [](char16_t c) {
        return (c < 0x20 && c != u'\t') || c == 0x7F || c == 0x85 || c == 0x2028 || c == 0x2029;
    };
    if (std::none_of(message.begin(), message.end(), [&](QChar c) { return breaksLine(c.unicode()); }))
        return message;
    QString line;
    line.reserve(message.size() + 8);
    for (const QChar c : message) {
        const char16_t u = c.unicode();
        if (!breaksLine(u))
            line += c;
        else if (u == u'\r')
            line += QStringLiteral("\\r");
        else if (u == u'\n')
            line += QStringLiteral("\\n");
        else
            line += (u < 0x100 ? QStringLiteral("\\x") : QStringLiteral("\\u")) +
                    QString::number(u, 16).toUpper().rightJustified(u < 0x100 ? 2 : 4, QLatin1Char('0'));
    }
    return line;
}

QString updaterun::FailureLine(const std::exception& e) {
    QString message;
    if (const auto* fe = dynamic_cast<const EFbError*>(&e); fe && !fe->IBCause().isEmpty()) {
        return fe->IBCause();
    } else if (fe) {
        // The server's own text names the constraint or object; the generic SQL text and the
        // raising component's name do not tell the operator what failed.
        message = !fe->IBMessage().trimmed().isEmpty() ? fe->IBMessage() : fe->Message();
        const QString nameLine = fe->RaiserName() + QStringLiteral(":\r\n");
        if (!fe->RaiserName().isEmpty() && message.startsWith(nameLine)) message.remove(0, nameLine.size());
    } else if (const auto* pe = dynamic_cast<const Exception*>(&e)) {
        message = pe->Message();
    } else {
        message = QString::fromUtf8(e.what());
    }
    for (const QString& line : message.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty()) return trimmed;
    }
    return QString();
}

void TForm1::CreateRunComponents() {
    const auto transaction = [this](const char* name, TFbDatabase* database) {
        auto* t = new TpFbTransaction(this);
        t->SetName(QLatin1String(name));
        t->SetDefaultDatabase(database);
        t->SetTimeoutAction(TTransactionAction::TARollback);
        return t;
    };
    pFbTransaction1 = transaction("pFbTransaction1", pFbDatabaseFormy);
    pFbTransaction2 = transaction("pFbTransaction2", pFbDatabaseVorek);
    pFbTransaction3 = transaction("pFbTransaction3", pFbDatabaseFormy);

    pFbDataSetFormy = new TpFbDataSet(this);
    pFbDataSetFormy->SetName(QStringLiteral("pFbDataSetFormy"));
    pFbDataSetFormy->SetDatabase(pFbDatabaseFormy);
    pFbDataSetFormy->SetTransaction(pFbTransaction1);

    const auto query = [this](const char* name, TFbDatabase* database, TFbTransaction* t) {
        auto* q = new TpFbQuery(this);
        q->SetName(QLatin1String(name));
        q->SetDatabase(database);
        q->SetTransaction(t);
        return q;
    };
    pFbQueryVorek = query("pFbQueryVorek", pFbDatabaseVorek, pFbTransaction2);
    pFbQueryFormy = query("pFbQueryFormy", pFbDatabaseFormy, pFbTransaction3);
}

void TForm1::Reconnect() {
    const QDateTime start = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    try {
        // Vorek first, as at start-up; a connection that went away is closed by the test and
        // opened anew.
        for (TpFbDatabase* database : {pFbDatabaseVorek, pFbDatabaseFormy})
            if (!database->TestConnected()) database->SetConnected(true);
    } catch (...) {
        // A due run that could not connect is recorded as one, so monitoring sees the day fail;
        // the connection's failure is the one to report, not the record's.
        try {
            RecordRun(start, double(clock.nsecsElapsed()) / 1e9, kRunNotConnected, StopReason());
        } catch (...) {
        }
        throw;
    }
    if (mylogfile.isEmpty()) OpenMonthlyLog();
}

QString updaterun::StopReason() {
    if (const TRunInterrupt* interrupt = TRunInterrupt::Current(); interrupt && interrupt->Requested())
        return interrupt->Reason();
    try {
        throw;
    } catch (const std::exception& e) {
        return OneLine(FailureLine(e));
    } catch (...) {
        return QString();
    }
}

void TForm1::RecordRun(const QDateTime& start, double seconds, const QString& ended, const QString& reason) {
    if (FOptions.DryRun) return;
    TRunRecord run;
    run.Start = start;
    run.Duration = seconds;
    run.Updated = FLastRun.Updated;
    run.Failed = FLastRun.Failed;
    run.Ended = ended;
    run.Reason = reason;
    const QString recordFile = RunRecordFileName();
    run = NextRunRecord(recordFile, run);
    // Both are attempted; the first failure is raised after.
    std::exception_ptr failure;
    try {
        WriteRunRecord(recordFile, run);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!metricsFile.isEmpty()) {
        try {
            // Plain ASCII, so the ANSI code page writes it as UTF-8 without a mark, as Prometheus
            // reads it.
            SaveTextFile(metricsFile, RunMetricsText(run), TTextEncoding::Ansi);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

namespace {

// The run sets its texts anew for every mould. For its span the connections keep the prepared
// handles for the next mould; at its end they are dropped, so that the next run prepares against
// the tables as they are then (a kept handle would not see a table changed by another program).
class TRunStatementCache {
public:
    TRunStatementCache(std::initializer_list<TFbDatabase*> databases, int size) {
        if (size <= 0) return;
        for (TFbDatabase* database : databases) {
            FKept.push_back({database, database->StatementCacheSize()});
            database->SetStatementCacheSize(size);
        }
    }
    ~TRunStatementCache() {
        for (const auto& [database, size] : FKept)
            database->SetStatementCacheSize(size);
    }
    TRunStatementCache(const TRunStatementCache&) = delete;
    TRunStatementCache& operator=(const TRunStatementCache&) = delete;

private:
    std::vector<std::pair<TFbDatabase*, int>> FKept;
};

} // namespace

void TForm1::FireUpdate() {
    FLastRun = TRunSummary();
    const TRunStatementCache statementCache({pFbDatabaseFormy, pFbDatabaseVorek},
                                            FOptions.RunStatementCacheSize);
    TRunInterrupt::TRunScope scope(
        {pFbDatabaseFormy->AttachmentCancel(), pFbDatabaseVorek->AttachmentCancel()},
        std::chrono::minutes(runLimitMinutes));
    try {
        // Held for the run, its save and its record: two programs on one folder never overlap.
        const auto lock = LockFolder();
        const QDateTime start = QDateTime::currentDateTime();
        QElapsedTimer clock;
        clock.start();
        const auto seconds = [&clock] { return double(clock.nsecsElapsed()) / 1e9; };
        try {
            RunMoulds([&scope] { return scope.StopHere(); });
        } catch (...) {
            // The record tells of the stop; its own failure must not hide the run's.
            try {
                RecordRun(start, seconds(), kRunStopped, StopReason());
            } catch (...) {
            }
            throw;
        }
        RecordRun(start, seconds(), FLastRun.Failed > 0 ? kRunSomeFailed : kRunOk, QString());
    } catch (...) {
        // Stopped from outside (whatever the cancelled call raised): said once, in the log; the
        // moulds written so far stay written.
        const TRunInterrupt* interrupt = TRunInterrupt::Current();
        if (!interrupt || !interrupt->Requested()) throw;
        const QString text = QStringLiteral("przebieg przerwany: ") + interrupt->Reason();
        DoLogu(text, true);
        throw EAbort(text);
    }
}

void TForm1::RunMoulds(const std::function<bool()>& stopHere) {
    DoLogu(QStringLiteral("start sesji"));
    // setup.ini is read anew at every run, so a correction takes effect without a restart; once
    // per run, so that a run costs no more than the moulds and the file.
    const TIniSection deltas = sini->ReadSectionOnce(QStringLiteral("delta"));

    if (pFbDataSetFormy->Active()) pFbDataSetFormy->Close();
    pFbDataSetFormy->SelectSQL().SetStrings({kMouldListSQL});
    pFbDataSetFormy->Open();
    pFbDataSetFormy->First();

    while (!pFbDataSetFormy->Eof()) {
        if (stopHere()) throw EAbort(QString());
        // A long run is no hang: the service's watchdog hears so between moulds.
        servicenotify::Watchdog();
        const auto mouldName = [this] {
            return pFbDataSetFormy->FieldByName(QStringLiteral("nazwa")).AsString() + QLatin1Char('[') +
                   pFbDataSetFormy->FieldByName(QStringLiteral("kod1")).AsString();
        };
        DoLogu(QStringLiteral("Sprawdzenie formy: ") + mouldName() + QLatin1Char(']'));
        TRunMould mould;
        const int tid = pFbDataSetFormy->FieldByName(QStringLiteral("id_vorek")).AsInteger();
        mould.Id = pFbDataSetFormy->FieldByName(QStringLiteral("id")).AsInteger();
        mould.OldCounter = pFbDataSetFormy->FieldByName(QStringLiteral("counter")).AsInteger();
        mould.Nazwa = pFbDataSetFormy->FieldByName(QStringLiteral("nazwa")).AsString();

        const int sum = QueryCycleSum(tid);
        mould.Delta = deltas.ReadInteger(QString::number(mould.Id), 0);
        mould.NewCounter = AddWrapping(sum, mould.Delta);

        if (!FOptions.DryRun) {
            const std::optional<QString> updateFailure = UpdateMouldCounter(mould.Id, mould.NewCounter);
            std::optional<QString> historyFailure;
            if (add_hist) historyFailure = InsertCounterHistory(mould.Id, sum, mould.OldCounter);
            // A failed write is logged as such, never as done.
            if (updateFailure)
                DoLogu(QStringLiteral("  Błąd aktualizacji licznika formy :") + mouldName() +
                           QStringLiteral("]: ") + *updateFailure,
                       true);
            else
                DoLogu(QStringLiteral("  Zaktualizowano licznik formy :") + mouldName() +
                       QStringLiteral("]  stan: ") + QString::number(sum) + DeltaText(mould.Delta));
            if (historyFailure)
                DoLogu(QStringLiteral("  Błąd zapisu historii licznika formy :") + mouldName() +
                           QStringLiteral("]: ") + *historyFailure,
                       true);
            mould.Failed = updateFailure || historyFailure;
        }
        ++(mould.Failed ? FLastRun.Failed : FLastRun.Updated);
        FLastRun.Moulds.push_back(std::move(mould));
        pFbDataSetFormy->Next();
    }

    if (!FOptions.DryRun) SaveLog();
    FLastRun.Completed = true;
}

int TForm1::QueryCycleSum(int tid) {
    if (pFbTransaction2->Active()) pFbTransaction2->SetActive(false);
    pFbTransaction2->StartTransaction();
    pFbQueryVorek->SetSQL({kCycleSumSQL});
    pFbQueryVorek->ParamByName(QStringLiteral("tid")).SetAsInteger(tid);
    pFbQueryVorek->ExecQuery();
    return pFbQueryVorek->FieldByName(QStringLiteral("scykli")).AsInteger();
}

namespace {

// Runs one write in a transaction of its own. A failure is rolled back and reported by its first
// message line; when the transaction never started there is nothing to roll back and the failure
// itself escapes (the database is gone, so the run cannot go on).
template <class F> std::optional<QString> WriteInOwnTransaction(TpFbTransaction* transaction, F&& write) {
    try {
        if (transaction->Active()) transaction->SetActive(false);
        transaction->StartTransaction();
        write();
        transaction->Commit();
        return std::nullopt;
    } catch (const std::exception& e) {
        if (!transaction->Active()) throw;
        transaction->Rollback();
        return FailureLine(e);
    }
}

} // namespace

std::optional<QString> TForm1::UpdateMouldCounter(int id, int value) {
    return WriteInOwnTransaction(pFbTransaction3, [&] {
        pFbQueryFormy->Close();
        pFbQueryFormy->SetSQL({kCounterUpdateSQL1, kCounterUpdateSQL2});
        pFbQueryFormy->ParamByName(QStringLiteral("id")).SetAsInteger(id);
        pFbQueryFormy->ParamByName(QStringLiteral("counter")).SetAsInteger(value);
        pFbQueryFormy->ParamByName(QStringLiteral("counttch")).SetAsDateTime(Now());
        pFbQueryFormy->ExecQuery();
    });
}

std::optional<QString> TForm1::InsertCounterHistory(int id, int stan, int ostan) {
    return WriteInOwnTransaction(pFbTransaction3, [&] {
        pFbQueryFormy->Close();
        pFbQueryFormy->SetSQL({kHistorySQL});
        pFbQueryFormy->ParamByName(QStringLiteral("id_f")).SetAsInteger(id);
        pFbQueryFormy->ParamByName(QStringLiteral("stan")).SetAsInteger(stan);
        pFbQueryFormy->ParamByName(QStringLiteral("ostan")).SetAsInteger(ostan);
        pFbQueryFormy->ParamByName(QStringLiteral("id_p")).SetAsInteger(-1);
        pFbQueryFormy->ParamByName(QStringLiteral("lm")).SetAsInteger(0);
        pFbQueryFormy->ParamByName(QStringLiteral("opis")).SetAsString(QStringLiteral("Raport Vorek"));
        pFbQueryFormy->ExecQuery();
    });
}
