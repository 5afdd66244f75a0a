#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QTimer>
#include <filesystem>

#include "engine/DialupPolicy.h"
#include "platform/NmDialup.h"
#include "support/MemoryHiveStorage.h"
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

// Runs the dialog until its status reads `until` (then presses Cancel) or
// it closes by itself; returns what it showed last and whether it closed
// by itself.
std::pair<std::string, bool> DialUntil(Bus& bus, const std::string& entry, const QString& until) {
    NetworkManager nm(*bus.connection);
    std::vector<NetworkManager::Profile> profiles;
    nm.Profiles(profiles);
    QString path;
    for (const auto& p : profiles)
        if (p.id.toStdString() == entry) path = p.path;
    CDialupDialog dialog(nm, QString::fromStdString(entry), path, kQuick);
    bool cancelled = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!cancelled && dialog.StatusText() == until) {
            cancelled = true;
            static_cast<QDialog&>(dialog).reject();  // as the Cancel button does
        }
    });
    poll.start(10);
    QTimer::singleShot(5000, &dialog, [&] { static_cast<QDialog&>(dialog).reject(); });  // no test waits longer
    dialog.exec();
    return {dialog.StatusText().toStdString(), !cancelled};
}

// The dial's stages as its device or VPN reports them; a failure keeps its
// reason on screen until Cancel and leaves nothing up.
TEST(NmDialup, TheDialogShowsEachStageAndAFailureUntilCancel) {
    struct Row {
        const char* profiles;
        const char* outcome;
        const char* status;
    } rows[] = {
        {"Home DSL:pppoe", "stall:40", "Status: Opening Communications Port"},
        {"Home DSL:pppoe", "stall:70", "Status: Authenticated"},
        {"Home DSL", "stall:3", "Status: Dialing.."},
        {"Home DSL", "fail:9", "No secrets (password) were available for the connection"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.profiles) + " " + row.outcome);
        Bus bus(true, row.profiles, "", row.outcome);
        if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
        const auto [status, closedByItself] = DialUntil(bus, "Home DSL", row.status);
        EXPECT_EQ(status, row.status);
        EXPECT_FALSE(closedByItself);
        NmDialup dialup(*bus.connection, kQuick);
        std::vector<DialupConnection> connections;
        ASSERT_EQ(dialup.EnumConnections(connections), 0);
        EXPECT_TRUE(connections.empty());
    }
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
