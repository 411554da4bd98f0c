// The driver of the comparison: creates the benchmark databases with isql, runs every case of every
// API in a process of its own (medians of a number of sets, the APIs in a rotating order within a
// set so that drift of the machine weighs on all alike), checks that each did the same work, and
// prints one Markdown table of the raw API's median times and the others' ratios to it.
//   bench_peers --matrix [--dir D] [--sets 3] [--apis raw,ours,...] [--cases fetch,...]
//                        [--charsets UTF8,WIN1250] [--places embedded,remote] [--reuse]
//                        [--remote-time wall|cpu]
// Remote cases are timed by the wall clock, or with --remote-time cpu (for a busy machine) by the CPU
// time of the process and of the loopback server together.
// Any failed run or wrong count ends the program with exit code 1.

#include "BenchDatabase.h"
#include "PeerBench.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <tuple>

namespace {

QString Option(const QStringList& arguments, const QString& name, const QString& fallback) {
    const qsizetype i = arguments.indexOf(name);
    return i >= 0 && i + 1 < arguments.size() ? arguments[i + 1] : fallback;
}

[[noreturn]] void Die(const QString& message) {
    std::fprintf(stderr, "bench_peers: %s\n", qPrintable(message));
    std::fflush(stdout);
    std::exit(1);
}

QString LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
               : QStringLiteral("?");
}

// The databases of one character set: the 1 000 000-row table (with its key) and the empty insert
// table in rows.fdb; the two databases of the update run beside it. No forced writes. Made anew for
// every comparison (the runs leave history rows and garbage behind), unless `reuse` asks to keep
// those of an earlier one of the same sizes, for a quick look.
void CreateDatabases(const QString& folder, const QString& charSet, const TPeerSizes& sizes, bool reuse) {
    const QString marker =
        QDir(folder).filePath(QStringLiteral("ready-%1-%2").arg(sizes.Rows).arg(sizes.Moulds));
    if (reuse && QFile::exists(marker)) return;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    std::fprintf(stderr, "creating the %s databases in %s\n", qPrintable(charSet), qPrintable(folder));
    const QString rows = QDir(folder).filePath(QLatin1String(BigFile));
    RunIsqlOrExit(
        QStringLiteral("set names UTF8;\n"
                       "create database '%1' user 'SYSDBA' default character set %2;\n"
                       "create table big_rows (id integer not null, txt varchar(60), ts timestamp);\n"
                       "create table ins_rows (id integer, txt varchar(60), ts timestamp);\n")
            .arg(rows, charSet) +
        BigRowsFillScript(sizes.Rows) +
        QStringLiteral(
            "commit;\nalter table big_rows add constraint big_rows_key primary key (id);\ncommit;\n"));
    const QString schema = QStringLiteral(TARVELO_SOURCE_DIR "/scripts/sql/");
    RunIsqlOrExit(
        QStringLiteral("create database '%1/%4' user 'SYSDBA' default character set %5;\n"
                       "input '%2formy.sql';\ncommit;\nset term ^;\n"
                       "execute block as declare i integer = 1; begin while (i <= %3) do begin\n"
                       "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values "
                       "(:i, 'Forma ' || :i, 'F-' || :i, 0, 1, :i); i = i + 1; end end^\nset term ;^\n"
                       "commit;\n"
                       "create database '%1/%6' user 'SYSDBA' default character set %5;\n"
                       "input '%2vorek.sql';\ncommit;\nset term ^;\n"
                       "execute block as declare i integer = 0; begin while (i < %3 * 100) do begin\n"
                       "insert into tools_data (id_t, cx) values (mod(:i, %3) + 1, 50); i = i + 1; end "
                       "end^\nset term ;^\ncommit;\n")
            .arg(folder, schema)
            .arg(sizes.Moulds)
            .arg(QLatin1String(FormyFile), charSet, QLatin1String(VorekFile)));
    for (const char* file : {BigFile, FormyFile, VorekFile})
        if (QProcess::execute(QStringLiteral("gfix"),
                              {QStringLiteral("-user"), QStringLiteral("SYSDBA"), QStringLiteral("-write"),
                               QStringLiteral("async"), QDir(folder).filePath(QLatin1String(file))}) != 0)
            Die(QStringLiteral("gfix failed on ") + QLatin1String(file));
    QFile(marker).open(QIODevice::WriteOnly);
}

