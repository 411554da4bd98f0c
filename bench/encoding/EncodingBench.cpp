// Windows-1250 conversions of column-sized values (a 24-character mould name) and of a 64 KiB log
// text, against QString::fromLatin1 / toLatin1 of the same bytes as the baseline.

#include "platform/Encoding.h"

#include <benchmark/benchmark.h>

namespace {

const QString& ShortText() {
    static const QString s = QStringLiteral("Forma Łódź 117 – pokrywa");
    return s;
}

const QString& LongText() {
    static const QString s = [] {
        QString t;
        while (t.size() < 65536)
            t += QStringLiteral("2024-03-05 14:07:09   Sprawdzenie formy: Zażółć gęślą jaźń[117]\r\n");
        return t.left(65536);
    }();
    return s;
}

void Decode1250(benchmark::State& state, const QString& text) {
    const QByteArray bytes = platform::AnsiFromString(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::StringFromAnsi(bytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void DecodeLatin1(benchmark::State& state, const QString& text) {
    const QByteArray bytes = platform::AnsiFromString(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(QString::fromLatin1(bytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void Encode1250(benchmark::State& state, const QString& text) {
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::AnsiFromString(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}

void EncodeLatin1(benchmark::State& state, const QString& text) {
    for (auto _ : state)
        benchmark::DoNotOptimize(text.toLatin1());
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}

BENCHMARK_CAPTURE(DecodeLatin1, value, ShortText());
BENCHMARK_CAPTURE(Decode1250, value, ShortText());
BENCHMARK_CAPTURE(DecodeLatin1, log64k, LongText());
BENCHMARK_CAPTURE(Decode1250, log64k, LongText());
BENCHMARK_CAPTURE(EncodeLatin1, value, ShortText());
BENCHMARK_CAPTURE(Encode1250, value, ShortText());
BENCHMARK_CAPTURE(EncodeLatin1, log64k, LongText());
BENCHMARK_CAPTURE(Encode1250, log64k, LongText());

} // namespace

BENCHMARK_MAIN();
