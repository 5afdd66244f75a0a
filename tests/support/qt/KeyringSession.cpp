#include "support/qt/KeyringSession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/TestEnvironment.h"

namespace velto::test {

using namespace std::chrono_literals;

KeyringSession::KeyringSession(bool withKeyring) {
    if (!std::filesystem::exists("/usr/bin/dbus-daemon")) return;
    const std::string logs = MakeTempDir("velto-keyring");
    std::string address;
    if (!bus.Start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, logs + "/bus.log", true,
                   nullptr) ||
        !bus.ReadLine(address, 10s))
        return;
    while (!address.empty() && (address.back() == '\n' || address.back() == '\r')) address.pop_back();
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    if (withKeyring) {
        if (!std::filesystem::exists("/usr/bin/gnome-keyring-daemon")) return;
        // Unlocked with a password on its standard input, as a log-in does;
        // it ends with the bus.
        const std::string runtime = MakeTempDir("velto-keyring-run");
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

}  // namespace velto::test
