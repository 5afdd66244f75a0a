#include "support/qt/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>

#include "support/TestEnvironment.h"

namespace velto::test {

using namespace std::chrono_literals;

PrivateBus::PrivateBus() {
    static int s_count = 0;
    if (!std::filesystem::exists("/usr/bin/dbus-daemon")) return;
    m_logs = MakeTempDir("velto-bus");
    std::string error;
    if (!m_daemon.Start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, m_logs + "/bus.log",
                        true, &error) ||
        !m_daemon.ReadLine(m_address, 10s))
        return;
    while (!m_address.empty() && (m_address.back() == '\n' || m_address.back() == '\r')) m_address.pop_back();
    m_name = "velto-test-bus-" + std::to_string(++s_count);
    connection = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QString::fromStdString(m_address), QString::fromStdString(m_name)));
}

PrivateBus::~PrivateBus() {
    m_helpers.clear();
    connection.reset();
    QDBusConnection::disconnectFromBus(QString::fromStdString(m_name));
}

bool PrivateBus::StartHelper(const std::vector<std::string>& argv, const std::string& ready) {
    std::vector<std::string> command{"/usr/bin/env", "DBUS_SESSION_BUS_ADDRESS=" + m_address};
    command.insert(command.end(), argv.begin(), argv.end());
    auto helper = std::make_unique<ChildProcess>();
    std::string error, line;
    const std::string log = m_logs + "/helper" + std::to_string(m_helpers.size()) + ".log";
    const bool started = helper->Start(command, log, true, &error) &&
                         (ready.empty() || (helper->ReadLine(line, 10s) && line.rfind(ready, 0) == 0));
    m_helpers.push_back(std::move(helper));
    if (!started) m_failed = true;
    return started;
}

bool PrivateBus::WaitForName(const QString& name, int limitMs) {
    if (!connection) return false;
    QElapsedTimer clock;
    clock.start();
    while (!connection->interface()->isServiceRegistered(name).value()) {
        if (clock.elapsed() > limitMs) return false;
        QThread::msleep(20);
    }
    return true;
}

}  // namespace velto::test
