// Test entry of the layers without Qt.
#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    velto::test::PrepareTestProcess();
    return RUN_ALL_TESTS();
}
