#include <gtest/gtest.h>
#include <QApplication>

#include "support/TsanSuppressions.h"

// Widget tests draw off-screen unless a platform is chosen explicitly (QT_QPA_PLATFORM=xcb to
// watch them), so they need no display, also when CTest lists them.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
