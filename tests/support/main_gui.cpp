#include <gtest/gtest.h>
#include <QApplication>

#include "support/TsanSuppressions.h"

// Widget tests run on the offscreen platform (set by CTest), so no display is needed.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
