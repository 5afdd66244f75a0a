#include <gtest/gtest.h>

#include "settings/Crc32.h"
#include "support/qt/EngineHarness.h"
#include "support/FakeTransport.h"
#include "support/Pop3Scripts.h"

namespace velto {
namespace {

using test::AccountsText;
using test::EngineHarness;
using test::ScriptedTransportFactory;

const char* const kQuit = test::kPop3Quit;
const auto& Login = test::Pop3Login;
const auto& Uidl = test::Pop3Uidl;

CMailHeader Stored(const std::string& uid, const std::string& server, const std::string& subject) {
    CMailHeader r;
    r.ParseHeader("Subject: " + subject + "\r\n");
    r.SetAccountInfo(server, "x@example.com", "");
    r.SetMessageInfo(-1, Crc32::Of(uid), 100);
    return r;
}

using Fixture = test::ScriptedEngine;

TEST(DeleteMessages, EachSelectedMessageIsDeletedOnItsOwnServer) {
    const std::string script = Login("A", 2) + Uidl(1, "a1") + Uidl(2, "a2") + "C: DELE 2\nS: +OK gone\n" + kQuit +
                               Login("B", 1) + Uidl(1, "b1") + "C: DELE 1\nS: +OK gone\n" + kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}, {"B", "pop.b"}}), script);
    auto& h = f.h;
    for (auto [uid, server] : {std::pair{"a1", "pop.a"}, {"a2", "pop.a"}, {"b1", "pop.b"}})
        h.view->Messages().Append(Stored(uid, server, uid));
    h.view->RefreshList();
    h.Drain();
    h.view->OnDeleteMessage({f.RowOf("a2"), f.RowOf("b1")});
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    ASSERT_EQ(h.view->Model()->rowCount(), 1);
    EXPECT_EQ(h.view->Model()->RowAt(0).subject, "a1");
}

TEST(DeleteMessages, AMessageWithoutAUniqueIdIsNeverDeleted) {
    // The second message's id cannot be read: the id of the one before it
    // must not stand in for it.
    const std::string script = Login("A", 2) + Uidl(1, "a1") + "C: UIDL 2\nS: -ERR busy\n" + kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}}), script);
    auto& h = f.h;
    h.view->Messages().Append(Stored("a1", "pop.a", "a1"));
    h.view->RefreshList();
    h.Drain();
    h.view->OnDeleteMessage({});  // nothing selected: every account is visited, nothing deleted
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_EQ(h.view->Messages().Size(), 1u);
}

TEST(ReadMessage, FetchesByIdAndShowsTheBodyInTheMessageCenter) {
    const std::string script = Login("A", 2) + Uidl(1, "other") + Uidl(2, "wanted") +
                               "C: LIST 2\nS: +OK 2 40\nC: RETR 2\nS: +OK\nS: Subject: hi\nS: \nS: ..dotted\nS: body\n"
                               "S: .\n" +
                               kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}}), script);
    auto& h = f.h;
    h.view->Messages().Append(Stored("wanted", "pop.a", "hi"));
    h.view->RefreshList();
    h.Drain();
    h.view->SetSelectionSource([] { return std::vector<int>{0}; });
    h.view->OnMessageStatistics();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_EQ(h.ui.messageCenterShows, 1);
    EXPECT_EQ(h.ui.browserShows, 0);
    EXPECT_EQ(h.ui.lastPage, 2);
    EXPECT_EQ(h.ui.lastBody, ".dotted\r\nbody");
}

TEST(ReadMessage, DoubleClickWithAutomaticViewOpensBothWindows) {
    const std::string script = Login("A", 1) + Uidl(1, "m") +
                               "C: LIST 1\nS: +OK 1 40\nC: RETR 1\nS: +OK\nS: Subject: hi\nS: \nS: text\nS: .\n" + kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}}), script);
    auto& h = f.h;
    h.view->Messages().Append(Stored("m", "pop.a", "hi"));
    h.view->RefreshList();
    h.Drain();
    h.view->SetSelectionSource([] { return std::vector<int>{0}; });
    h.view->OnListDoubleClick();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(h.ui.messageCenterShows, 1);
    EXPECT_EQ(h.ui.browserShows, 1);
    EXPECT_EQ(h.ui.lastPage, 0);
}

