#pragma once
// The main of a benchmark program: Google Benchmark's run inside the Qt application object the
// measured code needs (App: QCoreApplication, QGuiApplication or QApplication).

#include <benchmark/benchmark.h>

template <class App> int RunBenchmarks(int argc, char** argv) {
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