struct TCell {
    TPeerCase Case;
    QString CharSet;
    QString Place;
    bool operator<(const TCell& o) const {
        return std::tie(Case, CharSet, Place) < std::tie(o.Case, o.CharSet, o.Place);
    }
};

// What every API must have seen in a cell; a value first reported by an API when not known beforehand.
struct TExpected {
    long long Rows = 0, Ids = 0, Stamps = -1;
    std::optional<long long> Chars, Bytes;
};

void CheckTally(const TCell& cell, const QString& api, const TPeerTally& t, TExpected& e) {
    const QString where = api + QLatin1Char(' ') + CaseName(cell.Case) + QLatin1Char(' ') + cell.CharSet +
                          QLatin1Char(' ') + cell.Place;
    auto wrong = [&](const char* what, long long got, long long want) {
        Die(QStringLiteral("%1: wrong %2: %3, expected %4")
                .arg(where, QLatin1String(what))
                .arg(got)
                .arg(want));
    };
    if (t.Rows != e.Rows) wrong("row count", t.Rows, e.Rows);
    if (t.Ids != e.Ids)
        wrong(cell.Case == TPeerCase::UpdateRun ? "count of updated counters" : "sum of ids", t.Ids, e.Ids);
    if (e.Stamps >= 0 && t.Stamps != e.Stamps) wrong("count of date-times", t.Stamps, e.Stamps);
    if (t.Chars >= 0) {
        if (!e.Chars) e.Chars = t.Chars;
        if (t.Chars != *e.Chars) wrong("text length (characters)", t.Chars, *e.Chars);
    }
    if (t.Bytes >= 0) {
        if (!e.Bytes) e.Bytes = t.Bytes;
        if (t.Bytes != *e.Bytes) wrong("text length (bytes)", t.Bytes, *e.Bytes);
    }
}

TExpected Expect(const TPeerRun& run) {
    const TPeerSizes& s = run.Sizes;
    TExpected e;
    switch (run.Case) {
    case TPeerCase::Fetch:
        e.Rows = e.Stamps = s.Rows;
        e.Ids = (long long)(s.Rows) * (s.Rows - 1) / 2;
        e.Chars = AdminInteger(run, QLatin1String(BigFile),
                               QStringLiteral("select sum(char_length(txt)) from big_rows"));
        e.Bytes = AdminInteger(run, QLatin1String(BigFile),
                               QStringLiteral("select sum(octet_length(txt)) from big_rows"));
        break;
    case TPeerCase::Insert: {
        e.Rows = e.Stamps = s.Inserts;
        e.Ids = (long long)(s.Inserts) * (s.Inserts - 1) / 2;
        long long chars = 0, bytes = 0;
        for (int i = 0; i < s.Inserts; ++i) {
            const QString text = InsertText(i % InsertValues);
            chars += text.size();
            bytes += run.CharSet == QStringLiteral("UTF8")
                         ? text.toUtf8().size()
                         : QByteArray(QStringEncoder("windows-1250").encode(text)).size();
        }
        e.Chars = chars;
        e.Bytes = bytes;
        break;
    }
    case TPeerCase::Point:
        e.Rows = e.Stamps = s.Points;
        for (int k = 0; k < s.Points; ++k)
            e.Ids += PointKey(k, s.Rows);
        break;
    case TPeerCase::UpdateRun:
        e.Rows = e.Ids = s.Moulds;
        break;
    case TPeerCase::Transaction:
        break;
    }
    return e;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

QString CaseTitle(TPeerCase c, const TPeerSizes& s) {
    // Thousands apart by spaces, as the issue writes them.
    auto n = [](int v) {
        QString digits = QString::number(v);
        for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
            digits.insert(i, QLatin1Char(' '));
        return digits;
    };
    switch (c) {
    case TPeerCase::Fetch:
        return QStringLiteral("fetch %1 rows, every column").arg(n(s.Rows));
    case TPeerCase::Insert:
        return QStringLiteral("%1 prepared inserts, one transaction").arg(n(s.Inserts));
    case TPeerCase::Point:
        return QStringLiteral("%1 point selects by key").arg(n(s.Points));
    case TPeerCase::UpdateRun:
        return QStringLiteral("update run, %1 moulds").arg(n(s.Moulds));
    case TPeerCase::Transaction:
        return QStringLiteral("transaction parameters");
    }
    return QString();
}

// Runs one case of one API in a process of its own; a failure ends the whole comparison.
TPeerTally RunProcess(const TPeerApi& api, TPeerCase c, const QString& charSet, const QString& place,
                      const QString& dir, double& wall, double& cpu, double& serverCpu) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--api"), api.Name, QStringLiteral("--case"), CaseName(c),
                   QStringLiteral("--charset"), charSet, QStringLiteral("--place"), place,
                   QStringLiteral("--dir"), dir});
    if (!process.waitForFinished(600000)) Die(api.Name + QStringLiteral(": no answer in 10 minutes"));
    const QString out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    const QString err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    const QStringList f = out.split(QLatin1Char(' '));
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || f.size() != 8)
        Die(QStringLiteral("%1 %2 %3 %4 failed (exit %5): %6 %7")
                .arg(api.Name, CaseName(c), charSet, place)
                .arg(process.exitCode())
                .arg(err, out));
    wall = f[0].toDouble();
    cpu = f[1].toDouble();
    serverCpu = f[2].toDouble();
    TPeerTally t;
    t.Rows = f[3].toLongLong();
    t.Ids = f[4].toLongLong();
    t.Chars = f[5].toLongLong();
    t.Bytes = f[6].toLongLong();
    t.Stamps = f[7].toLongLong();
    return t;
}

