#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <filesystem>

#include "engine/DialupPolicy.h"
#include "platform/NmDialup.h"
#include "support/MemoryHiveStorage.h"
#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

// A private bus, with or without a NetworkManager stand-in on it.
struct Bus {
    explicit Bus(bool withNetworkManager, const std::string& profiles = "Home DSL,Office VPN",
                 const std::string& active = "Wired", const std::string& outcome = "ok") {
        if (!std::filesystem::exists("/usr/bin/dbus-daemon")) return;
        const std::string logs = test::MakeTempDir("velto-bus");
        std::string error;
        if (!daemon.Start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, logs + "/bus.log", true,
                          &error) ||
            !daemon.ReadLine(address, 10s))
            return;
        while (!address.empty() && (address.back() == '\n' || address.back() == '\r')) address.pop_back();
        if (withNetworkManager) {
            std::string ready;
            if (!fake.Start({"/usr/bin/python3", VELTO_SOURCE_DIR "/tests/support/fake_networkmanager.py", address,
                             profiles, active, outcome},
                            logs + "/nm.log", true, &error) ||
                !fake.ReadLine(ready, 10s) || ready.rfind("ready", 0) != 0)
                return;
        }
        name = "velto-test-bus-" + std::to_string(++s_count);
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(address), QString::fromStdString(name)));
    }
    ~Bus() {
        connection.reset();
        QDBusConnection::disconnectFromBus(QString::fromStdString(name));
    }
    bool Up() const { return connection && connection->isConnected(); }

    static inline int s_count = 0;
    test::ChildProcess daemon, fake;
    std::string address, name;
    std::unique_ptr<QDBusConnection> connection;
};

std::vector<std::string> Names(const std::vector<DialupConnection>& list) {
    std::vector<std::string> names;
    for (const auto& c : list) names.push_back(c.entryName);
    return names;
}

// No waiting in the dialog: the tests need its states, not its pauses.
constexpr CDialupDialog::Timing kQuick{0, 0, 0};

// Wired and wireless networks are simply there: neither an entry to dial
// nor a connection that makes dialling needless.
TEST(NmDialup, ProfilesOfDialledKindsAreTheEntriesAndTheirActiveConnectionsTheConnections) {
    Bus bus(true, "Home DSL:pppoe,Office VPN,Home Wi-Fi:802-11-wireless,Phone:gsm",
            "Wired,Home Wi-Fi:802-11-wireless,Tunnel:wireguard");
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    std::vector<std::string> entries;
    dialup.EnumEntryNames(entries);
    EXPECT_EQ(entries, (std::vector<std::string>{"Home DSL", "Office VPN", "Phone"}));
    std::vector<DialupConnection> connections;
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    EXPECT_EQ(Names(connections), (std::vector<std::string>{"Tunnel"}));
    EXPECT_TRUE(dialup.HasConnectivity());
}

TEST(NmDialup, WhileWiFiIsUpTheVpnProfileIsDialledForACheck) {
    test::ScopedHive hive(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
        "\"Enable Dialup\"=dword:00000001\r\n\"Active RAS\"=\"Office VPN\"\r\n");
    Bus bus(true, "Office VPN,Home Wi-Fi:802-11-wireless", "Home Wi-Fi:802-11-wireless");
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    DialupPolicy policy(&dialup);
    EXPECT_TRUE(policy.EnsureOnline(true));
    EXPECT_TRUE(policy.DialledByUs());
    std::vector<DialupConnection> connections;
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    EXPECT_EQ(Names(connections), (std::vector<std::string>{"Office VPN"}));
}

TEST(NmDialup, DiallingActivatesTheProfileAndHangingUpTakesItDown) {
    Bus bus(true);
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    dialup.RunDialDialog("Office VPN");  // returns once it is up
    std::vector<DialupConnection> connections;
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    ASSERT_EQ(Names(connections), (std::vector<std::string>{"Office VPN"}));
    EXPECT_EQ(dialup.HangUp(connections[0].handle), 0);
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    EXPECT_TRUE(connections.empty());
    EXPECT_NE(dialup.HangUp(99), 0);
}

TEST(NmDialup, AFailedActivationShowsTheReasonAndLeavesNothingUp) {
    Bus bus(true, "Home DSL", "", "fail:9");
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    NetworkManager nm(*bus.connection);
    std::vector<NetworkManager::Profile> profiles;
    ASSERT_TRUE(nm.Profiles(profiles));
    ASSERT_EQ(profiles.size(), 1u);
    CDialupDialog dialog(nm, "Home DSL", profiles[0].path, kQuick);
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.StatusText(), "No secrets (password) were available for the connection");
    std::vector<DialupConnection> connections;
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    EXPECT_TRUE(connections.empty());
}

TEST(NmDialup, WithoutNetworkManagerTheEngineCountsAsOnlineAndNothingIsOffered) {
    Bus bus(false);
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    QElapsedTimer clock;
    clock.start();
    NmDialup dialup(*bus.connection, kQuick);
    std::vector<DialupConnection> connections;
    EXPECT_EQ(dialup.EnumConnections(connections), NmDialup::kServiceUnavailable);
    std::vector<std::string> entries;
    dialup.EnumEntryNames(entries);
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(dialup.HasConnectivity());
    EXPECT_LT(clock.elapsed(), 2000);  // answered at once, nobody waited for a service to start
}

TEST(NmDialup, ConnectivityComingBackIsTold) {
    Bus bus(true);
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    int back = 0;
    dialup.SetNetworkListener([&] { ++back; }, [] {});
    auto setState = [&](unsigned state) {
        QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.NetworkManager", "/", "test.Control", "SetState");
        m.setArguments({state});
        bus.connection->call(m);
    };
    setState(20);  // disconnected
    QElapsedTimer clock;
    clock.start();
    while (dialup.HasConnectivity() && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(dialup.HasConnectivity());
    setState(70);  // connected to the internet again
    clock.restart();
    while (back == 0 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(back, 1);
}

}  // namespace
}  // namespace velto
