// Where two pieces of work meet: each acts on what it was asked for when it
// was given, whatever the other does meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "engine/ImapWatch.h"
#include "protocol/SocketErrors.h"
#include "settings/Crc32.h"
#include "support/FakeTransport.h"
#include "support/Pop3Scripts.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

using test::AccountsText;
using test::EngineHarness;
using test::ScriptedTransportFactory;

const char* const kQuit = test::kPop3Quit;
const auto& Login = test::Pop3Login;
const auto& Uidl = test::Pop3Uidl;

// A stored record whose subject is its unique id.
const auto& Stored = test::Record;

// A server whose certificate is trusted only once its fingerprint is pinned.
class PinnedOnlyTls : public ITlsLayer {
public:
    std::unique_ptr<ITransport> Secure(std::unique_ptr<ITransport> plain, const std::string& host,
                                       const std::string& pinned, PeerCertificate& certificate, int& error) override {
        certificate.subject = "CN=" + host;
        certificate.fingerprint = "AA:BB";
        if (pinned == certificate.fingerprint) return plain;
        certificate.problem = "self-signed";
        error = localerr::kCertificateUntrusted;
        return nullptr;
    }
};

using Fixture = test::ScriptedEngine;

// A delete and a read both wait on one certificate question each; the yes to
// each runs its own order: X is deleted, not the message read meanwhile, and
// the read shows Y.
TEST(WorkMeetsWork, AYesRunsTheOrderItsQuestionBelongsTo) {
    const std::string script = Login("A", 2) + Uidl(1, "x") + "C: DELE 1\nS: +OK gone\n" + Uidl(2, "y") + kQuit +
                               Login("A", 1) + Uidl(1, "y") +
                               "C: LIST 1\nS: +OK 1 40\nC: RETR 1\nS: +OK\nS: Subject: y\nS: \nS: body of y\nS: .\n" +
                               kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}}, "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\A]\r\n"
                                             "\"Incoming Security\"=dword:00000001\r\n"),
              script, std::make_shared<PinnedOnlyTls>());
    auto& h = f.h;
    f.Holds({Stored("x", "A", "pop.a"), Stored("y", "A", "pop.a")});
    h.ui.holdAnswers = true;
    h.view->OnDeleteMessage({f.RowOf("x")});
    ASSERT_TRUE(h.FinishWork());
    h.view->SetSelectionSource([&] { return std::vector<int>{f.RowOf("y")}; });
    h.view->OnReadMessage();
    ASSERT_TRUE(h.FinishWork());
    ASSERT_EQ(h.ui.heldAnswers.size(), 2u);
    h.ui.heldAnswers[0](true);
    h.ui.heldAnswers[1](true);
    ASSERT_TRUE(h.RunUntil([&] { return h.ui.messageCenterShows == 1 && !h.view->IsBusy(); }));
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_NE(h.ui.lastBody.find("body of y"), std::string::npos);
    ASSERT_EQ(h.view->Model()->rowCount(), 1);
    EXPECT_EQ(h.view->Model()->RowAt(0).subject, "y");
}

// News that comes while a read runs waits for it: the message is shown, then
// the news' check runs.
TEST(WorkMeetsWork, AReadIsShownBeforeTheNewsThatCameMeanwhile) {
    const std::string script = Login("A", 1) + Uidl(1, "y") +
                               "C: LIST 1\nS: +OK 1 40\nC: RETR 1\nS: +OK\nS: Subject: y\nS: \nS: body of y\nS: .\n" +
                               kQuit + Login("A", 1) + Uidl(1, "y") + kQuit;
    Fixture f(AccountsText({{"A", "pop.a"}}), script);
    auto& h = f.h;
    f.Holds({Stored("y", "A", "pop.a")});
    h.view->SetSelectionSource([] { return std::vector<int>{0}; });
    h.view->OnReadMessage();
    h.view->OnImapNews("A");
    ASSERT_TRUE(h.RunUntil([&] { return f.transports->Played() && !h.view->IsBusy() && !h.view->WorkerActive(); }));
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_EQ(h.ui.messageCenterShows, 1);
}

// Two accounts on one server: a check of one decides about its own records
// only. B's record with the id A's server lists does not make A's message
// known, and it stays.
TEST(WorkMeetsWork, ACheckOfOneAccountLeavesAnothersRecords) {
    const std::string script = Login("A", 1) + test::Pop3NewHeader(1, "same", "for A") + kQuit;
    Fixture f(AccountsText({{"A", "mail.example"}, {"B", "mail.example"}}), script);
    auto& h = f.h;
    f.Holds({Stored("same", "B", "mail.example")});
    h.view->OnImapNews("A");  // a check of A alone, as a watch's news starts
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(f.transports->Problems(), "");
    EXPECT_EQ(h.view->Messages().Size(), 2u);
    EXPECT_NE(f.RowOf("for A"), -1);
    EXPECT_NE(f.RowOf("same"), -1);
}

// The first start's sheet: the timers follow what the user saved in it, not
// what the settings held before it opened.
TEST(WorkMeetsWork, TheFirstStartsSheetArmsTheTimersItSaved) {
    EngineHarness h;
    h.ui.holdSheet = true;
    h.view->OnInitialUpdate();
    ASSERT_TRUE(h.ui.sheetDone);
    EXPECT_FALSE(h.timers.IsArmed(kStartupTimerId));
    ConfigurationOptions config(keys::kConfiguration);
    config.m_startupScan = 1;
    config.m_autoScan = 1;
    config.m_checkMailInterval = 5;
    config.Save(keys::kConfiguration);
    h.ui.sheetDone(true);
    EXPECT_TRUE(h.timers.IsArmed(kStartupTimerId));
    EXPECT_EQ(h.timers.Interval(kPeriodicTimerId), 5 * 60000);
}