TEST(ReadMessage, TheNewMailNoticesReadOpensTheNewestNewMessageAsViewTypeSays) {
    const struct {
        int viewType, messageCenter, browser;
    } cases[] = {{0, 1, 1}, {1, 0, 1}, {2, 1, 0}};
    for (const auto& c : cases) {
        const std::string script = Login("A", 2) + test::Pop3NewHeader(1, "u1", "first") +
                                   test::Pop3NewHeader(2, "u2", "second") + kQuit + Login("A", 2) + Uidl(1, "u1") +
                                   Uidl(2, "u2") +
                                   "C: LIST 2\nS: +OK 2 40\nC: RETR 2\nS: +OK\nS: Subject: second\nS: \nS: text\nS: .\n" +
                                   kQuit;
        Fixture f(AccountsText({{"A", "pop.a"}}, "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n"
                                                 "\"View Type\"=dword:0000000" +
                                                     std::to_string(c.viewType) + "\r\n"),
                  script);
        auto& h = f.h;
        // Another row is selected: Read does not depend on the selection.
        h.view->SetSelectionSource([] { return std::vector<int>{1}; });
        h.view->OnRefresh();
        ASSERT_TRUE(h.FinishWork());
        ASSERT_EQ(h.notices.shown.size(), 1u);
        EXPECT_EQ(h.notices.shown[0].text, "second");
        h.journal.clear();
        ASSERT_TRUE(h.notices.Choose("read"));
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(f.transports->Problems(), "") << c.viewType;
        EXPECT_EQ(h.ui.messageCenterShows, c.messageCenter) << c.viewType;
        EXPECT_EQ(h.ui.browserShows, c.browser) << c.viewType;
        EXPECT_EQ(h.ui.lastBody, "text") << c.viewType;
        // The window comes up too, and the blink stops as after a click.
        EXPECT_EQ(h.journal.front(), "ui.show");
        EXPECT_EQ(h.view->NewCount(), 0);
    }
}

TEST(ReadMessage, AMessageGoneFromTheServerIsExplainedAndNothingSelectedDoesNothing) {
    const std::string script = Login("A", 1) + Uidl(1, "someone-else") + kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}}), script);
    auto& h = f.h;
    h.view->Messages().Append(Stored("gone", "pop.a", "old"));
    h.view->RefreshList();
    h.Drain();
    h.view->SetSelectionSource([] { return std::vector<int>{}; });
    h.view->OnReadMessage();
    EXPECT_FALSE(h.view->IsBusy());
    h.view->SetSelectionSource([] { return std::vector<int>{0}; });
    h.view->OnReadMessage();
    ASSERT_TRUE(h.FinishWork());
    ASSERT_EQ(h.ui.messageBoxes.size(), 1u);
    EXPECT_EQ(h.ui.messageBoxes[0].rfind("The Message does not exist on your server.", 0), 0u);
    EXPECT_EQ(h.ui.messageCenterShows, 0);
}

TEST(ReadMessage, ACheckStartedWhileTheGoneBoxIsUpRunsWhileTheReaderStillDelivers) {
    // The reader waits in its last message until the box is closed; a timer
    // tick in the box's loop starts a scan meanwhile.
    const std::string script = Login("A", 1) + Uidl(1, "someone-else") + kQuit + Login("A", 1) +
                               test::Pop3NewHeader(1, "someone-else", "new") + kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}}), script);
    auto& h = f.h;
    h.view->Messages().Append(Stored("gone", "pop.a", "old"));
    h.view->RefreshList();
    h.Drain();
    h.view->SetSelectionSource([] { return std::vector<int>{0}; });
    h.ui.whileMessageBox = [&] { h.view->OnRefresh(); };
    h.view->OnReadMessage();
    ASSERT_TRUE(h.RunUntil([&] { return h.ui.messageBoxes.size() == 1 && !h.view->IsBusy() && !h.view->WorkerActive(); }));
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_EQ(h.view->Messages().Size(), 2u);  // the scan ran to its end
}

TEST(Maintenance, EmptiesTheStoreAndFetchesEveryHeaderAgain) {
    const std::string script = Login("A", 1) + Uidl(1, "m") +
                               "C: LIST 1\nS: +OK 1 40\nC: TOP 1 0\nS: +OK\nS: Subject: again\nS: .\n" + Uidl(1, "m") +
                               kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}}), script);
    auto& h = f.h;
    h.view->Messages().Append(Stored("m", "pop.a", "stale copy"));
    h.view->Messages().Append(Stored("vanished", "pop.a", "no longer on the server"));
    h.view->OnPerformMaintenance();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    ASSERT_EQ(h.view->Model()->rowCount(), 1);
    EXPECT_EQ(h.view->Model()->RowAt(0).subject, "again");
    EXPECT_EQ(h.tray.tip, "VeltoMail 98 - You have 1 New Messages!!");
}

const std::string kTimersOn =
    "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
    "\"Startup Scan\"=dword:00000001\r\n\"Auto Scan\"=dword:00000001\r\n\"CheckMail Interval\"=dword:00000002\r\n"
    "\"Enable Dialup\"=dword:00000001\r\n\"Active RAS\"=\"Work\"\r\n";

TEST(Timers, StartupTickScansOnceWithoutDiallingAndIsNotRearmed) {
    Fixture f(AccountsText({{"A", "pop.a"}}, kTimersOn), Login("A", 0) + kQuit);
    auto& h = f.h;
    h.dialup.connections.clear();
    h.dialup.dialSucceeds = false;
    h.journal.clear();
    h.view->OnTimer(kStartupTimerId);
    EXPECT_FALSE(h.timers.IsArmed(kStartupTimerId));
    EXPECT_EQ(h.tray.tip, "VeltoMail 98 - Checking For New Mail");
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    for (const auto& e : h.journal) EXPECT_EQ(e.find("dialup.dial"), std::string::npos);
}

