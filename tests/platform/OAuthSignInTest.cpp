// The browser sign-in against an authorization server stand-in: PKCE and
// state checked, one callback taken, tokens refreshed. The browser is the
// user's, reached as the program reaches it (here BROWSER, through
// xdg-open): a script that follows the redirect as a real one would.
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <cstdlib>

#include "platform/OAuthSignIn.h"
#include "platform/OAuthTokens.h"
#include "support/OAuthStandIn.h"
#include "support/TestEnvironment.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

OAuthClient Client(const test::OAuthStandIn& server, const std::string& id = "velto-test") {
    return {id, "", {server.Url("/authorize"), server.Url("/token"), "mail"}};
}

struct Outcome {
    bool started = false, finished = false, ok = false;
    QString why;
    OAuthTokens tokens;
    std::string browser;  // what the browser saw
};

// tamper: "state" has the browser forge the state it brings back.
Outcome SignIn(const OAuthClient& client, const char* tamper) {
    const std::string log = test::MakeTempDir("velto-browser") + "/browser.log";
    setenv("BROWSER", "/usr/bin/python3 " VELTO_SOURCE_DIR "/tests/support/oauth_browser.py", 1);
    setenv("VELTO_BROWSER_LOG", log.c_str(), 1);
    setenv("VELTO_BROWSER_TAMPER", tamper, 1);
    Outcome out;
    OAuthSignIn signIn(client);
    QObject::connect(&signIn, &OAuthSignIn::finished, [&](bool ok, const QString& why) {
        out.finished = true;
        out.ok = ok;
        out.why = why;
    });
    QString error;
    out.started = signIn.Start(error, 20s);
    if (!out.started) {
        out.why = error;
        return out;
    }
    test::RunEventsUntil([&] { return out.finished && !test::ReadFile(log).empty(); }, 25000);
    out.tokens = signIn.Tokens();
    out.browser = test::ReadFile(log);
    return out;
}

TEST(OAuthSignIn, ThroughTheBrowserOnceWithPkceAndStateThenRefreshed) {
    test::OAuthStandIn server;
    ASSERT_TRUE(server.Up()) << "the stand-in did not start";
    struct Row {
        const char* name;
        OAuthClient client;
        const char* tamper;
        bool started, ok;
        const char* why;      // part of the reason
        const char* browser;  // what the browser saw: the callback, then a reload
    };
    const Row rows[] = {
        {"signed in", Client(server), "", true, true, "", "callback 200, again refused\n"},
        {"a wrong state", Client(server), "state", true, false, "state", "callback 400, again refused\n"},
        {"refused by the provider", Client(server, "refuse"), "", true, false, "access_denied",
         "callback 400, again refused\n"},
        {"an address in clear", {"velto-test", "", {"http://example.com/authorize", "http://example.com/token", ""}},
         "", false, false, "https", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome out = SignIn(row.client, row.tamper);
        EXPECT_EQ(out.started, row.started);
        EXPECT_EQ(out.ok, row.ok) << out.why.toStdString();
        EXPECT_TRUE(out.why.contains(row.why)) << out.why.toStdString();
        // Whatever the callback said, nobody else is heard afterwards.
        EXPECT_EQ(out.browser, row.browser);
        if (!row.ok) continue;
        EXPECT_EQ(out.tokens.access, "at-1");
        EXPECT_GT(out.tokens.expiresAt, 0);
        // A refresh answer without a new refresh token keeps the one held;
        // a revoked one is told and changes nothing.
        OAuthTokens tokens;
        std::string error;
        ASSERT_TRUE(RefreshTokens(row.client, out.tokens.refresh, tokens, error)) << error;
        EXPECT_EQ(tokens.access, "at-2");
        EXPECT_EQ(tokens.refresh, "rt-1");
        EXPECT_FALSE(RefreshTokens(row.client, "revoked", tokens, error));
        EXPECT_NE(error.find("invalid_grant"), std::string::npos) << error;
        EXPECT_EQ(tokens.access, "at-2");
    }
}

// Tokens stay with the provider and client they came from: an account
// changed since its sign-in is not signed in, and sends nothing elsewhere.
TEST(OAuthTokenStore, TokensStayWithTheProviderAndClientTheyCameFrom) {
    AccountSettings signedIn;
    signedIn.SetAccountName("Ann");
    signedIn.m_oauthProvider = "Custom";
    signedIn.m_oauthClientId = "velto-test";
    signedIn.m_oauthTokenUrl = "https://auth.example.com/token";
    signedIn.SetEmailAddress("ann@example.com");
    OAuthTokenStore store(nullptr);
    store.Remember(signedIn, {"at-held", "rt-held", 0});
    struct Row {
        const char* name;
        std::function<void(AccountSettings&)> change;
        bool signedIn;
    } rows[] = {
        {"as signed in", [](AccountSettings&) {}, true},
        {"another client id", [](AccountSettings& a) { a.m_oauthClientId = "other"; }, false},
        {"another token address", [](AccountSettings& a) { a.m_oauthTokenUrl = "https://evil.example/token"; }, false},
        {"another provider", [](AccountSettings& a) { a.m_oauthProvider = "Google"; }, false},
        {"another address", [](AccountSettings& a) { a.SetEmailAddress("bob@example.com"); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AccountSettings account = signedIn;
        row.change(account);
        std::string token;
        TokenProblem problem;
        EXPECT_EQ(store.AccessToken(account, false, token, problem), row.signedIn);
        EXPECT_EQ(token, row.signedIn ? "at-held" : "");
        if (!row.signedIn) {
            EXPECT_NE(problem.why.find("not signed in"), std::string::npos) << problem.why;
        }
    }
}

}  // namespace
}  // namespace velto
