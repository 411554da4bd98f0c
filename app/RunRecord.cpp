#include "RunRecord.h"

#include "lib/quorvel/Tmysystem.h"
#include "platform/Exceptions.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <cerrno>
#include <cmath>

using namespace platform;

namespace {

QString Iso(const QDateTime& moment) {
    // Local time with its offset: readable, and the same moment wherever it is read.
    return moment.toOffsetFromUtc(moment.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString Seconds(double seconds) {
    return QString::number(seconds, 'f', 3);
}

// The record's description of a run, as the check prints it.
QString RunText(const TRunRecord& r) {
    QString text = QStringLiteral("ostatni przebieg %1: zaktualizowane formy %2, z błędem %3, czas %4 s")
                       .arg(Iso(r.Start))
                       .arg(r.Updated)
                       .arg(r.Failed)
                       .arg(r.Duration, 0, 'f', 1);
    if (r.Ended == kRunStopped) text += QStringLiteral(", przerwany");
    if (r.Ended == kRunNotConnected) text += QStringLiteral(", brak połączenia z bazą");
    if (!r.Reason.isEmpty()) text += QStringLiteral(" (") + r.Reason + QLatin1Char(')');
    return text;
}

} // namespace

QString RunRecordFileName() {
    return quorvel::Tmysystem::MojKatalog() + QStringLiteral("last_run.txt");
}

void WriteRunRecord(const QString& fileName, const TRunRecord& r) {
    QString text = QStringLiteral("# Tarvelo: the last counter update run (tarvelo --check reads it)\n");
    text += QStringLiteral("start=") + Iso(r.Start) + QLatin1Char('\n');
    text += QStringLiteral("duration=") + Seconds(r.Duration) + QLatin1Char('\n');
    text += QStringLiteral("updated=%1\nfailed=%2\n").arg(r.Updated).arg(r.Failed);
    text += QStringLiteral("ended=") + r.Ended + QLatin1Char('\n');
    QString reason = r.Reason;
    reason.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    text += QStringLiteral("reason=") + reason + QLatin1Char('\n');
    text += QStringLiteral("last_success=") + (r.LastSuccess.isValid() ? Iso(r.LastSuccess) : QString()) +
            QLatin1Char('\n');
    // UTF-8 (with its mark, which the reader takes off): a reason may hold Polish letters.
    SaveTextFile(fileName, text, TTextEncoding::UTF8);
}

std::optional<TRunRecord> ReadRunRecord(const QString& fileName, QString& error) {
    error.clear();
    if (!QFileInfo::exists(fileName)) return std::nullopt;
    QString text;
    try {
        TTextEncoding encoding;
        text = LoadTextFile(fileName, encoding, 64 * 1024);
    } catch (const Exception& e) {
        error = e.Message();
        return std::nullopt;
    }
    TRunRecord r;
    QStringList seen;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const QString value = line.section(QLatin1Char('='), 1);
        bool ok = true;
        if (key == QLatin1String("start"))
            ok = (r.Start = QDateTime::fromString(value, Qt::ISODate)).isValid();
        else if (key == QLatin1String("duration"))
            r.Duration = value.toDouble(&ok);
        else if (key == QLatin1String("updated"))
            r.Updated = value.toInt(&ok);
        else if (key == QLatin1String("failed"))
            r.Failed = value.toInt(&ok);
        else if (key == QLatin1String("ended"))
            ok = QStringList{kRunOk, kRunSomeFailed, kRunStopped, kRunNotConnected}.contains(r.Ended = value);
        else if (key == QLatin1String("reason"))
            r.Reason = value;
        else if (key == QLatin1String("last_success"))
            ok = value.isEmpty() || (r.LastSuccess = QDateTime::fromString(value, Qt::ISODate)).isValid();
        else
            continue;
        if (!ok) {
            error = QStringLiteral("%1: błędna wartość %2").arg(QDir::toNativeSeparators(fileName), line);
            return std::nullopt;
        }
        seen << key;
    }
    for (const char* key : {"start", "duration", "updated", "failed", "ended"})
        if (!seen.contains(QLatin1String(key))) {
            error = QStringLiteral("%1: brak %2").arg(QDir::toNativeSeparators(fileName), QLatin1String(key));
            return std::nullopt;
        }
    return r;
}

TRunRecord NextRunRecord(const QString& fileName, TRunRecord run) {
    QString error;
    if (const std::optional<TRunRecord> previous = ReadRunRecord(fileName, error))
        run.LastSuccess = previous->LastSuccess;
    if (run.Ended == kRunOk) run.LastSuccess = run.End();
    return run;
}

QString RunMetricsText(const TRunRecord& r) {
    QString text;
    const auto metric = [&text](const char* name, const char* help, const QString& value) {
        text += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n%1 %3\n")
                    .arg(QLatin1String(name), QLatin1String(help), value);
    };
    const auto unixTime = [](const QDateTime& t) {
        return t.isValid() ? Seconds(double(t.toMSecsSinceEpoch()) / 1000.0) : QStringLiteral("0");
    };
    metric("tarvelo_last_run_timestamp_seconds", "When the last counter update run ended (Unix time).",
           unixTime(r.End()));
    metric("tarvelo_last_success_timestamp_seconds",
           "When the last run that wrote every mould's counter ended (Unix time); 0: none recorded.",
           unixTime(r.LastSuccess));
    metric("tarvelo_last_run_duration_seconds", "How long the last run took.", Seconds(r.Duration));
    metric("tarvelo_moulds_updated", "Moulds whose counter the last run wrote.", QString::number(r.Updated));
    metric("tarvelo_moulds_failed", "Moulds whose counter or history write failed in the last run.",
           QString::number(r.Failed));
    metric("tarvelo_last_run_success", "1 when the last run completed and wrote every mould, else 0.",
           QString::number(r.Ended == kRunOk ? 1 : 0));
    return text;
}

TCheckAnswer CheckRunRecord(const QString& fileName, const QDateTime& now, double maxAgeHours) {
    QString error;
    const std::optional<TRunRecord> record = ReadRunRecord(fileName, error);
    if (!record && error.isEmpty())
        return {CheckCritical, QStringLiteral("CRITICAL - brak zapisu przebiegu %1: program nie wykonał "
                                              "jeszcze żadnego przebiegu")
                                   .arg(QDir::toNativeSeparators(fileName))};
    if (!record) return {CheckUnknown, QStringLiteral("UNKNOWN - ") + error};
    const TRunRecord& r = *record;
    const QString perf = QStringLiteral(" | moulds=%1 failed=%2 duration=%3s")
                             .arg(r.Updated)
                             .arg(r.Failed)
                             .arg(Seconds(r.Duration));
    const QString limit = QLocale::c().toString(maxAgeHours, 'g', 6);
    if (!r.LastSuccess.isValid())
        return {CheckCritical, QStringLiteral("CRITICAL - żaden przebieg nie zapisał wszystkich form; ") +
                                   RunText(r) + perf};
    const double hours = double(r.LastSuccess.msecsTo(now)) / 3600000.0;
    if (hours > maxAgeHours)
        return {CheckCritical, QStringLiteral("CRITICAL - brak udanego przebiegu od %1 h (ostatni udany %2, "
                                              "limit %3 h); ")
                                       .arg(hours, 0, 'f', 1)
                                       .arg(Iso(r.LastSuccess), limit) +
                                   RunText(r) + perf};
    if (r.Ended != kRunOk) return {CheckWarning, QStringLiteral("WARNING - ") + RunText(r) + perf};
    return {CheckOk, QStringLiteral("OK - ") + RunText(r) + perf};
}
