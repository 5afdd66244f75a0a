#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <functional>

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
// by itself. atUntil sees the dialog then, with the width it opened with.
std::pair<std::string, bool> DialUntil(Bus& bus, const std::string& entry, const QString& until,
                                       const std::function<void(CDialupDialog&, int)>& atUntil = {}) {
    NetworkManager nm(*bus.connection);
    std::vector<NetworkManager::Profile> profiles;
    nm.Profiles(profiles);
    QString path;
    for (const auto& p : profiles)
        if (p.id.toStdString() == entry) path = p.path;
    CDialupDialog dialog(nm, QString::fromStdString(entry), path, kQuick);
    bool cancelled = false;
    int opened = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!opened && dialog.isVisible()) opened = dialog.width();
        if (!cancelled && dialog.StatusText() == until) {
            if (atUntil) atUntil(dialog, opened);
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

// "Active RAS" is looked up among the entries only: a name of a wired or
// wireless profile (offered by the list before) is no entry, so the dialog
// says so and waits for Cancel, and that network is never activated (which
// would drop it for a moment at every tick).
TEST(NmDialup, OnlyAProfileOfADialledKindIsDialled) {
    struct Row {
        const char* entry;
        bool dialled;
    } rows[] = {
        {"Office VPN", true},
        {"Phone", true},
        {"Home Wi-Fi", false},
        {"Wired", false},
        {"Nowhere", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry);
        Bus bus(true, "Office VPN,Phone:gsm,Home Wi-Fi:802-11-wireless,Wired:802-3-ethernet",
                "Home Wi-Fi:802-11-wireless");
        if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
        NmDialup dialup(*bus.connection, kQuick);
        NetworkManager nm(*bus.connection);
        std::vector<NetworkManager::Active> before;
        ASSERT_TRUE(nm.ActiveConnections(before));
        // Cancel once the dialog shows what it came to, as the user would.
        QString shown;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<CDialupDialog*>(w); d && d->isVisible() &&
                                                                 d->StatusText().startsWith("Status: No network")) {
                    shown = d->StatusText();
                    static_cast<QDialog*>(d)->reject();
                }
        });
        poll.start(10);
        QTimer limit;  // no row waits longer
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<CDialupDialog*>(w)) static_cast<QDialog*>(d)->reject();
        });
        limit.start(5000);
        dialup.RunDialDialog(row.entry);
        poll.stop();
        std::vector<NetworkManager::Active> after;
        ASSERT_TRUE(nm.ActiveConnections(after));
        std::vector<std::string> ids;
        for (const auto& a : after) ids.push_back(a.id.toStdString());
        if (row.dialled) {
            EXPECT_EQ(ids, (std::vector<std::string>{"Home Wi-Fi", row.entry}));
            EXPECT_TRUE(shown.isEmpty());
        } else {
            EXPECT_EQ(ids, std::vector<std::string>{"Home Wi-Fi"});
            EXPECT_EQ(after[0].path, before[0].path);  // the same connection, never taken down
            EXPECT_EQ(shown.toStdString(), std::string("Status: No network connection is named ") + row.entry);
        }
    }
}

// NetworkManager's reasons for a connection going down: none, or the user's
// own disconnect, is the plain disconnect (the dialog says so and cancels);
// a failure keeps its reason on screen until Cancel. The reason fits the
// dialog: its line wraps rather than being cut.
TEST(NmDialup, AUserDisconnectCancelsTheDialogAndAFailureStays) {
    struct Row {
        const char* outcome;
        const char* status;
        bool closedByItself;
    } rows[] = {
        {"fail:0", "Status: Disconnected or failed connection", true},
        {"fail:1", "Status: Disconnected or failed connection", true},
        {"fail:2", "Status: Disconnected or failed connection", true},
        {"fail:6", "The connection timed out", false},
        {"fail:7", "The service providing the connection did not start in time", false},
        {"fail:9", "No secrets (password) were available for the connection", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.outcome);
        Bus bus(true, "Home DSL:pppoe", "", row.outcome);
        if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
        // A reason on screen wraps within the width the dialog opened with,
        // every word of it shown.
        const auto [status, closedByItself] = DialUntil(
            bus, "Home DSL", row.closedByItself ? "" : row.status, [](CDialupDialog& dialog, int opened) {
                QCoreApplication::processEvents();
                const auto* line = dialog.findChild<QLabel*>();
                ASSERT_NE(line, nullptr);
                EXPECT_TRUE(line->wordWrap());
                EXPECT_EQ(dialog.width(), opened);
                const QRect shown = line->contentsRect();
                EXPECT_LE(line->fontMetrics().boundingRect(shown, Qt::TextWordWrap, line->text()).height(),
                          shown.height());
            });
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(closedByItself, row.closedByItself);
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
