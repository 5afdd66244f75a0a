// Shared test entry: a Qt application object exists for every test program
// (widgets render offscreen, never on a display).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>

#include "support/TestEnvironment.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    velto::test::PrepareTestProcess();
    std::unique_ptr<QCoreApplication> app = velto::test::MakeApplication(argc, argv);
    return RUN_ALL_TESTS();
}
