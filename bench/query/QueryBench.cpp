// Statement execution against the raw client API, in the same run and on the same embedded
// database: 100 000 executions of a prepared insert with new parameter values, and 100 000
// executions of the cycle-sum select with its row fetched. Only the ratios are meant to be compared.

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
#include <memory>

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
        QProcess isql;
        isql.start(QStringLiteral("isql-fb"),
                   {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA")});
        isql.waitForStarted();
        isql.write(script.toUtf8());
        isql.closeWriteChannel();
        isql.waitForFinished(60000);
        if (isql.exitCode() != 0) {
            std::fprintf(stderr, "isql-fb failed: %s\n", isql.readAllStandardError().constData());
            std::exit(1);
        }
        Db = std::make_unique<TpFbDatabase>();
        Db->SetDBName(Path);
        Db->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("lc_ctype=WIN1250")});
        Db->SetSQLDialect(3);
        Db->SetConnected(true);
    }
};

TBenchDatabase& Database() {
    static TBenchDatabase database;
    return database;
}

void Check(IIBClientLibrary& library, ISC_STATUS result) {
    if (result > 0) RaiseIBError(library, nullptr);
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

void RawInsert(benchmark::State& state) {
    TFbDatabase& db = *Database().Db;
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
    int i = 0;
    for (auto _ : state) {
        *reinterpret_cast<int*>(&in.Values[0]) = i;
        *reinterpret_cast<int*>(&in.Values[1]) = i * 2;
        Check(library, library.isc_dsql_execute(StatusVector(), tr.HandleAddress(), &stmt, Dialect, in.Da()));
        ++i;
    }
    library.isc_dsql_free_statement(StatusVector(), &stmt, DSQL_drop);
    tr.Rollback();
}

void QueryInsert(benchmark::State& state) {
    TFbDatabase& db = *Database().Db;
    TpFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    TpFbQuery q;
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().Add(QStringLiteral("insert into bench_rows (id, v) values (:id, :v)"));
    int i = 0;
    for (auto _ : state) {
        q.ParamByName(QStringLiteral("id")).SetAsInteger(i);
        q.ParamByName(QStringLiteral("v")).SetAsInteger(i * 2);
        q.ExecQuery();
        ++i;
    }
    if (q.PrepareCount() != 1) state.SkipWithError("the insert was prepared more than once");
    tr.Rollback();
}

void RawCycleSum(benchmark::State& state) {
    TFbDatabase& db = *Database().Db;
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
    long long total = 0;
    int i = 0;
    for (auto _ : state) {
        *reinterpret_cast<int*>(&in.Values[0]) = i % 100;
        Check(library, library.isc_dsql_execute(StatusVector(), tr.HandleAddress(), &stmt, Dialect, in.Da()));
        const ISC_STATUS fetched = library.isc_dsql_fetch(StatusVector(), &stmt, Dialect, out.Da());
        if (fetched == 0 && out.Nulls[0] == 0) total += int(out.Values[0]);
        Check(library, library.isc_dsql_free_statement(StatusVector(), &stmt, DSQL_close));
        ++i;
    }
    benchmark::DoNotOptimize(total);
    library.isc_dsql_free_statement(StatusVector(), &stmt, DSQL_drop);
    tr.Rollback();
}

void QueryCycleSum(benchmark::State& state) {
    TFbDatabase& db = *Database().Db;
    TpFbTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    TpFbQuery q;
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().Add(QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid"));
    long long total = 0;
    int i = 0;
    for (auto _ : state) {
        q.ParamByName(QStringLiteral("tid")).SetAsInteger(i % 100);
        q.ExecQuery();
        total += q.FieldByName(QStringLiteral("scykli")).AsInteger();
        ++i;
    }
    q.Close();
    benchmark::DoNotOptimize(total);
    if (q.PrepareCount() != 1) state.SkipWithError("the select was prepared more than once");
    tr.Rollback();
}

} // namespace

BENCHMARK(RawInsert)->Iterations(Executions)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(QueryInsert)->Iterations(Executions)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(RawCycleSum)->Iterations(Executions)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(QueryCycleSum)->Iterations(Executions)->Unit(benchmark::kMicrosecond)->Repetitions(5);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Database();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
