// The record cache filled with 1 000 000 fetched rows (INTEGER, VARCHAR(60) of 20-50 characters,
// TIMESTAMP) on the embedded engine: the memory the cache takes against the stored records plus
// the string bytes, and the time of fetching and storing against a raw fetch loop that reads the
// same columns, in the same run. Only the ratios are meant to be compared.

#include "BenchDatabase.h"
#include "BenchMain.h"
#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/datasets/FbRecordLayout.h"
#include "db/statements/FbQuery.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <memory>

using namespace db::connection;

namespace {

constexpr int Rows = 1000000;
constexpr int Batch = 10000;
constexpr unsigned short Dialect = 3;
const char* const SelectSql = "select id, v, ts from bench_rows";

struct TBenchDatabase {
    QTemporaryDir Dir;
    QString Path;
    std::unique_ptr<TpFbDatabase> Db;

    TBenchDatabase() {
        Path = Dir.filePath(QStringLiteral("bench.fdb"));
        const QString script =
            QStringLiteral(
                "create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                "create table bench_rows (id integer, v varchar(60), ts timestamp);\n"
                "set term ^ ;\n"
                "execute block as declare i integer = 0; begin\n"
                "  while (i < %2) do begin\n"
                "    insert into bench_rows values (:i, substring('Lorem ipsum dolor sit amet, consectetur "
                "adipiscing elit, sed do eiusmod tempor' from 1 + mod(:i, 13) for 20 + mod(:i * 7, 31)),\n"
                "      dateadd(:i second to timestamp '2024-01-01 06:00:00'));\n"
                "    i = i + 1;\n"
                "  end\n"
                "end^\n"
                "set term ; ^\n"
                "commit;\n")
                .arg(Path)
                .arg(Rows);
        RunIsqlOrExit(script, 600000);
        Db = ConnectBenchDatabase(Path);
    }
};

TBenchDatabase& Database() {
    static TBenchDatabase database;
    return database;
}

// Resident and peak resident memory of the process, in bytes.
qint64 StatusValue(const char* key) {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}
void ResetPeak() {
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly)) file.write("5");
}

// The raw loop: a prepared select on its own handle, rows fetched into an XSQLDA of our own and
// each column read into a value (the text into a reused buffer, the time stamp into milliseconds).
class TRawCursor {
public:
    TRawCursor(TFbDatabase& db, TFbTransaction& tr) : FLibrary(db.ClientLibrary()), FTr(tr) {
        FDa = reinterpret_cast<XSQLDA*>(FBuffer.data());
        FDa->version = SQLDA_VERSION1;
        FDa->sqln = 3;
        Check(FLibrary, FLibrary.isc_dsql_alloc_statement2(StatusVector(), db.HandleAddress(), &FStmt));
        Check(FLibrary, FLibrary.isc_dsql_prepare(StatusVector(), tr.HandleAddress(), &FStmt, 0, SelectSql,
                                                  Dialect, FDa));
        FDa->sqlvar[0].sqldata = reinterpret_cast<char*>(&FId);
        FDa->sqlvar[1].sqldata = FText;
        FDa->sqlvar[2].sqldata = reinterpret_cast<char*>(&FTs);
        for (int i = 0; i < 3; ++i)
            FDa->sqlvar[i].sqlind = &FNulls[i];
    }
    ~TRawCursor() { FLibrary.isc_dsql_free_statement(StatusVector(), &FStmt, DSQL_drop); }
    void Open() {
        Check(FLibrary,
              FLibrary.isc_dsql_execute(StatusVector(), FTr.HandleAddress(), &FStmt, Dialect, nullptr));
    }
    void Close() { Check(FLibrary, FLibrary.isc_dsql_free_statement(StatusVector(), &FStmt, DSQL_close)); }
    bool Next() {
        if (FLibrary.isc_dsql_fetch(StatusVector(), &FStmt, Dialect, FDa) != 0) return false;
        Sum += FNulls[0] ? 0 : FId;
        ISC_USHORT length;
        std::memcpy(&length, FText, 2);
        std::memcpy(FValue, FText + 2, length);
        FValue[length] = 0;
        Bytes += length;
        Time = CachedTimeStamp(FTs);
        return true;
    }
    long long Sum = 0;
    long long Bytes = 0;
    double Time = 0;

private:
    IIBClientLibrary& FLibrary;
    TFbTransaction& FTr;
    isc_stmt_handle FStmt = 0;
    QByteArray FBuffer{int(XSQLDA_LENGTH(3)), '\0'};
    XSQLDA* FDa;
    int FId = 0;
    char FText[64] = {};
    char FValue[64] = {};
    ISC_TIMESTAMP FTs{};
    short FNulls[3] = {};
};