TEST(Timers, PeriodicTickRearmsAndStrictScanningSkipsWhenOffline) {
    Fixture f(AccountsText({{"A", "pop.a"}}, kTimersOn + "\"Strict Scanning\"=dword:00000001\r\n"), "");
    auto& h = f.h;
    h.dialup.connections.clear();
    h.journal.clear();
    h.view->OnTimer(kPeriodicTimerId);
    EXPECT_EQ(h.timers.Interval(kPeriodicTimerId), 120000);
    EXPECT_FALSE(h.view->IsBusy());  // offline: this tick skips the scan
    for (const auto& e : h.journal) EXPECT_EQ(e.find("dialup.dial"), std::string::npos);
    EXPECT_EQ(f.transports->state().connects, 0);
}

// No NetworkManager on the bus: nobody can tell whether a connection is up,
// so each tick checks (strict or not) and never dials.
TEST(Timers, WithoutTheDialUpServiceATickChecksAndNeverDials) {
    for (const char* strict : {"0", "1"}) {
        SCOPED_TRACE(std::string("Strict Scanning ") + strict);
        Fixture f(AccountsText({{"A", "pop.a"}}, kTimersOn + "\"Strict Scanning\"=dword:0000000" + strict + "\r\n"),
                  Login("A", 0) + kQuit);
        auto& h = f.h;
        h.dialup.connections.clear();
        h.dialup.enumStatus = 1;  // the service cannot be reached
        h.journal.clear();
        h.view->OnTimer(kPeriodicTimerId);
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(f.transports->state().connects, 1);
        for (const auto& e : h.journal) EXPECT_EQ(e.find("dialup.dial"), std::string::npos);
    }
}

TEST(Timers, WithoutTheNetworkTheTickWaitsAndTheScanFollowsWhenItIsBack) {
    // Dial-up is off: only the desktop's view of the network decides.
    Fixture f(AccountsText({{"A", "pop.a"}}, kTimersOn + "\"Strict Scanning\"=dword:00000001\r\n\"Enable Dialup\"=dword:00000000\r\n"),
              Login("A", 0) + kQuit);
    auto& h = f.h;
    ASSERT_TRUE(h.dialup.connectivityBack);
    h.dialup.connectivity = false;
    h.view->OnTimer(kPeriodicTimerId);
    EXPECT_FALSE(h.view->IsBusy());
    h.dialup.connectivity = true;
    h.dialup.connectivityBack();
    EXPECT_TRUE(h.view->IsBusy());  // the skipped check runs now
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->state().connects, 1);
    h.dialup.connectivityBack();  // nothing was skipped since
    EXPECT_FALSE(h.view->IsBusy());
    // After a sleep the interval counts from the wake-up.
    h.timers.KillTimer(kPeriodicTimerId);
    h.dialup.resumed();
    EXPECT_EQ(h.timers.Interval(kPeriodicTimerId), 120000);
}

// The dialog waits for the user while the loop runs: a tick meanwhile opens
// no second one, and the scan comes once it has closed, if it connected.
TEST(Timers, ATickWhileTheDialogIsOpenOpensNoOtherAndTheScanFollowsItsClose) {
    for (const bool connects : {true, false}) {
        SCOPED_TRACE(connects ? "connected" : "not connected");
        Fixture f(AccountsText({{"A", "pop.a"}}, kTimersOn), Login("A", 0) + kQuit);
        auto& h = f.h;
        h.dialup.connections.clear();
        h.dialup.closesAtOnce = false;
        h.dialup.dialSucceeds = connects;
        h.journal.clear();
        h.view->OnTimer(kPeriodicTimerId);
        h.view->OnTimer(kPeriodicTimerId);
        EXPECT_EQ(std::count(h.journal.begin(), h.journal.end(), "dialup.dial Work"), 1);
        EXPECT_FALSE(h.view->IsBusy());
        ASSERT_TRUE(h.dialup.DialogOpen());
        h.dialup.CloseDialog();
        EXPECT_EQ(h.view->IsBusy(), connects);
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(f.transports->state().connects, connects ? 1 : 0);
    }
}

TEST(Timers, PeriodicTickWithoutStrictScanningDialsScansAndHangsUp) {
    Fixture f(AccountsText({{"A", "pop.a"}}, kTimersOn), Login("A", 0) + kQuit);
    auto& h = f.h;
    // Start-up dialled (dial-up on, nothing connected) and keeps the line up
    // for the first check.
    EXPECT_TRUE(h.view->Dialup().DialledByUs());
    EXPECT_TRUE(h.dialup.hungUp.empty());
    h.dialup.connections.clear();
    h.view->OnTimer(kPeriodicTimerId);
    EXPECT_TRUE(h.view->IsBusy());
    EXPECT_TRUE(h.view->Dialup().DialledByUs());
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(h.dialup.hungUp, (std::vector<long>{77}));
    EXPECT_FALSE(h.view->Dialup().DialledByUs());
}

}  // namespace
}  // namespace velto
