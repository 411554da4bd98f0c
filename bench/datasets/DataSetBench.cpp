// Part of bench_datasets (main in CacheBench.cpp). Walking a 1 000 000-row select with the data set (Next,
// every column read through its field object) against the raw isc_dsql_fetch loop reading the same columns
// into the same kinds of values, in the same run, on a WIN1250 and on a UTF8 database. Also the memory the
// record cache takes against what its rows hold. Only the ratios are meant to be compared.

#include "BenchDatabase.h"
#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/datasets/pFbDataSet.h"

#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <string>

using namespace db::connection;

namespace {

// TARVELO_BENCH_ROWS lowers the row count, e.g. for a profile under callgrind.
const int Rows = [] {
    const char* env = std::getenv("TARVELO_BENCH_ROWS");
    const int n = env ? std::atoi(env) : 0;
    return n > 0 ? n : 1000000;
}();
constexpr unsigned short Dialect = 3;
const char* const SelectSql = "select id, txt, ts from big_rows";

struct TBenchDatabase {
    QTemporaryDir Dir;
    std::unique_ptr<TpFbDatabase> Db;

    explicit TBenchDatabase(const QString& charSet) {
        const QString path = Dir.filePath(QStringLiteral("bench.fdb"));
        // Texts of 20 to 50 characters with Polish letters; one second apart.
        const QString script =
            QStringLiteral("set names UTF8;\n"
                           "create database '%1' user 'SYSDBA' default character set %2;\n"
                           "create table big_rows (id integer, txt varchar(60), ts timestamp);\n")
                .arg(path, charSet) +
            BigRowsFillScript(Rows) + QStringLiteral("commit;\n");
        RunIsqlOrExit(script, 600000);
        Db = ConnectBenchDatabase(path, charSet);
    }
};

// Made on first use, after the client library's process-wide state, so that they go before it.
TBenchDatabase& Database(const QString& charSet) {
    if (charSet == QStringLiteral("UTF8")) {
        static TBenchDatabase utf8(charSet);
        return utf8;
    }
    static TBenchDatabase win1250(charSet);
    return win1250;
}

// Heap bytes in use: unlike the resident size, not hidden by memory an earlier pass freed.
qint64 HeapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

struct TTotals {
    long long Ids = 0;
    long long Chars = 0;
    double Days = 0;
    bool operator==(const TTotals& o) const { return Ids == o.Ids && Chars == o.Chars && Days == o.Days; }
};

// The raw loop: one prepared select, its columns described into our own buffers, every row
// fetched and turned into an integer, a string and a date-time.
struct TRawSelect {
    TRawSelect(TFbDatabase& db, TFbTransaction& tr, bool utf8)
        : Library(db.ClientLibrary()), Tr(tr), Buffer(XSQLDA_LENGTH(3), '\0'),
          Decoder(utf8 ? QStringDecoder(QStringConverter::Utf8) : QStringDecoder("windows-1250")) {
        Da()->version = SQLDA_VERSION1;
        Da()->sqln = 3;
        Check(Library, Library.isc_dsql_alloc_statement2(StatusVector(), db.HandleAddress(), &Stmt));
        Check(Library, Library.isc_dsql_prepare(StatusVector(), tr.HandleAddress(), &Stmt, 0, SelectSql,
                                                Dialect, Da()));
        for (int i = 0; i < 3; ++i) {
            XSQLVAR& v = Da()->sqlvar[i];
            Data[i].resize(size_t(v.sqllen) + 2);
            v.sqldata = Data[i].data();
            v.sqlind = &Nulls[i];
        }
    }
    ~TRawSelect() { Library.isc_dsql_free_statement(StatusVector(), &Stmt, DSQL_drop); }
    XSQLDA* Da() { return reinterpret_cast<XSQLDA*>(Buffer.data()); }