// The parameters of each API's transactions as the server's monitoring tables show them.
QString TransactionNotes(const std::vector<TPeerApi>& apis, const QString& charSet, const QString& dir) {
    QStringList notes;
    for (const TPeerApi& api : apis) {
        if (std::find(api.Cases.begin(), api.Cases.end(), TPeerCase::Transaction) == api.Cases.end())
            continue;
        double wall = 0, cpu = 0, serverCpu = 0;
        const TPeerTally t = RunProcess(api, TPeerCase::Transaction, charSet, QStringLiteral("embedded"), dir,
                                        wall, cpu, serverCpu);
        static const char* const isolations[] = {"consistency", "concurrency (snapshot)",
                                                 "read committed, record versions",
                                                 "read committed, no record versions"};
        const QString isolation = t.Ids >= 0 && t.Ids < 4 ? QLatin1String(isolations[t.Ids])
                                                          : QStringLiteral("isolation %1").arg(t.Ids);
        const QString wait = t.Rows == 0  ? QStringLiteral("nowait")
                             : t.Rows < 0 ? QStringLiteral("wait")
                                          : QStringLiteral("wait %1 s").arg(t.Rows);
        notes << QStringLiteral("%1: %2, %3, %4")
                     .arg(api.Label, isolation, wait,
                          t.Stamps ? QStringLiteral("read only") : QStringLiteral("write"));
    }
    return notes.join(QStringLiteral("; "));
}

