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
#include <optional>

#include "engine/DialupPolicy.h"
#include "platform/NmDialup.h"
#include "support/MemoryHiveStorage.h"
#include "support/qt/PrivateBus.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

const char* const kFakeNetworkManager = VELTO_SOURCE_DIR "/tests/support/fake_networkmanager.py";

// A private bus, with or without a NetworkManager stand-in on it.
struct Bus : test::PrivateBus {
    explicit Bus(bool withNetworkManager, const std::string& profiles = "Home DSL,Office VPN",
                 const std::string& active = "Wired", const std::string& outcome = "ok") {
        if (Up() && withNetworkManager) StartNetworkManager(profiles, active, outcome);
    }
    void StartNetworkManager(const std::string& profiles, const std::string& active, const std::string& outcome) {
        StartHelper({"/usr/bin/python3", kFakeNetworkManager, Address(), profiles, active, outcome}, "ready");
    }
    // What another program (or NetworkManager itself) changes.
    void Control(const char* method, const QVariant& argument) {
        QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.NetworkManager", "/", "test.Control", method);
        m.setArguments({argument});
        connection->call(m);
    }
};

// Runs the event loop until done holds, 5 seconds at most.
bool Until(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool Known(IDialup& dialup) {
    bool known = false;
    dialup.WhenKnown([&] { known = true; });
    return Until([&] { return known; });
}

std::vector<std::string> Names(const std::vector<DialupConnection>& list) {
    std::vector<std::string> names;
    for (const auto& c : list) names.push_back(c.entryName);
    return names;
}

std::vector<std::string> Connections(NmDialup& dialup) {
    std::vector<DialupConnection> connections;
    dialup.EnumConnections(connections);
    return Names(connections);
}

std::vector<std::string> Entries(NmDialup& dialup) {
    std::vector<std::string> entries;
    dialup.EnumEntryNames(entries);
    return entries;
}

CDialupDialog* OpenDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CDialupDialog*>(w); d && d->isVisible()) return d;
    return nullptr;
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
    ASSERT_TRUE(Known(dialup));
    EXPECT_EQ(Entries(dialup), (std::vector<std::string>{"Home DSL", "Office VPN", "Phone"}));
    std::vector<DialupConnection> connections;
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    EXPECT_EQ(Names(connections), (std::vector<std::string>{"Tunnel"}));
    EXPECT_TRUE(dialup.HasConnectivity());
}

// Nothing is asked when a question comes: what NetworkManager says later,
// on its own, is what the next question hears.
TEST(NmDialup, WhatNetworkManagerTellsLaterIsHeardWithoutAsking) {
    Bus bus(true, "Office VPN", "Wired");
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    ASSERT_TRUE(Known(dialup));
    bus.Control("AddProfile", "Phone:gsm");
    bus.Control("AddActive", "Tunnel:wireguard");
    bus.Control("SetState", 20u);  // disconnected
    EXPECT_TRUE(Until([&] { return Entries(dialup) == std::vector<std::string>{"Office VPN", "Phone"}; }));
    EXPECT_TRUE(Until([&] { return Connections(dialup) == std::vector<std::string>{"Tunnel"}; }));
    EXPECT_TRUE(Until([&] { return !dialup.HasConnectivity(); }));
}

TEST(NmDialup, ANetworkManagerThatStartsLaterIsHeard) {
    Bus bus(false);
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    ASSERT_TRUE(Known(dialup));
    std::vector<DialupConnection> connections;
    EXPECT_EQ(dialup.EnumConnections(connections), NmDialup::kServiceUnavailable);
    bus.StartNetworkManager("Office VPN", "Tunnel:wireguard", "ok");
    EXPECT_TRUE(Until([&] { return Connections(dialup) == std::vector<std::string>{"Tunnel"}; }));
    EXPECT_TRUE(Until([&] { return Entries(dialup) == std::vector<std::string>{"Office VPN"}; }));
}

