// The counter update run against a hand-written program on the raw client API that issues the same
// statements in the same transactions, each prepared per mould as the run does: 1 000 and 10 000
// counted moulds with 100 production records each, on the embedded engine and over the loopback
// server (scripts/bench starts it). The two take turns on the same databases; wall time, since
// over the server most of it is spent outside this process. Only the ratios are meant to be compared.
// The *NoCache cases turn the connections' cache of prepared statements off: the run then prepares
// its texts for every mould, as the raw program does.

#include "BenchDatabase.h"
#include "app/Unit1.h"
#include "db/connection/fb.h"
#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"

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

namespace {

constexpr unsigned short Dialect = 3;
const char* const ListSql =
    "select id,nazwa,kod1,counter,countmode,id_vorek from  formy where  countmode=1  and id_vorek<>0";
const char* const SumSql = "select sum( t.cx ) as scykli from tools_data t    where t.id_t=?";
const char* const UpdateSql = "UPDATE formy set counter=?, counttch=?  \r\nWHERE id = ?";
const char* const HistorySql =
    "Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm   ) Values ( ?,?,?,?,?,? )";
const char ReadCommitted[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait, isc_tpb_read_committed,
                              isc_tpb_rec_version};


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
    void Serve(const QString& prefix) {
        QFile ini(Dir.filePath(QStringLiteral("setup.ini")));
        ini.open(QIODevice::WriteOnly);
        const QByteArray folder = (prefix + Dir.path() + QLatin1Char('/')).toUtf8();
        ini.write("[sql]\nformy=" + folder + "\nvorek=" + folder + "\n[set]\nhistoria=1\nlog=0\n");
    }
};

void Check(IIBClientLibrary& library, ISC_STATUS result) {
    if (result > 0) RaiseIBError(library, nullptr);
}

// An XSQLDA whose items own their data and null flags.
struct TRawDA {
    explicit TRawDA(int count)
        : Buffer(size_t(XSQLDA_LENGTH(count)), 0), Data(size_t(count)), Nulls(size_t(count)) {
        Da()->version = SQLDA_VERSION1;
        Da()->sqln = Da()->sqld = short(count);
    }
    XSQLDA* Da() { return reinterpret_cast<XSQLDA*>(Buffer.data()); }
    XSQLVAR& Var(int i) { return Da()->sqlvar[i]; }
    // Gives every described item a buffer of its length.
    void Allocate() {
        for (int i = 0; i < Da()->sqld; ++i) {
            XSQLVAR& v = Var(i);
            Data[size_t(i)].assign(size_t(v.sqllen) + 2, 0);
            v.sqldata = Data[size_t(i)].data();
            v.sqlind = &Nulls[size_t(i)];
        }
    }
    void SetInt(int i, int value) {
        XSQLVAR& v = Var(i);
        v.sqltype = SQL_LONG | 1;
        v.sqllen = 4;
        v.sqlscale = 0;
        Data[size_t(i)].assign(8, 0);
        std::memcpy(Data[size_t(i)].data(), &value, 4);
        v.sqldata = Data[size_t(i)].data();
        Nulls[size_t(i)] = 0;
        v.sqlind = &Nulls[size_t(i)];
    }
    void SetText(int i, const QByteArray& text) {
        XSQLVAR& v = Var(i);
        v.sqltype = SQL_TEXT | 1;
        v.sqllen = short(text.size());
        Data[size_t(i)].assign(text.begin(), text.end());
        Data[size_t(i)].push_back(0);
        v.sqldata = Data[size_t(i)].data();
        Nulls[size_t(i)] = 0;
        v.sqlind = &Nulls[size_t(i)];
    }
    void SetNow(IIBClientLibrary& library, int i) {
        XSQLVAR& v = Var(i);
        v.sqltype = SQL_TIMESTAMP | 1;
        v.sqllen = sizeof(ISC_TIMESTAMP);
        Data[size_t(i)].assign(sizeof(ISC_TIMESTAMP), 0);
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        library.isc_encode_timestamp(&local, reinterpret_cast<ISC_TIMESTAMP*>(Data[size_t(i)].data()));
        v.sqldata = Data[size_t(i)].data();
        Nulls[size_t(i)] = 0;
        v.sqlind = &Nulls[size_t(i)];
    }
    int Int(int i) const {
        if (Nulls[size_t(i)]) return 0;
        const XSQLVAR& v = const_cast<TRawDA*>(this)->Var(i);
        if ((v.sqltype & ~1) == SQL_INT64) {
            ISC_INT64 value;
            std::memcpy(&value, v.sqldata, 8);
            return int(value);
        }
        int value;
        std::memcpy(&value, v.sqldata, 4);
        return value;
    }
    QString Text(int i) const {
        if (Nulls[size_t(i)]) return QString();
        const XSQLVAR& v = const_cast<TRawDA*>(this)->Var(i);
        short length;
        std::memcpy(&length, v.sqldata, 2);
        return QString::fromLatin1(v.sqldata + 2, length);
    }
    std::vector<char> Buffer;
    std::vector<std::vector<char>> Data;
    std::vector<short> Nulls;
};

// The run written by hand: the list in its transaction, then per mould the sum in a restarted
// transaction, the counter update and the history row each in a transaction of its own.
class TRawRun {
public:
    TRawRun(TFbDatabase& formy, TFbDatabase& vorek)
        : FFormy(formy), FVorek(vorek), L(formy.ClientLibrary()) {}
    ~TRawRun() {
        for (isc_tr_handle* tr : {&FList, &FSum})
            if (*tr) L.isc_rollback_transaction(StatusVector(), tr);
    }

