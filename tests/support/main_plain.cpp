#include <gtest/gtest.h>

#include "support/TsanSuppressions.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