TEST(NmDialup, WhileWiFiIsUpTheVpnProfileIsDialledForACheck) {
    test::ScopedHive hive(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
        "\"Enable Dialup\"=dword:00000001\r\n\"Active RAS\"=\"Office VPN\"\r\n");
    Bus bus(true, "Office VPN,Home Wi-Fi:802-11-wireless", "Home Wi-Fi:802-11-wireless");
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    // Asked at once, before NetworkManager's first answers: the decision
    // waits for them instead of taking "cannot tell yet" for online.
    NmDialup dialup(*bus.connection, kQuick);
    DialupPolicy policy(&dialup);
    std::optional<bool> online;
    policy.EnsureOnline(true, [&](bool answer) { online = answer; });
    EXPECT_FALSE(online.has_value());  // no answer inside the call
    ASSERT_TRUE(Until([&] { return online.has_value(); }));
    EXPECT_TRUE(*online);
    EXPECT_TRUE(policy.DialledByUs());
    EXPECT_EQ(Connections(dialup), (std::vector<std::string>{"Office VPN"}));
}

TEST(NmDialup, DiallingActivatesTheProfileAndHangingUpTakesItDown) {
    Bus bus(true);
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    bool closed = false;
    dialup.RunDialDialog("Office VPN", [&] { closed = true; });
    EXPECT_FALSE(closed);
    ASSERT_TRUE(Until([&] { return closed; }));  // closes once it is up
    std::vector<DialupConnection> connections;
    ASSERT_EQ(dialup.EnumConnections(connections), 0);
    ASSERT_EQ(Names(connections), (std::vector<std::string>{"Office VPN"}));
    EXPECT_EQ(dialup.HangUp(connections[0].handle), 0);
    EXPECT_TRUE(Until([&] { return Connections(dialup).empty(); }));
    EXPECT_NE(dialup.HangUp(99), 0);
}

// A NetworkManager that never answers holds nothing up: every question is
// answered at once ("cannot tell": online), and the check that waits for
// its first answers goes ahead, without dialling, once the calls give up.
TEST(NmDialup, ANetworkManagerThatHangsHoldsNothingUp) {
    test::ScopedHive hive(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
        "\"Enable Dialup\"=dword:00000001\r\n\"Active RAS\"=\"Office VPN\"\r\n");
    Bus bus(true, "Office VPN", "", "silent");
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    QElapsedTimer clock;
    clock.start();
    NmDialup dialup(*bus.connection, kQuick);
    std::vector<DialupConnection> connections;
    EXPECT_EQ(dialup.EnumConnections(connections), NmDialup::kServiceUnavailable);
    EXPECT_TRUE(Entries(dialup).empty());
    EXPECT_TRUE(dialup.HasConnectivity());
    DialupPolicy policy(&dialup);
    std::optional<bool> online;
    policy.EnsureOnline(true, [&](bool answer) { online = answer; });
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(online.has_value());
    ASSERT_TRUE(Until([&] { return online.has_value(); }, 15000));
    EXPECT_TRUE(*online);
    EXPECT_EQ(OpenDialog(), nullptr);
    EXPECT_FALSE(policy.DialledByUs());
}

// Opens the dialog and runs the loop until its status reads `until` (then
// presses Cancel) or it closes by itself; returns what it showed last and
// whether it closed by itself. atUntil sees the dialog then, with the width
// it opened with.
std::pair<std::string, bool> DialUntil(Bus& bus, const std::string& entry, const QString& until,
                                       const std::function<void(CDialupDialog&, int)>& atUntil = {}) {
    NetworkManager nm(*bus.connection);
    bool known = false;
    nm.WhenKnown([&] { known = true; });
    Until([&] { return known; });
    std::vector<NetworkManager::Profile> profiles;
    nm.Profiles(profiles);
    QString path;
    for (const auto& p : profiles)
        if (p.id.toStdString() == entry) path = p.path;
    CDialupDialog dialog(nm, QString::fromStdString(entry), path, kQuick);
    bool finished = false, cancelled = false;
    QObject::connect(&dialog, &QDialog::finished, [&] { finished = true; });
    int opened = 0;
    dialog.open();
    Until([&] {
        if (!opened && dialog.isVisible()) opened = dialog.width();
        if (!cancelled && dialog.StatusText() == until) {
            if (atUntil) atUntil(dialog, opened);
            cancelled = true;
            static_cast<QDialog&>(dialog).reject();  // as the Cancel button does
        }
        return finished;
    });
    if (!finished) static_cast<QDialog&>(dialog).reject();
    Until([&] { return finished; });
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
        ASSERT_TRUE(Known(dialup));
        std::vector<DialupConnection> connections;
        ASSERT_EQ(dialup.EnumConnections(connections), 0);
        EXPECT_TRUE(connections.empty());
    }
}