// Our way: the statement component fetches, the row goes into the record cache.
struct TCachedCursor {
    TFbQuery Query;
    TFbRecordLayout Layout;
    std::unique_ptr<TRecordsCache> Cache;
    int Stored = 0;
    long long Bytes = 0;

    TCachedCursor(TFbDatabase& db, TFbTransaction& tr) {
        Query.SetDatabase(&db);
        Query.SetTransaction(&tr);
        Query.SetGoToFirstRecordOnExecute(false);
        Query.SQL().Add(QString::fromLatin1(SelectSql));
    }
    void Open() {
        Query.ExecQuery();
        Layout = BuildRecordLayout(*Query.Current().AsXSQLDA(), {}, {},
                                   TFbCharSetFacts::Of(*Query.Database()), {});
        Cache = CreateRecordsCache(Layout, false);
        Stored = 0;
        Bytes = 0;
    }
    bool Next() {
        if (!Query.Next()) return false;
        const XSQLDA& row = *Query.Current().AsXSQLDA();
        StoreFetchedRow(*Cache, Layout, row, Stored++, false);
        ISC_USHORT length;
        std::memcpy(&length, row.sqlvar[1].sqldata, 2);
        Bytes += *row.sqlvar[1].sqlind == -1 ? 0 : length;
        return true;
    }
};

// Memory of a cache holding every row: the peak resident growth while it fills, against the
// stored record size times the rows plus the string bytes.
void CacheMemory(benchmark::State& state) {
    TFbDatabase& db = *Database().Db;
    TpFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    for (auto _ : state) {
        // One raw pass first, so the engine's page cache is full before the measurement.
        TRawCursor raw(db, tr);
        raw.Open();
        while (raw.Next()) {
        }
        raw.Close();
        TCachedCursor ours(db, tr);
        ours.Open();
        malloc_trim(0);
        ResetPeak();
        const qint64 before = StatusValue("VmRSS:");
        while (ours.Next()) {
        }
        const qint64 growth = StatusValue("VmHWM:") - before;
        const double expected = double(ours.Cache->RecordSize()) * ours.Stored + double(ours.Bytes);
        if (ours.Stored != Rows) state.SkipWithError("not every row was stored");
        state.counters["record_bytes"] = ours.Cache->RecordSize();
        state.counters["string_MB"] = double(ours.Bytes) / 1e6;
        state.counters["expected_MB"] = expected / 1e6;
        state.counters["rss_growth_MB"] = double(growth) / 1e6;
        state.counters["overhead_pct"] = (double(growth) / expected - 1) * 100;
        ours.Query.Close();
    }
    tr.Rollback();
}

// Raw fetching and fetching into the cache take turns in batches of rows on two cursors of one
// transaction; the ratio of their summed thread times is reported.
void StoreRatio(benchmark::State& state) {
    TFbDatabase& db = *Database().Db;
    TpFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    TRawCursor raw(db, tr);
    TCachedCursor ours(db, tr);
    raw.Open();
    ours.Open();
    double rawTime = 0, ourTime = 0;
    long rows = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        for (int k = 0; k < Batch; ++k)
            raw.Next();
        const double t1 = ThreadSeconds();
        for (int k = 0; k < Batch; ++k)
            ours.Next();
        const double t2 = ThreadSeconds();
        rawTime += t1 - t0;
        ourTime += t2 - t1;
        rows += Batch;
    }
    if (raw.Bytes != ours.Bytes) state.SkipWithError("the two ways read different texts");
    state.counters["raw_ns_row"] = rawTime / double(rows) * 1e9;
    state.counters["ours_ns_row"] = ourTime / double(rows) * 1e9;
    state.counters["ratio"] = ourTime / rawTime;
    raw.Close();
    ours.Query.Close();
    tr.Rollback();
}

} // namespace

BENCHMARK(CacheMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(StoreRatio)->Iterations(Rows / Batch)->Repetitions(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return RunBenchmarks<QCoreApplication>(argc, argv);
}
