// Passwords and tokens in a real keyring: GNOME Keyring on a private session
// bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/KeyringSecrets.h"
#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

// A session bus of the test's own, named in the environment before anything
// in this process asks for the session bus (each test runs in a process of
// its own), with or without an unlocked keyring on it.
struct PrivateSession {
    explicit PrivateSession(bool withKeyring) {
        if (!std::filesystem::exists("/usr/bin/dbus-daemon")) return;
        const std::string logs = test::MakeTempDir("velto-keyring");
        std::string address;
        if (!bus.Start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, logs + "/bus.log", true, nullptr) ||
            !bus.ReadLine(address, 10s))
            return;
        while (!address.empty() && (address.back() == '\n' || address.back() == '\r')) address.pop_back();
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        if (withKeyring) {
            if (!std::filesystem::exists("/usr/bin/gnome-keyring-daemon")) return;
            // Unlocked with a password on its standard input, as a log-in
            // does; it ends with the bus.
            const std::string runtime = test::MakeTempDir("velto-keyring-run");
            if (!keyring.Start({"/bin/sh", "-c",
                                "printf pw | XDG_RUNTIME_DIR=" + runtime +
                                    " /usr/bin/gnome-keyring-daemon --unlock --components=secrets --foreground"},
                               logs + "/keyring.log", false, nullptr))
                return;
            // Its name appears on the bus a moment after it starts.
            for (int i = 0; i < 100 && !QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                           "org.freedesktop.secrets");
                 ++i)
                std::this_thread::sleep_for(50ms);
        }
        up = true;
    }
    test::ChildProcess bus, keyring;
    bool up = false;
};

TEST(KeyringSecrets, SecretsGoInAndComeBack) {
    PrivateSession session(true);
    if (!session.up) GTEST_SKIP() << "no dbus-daemon or gnome-keyring-daemon";
    KeyringSecrets keyring(10s);
    std::string why;
    ASSERT_TRUE(keyring.Write("Work/User Password", "s3cret pw", &why)) << why;
    std::string secret;
    ASSERT_TRUE(keyring.Read("Work/User Password", secret, &why)) << why;
    EXPECT_EQ(secret, "s3cret pw");
    ASSERT_TRUE(keyring.Write("Work/User Password", "changed", &why)) << why;
    ASSERT_TRUE(keyring.Read("Work/User Password", secret, &why)) << why;
    EXPECT_EQ(secret, "changed");
    EXPECT_TRUE(keyring.Remove("Work/User Password"));
    EXPECT_FALSE(keyring.Read("Work/User Password", secret));
}

}  // namespace
}  // namespace velto
