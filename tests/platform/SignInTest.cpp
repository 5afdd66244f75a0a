// The one sign-in service, through checks: the held token, a fresh one once
// the server refuses it, and an account that fails when even that is
// refused, with the token never in the log and the user asked to sign in;
// passwords from the keyring, and none sent when it does not answer; the
// same for replies.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "support/FakeMailbox.h"
#include "support/FakeTransport.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
#include "net/OpenSslLayer.h"
#include "platform/SignIn.h"
#include "present/ReplySender.h"
#include "settings/Settings.h"
#include "support/SmtpRecorder.h"
#include "support/TestCertificates.h"
#include "support/Pop3Scripts.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {


// Hands out the tokens in turn: the first when asked, the next when a fresh
// one is asked for; then the sign-in has expired, or the provider is out of
// reach.
class TokenQueue : public ITokenSource {
public:
    TokenQueue(std::vector<std::string> tokens, bool reachable)
        : m_tokens(std::move(tokens)), m_reachable(reachable) {}
    bool AccessToken(const AccountSettings&, bool fresh, std::string& token, TokenProblem& problem,
                     std::stop_token) override {
        asked.push_back(fresh);
        if (fresh) ++m_next;
        if (m_next >= m_tokens.size()) {
            problem = m_reachable ? TokenProblem{"the sign-in has expired", true}
                                  : TokenProblem{"the provider did not answer", false};
            return false;
        }
        token = m_tokens[m_next];
        return true;
    }
    std::vector<bool> asked;

private:
    std::vector<std::string> m_tokens;
    bool m_reachable;
    std::size_t m_next = 0;
};