// Cancel before NetworkManager has answered the activation: the dialog
// stays until the answer and takes that connection down, rather than
// closing and leaving it to come up.
TEST(NmDialup, CancelBeforeTheActivationIsAnsweredStillHangsUp) {
    Bus bus(true, "Home DSL:pppoe", "", "late:300");
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    std::vector<unsigned> states;
    QObject::connect(&dialup.Manager(), &NetworkManager::activeStateChanged,
                     [&](const QString&, unsigned state, unsigned) { states.push_back(state); });
    bool closed = false;
    dialup.RunDialDialog("Home DSL", [&] { closed = true; });
    ASSERT_TRUE(Until([&] {
        CDialupDialog* d = OpenDialog();
        return d && d->windowTitle().startsWith("Connecting to");
    }));
    static_cast<QDialog*>(OpenDialog())->reject();  // the activation is under way, unanswered
    ASSERT_TRUE(Until([&] { return closed; }));
    EXPECT_TRUE(Connections(dialup).empty());
    EXPECT_TRUE(Until([&] { return !states.empty(); }));
    EXPECT_EQ(states, std::vector<unsigned>{NetworkManager::Deactivated});
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
        bool known = false;
        nm.WhenKnown([&] { known = true; });
        ASSERT_TRUE(Until([&] { return known; }));
        std::vector<NetworkManager::Active> before;
        ASSERT_TRUE(nm.ActiveConnections(before));
        bool closed = false;
        dialup.RunDialDialog(row.entry, [&] { closed = true; });
        // Cancel once the dialog shows what it came to, as the user would.
        QString shown;
        Until([&] {
            if (CDialupDialog* d = OpenDialog(); d && d->StatusText().startsWith("Status: No network")) {
                shown = d->StatusText();
                static_cast<QDialog*>(d)->reject();
            }
            return closed;
        });
        if (CDialupDialog* d = OpenDialog()) static_cast<QDialog*>(d)->reject();
        ASSERT_TRUE(Until([&] { return closed; }));
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
    ASSERT_TRUE(Known(dialup));
    std::vector<DialupConnection> connections;
    EXPECT_EQ(dialup.EnumConnections(connections), NmDialup::kServiceUnavailable);
    EXPECT_TRUE(Entries(dialup).empty());
    EXPECT_TRUE(dialup.HasConnectivity());
    EXPECT_LT(clock.elapsed(), 2000);  // known at once, nobody waited for a service to start
}

TEST(NmDialup, ConnectivityComingBackIsTold) {
    Bus bus(true);
    if (!bus.Up()) GTEST_SKIP() << "no private D-Bus bus";
    NmDialup dialup(*bus.connection, kQuick);
    int back = 0;
    dialup.SetNetworkListener([&] { ++back; }, [] {});
    bus.Control("SetState", 20u);  // disconnected
    EXPECT_TRUE(Until([&] { return !dialup.HasConnectivity(); }));
    bus.Control("SetState", 70u);  // connected to the internet again
    EXPECT_TRUE(Until([&] { return back > 0; }));
    EXPECT_EQ(back, 1);
}

}  // namespace
}  // namespace velto
