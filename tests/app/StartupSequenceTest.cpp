#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "app/CorvaneApp.h"
#include "support/TestEnvironment.h"
#include "ProgramRun.h"

namespace velto {
namespace {

struct VersionCase {
    long status;
    unsigned major, minor;
    bool runs;
};

TEST(StartupSystemCheck, ToolkitVersionRule) {
    const VersionCase cases[] = {
        {0, 4, 70, false},  // 4.70 refused
        {0, 4, 71, true},   {0, 5, 0, true}, {0, 6, 4, true},
        {0, 4, 0, false},   // no version export: taken as 4.0
        {-1, 0, 0, true},   // the query failed: run anyway
        {1, 3, 80, true},   // a minor of 71 or more passes whatever the major
    };
    for (const auto& c : cases) {
        std::vector<std::string> shown;
        unsigned warnedMajor = 99, warnedMinor = 99;
        CCorvaneApp::Environment env;
        env.startSockets = [] { return true; };
        env.queryVersion = [&](unsigned* major, unsigned* minor) {
            *major = c.major;
            *minor = c.minor;
            return c.status;
        };
        env.messageBox = [&](const std::string& t) { shown.push_back(t); };
        env.showOutdatedWarning = [&](unsigned major, unsigned minor) {
            warnedMajor = major;
            warnedMinor = minor;
        };
        EXPECT_EQ(CCorvaneApp::CheckSystem(env), c.runs) << c.major << "." << c.minor;
        if (!c.runs) {
            EXPECT_EQ(warnedMajor, c.major);
            EXPECT_EQ(warnedMinor, c.minor);
        }
        EXPECT_TRUE(shown.empty());
    }
}

TEST(StartupSystemCheck, SocketsFailureIsShownAndEndsStartUp) {
    std::vector<std::string> shown;
    bool asked = false;
    CCorvaneApp::Environment env;
    env.startSockets = [] { return false; };
    env.queryVersion = [&](unsigned*, unsigned*) {
        asked = true;
        return 0L;
    };
    env.messageBox = [&](const std::string& t) { shown.push_back(t); };
    env.showOutdatedWarning = [](unsigned, unsigned) {};
    EXPECT_FALSE(CCorvaneApp::CheckSystem(env));
    EXPECT_EQ(shown, (std::vector<std::string>{"Windows sockets initialization failed."}));
    EXPECT_FALSE(asked);
}

TEST(StartupSystemCheck, RunningToolkitReportsItsVersion) {
    unsigned major = 0, minor = 0;
    EXPECT_GE(CCorvaneApp::QueryCommonControlsVersion(&major, &minor), 0);
    EXPECT_GE(major, 6u);
    EXPECT_LT(CCorvaneApp::QueryCommonControlsVersion(nullptr, &minor), 0);
}

using test::ReadFile;

// The real program, offscreen, with two accounts: it loads them, and ends in
// order on SIGTERM, keeping every value and adding the keys loading creates.
TEST(ProgramEndToEnd, LoadsAccountsAndEndsCleanlyOnSigterm) {
    const std::string home = test::MakeTempDir("velto-e2e");
    const std::string config = home + "/config";
    QDir().mkpath(QString::fromStdString(config + "/VeltoMail"));
    const std::string original =
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Home]\r\n"
        "\"Account Name\"=\"Home\"\r\n\"Server Name\"=\"127.0.0.1\"\r\n\"Disabled\"=dword:00000001\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Work]\r\n"
        "\"Account Name\"=\"Work\"\r\n\"Server Name\"=\"pop.work.example\"\r\n\"User Password\"=\"s3cret\"\r\n"
        "\"Disabled\"=dword:00000001\r\n\r\n";
    const std::string path = config + "/VeltoMail/registry.reg";
    std::ofstream(path, std::ios::binary) << original;

    Program program("", home);  // the settings above, as this user's
    program.Start();
    // Start-up is through once the data file's path was saved.
    ASSERT_TRUE(program.WaitForSettings("\"Database\"=")) << program.Errors();
    ASSERT_TRUE(program.Terminate(20000));
    EXPECT_EQ(program.ExitCode(), 0);

    const std::string after = ReadFile(path);
    for (const char* kept : {"\"Server Name\"=\"pop.work.example\"", "\"User Password\"=\"s3cret\"",
                             "\"Server Name\"=\"127.0.0.1\"", "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]",
                             "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]"})
        EXPECT_NE(after.find(kept), std::string::npos) << kept;
    EXPECT_NE(after.find(home + "/data/VeltoMail/maildata.vlt"), std::string::npos);
    // Where the window was is kept apart from the settings, also when a
    // signal ends the program.
    const std::string layout = ReadFile(home + "/state/VeltoMail/window.ini");
    EXPECT_NE(layout.find("Geometry=@ByteArray("), std::string::npos) << layout;
    EXPECT_EQ(after.find("Geometry"), std::string::npos);
    // Private to the user: it holds passwords.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace velto