// What the numbers mean and what could not be made equal; printed under the table.
const char* const Notes =
    "- ¹ Qt 6.4's driver always connects as UTF8: on the WIN1250 database the server transliterates every "
    "text.\n"
    "- Measured: transaction start, prepare, execution, every fetch, commit; not the attachment. Embedded: "
    "CPU time of the process (all the engine's work is in it); remote (loopback server): as said above.\n"
    "- Values read: raw API int, QString (decoded from the connection's character set), date-time as days "
    "since "
    "1899-12-30 (double); ours `AsInteger`, `AsString` (QString), `AsDateTime` (the same double); SOCI int, "
    "`std::string` decoded into QString as the raw API does, and `std::tm`; Qt SQL `QVariant` turned into "
    "int, QString and QDateTime.\n"
    "- Inserts bind an int, a text and a date-time from values made before the clock: texts as QString (the "
    "raw API encodes each per row into its buffer, SOCI into the bound `std::string`, ours and Qt convert "
    "it themselves).\n"
    "- Not equalised: Qt starts its transactions with the client's defaults (snapshot, wait), which its "
    "interface cannot change; SOCI's session transaction is restarted with the common parameters through its "
    "handle. Qt and SOCI close the cursor before every execute. Qt opens its transaction before prepare "
    "(else "
    "it would start one per statement).\n"
    "- Update run: ours is the application's run (`TForm1::FireUpdate`: the list through `TpFbDataSet`, the "
    "statements through `TpFbQuery`, whose texts are set anew per mould; the connection's statement cache "
    "gives them their handles prepared before, so each text is prepared once; \"statement cache off\" "
    "prepares per mould); the raw API issues the same statements in the same transactions, prepared per "
    "mould; Qt and SOCI likewise, but with one transaction per connection they need a second attachment to "
    "the Formy database. Ours, the raw API and SOCI connect as WIN1250, as the application does, on both "
    "databases.\n";

} // namespace

