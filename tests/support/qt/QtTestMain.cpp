// Test entry of the Qt layers: an application object exists for every test
// (widgets render offscreen, never on a display).
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>

#include "support/TestEnvironment.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    velto::test::PrepareTestProcess();
    // The web engine refuses its sandbox as root, as the program knows; the
    // tests that make web views directly must know it too.
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The web engine shares its GL contexts; set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
