// The counter update run against a hand-written program on the raw client API that issues the same
// statements in the same transactions, each prepared per mould as the run does: 1 000 and 10 000
// counted moulds with 100 production records each, on the embedded engine and over the loopback
// server (scripts/bench starts it). The two take turns on the same databases; wall time, since
// over the server most of it is spent outside this process. Only the ratios are meant to be compared.
// The *NoCache cases turn the connections' cache of prepared statements off: the run then prepares
// its texts for every mould, as the raw program does. EmbeddedDelta gives setup.ini a [delta]
// section of many keys, which the run reads at every run.

#include "BenchDatabase.h"
#include "BenchMain.h"
#include "BenchWindow.h"
#include "RawUpdateRun.h"
#include "app/Unit1.h"
#include "db/connection/fb.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

using namespace db::connection;
using rawrun::TRawRun;

namespace {

// The two databases in a folder of their own: `moulds` counted moulds, each with its own tool and
// 100 production records of it; no forced writes, so the disk does not set the pace.
struct TPlant {
    QTemporaryDir Dir;
    explicit TPlant(int moulds) {
        const QString schema = QStringLiteral(TARVELO_SOURCE_DIR "/scripts/sql/");
        RunIsqlOrExit(
            QStringLiteral("create database '%1/formy_db.fdb' user 'SYSDBA' default character set WIN1250;\n"
                           "input '%2formy.sql';\ncommit;\nset term ^;\n"
                           "execute block as declare i integer = 1; begin while (i <= %3) do begin\n"
                           "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values "
                           "(:i, 'Forma ' || :i, 'F-' || :i, 0, 1, :i); i = i + 1; end end^\nset term ;^\n"
                           "commit;\n"
                           "create database '%1/vorek_mes.fdb' user 'SYSDBA' default character set WIN1250;\n"
                           "input '%2vorek.sql';\ncommit;\nset term ^;\n"
                           "execute block as declare i integer = 0; begin while (i < %3 * 100) do begin\n"
                           "insert into tools_data (id_t, cx) values (mod(:i, %3) + 1, 50); i = i + 1; end "
                           "end^\nset term ;^\ncommit;\n")
                .arg(Dir.path(), schema)
                .arg(moulds));
        for (const char* name : {"formy_db.fdb", "vorek_mes.fdb"})
            QProcess::execute(QStringLiteral("gfix"),
                              {QStringLiteral("-user"), QStringLiteral("SYSDBA"), QStringLiteral("-write"),
                               QStringLiteral("async"), Dir.filePath(QLatin1String(name))});
        QFile ini(Dir.filePath(QStringLiteral("setup.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.write("[set]\nhistoria=1\nlog=0\n");
    }
    // setup.ini naming the databases; with `deltaKeys` corrections (ids 1.., so every mould has one).
    void Serve(const QString& prefix, int deltaKeys = 0) {
        QFile ini(Dir.filePath(QStringLiteral("setup.ini")));
        ini.open(QIODevice::WriteOnly);
        const QByteArray folder = (prefix + Dir.path() + QLatin1Char('/')).toUtf8();
        QByteArray text = "[sql]\nformy=" + folder + "\nvorek=" + folder + "\n[set]\nhistoria=1\nlog=0\n";
        if (deltaKeys > 0) text += "[delta]\n";
        for (int id = 1; id <= deltaKeys; ++id)
            text += QByteArray::number(id) + "=" + QByteArray::number(id % 7) + "\n";
        ini.write(text);
    }
};

double Seconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// CPU time of the whole process: on the embedded engine that is all the work of a run, and unlike
// wall time it does not count the waits for a busy machine.
double ProcessSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The window's run and the raw run take turns (in alternating order) on the same databases.
void UpdateRun(benchmark::State& state, bool server, bool statementCache = true, int deltaKeys = 0) {
    const int moulds = int(state.range(0));
    TPlant plant(moulds);
    plant.Serve(server ? QStringLiteral("127.0.0.1/30531:") : QString(), deltaKeys);
    TFormOptions options;
    if (!statementCache) options.RunStatementCacheSize = 0;
    TBenchWindow window(plant.Dir.path(), options);
    std::unique_ptr<TForm1>& form = window.Form;
    if (!window.Boxes.isEmpty()) {
        state.SkipWithError(window.Boxes.toStdString().c_str());
        return;
    }
    TRawRun raw(*form->pFbDatabaseFormy, *form->pFbDatabaseVorek);
    double rawTime = 0, ourTime = 0, rawCpu = 0, ourCpu = 0;
    long runs = 0;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto started = std::chrono::steady_clock::now();
            const double cpu = ProcessSeconds();
            if ((turn + runs) % 2 == 0) {
                if (raw.Run() != moulds) state.SkipWithError("the raw run missed moulds");
                rawTime += Seconds(started);
                rawCpu += ProcessSeconds() - cpu;
            } else {
                form->FireUpdate();
                if (int(form->LastRun().Moulds.size()) != moulds || form->LastRun().Failed)
                    state.SkipWithError("the run missed moulds");
                ourTime += Seconds(started);
                ourCpu += ProcessSeconds() - cpu;
            }
        }
        ++runs;
    }
    state.counters["raw_ms_per_mould"] = rawTime * 1e3 / double(runs * moulds);
    state.counters["ours_ms_per_mould"] = ourTime * 1e3 / double(runs * moulds);
    state.counters["ratio"] = ourTime / rawTime;
    state.counters["cpu_ratio"] = ourCpu / rawCpu;
}

void Embedded(benchmark::State& state) {
    UpdateRun(state, false);
}
void Server(benchmark::State& state) {
    UpdateRun(state, true);
}
void EmbeddedNoCache(benchmark::State& state) {
    UpdateRun(state, false, false);
}
void ServerNoCache(benchmark::State& state) {
    UpdateRun(state, true, false);
}
// A [delta] section of range(1) keys, read at every run.
void EmbeddedDelta(benchmark::State& state) {
    UpdateRun(state, false, true, int(state.range(1)));
}

BENCHMARK(Embedded)->Arg(1000)->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(Embedded)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Server)->Arg(1000)->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(Server)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(EmbeddedNoCache)->Arg(1000)->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(ServerNoCache)->Arg(1000)->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(EmbeddedDelta)->Args({1000, 2000})->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(EmbeddedDelta)->Args({10000, 100000})->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return RunBenchmarks<QApplication>(argc, argv);
}