    TTotals Walk() {
        TTotals totals;
        Check(Library, Library.isc_dsql_execute(StatusVector(), Tr.HandleAddress(), &Stmt, Dialect, nullptr));
        while (Library.isc_dsql_fetch(StatusVector(), &Stmt, Dialect, Da()) == 0) {
            const int id = Nulls[0] ? 0 : *reinterpret_cast<const ISC_LONG*>(Data[0].data());
            QString text;
            if (!Nulls[1]) {
                const auto length = *reinterpret_cast<const unsigned short*>(Data[1].data());
                text = Decoder.decode(QByteArrayView(Data[1].data() + 2, length));
                TextBytes += length;
            }
            double days = 0;
            if (!Nulls[2]) {
                const auto* ts = reinterpret_cast<const ISC_TIMESTAMP*>(Data[2].data());
                days = double(ts->timestamp_date) - 15018 + double(ts->timestamp_time / 10) / 86400000.0;
            }
            totals.Ids += id;
            totals.Chars += text.size();
            totals.Days += days;
        }
        Check(Library, Library.isc_dsql_free_statement(StatusVector(), &Stmt, DSQL_close));
        return totals;
    }

    IIBClientLibrary& Library;
    TFbTransaction& Tr;
    QByteArray Buffer;
    QStringDecoder Decoder;
    isc_stmt_handle Stmt = 0;
    std::vector<char> Data[3];
    short Nulls[3] = {};
    qint64 TextBytes = 0;
};

void WalkRatio(benchmark::State& state, const QString& charSet) {
    TFbDatabase& db = *Database(charSet).Db;
    TpFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    TRawSelect raw(db, tr, charSet == QStringLiteral("UTF8"));
    TpFbDataSet ds;
    ds.SetDatabase(&db);
    ds.SetTransaction(&tr);
    ds.SelectSQL().Add(QString::fromLatin1(SelectSql));

    double rawTime = 0, ourTime = 0, memoryRatio = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        raw.TextBytes = 0;
        const TTotals rawTotals = raw.Walk();
        const double t1 = ThreadSeconds();
        const qint64 before = HeapBytesInUse();
        TTotals ours;
        ds.Open();
        TField& id = ds.FieldByName(QStringLiteral("id"));
        TField& txt = ds.FieldByName(QStringLiteral("txt"));
        TField& ts = ds.FieldByName(QStringLiteral("ts"));
        while (!ds.Eof()) {
            ours.Ids += id.AsInteger();
            ours.Chars += txt.AsString().size();
            ours.Days += ts.AsDateTime();
            ds.Next();
        }
        const double t2 = ThreadSeconds();
        const qint64 growth = HeapBytesInUse() - before;
        const double held = double(ds.Layout().BlockReadSize) * Rows + double(raw.TextBytes);
        memoryRatio = double(growth) / held;
        ds.Close();
        rawTime += t1 - t0;
        ourTime += t2 - t1;
        if (!(rawTotals == ours)) {
            std::fprintf(stderr, "raw %lld %lld %.6f, data set %lld %lld %.6f\n", rawTotals.Ids,
                         rawTotals.Chars, rawTotals.Days, ours.Ids, ours.Chars, ours.Days);
            state.SkipWithError("the two ways read different values");
        }
    }
    state.counters["raw_s"] = rawTime / double(state.iterations());
    state.counters["ours_s"] = ourTime / double(state.iterations());
    state.counters["ratio"] = ourTime / rawTime;
    state.counters["memory_ratio"] = memoryRatio;
    tr.Rollback();
}

void WalkWin1250(benchmark::State& state) {
    WalkRatio(state, QStringLiteral("WIN1250"));
}
void WalkUtf8(benchmark::State& state) {
    WalkRatio(state, QStringLiteral("UTF8"));
}

} // namespace

BENCHMARK(WalkWin1250)->Iterations(2)->Repetitions(2)->Unit(benchmark::kSecond);
BENCHMARK(WalkUtf8)->Iterations(2)->Repetitions(2)->Unit(benchmark::kSecond);
