#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <filesystem>

#include "platform/NmDialup.h"
#include "support/qt/PrivateBus.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

// A private bus, with or without a NetworkManager stand-in on it.
struct Bus : test::PrivateBus {
    explicit Bus(bool withNetworkManager, const std::string& profiles = "Home DSL,Office VPN",
                 const std::string& active = "Wired", const std::string& outcome = "ok") {
        if (Up() && withNetworkManager)
            StartHelper({"/usr/bin/python3", VELTO_SOURCE_DIR "/tests/support/fake_networkmanager.py", Address(),
                         profiles, active, outcome},
                        "ready");
    }
};

std::vector<std::string> Names(const std::vector<DialupConnection>& list) {
    std::vector<std::string> names;
    for (const auto& c : list) names.push_back(c.entryName);
    return names;
}

// No waiting in the dialog: the tests need its states, not its pauses.
constexpr CDialupDialog::Timing kQuick{0, 0, 0};

TEST(NmDialup, ProfilesAreTheEntriesAndActiveConnectionsTheConnections) {
    Bus bus(true);
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    std::vector<std::string> entries;
    dialup.EnumEntryNames(entries);
    EXPECT_EQ(entries, (std::vector<std::string>{"Home DSL", "Office VPN"}));
    std::vector<DialupConnection> connections;
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    EXPECT_EQ(Names(connections), (std::vector<std::string>{"Wired"}));
    EXPECT_TRUE(dialup.HasConnectivity());
}

TEST(NmDialup, DiallingActivatesTheProfileAndHangingUpTakesItDown) {
    Bus bus(true);
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    dialup.RunDialDialog("Office VPN");  // returns once it is up
    std::vector<DialupConnection> connections;
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    ASSERT_EQ(Names(connections), (std::vector<std::string>{"Wired", "Office VPN"}));
    EXPECT_EQ(dialup.HangUp(connections[1].handle), 0);
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    EXPECT_EQ(Names(connections), (std::vector<std::string>{"Wired"}));
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
