#pragma once
// A session bus of the test's own, named in the environment before anything
// in this process asks for the session bus (each test runs in a process of
// its own), with or without an unlocked GNOME Keyring on it.
#include "support/ChildProcess.h"

namespace velto::test {

struct KeyringSession {
    explicit KeyringSession(bool withKeyring);
    ChildProcess bus, keyring;
    bool up = false;  // false: no dbus-daemon or gnome-keyring-daemon
};

}  // namespace velto::test
