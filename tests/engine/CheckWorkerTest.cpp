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

// A record is kept apart only from another configured account's: one left
// by an account whose address or server was edited since is still that
// account's, so a check does not fetch its message again (no new-mail
// alert, no second row) and a delete takes it off that account's server,
// never off another's that lists the same id.
TEST(EditedAccounts, TheirRecordsStayKnownAndDeletableWhereTheyBelong) {
    using test::Pop3Login;
    using test::Pop3NewHeader;
    using test::Pop3Uidl;
    const std::string quit = test::kPop3Quit;
    const std::string dele = "C: DELE 1\nS: +OK gone\n";
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::string>> accounts;  // name, server (address name@example.com)
        const char *server, *address;                                // of the stored record
        std::string check, remove;
        int newCount, rowsAfterCheck, rowsAfterDelete;
    };
    const Row rows[] = {
        {"address edited", {{"A", "pop.a"}}, "pop.a", "old@example.com",
         Pop3Login("A", 1) + Pop3Uidl(1, "u1") + quit, Pop3Login("A", 1) + Pop3Uidl(1, "u1") + dele + quit, 0, 1, 0},
        {"server edited", {{"A", "pop.new"}}, "pop.old", "A@example.com",
         Pop3Login("A", 1) + Pop3Uidl(1, "u1") + quit, Pop3Login("A", 1) + Pop3Uidl(1, "u1") + dele + quit, 0, 1, 0},
        {"address edited, another server lists the same id", {{"A", "pop.a"}, {"B", "pop.b"}}, "pop.a",
         "old@example.com",
         Pop3Login("A", 1) + Pop3Uidl(1, "u1") + quit + Pop3Login("B", 1) + Pop3NewHeader(1, "u1", "for B") + quit,
         Pop3Login("A", 1) + Pop3Uidl(1, "u1") + dele + quit + Pop3Login("B", 1) + Pop3Uidl(1, "u1") + quit, 1, 2, 1},
        {"server edited, another account lists the same id", {{"A", "pop.new"}, {"B", "pop.b"}}, "pop.old",
         "A@example.com",
         Pop3Login("A", 1) + Pop3Uidl(1, "u1") + quit + Pop3Login("B", 1) + Pop3NewHeader(1, "u1", "for B") + quit,
         Pop3Login("A", 1) + Pop3Uidl(1, "u1") + dele + quit + Pop3Login("B", 1) + Pop3Uidl(1, "u1") + quit, 1, 2, 1},
        {"another configured account's record stays apart", {{"A", "pop.same"}, {"B", "pop.same"}}, "pop.same",
         "B@example.com",
         Pop3Login("A", 1) + Pop3NewHeader(1, "u1", "for A") + quit + Pop3Login("B", 1) + Pop3Uidl(1, "u1") + quit,
         Pop3Login("A", 1) + Pop3Uidl(1, "u1") + quit + Pop3Login("B", 1) + Pop3Uidl(1, "u1") + dele + quit, 1, 2, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto transports = std::make_shared<ScriptedTransportFactory>(row.check + row.remove);
        EngineHarness h(AccountsText(row.accounts), transports);
        h.view->OnInitialUpdate();
        h.Drain();
        CMailHeader stored;
        stored.ParseHeader("Subject: stored\r\n");
        stored.SetAccountInfo(row.server, row.address, "");
        stored.SetMessageInfo(-1, Crc32::Of("u1"), 100);
        h.view->Messages().Append(stored);
        h.view->RefreshList();
        h.Drain();

        h.view->OnRefresh();
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(h.view->NewCount(), row.newCount);
        ASSERT_EQ(h.view->Model()->rowCount(), row.rowsAfterCheck);

        int storedRow = -1;
        for (int r = 0; r < h.view->Model()->rowCount(); ++r)
            if (h.view->Model()->RowAt(r).subject == "stored") storedRow = r;
        ASSERT_GE(storedRow, 0);
        h.view->OnDeleteMessage({storedRow});
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(transports->Problems(), "");
        ASSERT_EQ(h.view->Model()->rowCount(), row.rowsAfterDelete);
        for (int r = 0; r < h.view->Model()->rowCount(); ++r) EXPECT_NE(h.view->Model()->RowAt(r).subject, "stored");
    }
}

}  // namespace
}  // namespace velto
