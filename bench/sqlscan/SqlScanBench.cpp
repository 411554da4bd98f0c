// Scanning speed of the application's three statements and of a long select with 50 parameters,
// in characters per second.

#include "ScanTestSupport.h"

#include <benchmark/benchmark.h>

using namespace db::statements;

namespace {

const QStringList& ApplicationStatements() {
    static const QStringList texts = {
        QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid\r\n"),
        QStringLiteral("UPDATE formy set counter=:counter, counttch=:counttch  \r\nWHERE id = :id\r\n"),
        QStringLiteral("Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm   ) Values ( "
                       ":id_f,:stan,:ostan,:opis,:id_p,:lm )\r\n"),
    };
    return texts;
}

// A select of exactly 5000 characters: a column list, a comment, a string, and a WHERE clause
// with 50 parameters, padded with comment lines.
const QString& LongSelect() {
    static const QString text = [] {
        QString t = QStringLiteral("select f.id, f.name, f.code, f.counter, 'a:b' as literal\r\n"
                                   "/* counters of every mould */\r\nfrom formy f\r\nwhere ");
        for (int i = 0; i < 50; ++i) {
            if (i > 0) t += QStringLiteral("\r\n  and ");
            t += QStringLiteral("f.column_%1 = :param_%1").arg(i, 2, 10, QChar(u'0'));
        }
        t += QStringLiteral("\r\norder by f.id\r\n");
        while (t.size() < 5000 - 4)
            t += QStringLiteral("-- padding line of the long select\r\n").left(5000 - 2 - t.size());
        while (t.size() < 5000)
            t += u' ';
        return t;
    }();
    return text;
}

void SetRate(benchmark::State& state, qsizetype charsPerIteration) {
    state.counters["chars/s"] = benchmark::Counter(
        static_cast<double>(charsPerIteration) * state.iterations(), benchmark::Counter::kIsRate);
}

// The scan that builds the server's list: kind detection and the written scan.
void BM_ScanApplicationStatements(benchmark::State& state) {
    qsizetype chars = 0;
    for (const QString& t : ApplicationStatements())
        chars += t.size();
    for (auto _ : state) {
        for (const QString& t : ApplicationStatements()) {
            TSQLParser parser;
            parser.SetSQLText(t);
            TSQLScanResult r = ScanSQLText(t, parser.SQLKind(), parser.CanParamsCheck(), QChar(u'@'), true);
            benchmark::DoNotOptimize(r);
        }
    }
    SetRate(state, chars);
}
BENCHMARK(BM_ScanApplicationStatements);

void BM_ScanLongSelect(benchmark::State& state) {
    const QString& t = LongSelect();
    TSQLParser parser;
    parser.SetSQLText(t);
    if (t.size() != 5000 || ScanSQLText(t, parser.SQLKind(), true, QChar(u'@'), false).Names.size() != 50) {
        state.SkipWithError("long select is not 5000 characters with 50 parameters");
        return;
    }
    for (auto _ : state) {
        TSQLScanResult r = ScanSQLText(t, parser.SQLKind(), parser.CanParamsCheck(), QChar(u'@'), true);
        benchmark::DoNotOptimize(r);
    }
    SetRate(state, t.size());
}
BENCHMARK(BM_ScanLongSelect);

// The marker check walks a text without markers to its end.
void BM_MarkerCheckLongSelectWithoutMarkers(benchmark::State& state) {
    QString t = LongSelect();
    t.replace(QStringLiteral(":param_"), QStringLiteral(" param_"));
    if (!HasNoParamMarkers(t, QChar(u'@'))) {
        state.SkipWithError("text still has markers");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(HasNoParamMarkers(t, QChar(u'@')));
    SetRate(state, t.size());
}
BENCHMARK(BM_MarkerCheckLongSelectWithoutMarkers);

// What a statement does per text: set the text (marker check, user list), then at prepare
// rebuild, scan for the server list and encode.
void TextChangeAndPrepare(benchmark::State& state, const QStringList& texts) {
    TTestTextOwner owner;
    TSQLTextState text(owner);
    qsizetype chars = 0;
    for (const QString& t : texts)
        chars += t.size();
    for (auto _ : state) {
        for (const QString& t : texts) {
            text.SetSQLText(t, true);
            for (int i = 0; i < owner.User.ParamCount(); ++i)
                owner.User.Item(i).Value = i;
            text.RebuildForPrepare();
            benchmark::DoNotOptimize(text.PreparedSQL().constData());
        }
    }
    SetRate(state, chars);
}

void BM_TextChangeAndPrepareApplication(benchmark::State& state) {
    TextChangeAndPrepare(state, ApplicationStatements());
}
BENCHMARK(BM_TextChangeAndPrepareApplication);

void BM_TextChangeAndPrepareLongSelect(benchmark::State& state) {
    TextChangeAndPrepare(state, {LongSelect()});
}
BENCHMARK(BM_TextChangeAndPrepareLongSelect);

} // namespace

BENCHMARK_MAIN();
