// The browser sign-in against an authorization server stand-in: PKCE and
// state checked, the listener held by nobody, who signed in checked, token
// answers bounded, tokens refreshed. The browser is the user's, reached as
// the program reaches it (here BROWSER, through xdg-open): a script that
// follows the redirects as a real one would.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTcpSocket>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/OAuthSignIn.h"
#include "platform/OAuthTokens.h"
#include "platform/SignIn.h"
#include "platform/QtDesktop.h"
#include "shell/OAuthDialog.h"
#include "support/OAuthStandIn.h"
#include "support/TestEnvironment.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

// What a bounded answer may add to the peak: AddressSanitizer's shadow and
// quarantine make every allocation count several times over.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kHeldAnswerKiB = 512 * 1024;
#else
constexpr long kHeldAnswerKiB = 64 * 1024;
#endif

using namespace std::chrono_literals;

OAuthClient Client(const test::OAuthStandIn& server, const std::string& id = "velto-test",
                   const std::string& scope = "mail") {
    return {id, "", {server.Url("/authorize"), server.Url("/token"), scope}};
}

// The browser script takes the addresses the program opens; returns its log.
std::string UseBrowser(const char* tamper) {
    const std::string log = test::MakeTempDir("velto-browser") + "/browser.log";
    setenv("BROWSER", "/usr/bin/python3 " VELTO_SOURCE_DIR "/tests/support/oauth_browser.py", 1);
    setenv("VELTO_BROWSER_LOG", log.c_str(), 1);
    setenv("VELTO_BROWSER_TAMPER", tamper, 1);
    return log;
}

// The highest resident size of this process so far, in KiB.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

struct Row {
    const char* name;
    OAuthClient client;
    const char* tamper = "";   // "state": the browser brings a forged state back first
    QString expect = {};       // the account's address
    bool userInfo = false;     // the provider's user-info address is known
    int silent = 0;            // connections that say nothing, before the browser
    bool flood = false;        // ...closed by the listener before the browser comes
    bool started = true, ok = true;
    const char* why = "";      // part of the reason
    const char* browser = "";  // what the browser saw
    const char* identity = "";
};

struct Outcome {
    bool started = false, finished = false, ok = false;
    QString why, identity;
    OAuthTokens tokens;
    std::string browser;
    int silentLeftOpen = 0;
    bool floodHeld = false;  // the listener did not close the flood by itself
};

Outcome SignIn(const test::OAuthStandIn& server, const Row& row) {
    const std::string log = UseBrowser(row.tamper);
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    auto allClosed = [&] {
        return std::all_of(silent.begin(), silent.end(),
                           [](auto& s) { return s->state() == QAbstractSocket::UnconnectedState; });
    };
    Outcome out;
    auto open = [&](const QUrl& address) {
        for (int i = 0; i < row.silent; ++i) {
            silent.push_back(std::make_unique<QTcpSocket>());
            silent.back()->connectToHost(QHostAddress::LocalHost, address.port());
            silent.back()->waitForConnected(5000);
        }
        if (row.flood)
            out.floodHeld = !test::RunEventsUntil(allClosed, 10000);
        return OpenWithDesktop(address);
    };
    OAuthSignIn signIn(row.client, open);
    signIn.ExpectIdentity(row.expect, row.userInfo ? QUrl(QString::fromStdString(server.Url("/userinfo"))) : QUrl());
    if (row.flood) signIn.SetConnectionDeadline(300ms);
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
    test::RunEventsUntil(allClosed, 2000);
    for (auto& s : silent) out.silentLeftOpen += s->state() != QAbstractSocket::UnconnectedState;
    out.tokens = signIn.Tokens();
    out.identity = signIn.Identity();
    out.browser = test::ReadFile(log);
    return out;
}