TEST(OAuthCheck, TheHeldTokenThenOneFreshOneThenTheAccountFails) {
    struct Row {
        const char* name;
        std::vector<std::string> tokens;
        std::size_t rows;
        std::vector<bool> asked;  // fresh or not, in turn
        const char* failure;      // why the account could not be checked, as the tray says
        bool reachable = true;    // the provider answers (else nobody is asked to sign in)
    } rows[] = {
        {"the held token", {"good"}, 2, {false}, ""},
        {"refused, then a fresh one", {"stale", "good"}, 2, {false, true}, ""},
        {"refused twice", {"stale", "revoked"}, 0, {false, true},
         "\nCould not check ann: the server refused the OAuth2 sign-in: it has expired or was revoked"},
        {"no token at all", {}, 0, {false}, "\nCould not check ann: the sign-in has expired"},
        {"refused, and the provider out of reach", {"stale"}, 0, {false, true},
         "\nCould not check ann: the provider did not answer", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto server = test::TokenMailbox().Serve();
        auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
        transports->Route("pop.test", server->port());
        auto tokens = std::make_shared<TokenQueue>(row.tokens, row.reachable);
        test::EngineHarness h(test::TokenAccountSettings(), transports, nullptr, nullptr, nullptr, false, std::make_shared<test::PassThroughTls>(), std::make_shared<SignIn>(nullptr, tokens));
        h.view->OnInitialUpdate();
        h.Drain();
        h.view->OnGetMail();
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(h.view->Model()->rowCount(), static_cast<int>(row.rows));
        // After a check the user started, a failed sign-in is put to the user once.
        EXPECT_EQ(h.ui.signInQuestions,
                  row.rows || !row.reachable ? std::vector<std::string>{} : std::vector<std::string>{"ann"});
        EXPECT_EQ(tokens->asked, row.asked);
        EXPECT_EQ(h.tray.tip.substr(std::min(h.tray.tip.find('\n'), h.tray.tip.size())), row.failure);
        const std::string log = h.log.Text();
        EXPECT_EQ(log.find("stale"), std::string::npos);
        EXPECT_EQ(log.find("Bearer"), std::string::npos);
        if (row.rows == 0) {
            EXPECT_NE(log.find(row.reachable ? "expired" : "did not answer"), std::string::npos) << log;
        }
    }
}

// Cancel cuts a token call that hangs, asks nobody to sign in, and cuts only
// that check's calls: the next one (a reply's) goes through.
TEST(OAuthCheck, CancelCutsTheTokenCallUnderWayOnly) {
    class Hanging : public ITokenSource {
    public:
        bool AccessToken(const AccountSettings&, bool, std::string&, TokenProblem& problem,
                         std::stop_token stop) override {
            asked = true;
            while (!aborted && !stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            problem = {"cancelled", false};
            return false;
        }
        void AbortAll() override { aborted = true; }
        void Resume() override { aborted = false; }
        std::atomic<bool> asked = false, aborted = false;
    };
    auto server = test::TokenMailbox().Serve();
    auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
    transports->Route("pop.test", server->port());
    auto tokens = std::make_shared<Hanging>();
    test::EngineHarness h(test::TokenAccountSettings(), transports, nullptr, nullptr, nullptr, false,
                          std::make_shared<test::PassThroughTls>(), std::make_shared<SignIn>(nullptr, tokens));
    h.view->OnInitialUpdate();
    h.Drain();
    h.view->OnGetMail();
    ASSERT_TRUE(h.RunUntil([&] { return tokens->asked.load(); }));
    h.view->OnProgressCancel();
    ASSERT_TRUE(h.FinishWork(5000));
    EXPECT_TRUE(h.ui.signInQuestions.empty());
    EXPECT_FALSE(tokens->aborted);
}

// Passwords kept in the keyring are asked for at each sign-in; where it does
// not answer, no empty password is sent (a server may lock an account after
// failed sign-ins) and the account says why and what to do.
TEST(SignIn, PasswordsComeFromTheKeyringAndNoneIsSentWhenItDoesNotAnswer) {
    const std::string signedIn =
        "S: +OK hi\nC: USER A\nS: +OK\nC: PASS from-keyring\nS: +OK\nC: STAT\nS: +OK 0 0\n" + std::string(test::kPop3Quit);
    struct Row {
        const char* name;
        bool answers;
        std::string script;
        const char* failure;
    } rows[] = {
        {"does not answer", false, "S: +OK hi\n" + std::string(test::kPop3Quit),
         "Could not check A: no keyring answered for its password: start the desktop's keyring, "
         "or type the password in Mailbox Setup to keep it in the settings file"},
        {"answers", true, signedIn, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto keyring = std::make_shared<test::FakeKeyring>();
        keyring->answers = row.answers;
        auto transports = std::make_shared<test::ScriptedTransportFactory>(row.script);
        test::EngineHarness h(test::AccountsText({{"A", "pop.a"}}) +
                                  "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\A]\r\n"
                                  "\"User Password\"=\"\"\r\n\"Password In Keyring\"=dword:00000001\r\n\r\n",
                              transports, nullptr, nullptr, nullptr, false, {},
                              std::make_shared<SignIn>(keyring, nullptr));
        h.view->OnInitialUpdate();
        h.Drain();
        h.view->OnGetMail();
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(transports->Problems(), "");
        EXPECT_EQ(h.tray.tip, std::string("VeltoMail 98") + (*row.failure ? "\n" : "") + row.failure);
    }
}

// Replies sign in through the same service: a refused token is replaced by
// a fresh one once, and a password the keyring does not give back is never
// sent empty.
TEST(SignIn, RepliesSignInThroughTheSameService) {
    if (!test::SmtpRecorder::Installed()) GTEST_SKIP() << "python3-aiosmtpd is not installed";
    const test::TestCertificates& certs = test::TestCertificates::Get();
    ASSERT_TRUE(certs.error.empty()) << certs.error;
    test::SmtpRecorder smtp;
    std::string why;
    ASSERT_TRUE(smtp.Start(&why, {"--cert", certs.good.cert, "--key", certs.good.key, "--xoauth2", "ann@example.com:good"}))
        << why;
    struct Row {
        const char* name;
        const char* signIn;  // "Outgoing Sign In"
        bool sent;
        const char* text;
        std::vector<bool> asked;
    } rows[] = {
        {"a stale token, then a fresh one", "dword:00000003", true, "Message Successfully Sent", {false, true}},
        {"the keyring does not answer", "dword:00000001", false, "no keyring answered", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::ScopedHive hive(
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Ann]\r\n"
            "\"Account Name\"=\"Ann\"\r\n\"Email Address\"=\"ann@example.com\"\r\n\"User Name\"=\"ann\"\r\n"
            "\"Outgoing Mail Server\"=\"localhost\"\r\n\"Outgoing Security\"=dword:00000002\r\n"
            "\"Password In Keyring\"=dword:00000001\r\n\"Outgoing Sign In\"=" +
            std::string(row.signIn) + "\r\n");
        auto tokens = std::make_shared<TokenQueue>(std::vector<std::string>{"stale", "good"}, true);
        auto keyring = std::make_shared<test::FakeKeyring>();
        keyring->answers = false;
        ReplySecurity security;
        security.mode = SmtpTls::StartTls;
        TlsTrust trust;
        trust.extraAuthorities = certs.authority;
        security.tls = MakeOpenSslLayer(trust);
        security.signIn = std::make_shared<SignIn>(keyring, tokens);
        security.account = std::make_shared<const AccountSettings>(keys::Join(keys::kAccounts, "Ann"));
        auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
        transports->Route("localhost", smtp.Port());
        COutgoingMessage message;
        message.m_sender = "ann@example.com";
        message.AddRecipient("bob@example.com", "");
        message.m_subject = "re: lunch";
        message.m_body = "yes\r\n";
        CReplySender sender;
        std::optional<ReplyOutcome> outcome;
        ASSERT_TRUE(sender.Start("localhost", smtp.Port(), message, "<id@x>", transports,
                                 [&](const ReplyOutcome& o) { outcome = o; }, security));
        ASSERT_TRUE(test::RunEventsUntil([&] { return outcome.has_value(); }, 20000));
        EXPECT_EQ(outcome->sent, row.sent);
        EXPECT_NE(outcome->text.find(row.text), std::string::npos) << outcome->text;
        EXPECT_EQ(tokens->asked, row.asked);
    }
    const auto received = smtp.Messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].signedInAs, "ann@example.com");
}

}  // namespace
}  // namespace velto
