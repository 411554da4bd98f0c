// bench_peers: one case through one client API in this process, or (--matrix) the whole comparison.
//   bench_peers --api raw --case fetch --charset UTF8 --place embedded --dir /tmp/tarvelo-peers
//   bench_peers --list
//   bench_peers --matrix [options, see PeerMatrix.cpp]
// A single run prints "wall cpu server-cpu rows ids chars bytes stamps" on one line; any failure exits
// non-zero.

#include "PeerBench.h"

#include <QApplication>
#include <QTextStream>
#include <cstdio>
#include <exception>

#ifndef TARVELO_PEERS_QT
void AddQtApis(std::vector<TPeerApi>&) {}
#endif
#ifndef TARVELO_PEERS_SOCI
void AddSociApis(std::vector<TPeerApi>&) {}
#endif

namespace {

QString Option(const QStringList& arguments, const QString& name) {
    const qsizetype i = arguments.indexOf(name);
    return i >= 0 && i + 1 < arguments.size() ? arguments[i + 1] : QString();
}

int Fail(const QString& message) {
    std::fprintf(stderr, "bench_peers: %s\n", qPrintable(message));
    return 1;
}

// Before the clock: an empty insert table, and counters that the run must write.
void Prepare(const TPeerRun& run) {
    if (run.Case == TPeerCase::Insert)
        AdminExecute(run, QLatin1String(BigFile),
                     {QStringLiteral("recreate table ins_rows (id integer, txt varchar(60), ts timestamp)")});
    if (run.Case == TPeerCase::UpdateRun)
        AdminExecute(run, QLatin1String(FormyFile), {QStringLiteral("update formy set counter = 0")});
}

// After the clock: what the case wrote, counted in the database.
void Count(const TPeerRun& run, TPeerTally& tally) {
    if (run.Case == TPeerCase::Insert) {
        const QString rows = QLatin1String(BigFile);
        tally.Rows = AdminInteger(run, rows, QStringLiteral("select count(*) from ins_rows"));
        tally.Ids = AdminInteger(run, rows, QStringLiteral("select coalesce(sum(id), 0) from ins_rows"));
        tally.Chars = AdminInteger(run, rows,
                                   QStringLiteral("select coalesce(sum(char_length(txt)), 0) from ins_rows"));
        tally.Bytes = AdminInteger(
            run, rows, QStringLiteral("select coalesce(sum(octet_length(txt)), 0) from ins_rows"));
        tally.Stamps = AdminInteger(run, rows, QStringLiteral("select count(ts) from ins_rows"));
    }
    if (run.Case == TPeerCase::UpdateRun) {
        // Every mould has 100 production records of 50 cycles each.
        tally.Ids = AdminInteger(run, QLatin1String(FormyFile),
                                 QStringLiteral("select count(*) from formy where counter = 5000"));
    }
}

int RunOne(const QStringList& arguments) {
    TPeerRun run;
    if (!ParseCase(Option(arguments, QStringLiteral("--case")), run.Case))
        return Fail(QStringLiteral("unknown --case"));
    run.CharSet = Option(arguments, QStringLiteral("--charset"));
    if (run.CharSet != QStringLiteral("UTF8") && run.CharSet != QStringLiteral("WIN1250"))
        return Fail(QStringLiteral("--charset is UTF8 or WIN1250"));
    const QString place = Option(arguments, QStringLiteral("--place"));
    if (place != QStringLiteral("embedded") && place != QStringLiteral("remote"))
        return Fail(QStringLiteral("--place is embedded or remote"));
    run.Remote = place == QStringLiteral("remote");
    run.Dir = Option(arguments, QStringLiteral("--dir"));
    if (run.Dir.isEmpty()) return Fail(QStringLiteral("--dir is missing"));
    run.Sizes = TPeerSizes::FromEnvironment();
    const QString name = Option(arguments, QStringLiteral("--api"));
    for (const TPeerApi& api : AllApis()) {
        if (api.Name != name) continue;
        if (std::find(api.Cases.begin(), api.Cases.end(), run.Case) == api.Cases.end())
            return Fail(api.Name + QStringLiteral(" has no case ") + CaseName(run.Case));
        try {
            Prepare(run);
            TStopwatch clock;
            TPeerTally tally = api.Run(run, clock);
            Count(run, tally);
            std::printf("%.6f %.6f %.6f %lld %lld %lld %lld %lld\n", clock.Wall(), clock.Cpu(),
                        clock.ServerCpu(), tally.Rows, tally.Ids, tally.Chars, tally.Bytes, tally.Stamps);
            return 0;
        } catch (const std::exception& e) {
            return Fail(name + QLatin1Char(' ') + CaseName(run.Case) + QStringLiteral(": ") +
                        QString::fromUtf8(e.what()));
        }
    }
    return Fail(QStringLiteral("unknown --api ") + name);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without TZ glibc reads /etc/localtime at every date conversion; all APIs get the same zone.
    if (qEnvironmentVariableIsEmpty("TZ")) qputenv("TZ", "Europe/Warsaw");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.contains(QStringLiteral("--matrix"))) return RunMatrix(arguments);
    if (arguments.contains(QStringLiteral("--list"))) {
        for (const TPeerApi& api : AllApis()) {
            QStringList cases;
            for (TPeerCase c : api.Cases)
                cases << CaseName(c);
            std::printf("%s\t%s\t%s\n", qPrintable(api.Name), qPrintable(api.Label),
                        qPrintable(cases.join(',')));
        }
        return 0;
    }
    return RunOne(arguments);
}
