// The browser sign-in against an authorization server stand-in: PKCE and
// state checked, one callback taken, tokens refreshed; the "browser" here
// follows the redirect as a real one would.
#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QUrlQuery>
#include <filesystem>

#include "platform/OAuthSignIn.h"
#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

struct AuthServer {
    AuthServer() {
        std::string error, line;
        if (!process.Start({"/usr/bin/python3", VELTO_SOURCE_DIR "/tests/support/fake_oauth_server.py"},
                           test::MakeTempDir("velto-oauth") + "/server.log", true, &error) ||
            !process.ReadLine(line, 10s))
            return;
        port = std::stoi(line);
    }
    OAuthClient Client(const std::string& id = "velto-test") const {
        const std::string base = "http://127.0.0.1:" + std::to_string(port);
        return {id, "", {base + "/authorize", base + "/token", "mail"}};
    }
    test::ChildProcess process;
    int port = 0;
};

// A browser: fetches the authorization address, then goes where it is sent
// (after tamper has had its way with the address).
OAuthSignIn::OpenBrowser Browser(QNetworkAccessManager& network, std::function<QUrl(QUrl)> tamper = {}) {
    return [&network, tamper](const QUrl& url) {
        QNetworkRequest first(url);
        first.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* reply = network.get(first);
        QObject::connect(reply, &QNetworkReply::finished, [&network, reply, tamper] {
            QUrl next = reply->header(QNetworkRequest::LocationHeader).toUrl();
            reply->deleteLater();
            if (tamper) next = tamper(next);
            network.get(QNetworkRequest(next));
        });
        return true;
    };
}

struct Outcome {
    bool started = false, finished = false, ok = false;
    QString why;
    QUrl redirect;
    OAuthTokens tokens;
};

Outcome SignIn(const OAuthClient& client, QNetworkAccessManager& network, std::function<QUrl(QUrl)> tamper = {}) {
    Outcome out;
    OAuthSignIn signIn(client, Browser(network, std::move(tamper)));
    QObject::connect(&signIn, &OAuthSignIn::finished, [&](bool ok, const QString& why) {
        out.finished = true;
        out.ok = ok;
        out.why = why;
    });
    QString error;
    out.started = signIn.Start(error, 10s);
    if (!out.started) {
        out.why = error;
        return out;
    }
    out.redirect = signIn.RedirectUrl();
    test::RunEventsUntil([&] { return out.finished; }, 15000);
    out.tokens = signIn.Tokens();
    return out;
}

TEST(OAuthSignIn, ThroughTheBrowserOnceWithPkceAndStateThenRefreshed) {
    AuthServer server;
    ASSERT_NE(server.port, 0) << "the stand-in did not start";
    QNetworkAccessManager network;
    struct Row {
        const char* name;
        OAuthClient client;
        std::function<QUrl(QUrl)> tamper;
        bool started, ok;
        const char* why;  // part of the reason
    };
    const Row rows[] = {
        {"signed in", server.Client(), {}, true, true, ""},
        {"a wrong state", server.Client(),
         [](QUrl url) {
             QUrlQuery q(url);
             q.removeQueryItem("state");
             q.addQueryItem("state", "forged");
             url.setQuery(q);
             return url;
         },
         true, false, "state"},
        {"refused by the provider", server.Client("refuse"), {}, true, false, "access_denied"},
        {"an address in clear", {"velto-test", "", {"http://example.com/authorize", "http://example.com/token", ""}},
         {}, false, false, "https"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome out = SignIn(row.client, network, row.tamper);
        EXPECT_EQ(out.started, row.started);
        EXPECT_EQ(out.ok, row.ok) << out.why.toStdString();
        EXPECT_TRUE(out.why.contains(row.why)) << out.why.toStdString();
        if (!row.started) continue;
        EXPECT_EQ(out.redirect.host(), "127.0.0.1");
        // Whatever the callback said, nobody else is heard afterwards.
        QTcpSocket late;
        late.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(out.redirect.port()));
        EXPECT_FALSE(late.waitForConnected(2000));
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

}  // namespace
}  // namespace velto
