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

const auto& Top = test::Pop3NewHeader;
const auto& Known = test::Pop3Uidl;
const auto& Login = test::Pop3Login;
const char* const kQuit = test::kPop3Quit;

struct Fixture {
    explicit Fixture(const std::string& accounts, const std::string& script)
        : transports(std::make_shared<ScriptedTransportFactory>(script)), h(accounts, transports) {
        h.view->OnInitialUpdate();
        h.Drain();
    }
    std::shared_ptr<ScriptedTransportFactory> transports;
    EngineHarness h;
};

TEST(CheckMail, LoginFailureOnTheFirstAccountStillChecksTheSecond) {
    const std::string script = std::string("S: +OK hi\nC: USER A\nS: +OK\nC: PASS pw-A\nS: -ERR no\n") + kQuit +
                               Login("B", 2) + Top(1, "uid-1", "one") + Top(2, "uid-2", "two") + kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}, {"B", "pop.b"}}), script);
    auto& h = f.h;
    h.view->OnGetMail();
    EXPECT_TRUE(h.view->IsBusy());
    EXPECT_TRUE(h.ui.waitCursor);
    EXPECT_EQ(h.tray.tip, "VeltoMail 98 - Checking For New Mail");
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_FALSE(h.ui.waitCursor);
    ASSERT_EQ(h.view->Model()->rowCount(), 2);
    EXPECT_EQ(h.view->Model()->RowAt(0).subject, "two");
    EXPECT_EQ(h.view->Model()->RowAt(0).mailbox, "pop.b");
    EXPECT_EQ(h.view->Model()->IdAt(0), Crc32::Of("uid-2"));
    EXPECT_EQ(h.view->NewCount(), 2);
    EXPECT_EQ(h.tray.tip, "VeltoMail 98 - You have 2 New Messages!!\nCould not check A: the server refused the password");
    EXPECT_EQ(h.ui.title, "VeltoMail 98 - All MailBoxes - 2 Messages");
    EXPECT_FALSE(h.ui.progressWindow);  // the rebuild closed it
    const std::vector<std::string> firstTexts(h.ui.progressTexts.begin(), h.ui.progressTexts.begin() + 2);
    EXPECT_EQ(firstTexts, (std::vector<std::string>{"Status: Connecting to host pop.a.. ",
                                                     "Status: Connected to host pop.a"}));
}

// Passwords kept in the keyring come from it; where it does not give them
// back, no empty password is sent (a server may lock an account after failed
// sign-ins) and the account says why, until Get Mail finds it answering.
TEST(CheckMail, PasswordsComeFromTheKeyringAndNoneIsSentWhenItDoesNotAnswer) {
    const std::string signedIn =
        "S: +OK hi\nC: USER A\nS: +OK\nC: PASS from-keyring\nS: +OK\nC: STAT\nS: +OK 0 0\n" + std::string(kQuit);
    struct Row {
        const char* name;
        bool atStart, atGetMail;  // whether the keyring answers
        std::string script;
        const char* failure;
    } rows[] = {
        {"never answers", false, false, "", "\nCould not check A: the keyring did not give its password back"},
        {"unlocked before Get Mail", false, true, signedIn, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::FakeKeyring keyring;
        keyring.answers = row.atStart;
        auto transports = std::make_shared<ScriptedTransportFactory>(row.script);
        EngineHarness h(AccountsText({{"A", "pop.a"}}) +
                            "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\A]\r\n"
                            "\"User Password\"=\"\"\r\n\"Password In Keyring\"=dword:00000001\r\n\r\n",
                        transports, nullptr, nullptr, nullptr, false, {}, {}, &keyring);
        h.view->OnInitialUpdate();
        h.Drain();
        keyring.answers = row.atGetMail;
        h.view->OnGetMail();
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(transports->Problems(), "");
        EXPECT_EQ(h.tray.tip.substr(std::min(h.tray.tip.find('\n'), h.tray.tip.size())), row.failure);
    }
}

TEST(CheckMail, DisabledAccountShowsItsConnectingTextButIsNotContacted) {
    Fixture f(AccountsText({{"A", "pop.a"}}) +
                  "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\A]\r\n\"Disabled\"=dword:00000001\r\n",
              "");
    auto& h = f.h;
    h.view->OnGetMail();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->state().connects, 0);
    EXPECT_EQ(h.ui.progressTexts, (std::vector<std::string>{"Status: Connecting to host pop.a.. "}));
}

TEST(Scan, EmptyMailboxThenASecondCheckFetchesOnlyWhatIsNew) {
    const std::string script = Login("B", 0) + kQuit + Login("B", 1) + Top(1, "u1", "first") + kQuit + Login("B", 2) +
                               Known(1, "u1") + Top(2, "u2", "second") + kQuit + Login("B", 2) + Known(1, "u1") +
                               Known(2, "u2") + kQuit;
    Fixture f(AccountsText({{"B", "pop.b"}}), script);
    auto& h = f.h;
    for (int round = 0; round < 4; ++round) {
        h.view->OnRefresh();
        ASSERT_TRUE(h.FinishWork()) << round;
    }
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_EQ(h.view->Messages().Size(), 2u);
    // The count adds up over checks until the list is clicked.
    EXPECT_EQ(h.view->NewCount(), 2);
    EXPECT_EQ(h.tray.tip, "VeltoMail 98");  // the last check found nothing
    EXPECT_EQ(h.ui.paneText, "Ready");
    EXPECT_EQ(h.ui.progressPos, -1);
}

