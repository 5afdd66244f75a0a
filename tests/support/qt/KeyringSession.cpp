#include "support/qt/KeyringSession.h"

#include <cstdlib>
#include <filesystem>

#include "support/TestEnvironment.h"

namespace velto::test {

KeyringSession::KeyringSession() {
    if (!bus.Up() || !std::filesystem::exists("/usr/bin/gnome-keyring-daemon")) return;
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
    // Unlocked with a password on its standard input, as a log-in does.
    up = bus.StartHelper({"/bin/sh", "-c",
                          "printf pw | XDG_RUNTIME_DIR=" + MakeTempDir("velto-keyring-run") +
                              " /usr/bin/gnome-keyring-daemon --unlock --components=secrets --foreground"}) &&
         bus.WaitForName("org.freedesktop.secrets");
}

}  // namespace velto::test