// A watch that retries says the same again: told once, not at every retry,
// also when a check of the account says it too.
TEST(WorkMeetsWork, AWatchedFolderThatIsMissingIsToldOnce) {
    EngineHarness h(AccountsText({{"A", "imap.a"}}));
    h.view->OnInitialUpdate();
    h.Drain();
    const std::string why = "the folder Gone could not be opened";
    for (int i = 0; i < 3; ++i) {
        h.view->OnWatchState("A", "INBOX", {});
        h.view->OnWatchState("A", "Gone", why);
        h.view->OnAccountsChecked({{"A", why}});
    }
    EXPECT_EQ(h.notices.shown.size(), 1u);
    EXPECT_NE(h.ui.paneText.find("Gone"), std::string::npos);
}

// Connections that block where nothing cuts them (a name lookup), until the
// test lets them go.
class StuckTransports : public ITransportFactory {
public:
    struct Gate {
        std::mutex mutex;
        std::condition_variable open;
        bool released = false;
        std::atomic<int> blocked = 0;
    };
    explicit StuckTransports(std::shared_ptr<Gate> gate) : m_gate(std::move(gate)) {}
    std::unique_ptr<ITransport> Create() override {
        class Stuck : public ITransport {
        public:
            explicit Stuck(std::shared_ptr<Gate> gate) : m_gate(std::move(gate)) {}
            bool Connect(const std::string&, int) override {
                std::unique_lock lock(m_gate->mutex);
                ++m_gate->blocked;
                m_gate->open.wait(lock, [&] { return m_gate->released; });
                return false;
            }
            long Send(const char*, std::size_t) override { return -1; }
            long Receive(char*, std::size_t) override { return -1; }
            void Close() override {}
            int LastError() const override { return 0; }

        private:
            std::shared_ptr<Gate> m_gate;
        };
        return std::make_unique<Stuck>(m_gate);
    }

private:
    std::shared_ptr<Gate> m_gate;
};

AccountSettings ImapAccount(const std::string& name, const std::string& pin) {
    AccountSettings a;
    a.SetAccountName(name);
    a.SetServerName("imap." + name);
    a.m_incomingProtocol = kProtocolImap;
    a.m_incomingCertificate = pin;
    return a;
}

// Each account's watches follow its settings: unchanged, they stay (no new
// connection); changed (a trust answer), they are made anew; removed, they
// end. Stopping never waits past its limit, whatever a watch is doing.
TEST(WorkMeetsWork, WatchesFollowTheirAccountAndStopWithinTheLimit) {
    auto gate = std::make_shared<StuckTransports::Gate>();
    int factories = 0;
    ImapWatch watch([&] {
        ++factories;
        return std::make_shared<StuckTransports>(gate);
    }, nullptr, nullptr, {});
    struct Row {
        const char* what;
        std::vector<AccountSettings> accounts;
        int factories;
    } rows[] = {
        {"first watch", {ImapAccount("a", "")}, 1},
        {"the same settings", {ImapAccount("a", "")}, 1},
        {"a trusted certificate", {ImapAccount("a", "AA:BB")}, 2},
        {"another account beside it", {ImapAccount("a", "AA:BB"), ImapAccount("b", "")}, 3},
        {"the first removed", {ImapAccount("b", "")}, 3},
    };
    for (const Row& row : rows) {
        watch.Watch(row.accounts);
        EXPECT_EQ(factories, row.factories) << row.what;
    }
    ASSERT_TRUE(test::RunEventsUntil([&] { return gate->blocked > 0; }, 5000));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(watch.Stop(std::chrono::milliseconds(300)));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    {
        std::lock_guard lock(gate->mutex);
        gate->released = true;
    }
    gate->open.notify_all();
    EXPECT_TRUE(watch.Stop(std::chrono::seconds(5)));
}

// The end saves the headers first and returns within its limits while a
// watch sits in a name lookup; the program is told a thread is left.
TEST(WorkMeetsWork, TheEndSavesAndReturnsWhileAWatchIsStuck) {
    auto gate = std::make_shared<StuckTransports::Gate>();
    EngineHarness h(AccountsText({{"A", "imap.a"}},
                                 "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\A]\r\n"
                                 "\"Incoming Protocol\"=dword:00000001\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
                                 "\"Database\"=\"/data/headers.vlt\"\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n"
                                 "\"Save Headers\"=dword:00000001\r\n"),
                    {}, nullptr, nullptr, nullptr, false, {}, {},
                    [gate] { return std::make_shared<StuckTransports>(gate); });
    h.view->OnInitialUpdate();
    h.view->Messages().Append(Stored("kept", "A", "imap.a"));
    ASSERT_TRUE(test::RunEventsUntil([&] { return gate->blocked > 0; }, 5000));
    const auto before = std::chrono::steady_clock::now();
    h.view->OnDestroy();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_TRUE(h.view->ThreadsLeft());
    ASSERT_EQ(h.store.files["/data/headers.vlt"].size(), 1u);
    {
        std::lock_guard lock(gate->mutex);
        gate->released = true;
    }
    gate->open.notify_all();
}

}  // namespace
}  // namespace velto