int RunMatrix(const QStringList& arguments) {
    const QString dir =
        Option(arguments, QStringLiteral("--dir"), QDir::temp().filePath(QStringLiteral("tarvelo-peers")));
    const int sets = Option(arguments, QStringLiteral("--sets"), QStringLiteral("3")).toInt();
    const QStringList charSets =
        Option(arguments, QStringLiteral("--charsets"), QStringLiteral("UTF8,WIN1250"))
            .split(QLatin1Char(','));
    const QStringList places =
        Option(arguments, QStringLiteral("--places"), QStringLiteral("embedded,remote"))
            .split(QLatin1Char(','));
    std::vector<TPeerCase> cases;
    for (const QString& name :
         Option(arguments, QStringLiteral("--cases"), QStringLiteral("fetch,insert,point,updaterun"))
             .split(QLatin1Char(','))) {
        TPeerCase c;
        if (!ParseCase(name, c)) Die(QStringLiteral("unknown case ") + name);
        cases.push_back(c);
    }
    std::vector<TPeerApi> apis = AllApis();
    const QString only = Option(arguments, QStringLiteral("--apis"), QString());
    if (!only.isEmpty()) {
        const QStringList names = only.split(QLatin1Char(','));
        std::erase_if(apis, [&](const TPeerApi& api) { return !names.contains(api.Name); });
    }
    if (apis.empty() || apis.front().Name != QStringLiteral("raw"))
        Die(QStringLiteral("the raw API is the baseline: keep it in --apis"));
    if (sets < 1) Die(QStringLiteral("--sets must be at least 1"));
    const QString remoteTime = Option(arguments, QStringLiteral("--remote-time"), QStringLiteral("wall"));
    if (remoteTime != QStringLiteral("wall") && remoteTime != QStringLiteral("cpu"))
        Die(QStringLiteral("--remote-time is wall or cpu"));
    const bool remoteCpu = remoteTime == QStringLiteral("cpu");
    const TPeerSizes sizes = TPeerSizes::FromEnvironment();

    for (const QString& charSet : charSets)
        CreateDatabases(QDir(dir).filePath(charSet), charSet, sizes,
                        arguments.contains(QStringLiteral("--reuse")));

    const QString transactions = TransactionNotes(apis, charSets.front(), dir);
    const QString loadBefore = LoadAverage();
    const auto started = std::chrono::steady_clock::now();
    std::map<TCell, TExpected> expected;
    std::map<std::pair<TCell, QString>, std::vector<double>> times;
    for (int set = 0; set < sets; ++set) {
        for (const QString& place : places)
            for (const QString& charSet : charSets)
                for (TPeerCase c : cases) {
                    const TCell cell{c, charSet, place};
                    TPeerRun run;
                    run.Case = c;
                    run.CharSet = charSet;
                    run.Remote = place == QStringLiteral("remote");
                    run.Dir = dir;
                    run.Sizes = sizes;
                    if (!expected.count(cell)) expected[cell] = Expect(run);
                    std::vector<const TPeerApi*> order;
                    for (const TPeerApi& api : apis)
                        if (std::find(api.Cases.begin(), api.Cases.end(), c) != api.Cases.end())
                            order.push_back(&api);
                    std::rotate(order.begin(), order.begin() + long(set % order.size()), order.end());
                    for (const TPeerApi* api : order) {
                        double wall = 0, cpu = 0, serverCpu = 0;
                        const TPeerTally t = RunProcess(*api, c, charSet, place, dir, wall, cpu, serverCpu);
                        CheckTally(cell, api->Name, t, expected[cell]);
                        // Embedded, all the work is this process's: its CPU time, not disturbed by waits for
                        // a busy machine. Over the server: wall time, which includes the waits of the round
                        // trips; or, on a busy machine, the client's and the server's CPU time.
                        if (run.Remote && remoteCpu && serverCpu < 0)
                            Die(QStringLiteral(
                                "--remote-time cpu: the loopback server's process is not found"));
                        const double seconds = !run.Remote ? cpu : remoteCpu ? cpu + serverCpu : wall;
                        times[{cell, api->Name}].push_back(seconds);
                        std::fprintf(stderr, "set %d  %-9s %-7s %-9s %-14s %8.3f s\n", set + 1,
                                     qPrintable(CaseName(c)), qPrintable(charSet), qPrintable(place),
                                     qPrintable(api->Name), seconds);
                    }
                }
    }
    const double minutes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 60.0;

    // The table: one row per case, character set and place; the raw API's median, the others' ratios.
    QString table = QStringLiteral("| case | charset | place | ");
    QString rule = QStringLiteral("|---|---|---|");
    for (const TPeerApi& api : apis) {
        table += api.Label + QStringLiteral(" | ");
        rule += QStringLiteral("---|");
    }
    table = table.trimmed() + QLatin1Char('\n') + rule + QLatin1Char('\n');
    QString seconds = table;
    for (TPeerCase c : cases)
        for (const QString& charSet : charSets)
            for (const QString& place : places) {
                const TCell cell{c, charSet, place};
                const QString head =
                    QStringLiteral("| %1 | %2 | %3 |").arg(CaseTitle(c, sizes), charSet, place);
                QString row = head, secondsRow = head;
                const double raw = Median(times[{cell, QStringLiteral("raw")}]);
                for (const TPeerApi& api : apis) {
                    const auto found = times.find({cell, api.Name});
                    if (found == times.end()) {
                        row += QStringLiteral(" — |");
                        secondsRow += QStringLiteral(" — |");
                        continue;
                    }
                    const double median = Median(found->second);
                    const QString mark = api.Name == QStringLiteral("qt") && charSet != QStringLiteral("UTF8")
                                             ? QStringLiteral(" ¹")
                                             : QString();
                    row += api.Name == QStringLiteral("raw")
                               ? QStringLiteral(" %1 s |").arg(median, 0, 'f', 3)
                               : QStringLiteral(" %1×%2 |").arg(median / raw, 0, 'f', 2).arg(mark);
                    secondsRow += QStringLiteral(" %1%2 |").arg(median, 0, 'f', 3).arg(mark);
                }
                table += row + QLatin1Char('\n');
                seconds += secondsRow + QLatin1Char('\n');
            }
    std::printf("%s\nMedian seconds of each API:\n\n%s\n", qPrintable(table), qPrintable(seconds));
    std::printf(
        "Medians of %d set(s), each API in a process of its own per case; embedded: CPU time of the process, "
        "remote: %s. Load average before %s, after %s; %.1f minutes.\n",
        sets, remoteCpu ? "CPU time of the process and the server" : "wall time", qPrintable(loadBefore),
        qPrintable(LoadAverage()), minutes);
    std::printf("Transactions as the server sees them: %s.\n\n", qPrintable(transactions));
    std::printf("%s", Notes);
    return 0;
}
