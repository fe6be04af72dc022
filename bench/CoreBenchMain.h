#pragma once

// The main of a benchmark program without widgets: a core application for the event loop the
// sessions and sockets need, then every benchmark asked for.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

namespace hoplark::bench {

// Runs the benchmarks the arguments ask for, in the application the caller made.
inline int RunSpecifiedBenchmarksOf(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

inline int RunCoreBenchmarks(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return RunSpecifiedBenchmarksOf(argc, argv);
}

}  // namespace hoplark::bench
