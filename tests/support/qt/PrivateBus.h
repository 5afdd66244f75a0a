#pragma once
// A private session bus (its own dbus-daemon) for one test, and the helper
// services a test puts on it; all of them end with it.
#include <QDBusConnection>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace velto::test {

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // False when the daemon (or a helper) could not be started.
    bool Up() const { return !m_failed && connection && connection->isConnected(); }
    const std::string& Address() const { return m_address; }
    // Runs argv with this bus as its session bus; with ready, waits for its
    // first output line to begin with it. A failure makes Up() false.
    bool StartHelper(const std::vector<std::string>& argv, const std::string& ready = {});
    // Waits until the name has an owner on the bus.
    bool WaitForName(const QString& name, int limitMs = 10000);

    std::unique_ptr<QDBusConnection> connection;

private:
    ChildProcess m_daemon;
    std::vector<std::unique_ptr<ChildProcess>> m_helpers;
    std::string m_logs, m_address, m_name;
    bool m_failed = false;
};

}  // namespace velto::test