TEST(OAuthSignIn, ThroughTheBrowserWithPkceAndStateOnlyTheRightAnswerAndIdentityTaken) {
    test::OAuthStandIn server;
    ASSERT_TRUE(server.Up()) << "the stand-in did not start";
    const char* signedIn = "callback 200, again refused\n";
    const OAuthClient openId = Client(server, "velto-test", "openid email mail");
    const Row rows[] = {
        {.name = "signed in", .client = Client(server), .browser = signedIn},
        {.name = "a silent connection and a forged state first", .client = Client(server), .tamper = "state",
         .silent = 1, .browser = "forged 400, callback 200, again refused\n"},
        {.name = "a flood of silent connections first", .client = Client(server), .silent = 20, .flood = true,
         .browser = signedIn},
        {.name = "refused by the provider", .client = Client(server, "refuse"), .ok = false, .why = "access_denied",
         .browser = "callback 400, again refused\n"},
        {.name = "an address in clear",
         .client = {"velto-test", "", {"http://example.com/authorize", "http://example.com/token", ""}},
         .started = false, .ok = false, .why = "https"},
        {.name = "no client id", .client = Client(server, " "), .started = false, .ok = false, .why = "no client id"},
        {.name = "the account's address in the id token", .client = openId, .expect = "Ann@Example.COM",
         .browser = signedIn, .identity = "ann@example.com"},
        {.name = "another address in the id token", .client = openId, .expect = "carol@example.com", .ok = false,
         .why = "signed in as ann@example.com, not as the account's address carol@example.com", .browser = signedIn,
         .identity = "ann@example.com"},
        {.name = "another address from the user-info address", .client = Client(server),
         .expect = "carol@example.com", .userInfo = true, .ok = false, .why = "not as the account's address",
         .browser = signedIn, .identity = "ann@example.com"},
        {.name = "no identity given: nothing to check", .client = Client(server), .expect = "carol@example.com",
         .browser = signedIn},
        {.name = "a token answer saying 2 GiB", .client = Client(server, "huge-length"), .ok = false,
         .why = "too large", .browser = signedIn},
        {.name = "a token answer without end", .client = Client(server, "endless"), .ok = false, .why = "too large",
         .browser = signedIn},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const long peak = PeakResidentKiB();
        const Outcome out = SignIn(server, row);
        EXPECT_LT(PeakResidentKiB() - peak, kHeldAnswerKiB) << "the answer was held in memory";
        EXPECT_EQ(out.started, row.started);
        EXPECT_EQ(out.ok, row.ok) << out.why.toStdString();
        EXPECT_TRUE(out.why.contains(row.why)) << out.why.toStdString();
        EXPECT_EQ(out.browser, row.browser);
        EXPECT_EQ(out.identity, row.identity);
        EXPECT_EQ(out.silentLeftOpen, 0);
        EXPECT_FALSE(out.floodHeld);
        EXPECT_EQ(out.tokens.access, row.ok ? "at-1" : "");
        if (!row.ok) continue;
        EXPECT_GT(out.tokens.expiresAt, 0);
        // A revoked refresh token is told and changes nothing.
        OAuthTokens tokens;
        std::string error;
        ASSERT_TRUE(RefreshTokens(row.client, out.tokens.refresh, tokens, error)) << error;
        EXPECT_EQ(tokens.refresh, "rt-1");
        EXPECT_FALSE(RefreshTokens(row.client, "revoked", tokens, error));
        EXPECT_NE(error.find("invalid_grant"), std::string::npos) << error;
        EXPECT_EQ(tokens.refresh, "rt-1");
    }
}

