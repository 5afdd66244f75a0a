// A check of an account that signs in with OAuth2: the held token, a fresh
// one once the server refuses it, and an account that fails when even that is
// refused, with the token never in the log and the user asked to sign in.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/FakeMailbox.h"
#include "support/FakeTransport.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
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
    bool AccessToken(const AccountSettings&, bool fresh, std::string& token, TokenProblem& problem) override {
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
        test::EngineHarness h(test::TokenAccountSettings(), transports, nullptr, nullptr, nullptr, false, std::make_shared<test::PassThroughTls>(), tokens);
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
        bool AccessToken(const AccountSettings&, bool, std::string&, TokenProblem& problem) override {
            asked = true;
            while (!aborted) std::this_thread::sleep_for(std::chrono::milliseconds(5));
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
                          std::make_shared<test::PassThroughTls>(), tokens);
    h.view->OnInitialUpdate();
    h.Drain();
    h.view->OnGetMail();
    ASSERT_TRUE(h.RunUntil([&] { return tokens->asked.load(); }));
    h.view->OnProgressCancel();
    ASSERT_TRUE(h.FinishWork(5000));
    EXPECT_TRUE(h.ui.signInQuestions.empty());
    EXPECT_FALSE(tokens->aborted);
}

}  // namespace
}  // namespace velto
