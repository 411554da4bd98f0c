// Statement execution against the raw client API, in the same run and on the same embedded
// database: 100 000 executions of a prepared insert with new parameter values, and 100 000
// executions of the cycle-sum select with its row fetched. Only the ratios are meant to be compared.

#include "BenchDatabase.h"
#include "BenchMain.h"
#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/statements/pFbQuery.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>

using namespace db::connection;

namespace {

constexpr int Executions = 100000;
constexpr unsigned short Dialect = 3;
const char* const InsertSql = "insert into bench_rows (id, v) values (?, ?)";
const char* const SumSql = "select sum( t.cx ) as scykli from tools_data t    where t.id_t=?";

struct TBenchDatabase {
    QTemporaryDir Dir;
    QString Path;
    std::unique_ptr<TpFbDatabase> Db;

    TBenchDatabase() {
        Path = Dir.filePath(QStringLiteral("bench.fdb"));
        QString script = QStringLiteral("create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                                        "create table bench_rows (id integer, v integer);\n"
                                        "create table tools_data (id_t integer, cx integer);\n"
                                        "create index tools_data_t on tools_data (id_t);\n")
                             .arg(Path);
        for (int tool = 0; tool < 100; ++tool)
            script += QStringLiteral("insert into tools_data values (%1, %2);\n").arg(tool).arg(tool * 3 + 1);
        script += QStringLiteral("commit;\n");
        RunIsqlOrExit(script, 60000);
        Db = ConnectBenchDatabase(Path);
    }
};

// Each benchmark works in a database of its own: the rows a previous benchmark inserted and
// rolled back would otherwise be cleaned up on the time of the next one.
TBenchDatabase& Database(const std::string& benchmarkName) {
    static std::map<std::string, std::unique_ptr<TBenchDatabase>> databases;
    std::unique_ptr<TBenchDatabase>& database = databases[benchmarkName];
    if (!database) database = std::make_unique<TBenchDatabase>();
    return *database;
}

// A raw XSQLDA with `count` nullable integer items over `values`.
struct TRawList {
    explicit TRawList(int count) : Buffer(XSQLDA_LENGTH(count), '\0'), Values(count), Nulls(count) {
        Da()->version = SQLDA_VERSION1;
        Da()->sqln = Da()->sqld = short(count);
    }
    XSQLDA* Da() { return reinterpret_cast<XSQLDA*>(Buffer.data()); }
    void Bind(int i, short type) {
        XSQLVAR& v = Da()->sqlvar[i];
        v.sqltype = short(type | 1);
        v.sqlscale = 0;
        v.sqllen = type == SQL_INT64 ? 8 : 4;
        v.sqldata = reinterpret_cast<char*>(&Values[size_t(i)]);
        v.sqlind = &Nulls[size_t(i)];
    }
    QByteArray Buffer;
    std::vector<ISC_INT64> Values;
    std::vector<short> Nulls;
};

void UseStatement(TpFbQuery& q, TFbDatabase& db, TFbTransaction& tr, const QString& sql) {
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().Add(sql);
}

// CPU time of the calling thread, where the embedded engine runs each request.
// Raw client calls and the statement component take turns in batches on the same database and
// transaction, so drift of the machine and growth of the table weigh on both alike; the ratio of
// their summed thread times is reported as a counter.
template <class Raw, class Ours> void Interleaved(benchmark::State& state, Raw raw, Ours ours) {
    constexpr int Batch = 500;
    double rawTime = 0, ourTime = 0;
    long executions = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        for (int k = 0; k < Batch; ++k)
            raw();
        const double t1 = ThreadSeconds();
        for (int k = 0; k < Batch; ++k)
            ours();
        const double t2 = ThreadSeconds();
        rawTime += t1 - t0;
        ourTime += t2 - t1;
        executions += Batch;
    }
    state.counters["raw_us"] = rawTime / double(executions) * 1e6;
    state.counters["ours_us"] = ourTime / double(executions) * 1e6;
    state.counters["ratio"] = ourTime / rawTime;
}

