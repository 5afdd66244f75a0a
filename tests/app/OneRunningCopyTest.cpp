#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <memory>

#include "ProgramRun.h"
#include "support/qt/PrivateBus.h"

namespace velto {
namespace {

bool Says(Program& program, const std::string& text) {
    return program.WaitFor([&] { return program.Errors().find(text) != std::string::npos; });
}

// One desktop session: its bus (or none) and its runtime folder.
std::function<void(QProcessEnvironment&)> Session(const std::string& runtime, const test::PrivateBus* bus) {
    return [=](QProcessEnvironment& env) {
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
        if (bus) env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(bus->Address()));
        else env.remove("DBUS_SESSION_BUS_ADDRESS");
    };
}

// The second start hands over the token its launcher gave it.
TEST(OneRunningCopy, ASecondStartShowsTheFirstWindowAndEndsAtOnce) {
    for (const bool withBus : {true, false}) {
        SCOPED_TRACE(withBus ? "session bus" : "local socket");
        std::unique_ptr<test::PrivateBus> bus;
        if (withBus) {
            bus = std::make_unique<test::PrivateBus>();
            if (!bus->Up()) continue;  // no dbus-daemon here: the socket row still runs
        }
        Program first(ProgramSettings(""));
        const auto session = Session(test::MakeTempDir("velto-runtime"), bus.get());
        first.Start({}, session);
        ASSERT_TRUE(Says(first, "VeltoMail: started")) << first.Errors();

        Program second("", first.home);
        QElapsedTimer clock;
        clock.start();
        second.Start({}, [&](QProcessEnvironment& env) {
            session(env);
            env.insert("XDG_ACTIVATION_TOKEN", "velto-launch-1");
        });
        ASSERT_TRUE(second.process.waitForFinished(2000)) << "still running after 2 s";
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_EQ(second.ExitCode(), 0) << second.Errors();
        EXPECT_TRUE(Says(first, "another start handed over with an activation token; the window is shown")) << first.Errors();
        if (bus) {
            const QStringList names = bus->connection->interface()->registeredServiceNames().value();
            EXPECT_EQ(names.filter("org.veltomail.VeltoMail").size(), 1) << names.join(' ').toStdString();
        }
        ASSERT_TRUE(first.Terminate(10000));
        EXPECT_EQ(first.ExitCode(), 0);
    }
}

TEST(OneRunningCopy, ACopyInAnotherSessionLeavesTheDataFileToTheFirst) {
    Program first(ProgramSettings(""));
    first.Start({}, Session(test::MakeTempDir("velto-runtime"), nullptr));
    ASSERT_TRUE(Says(first, "VeltoMail: started")) << first.Errors();
    // Another display: nothing to hand over to, but the same user's files.
    Program other("", first.home);
    other.Start({}, Session(test::MakeTempDir("velto-runtime"), nullptr));
    ASSERT_TRUE(Says(other, "VeltoMail is already running for this user")) << other.Errors();
    EXPECT_EQ(other.Errors().find("VeltoMail: started"), std::string::npos);
    ASSERT_TRUE(other.Terminate(10000));  // its box is closed: it ends without having started
    EXPECT_EQ(other.ExitCode(), 1);
    ASSERT_TRUE(first.Terminate(10000));
    EXPECT_EQ(first.ExitCode(), 0);
}

TEST(CommandLine, AnswersWithoutStartingTheProgram) {
    const struct {
        const char* argument;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {"--version", 0, "VeltoMail 98 1.1\n", ""},
        {"--help", 0, "Usage: veltomail [OPTION]", ""},
        {"--check-now", 2, "", "veltomail: unknown option '--check-now'; see veltomail --help\n"},
        {"inbox", 2, "", "veltomail: unexpected argument 'inbox'"},
    };
    for (const auto& c : cases) {
        Program program(ProgramSettings(""));
        program.Start({c.argument}, [](QProcessEnvironment& env) { env.remove("DISPLAY"); });
        ASSERT_TRUE(program.process.waitForFinished(5000)) << c.argument;
        EXPECT_EQ(program.ExitCode(), c.status) << c.argument;
        const std::string out = program.process.readAllStandardOutput().toStdString();
        EXPECT_EQ(out.rfind(c.out, 0), 0u) << c.argument << ": " << out;
        EXPECT_EQ(program.Errors().rfind(c.err, 0), 0u) << c.argument << ": " << program.errors;
        if (!*c.out) {
            EXPECT_EQ(out, "") << c.argument;
        }
        // Nothing was started: no settings written, no data folder made.
        EXPECT_FALSE(std::filesystem::exists(program.home + "/data")) << c.argument;
    }
}

}  // namespace
}  // namespace velto
