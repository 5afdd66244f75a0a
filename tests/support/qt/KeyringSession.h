#pragma once
// A private session bus with an unlocked GNOME Keyring on it, named in the
// environment before anything in this process asks for the session bus
// (each test runs in a process of its own); programs started later use it too.
#include "support/qt/PrivateBus.h"

namespace velto::test {

struct KeyringSession {
    KeyringSession();
    PrivateBus bus;
    bool up = false;  // false: no dbus-daemon or gnome-keyring-daemon
};

}  // namespace velto::test
