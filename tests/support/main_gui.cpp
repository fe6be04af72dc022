#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>

#include "support/TsanSuppressions.h"

// Widget tests draw off-screen unless a platform is chosen explicitly (QT_QPA_PLATFORM=xcb to
// watch them), so they need no display, also when CTest lists them.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window records every trace into the user's data folder: here, into one that goes
    // with the test run.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
