#include <gtest/gtest.h>

#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

using test::AccountsText;
using test::EngineHarness;

const std::string kConfig =
    "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
    "\"Database\"=\"/data/maildata.vlt\"\r\n\"Startup Scan\"=dword:00000001\r\n"
    "\"Auto Scan\"=dword:00000001\r\n\"CheckMail Interval\"=dword:00000005\r\n"
    "\"Enable Dialup\"=dword:00000001\r\n\"Active RAS\"=\"Work\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n\"Save Headers\"=dword:00000001\r\n\r\n";

std::vector<std::string> Filtered(const test::Journal& journal) {
    std::vector<std::string> out;
    for (const auto& e : journal)
        if (e.rfind("chooser", 0) != 0) out.push_back(e);
    return out;
}

TEST(Startup, InitialUpdateRunsItsStepsInOrder) {
    EngineHarness h(AccountsText({}, kConfig));
    CMailHeader stored;
    stored.SetAccountInfo("pop.example.com", "a@example.com", "");
    stored.SetMessageInfo(-1, 42, 100);
    h.store.files["/data/maildata.vlt"] = {stored};
    h.ui.onOptionsSheet = [&] {
        // The user creates an account on the sheet and presses OK.
        AccountSettings a;
        a.SetAccountName("Inbox");
        a.SetServerName("pop.example.com");
        a.m_modified = 1;
        a.Save(keys::kAccounts);
    };
    h.ui.optionsResult = true;
    h.view->OnInitialUpdate();
    const std::vector<std::string> expected = {
        "tray.add VeltoMail 98", "ui.setuplist", "ui.options", "store.load",
        "dialup.enum",           "dialup.dial Work", "dialup.enum", "timer.set 19 10000", "timer.set 17 300000"};
    EXPECT_EQ(Filtered(h.journal), expected);
    EXPECT_TRUE(h.view->Dialup().DialledByUs());
    // The account made on the sheet is loaded, and the chooser shows it.
    ASSERT_EQ(h.view->Accounts().size(), 1u);
    EXPECT_EQ(h.ui.chooser, (std::vector<std::string>{"All MailBoxes", "pop.example.com"}));
    h.Drain();
    EXPECT_EQ(h.ui.title, "VeltoMail 98 - All MailBoxes - 1 Messages");
}

// Start-up goes on while the dial dialog waits for the user; the timers
// follow its close, unless the program is ending by then.
TEST(Startup, TheTimersAreArmedOnceTheDialDialogHasClosed) {
    for (const bool endingFirst : {false, true}) {
        SCOPED_TRACE(endingFirst ? "ending first" : "running");
        EngineHarness h(AccountsText({{"A", "pop.a"}}, kConfig));
        h.dialup.closesAtOnce = false;
        h.view->OnInitialUpdate();
        ASSERT_TRUE(h.dialup.DialogOpen());
        EXPECT_FALSE(h.timers.IsArmed(kStartupTimerId));
        EXPECT_FALSE(h.timers.IsArmed(kPeriodicTimerId));
        if (endingFirst) h.view->OnDestroy();
        h.dialup.CloseDialog();
        EXPECT_EQ(h.timers.IsArmed(kStartupTimerId), !endingFirst);
        EXPECT_EQ(h.timers.IsArmed(kPeriodicTimerId), !endingFirst);
    }
}

TEST(Startup, AccountsPresentSkipTheSheetAndTimersFollowTheirSwitches) {
    EngineHarness h(AccountsText({{"B", "pop.b"}, {"a", "pop.a"}}));
    h.view->OnInitialUpdate();
    for (const auto& e : h.journal) {
        EXPECT_NE(e, "ui.options");
        EXPECT_NE(e, "store.load");
        EXPECT_EQ(e.find("dialup"), std::string::npos);  // dial-up off: nothing asked
    }
    EXPECT_FALSE(h.timers.IsArmed(kStartupTimerId));
    EXPECT_FALSE(h.timers.IsArmed(kPeriodicTimerId));
    // Servers in reverse enumeration order below "All MailBoxes".
    EXPECT_EQ(h.ui.chooser, (std::vector<std::string>{"All MailBoxes", "pop.b", "pop.a"}));
    EXPECT_EQ(h.ui.chooserSel, 0);
    EXPECT_EQ(h.view->Filter(), "All MailBoxes");
}

TEST(Startup, CancelledSheetLeavesTheProgramRunningWithoutAccounts) {
    EngineHarness h;
    h.view->OnInitialUpdate();
    h.Drain();
    EXPECT_TRUE(h.view->Accounts().empty());
    EXPECT_EQ(h.ui.chooser, (std::vector<std::string>{"All MailBoxes"}));
    EXPECT_EQ(h.ui.title, "VeltoMail 98 - All MailBoxes - 0 Messages");
}

TEST(Startup, TimerThatCannotBeArmedIsReportedAndStartUpGoesOn) {
    EngineHarness h(AccountsText({{"A", "pop.a"}},
                                 "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
                                 "\"Startup Scan\"=dword:00000001\r\n\"Auto Scan\"=dword:00000001\r\n"
                                 "\"CheckMail Interval\"=dword:00000001\r\n"));
    h.timers.failNext = true;
    h.view->OnInitialUpdate();
    EXPECT_EQ(h.ui.messageBoxes, (std::vector<std::string>{"SetTimer() error"}));
    EXPECT_FALSE(h.timers.IsArmed(kStartupTimerId));
    EXPECT_EQ(h.timers.Interval(kPeriodicTimerId), 60000);
}

TEST(Startup, PeriodicIntervalStaysWithinWhatATimerCanDo) {
    for (auto [stored, expected] : {std::pair{"00000000", 60000}, {"0000ffff", 35791 * 60000}}) {
        EngineHarness h(AccountsText({{"A", "pop.a"}},
                                     std::string("[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
                                                 "\"Auto Scan\"=dword:00000001\r\n\"CheckMail Interval\"=dword:") +
                                         stored + "\r\n"));
        h.view->OnInitialUpdate();
        EXPECT_EQ(h.timers.Interval(kPeriodicTimerId), expected) << stored;
    }
}

TEST(Shutdown, SavesTheListSignalsEveryEventAndRemovesTheTray) {
    EngineHarness h(AccountsText({{"A", "pop.a"}}, kConfig));
    h.dialup.connections = {{"Other", 5}};
    h.view->OnInitialUpdate();
    CMailHeader r;
    r.SetMessageInfo(1, 7, 10);
    h.view->Messages().Append(r);
    h.journal.clear();
    h.view->OnDestroy();
    EXPECT_EQ(Filtered(h.journal), (std::vector<std::string>{"tray.remove", "store.save 1"}));
    EXPECT_TRUE(h.view->CancelRequested());
    EXPECT_FALSE(h.view->Animator().Blinking());
    EXPECT_TRUE(h.view->Messages().Empty());
    h.view->OnDestroy();  // once only
    EXPECT_EQ(Filtered(h.journal).size(), 2u);
}

TEST(Shutdown, EmptyListLeavesTheDataFileAlone) {
    EngineHarness h(AccountsText({{"A", "pop.a"}}, kConfig));
    h.view->OnInitialUpdate();
    h.view->Messages().Clear();
    h.journal.clear();
    h.view->OnDestroy();
    for (const auto& e : h.journal) EXPECT_EQ(e.find("store.save"), std::string::npos);
}

}  // namespace
}  // namespace velto
