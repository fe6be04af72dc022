#include <gtest/gtest.h>
#include <QCoreApplication>

#include "support/TsanSuppressions.h"

// The trace tests need an event loop for posted worker messages and timers, but no display.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
