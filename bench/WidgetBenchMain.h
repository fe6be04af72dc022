#pragma once

// The main of a benchmark program that needs widgets: an offscreen application (unless a
// platform is set) in the window's style, then every benchmark asked for.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "CoreBenchMain.h"

namespace hoplark::bench {

inline int RunWidgetBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    return RunSpecifiedBenchmarksOf(argc, argv);
}

}  // namespace hoplark::bench