    int Run() {
        if (FList) Check(L, L.isc_rollback_transaction(StatusVector(), &FList));
        Start(FFormy, FList);
        isc_stmt_handle list = 0, sum = 0, write = 0;
        Check(L, L.isc_dsql_alloc_statement2(StatusVector(), FFormy.HandleAddress(), &list));
        Check(L, L.isc_dsql_alloc_statement2(StatusVector(), FVorek.HandleAddress(), &sum));
        Check(L, L.isc_dsql_alloc_statement2(StatusVector(), FFormy.HandleAddress(), &write));
        TRawDA row(6);
        Check(L, L.isc_dsql_prepare(StatusVector(), &FList, &list, 0, ListSql, Dialect, row.Da()));
        row.Allocate();
        Check(L, L.isc_dsql_execute(StatusVector(), &FList, &list, Dialect, nullptr));
        int moulds = 0;
        while (L.isc_dsql_fetch(StatusVector(), &list, Dialect, row.Da()) == 0) {
            const QString name = row.Text(1) + QLatin1Char('[') + row.Text(2);
            const int id = row.Int(0), counter = row.Int(3), tool = row.Int(5);
            const int cycles = Sum(sum, tool);
            Write(write, id, cycles, counter, name);
            ++moulds;
        }
        for (isc_stmt_handle* s : {&list, &sum, &write})
            L.isc_dsql_free_statement(StatusVector(), s, DSQL_drop);
        return moulds;
    }

private:
    void Start(TFbDatabase& db, isc_tr_handle& tr) {
        struct {
            isc_db_handle* Database;
            int Length;
            const char* TPB;
        } teb{db.HandleAddress(), int(sizeof ReadCommitted), ReadCommitted};
        Check(L, L.isc_start_multiple(StatusVector(), &tr, 1, &teb));
    }
    int Sum(isc_stmt_handle& sum, int tool) {
        if (FSum) Check(L, L.isc_rollback_transaction(StatusVector(), &FSum));
        Start(FVorek, FSum);
        TRawDA out(1), in(1);
        Check(L, L.isc_dsql_prepare(StatusVector(), &FSum, &sum, 0, SumSql, Dialect, out.Da()));
        out.Allocate();
        in.SetInt(0, tool);
        Check(L, L.isc_dsql_execute(StatusVector(), &FSum, &sum, Dialect, in.Da()));
        Check(L, L.isc_dsql_fetch(StatusVector(), &sum, Dialect, out.Da()));
        const int value = out.Int(0);
        Check(L, L.isc_dsql_free_statement(StatusVector(), &sum, DSQL_close));
        return value;
    }
    void Write(isc_stmt_handle& write, int id, int cycles, int counter, const QString&) {
        isc_tr_handle tr = 0;
        Start(FFormy, tr);
        Check(L, L.isc_dsql_prepare(StatusVector(), &tr, &write, 0, UpdateSql, Dialect, nullptr));
        TRawDA update(3);
        update.SetInt(0, cycles);
        update.SetNow(L, 1);
        update.SetInt(2, id);
        Check(L, L.isc_dsql_execute(StatusVector(), &tr, &write, Dialect, update.Da()));
        Check(L, L.isc_commit_transaction(StatusVector(), &tr));

        Start(FFormy, tr);
        Check(L, L.isc_dsql_prepare(StatusVector(), &tr, &write, 0, HistorySql, Dialect, nullptr));
        TRawDA history(6);
        history.SetInt(0, id);
        history.SetInt(1, cycles);
        history.SetInt(2, counter);
        history.SetText(3, QByteArrayLiteral("Raport Vorek"));
        history.SetInt(4, -1);
        history.SetInt(5, 0);
        Check(L, L.isc_dsql_execute(StatusVector(), &tr, &write, Dialect, history.Da()));
        Check(L, L.isc_commit_transaction(StatusVector(), &tr));
    }

    TFbDatabase& FFormy;
    TFbDatabase& FVorek;
    IIBClientLibrary& L;
    isc_tr_handle FList = 0;
    isc_tr_handle FSum = 0;
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
void UpdateRun(benchmark::State& state, bool server, bool statementCache = true) {
    const int moulds = int(state.range(0));
    TPlant plant(moulds);
    plant.Serve(server ? QStringLiteral("127.0.0.1/30531:") : QString());
    quorvel::Tmysystem::OverrideDirectory(plant.Dir.path());
    QString boxes;
    platform::Application().MessageBoxHook = [&](const QString& text, const QString&, bool) {
        boxes += text;
    };
    TFormOptions options;
    options.DailyTrigger = false;
    auto form = std::make_unique<TForm1>(nullptr, options);
    if (!boxes.isEmpty()) {
        state.SkipWithError(boxes.toStdString().c_str());
        return;
    }
    if (!statementCache) {
        form->pFbDatabaseFormy->SetStatementCacheSize(0);
        form->pFbDatabaseVorek->SetStatementCacheSize(0);
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
    form.reset();
    platform::Application().MessageBoxHook = nullptr;
    quorvel::Tmysystem::OverrideDirectory(QString());
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

BENCHMARK(Embedded)->Arg(1000)->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(Embedded)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Server)->Arg(1000)->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(Server)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(EmbeddedNoCache)->Arg(1000)->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(ServerNoCache)->Arg(1000)->Iterations(4)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
