#include <gtest/gtest.h>
#include <QApplication>

// Widget tests run on the offscreen platform, so no display is needed. CTest sets it for the
// tests, but not when it lists them, so it is also the default here.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