TEST(Scan, WithoutUniqueIdsMessagesAreKnownByTheirHeaderAndNeverDuplicated) {
    const std::string noUidl =
        "C: UIDL 1\nS: -ERR no UIDL\nC: LIST 1\nS: +OK 1 50\nC: TOP 1 0\nS: +OK\nS: Subject: plain\nS: .\n"
        "C: UIDL 1\nS: -ERR no UIDL\n";
    const std::string script = Login("B", 1) + noUidl + kQuit + Login("B", 1) + noUidl + kQuit;
    Fixture f(AccountsText({{"B", "pop.b"}}), script);
    auto& h = f.h;
    h.view->OnRefresh();
    ASSERT_TRUE(h.FinishWork());
    h.view->OnRefresh();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_EQ(h.view->Messages().Size(), 1u);
    EXPECT_EQ(h.view->NewCount(), 1);
}

TEST(Scan, CancelStopsAfterTheCurrentMessageAndKeepsWhatWasFetched) {
    const std::string script = Login("B", 3) + Top(1, "u1", "kept") + kQuit;
    Fixture f(AccountsText({{"B", "pop.b"}}), script);
    auto& h = f.h;
    h.view->OnRefresh();
    // The worker waits for the UI thread at its first progress message, so
    // the request is there before it reads any message.
    h.view->OnProgressCancel();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_FALSE(h.view->IsBusy());
    EXPECT_EQ(h.view->Messages().Size(), 1u);
    EXPECT_FALSE(h.view->CancelRequested());
    // What was fetched shows at once; the new-mail alert waits for the next
    // refresh.
    EXPECT_EQ(h.view->Model()->rowCount(), 1);
    EXPECT_EQ(h.tray.tip, "VeltoMail 98");
}

TEST(Shutdown, AWorkerWaitingInASentMessageIsLetGoAndJoined) {
    const std::string script = Login("B", 3) + Top(1, "u1", "one") + kQuit;
    Fixture f(AccountsText({{"B", "pop.b"}}), script);
    auto& h = f.h;
    h.view->OnRefresh();
    // The worker now waits for this thread in its first progress message,
    // and this thread shuts down without turning its loop.
    const auto start = std::chrono::steady_clock::now();
    h.view->OnDestroy();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(h.view->JoinWorker(0));
}

TEST(Busy, ARebuildDuringACheckKeepsTheBusyStateAndOneWorker) {
    const std::string script = Login("B", 1) + Top(1, "u1", "one") + kQuit;
    Fixture f(AccountsText({{"B", "pop.b"}}), script);
    auto& h = f.h;
    h.view->OnRefresh();
    // The worker cannot get past its first sent progress message until this
    // thread handles events; meanwhile the user picks another mailbox.
    h.view->OnMailboxSelChange("pop.b");
    h.view->OnWorkerDone();
    EXPECT_TRUE(h.view->IsBusy());
    h.view->OnRefresh();  // refused: busy
    h.view->OnPerformMaintenance();
    h.view->OnDeleteMessage({});
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");  // exactly one conversation ran
    EXPECT_EQ(f.transports->state().connects, 1);
    EXPECT_EQ(h.view->Messages().Size(), 1u);
}

}  // namespace
}  // namespace velto

namespace velto {
namespace {

// Two mailboxes on one server that list the same unique id (made in the
// same second on one Dovecot): each keeps its message across checks, and a
// delete in one leaves the other's alone on the server and in the list.
TEST(SameIdsInTwoAccounts, EachAccountKeepsAndDeletesItsOwn) {
    using test::Pop3Login;
    using test::Pop3NewHeader;
    using test::Pop3Uidl;
    const std::string quit = test::kPop3Quit;
    const std::string script = Pop3Login("A", 1) + Pop3NewHeader(1, "1.1765000000", "for A") + quit +
                               Pop3Login("B", 1) + Pop3NewHeader(1, "1.1765000000", "for B") + quit +
                               // the next check fetches nothing again
                               Pop3Login("A", 1) + Pop3Uidl(1, "1.1765000000") + quit + Pop3Login("B", 1) +
                               Pop3Uidl(1, "1.1765000000") + quit +
                               // the delete of B's message
                               Pop3Login("A", 1) + Pop3Uidl(1, "1.1765000000") + quit + Pop3Login("B", 1) +
                               Pop3Uidl(1, "1.1765000000") + "C: DELE 1\nS: +OK gone\n" + quit;
    auto transports = std::make_shared<test::ScriptedTransportFactory>(script);
    test::EngineHarness h(test::AccountsText({{"A", "pop.same"}, {"B", "pop.same"}}), transports);
    h.view->OnInitialUpdate();
    h.Drain();
    for (int check = 0; check < 2; ++check) {
        h.view->OnRefresh();
        ASSERT_TRUE(h.FinishWork());
    }
    ASSERT_EQ(h.view->Model()->rowCount(), 2);
    EXPECT_EQ(h.view->Model()->RowAt(0).subject, "for B");
    EXPECT_EQ(h.view->Model()->RowAt(1).subject, "for A");
    h.view->SetSelectionSource([] { return std::vector<int>{0}; });
    h.view->OnDeleteMessage({0});
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(transports->Problems(), "");
    ASSERT_EQ(h.view->Model()->rowCount(), 1);
    EXPECT_EQ(h.view->Model()->RowAt(0).subject, "for A");
}

}  // namespace
}  // namespace velto