// A refresh answer keeps the refresh token held unless it brings a real new
// one, keeps its lifetime within a year, and is cut when too large.
TEST(OAuthSignIn, RefreshAnswersKeepWhatTheyDoNotReplaceAndAreBounded) {
    test::OAuthStandIn server;
    ASSERT_TRUE(server.Up()) << "the stand-in did not start";
    const std::int64_t hour = 3600, year = 366 * 24 * 3600;
    struct RefreshRow {
        const char* client;
        bool ok;
        const char* refresh;
        std::int64_t lifetimeAtLeast, lifetimeAtMost;
        const char* why;
    } rows[] = {
        {"velto-test", true, "rt-1", hour - 60, hour, ""},
        {"null-refresh", true, "rt-1", hour - 60, hour, ""},
        {"empty-refresh", true, "rt-1", hour - 60, hour, ""},
        {"number-refresh", true, "rt-1", hour - 60, hour, ""},
        {"new-refresh", true, "rt-new", hour - 60, hour, ""},
        {"huge-lifetime", true, "rt-1", 0, year, ""},
        {"string-lifetime", true, "rt-1", 2 * hour - 60, 2 * hour, ""},
        {"huge-length", false, "", 0, 0, "too large"},
        {"endless", false, "", 0, 0, "too large"},
    };
    for (const RefreshRow& row : rows) {
        SCOPED_TRACE(row.client);
        OAuthTokens tokens;
        std::string error;
        const std::int64_t now = QDateTime::currentSecsSinceEpoch();
        EXPECT_EQ(RefreshTokens(Client(server, row.client), "rt-1", tokens, error), row.ok) << error;
        EXPECT_NE(error.find(row.why), std::string::npos) << error;
        if (!row.ok) continue;
        EXPECT_EQ(tokens.refresh, row.refresh);
        EXPECT_GE(tokens.expiresAt - now, row.lifetimeAtLeast);
        EXPECT_LE(tokens.expiresAt - now, row.lifetimeAtMost + 60);
    }
}

// Where no browser opens, the sign-in window shows the address to open by
// hand, as text to select, and the sign-in waits for it.
TEST(OAuthSignIn, WithoutABrowserTheWindowShowsTheAddressAndTheSignInWaitsForIt) {
    test::OAuthStandIn server;
    ASSERT_TRUE(server.Up()) << "the stand-in did not start";
    const std::string log = UseBrowser("");
    AccountSettings account;
    account.m_oauthProvider = "Custom";
    account.m_oauthClientId = "velto-test";
    account.m_oauthAuthorizationUrl = server.Url("/authorize");
    account.m_oauthTokenUrl = server.Url("/token");
    account.m_oauthScope = "mail";
    QUrl address;
    // The program's own sign-in service, with no browser to open.
    class SignIn service(nullptr, nullptr, std::make_shared<OAuthTokenStore>(nullptr), [&](const QUrl&) { return false; });
    COAuthDialog dialog(account, &service);
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == "Sign In...") button->click();
    ASSERT_TRUE(test::RunEventsUntil([&] { return dialog.Status().startsWith("The web browser"); }, 5000))
        << dialog.Status().toStdString();
    address = QUrl(dialog.Status().mid(dialog.Status().indexOf("http://")));
    EXPECT_TRUE(dialog.Status().startsWith("The web browser could not be opened")) << dialog.Status().toStdString();
    EXPECT_TRUE(dialog.Status().endsWith(address.toString())) << dialog.Status().toStdString();
    auto* status = dialog.findChild<QLabel*>("signInStatus");
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
    EXPECT_TRUE(status->textInteractionFlags() & Qt::TextSelectableByMouse);
    // The user opens it by hand.
    ASSERT_TRUE(OpenWithDesktop(address));
    test::RunEventsUntil([&] { return dialog.Status().startsWith("Signed in") && !test::ReadFile(log).empty(); }, 25000);
    EXPECT_TRUE(dialog.Status().startsWith("Signed in as ")) << dialog.Status().toStdString();
    EXPECT_EQ(test::ReadFile(log), "callback 200, again refused\n");
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

// A held token serves until shortly before it ends, by the store's clock;
// then a refresh is asked for (here at a provider that refuses connections).
TEST(OAuthTokenStore, AHeldTokenServesUntilShortlyBeforeItEnds) {
    AccountSettings account;
    account.SetAccountName("Ann");
    account.m_oauthProvider = "Custom";
    account.m_oauthTokenUrl = "http://127.0.0.1:1/token";
    std::int64_t now = 1000;
    OAuthTokenStore store(nullptr, [&] { return now; });
    store.Remember(account, {"at-held", "rt-held", 2000});
    for (const auto& [at, held] : {std::pair<std::int64_t, bool>{1000, true}, {1870, true}, {1890, false}, {2500, false}}) {
        SCOPED_TRACE(at);
        now = at;
        std::string token;
        TokenProblem problem;
        EXPECT_EQ(store.AccessToken(account, false, token, problem), held);
        if (!held) {
            EXPECT_NE(problem.why.find("could not be renewed"), std::string::npos) << problem.why;
        }
    }
}

}  // namespace
}  // namespace velto