void InsertRatio(benchmark::State& state) {
    TFbDatabase& db = *Database("InsertRatio").Db;
    IIBClientLibrary& library = db.ClientLibrary();
    TpFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    isc_stmt_handle stmt = 0;
    Check(library, library.isc_dsql_alloc_statement2(StatusVector(), db.HandleAddress(), &stmt));
    Check(library, library.isc_dsql_prepare(StatusVector(), tr.HandleAddress(), &stmt, 0, InsertSql, Dialect,
                                            static_cast<XSQLDA*>(nullptr)));
    TRawList in(2);
    in.Bind(0, SQL_LONG);
    in.Bind(1, SQL_LONG);
    TpFbQuery q;
    UseStatement(q, db, tr, QStringLiteral("insert into bench_rows (id, v) values (:id, :v)"));
    int i = 0, j = 0;
    Interleaved(
        state,
        [&] {
            *reinterpret_cast<int*>(&in.Values[0]) = i;
            *reinterpret_cast<int*>(&in.Values[1]) = i * 2;
            Check(library,
                  library.isc_dsql_execute(StatusVector(), tr.HandleAddress(), &stmt, Dialect, in.Da()));
            ++i;
        },
        [&] {
            q.ParamByName(QStringLiteral("id")).SetAsInteger(j);
            q.ParamByName(QStringLiteral("v")).SetAsInteger(j * 2);
            q.ExecQuery();
            ++j;
        });
    if (q.PrepareCount() != 1) state.SkipWithError("the insert was prepared more than once");
    library.isc_dsql_free_statement(StatusVector(), &stmt, DSQL_drop);
    tr.Rollback();
}

void CycleSumRatio(benchmark::State& state) {
    TFbDatabase& db = *Database("CycleSumRatio").Db;
    IIBClientLibrary& library = db.ClientLibrary();
    TpFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    isc_stmt_handle stmt = 0;
    TRawList out(1);
    Check(library, library.isc_dsql_alloc_statement2(StatusVector(), db.HandleAddress(), &stmt));
    Check(library,
          library.isc_dsql_prepare(StatusVector(), tr.HandleAddress(), &stmt, 0, SumSql, Dialect, out.Da()));
    out.Bind(0, SQL_INT64);
    TRawList in(1);
    in.Bind(0, SQL_LONG);
    TpFbQuery q;
    UseStatement(q, db, tr,
                 QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid"));
    long long rawTotal = 0, ourTotal = 0;
    int i = 0, j = 0;
    Interleaved(
        state,
        [&] {
            *reinterpret_cast<int*>(&in.Values[0]) = i % 100;
            Check(library,
                  library.isc_dsql_execute(StatusVector(), tr.HandleAddress(), &stmt, Dialect, in.Da()));
            const ISC_STATUS fetched = library.isc_dsql_fetch(StatusVector(), &stmt, Dialect, out.Da());
            if (fetched == 0 && out.Nulls[0] == 0) rawTotal += int(out.Values[0]);
            Check(library, library.isc_dsql_free_statement(StatusVector(), &stmt, DSQL_close));
            ++i;
        },
        [&] {
            q.ParamByName(QStringLiteral("tid")).SetAsInteger(j % 100);
            q.ExecQuery();
            ourTotal += q.FieldByName(QStringLiteral("scykli")).AsInteger();
            ++j;
        });
    q.Close();
    if (rawTotal != ourTotal) state.SkipWithError("the two ways read different sums");
    if (q.PrepareCount() != 1) state.SkipWithError("the select was prepared more than once");
    library.isc_dsql_free_statement(StatusVector(), &stmt, DSQL_drop);
    tr.Rollback();
}

} // namespace

BENCHMARK(InsertRatio)->Iterations(Executions / 500)->Repetitions(3);
BENCHMARK(CycleSumRatio)->Iterations(Executions / 500)->Repetitions(3);

int main(int argc, char** argv) {
    return RunBenchmarks<QCoreApplication>(argc, argv);
}
