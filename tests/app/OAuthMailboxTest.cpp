// An account that signs in with OAuth2, against real peers: Dovecot taking
// XOAUTH2 for POP3 and submission (tokens checked at an introspection
// stand-in), the authorization server stand-in, GNOME Keyring on a private
// bus, and the user's browser reached through BROWSER. Signed in once through
// the browser, the account checks, reads and replies; a token that ends early
// is refreshed; the next start needs no browser; a revoked sign-in fails the
// account and is put to the user. No token crosses in clear or reaches a log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "net/OpenSslLayer.h"
#include "net/PosixTransport.h"
#include "platform/KeyringSecrets.h"
#include "platform/SignIn.h"
#include "platform/OAuthTokens.h"
#include "present/MessageCenter.h"
#include "support/DovecotServer.h"
#include "support/MailTestKit.h"
#include "support/OAuthStandIn.h"
#include "support/SmtpRecorder.h"
#include "support/TestEnvironment.h"
#include "support/TestCertificates.h"
#include "support/qt/EngineHarness.h"
#include "support/qt/KeyringSession.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

std::string AccountSettingsText(const test::DovecotServer& server, const test::OAuthStandIn& auth) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  "\"Incoming Port\"=dword:%08x\r\n\"Outgoing Port\"=dword:%08x\r\n", server.Port(),
                  server.SubmissionPort());
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Ann]\r\n"
           "\"Account Name\"=\"Ann\"\r\n\"Email Address\"=\"ann@example.com\"\r\n\"Server Name\"=\"localhost\"\r\n"
           "\"Outgoing Mail Server\"=\"localhost\"\r\n\"Incoming Security\"=dword:00000002\r\n"
           "\"Outgoing Security\"=dword:00000002\r\n\"Incoming Sign In\"=dword:00000001\r\n"
           "\"Outgoing Sign In\"=dword:00000003\r\n\"OAuth Provider\"=\"Custom\"\r\n"
           "\"OAuth Client Id\"=\"velto-test\"\r\n\"OAuth Authorization URL\"=\"" +
           auth.Url("/authorize") + "\"\r\n\"OAuth Token URL\"=\"" + auth.Url("/token") +
           "\"\r\n\"OAuth Scope\"=\"mail\"\r\n" + numbers;
}

// Mailbox Setup's "Sign In...": the browser sign-in, its tokens kept.
bool SignInThroughTheBrowser(ISignIn& service, std::string& why) {
    bool done = false, ok = false;
    ISignIn::BrowserSignIn callbacks;
    callbacks.done = [&](bool signedIn, const std::string& text) {
        done = true;
        ok = signedIn;
        why = text;
    };
    service.SignInWithBrowser(AccountSettings(keys::Join(keys::kAccounts, "Ann")), std::move(callbacks));
    test::RunEventsUntil([&] { return done; }, 25000);
    return ok && why.find("for this run only") == std::string::npos;
}

// Every sign-in the server saw, a line each.
std::vector<std::string> Logins(const test::DovecotServer& server) {
    std::vector<std::string> lines;
    std::istringstream log(server.Log());
    for (std::string line; std::getline(log, line);)
        if (line.find("-login: Info: Login: ") != std::string::npos) lines.push_back(line);
    return lines;
}

TEST(OAuthMailbox, SignedInOnceItChecksRepliesRefreshesAndNeedsNoBrowserAgainUntilRevoked) {
    if (!test::DovecotServer::SubmissionInstalled()) GTEST_SKIP() << "dovecot-submissiond is not installed";
    if (!test::SmtpRecorder::Installed()) GTEST_SKIP() << "python3-aiosmtpd is not installed";
    test::KeyringSession session;
    if (!session.up) GTEST_SKIP() << "no dbus-daemon or gnome-keyring-daemon";
    const test::TestCertificates& certs = test::TestCertificates::Get();
    ASSERT_TRUE(certs.error.empty()) << certs.error;
    test::OAuthStandIn auth;
    ASSERT_TRUE(auth.Up());
    test::SmtpRecorder relay;
    std::string why;
    ASSERT_TRUE(relay.Start(&why)) << why;
    test::DovecotServer server;
    server.AddUser("ann@example.com", "unused");
    server.AddMessage("ann@example.com", "m-1", "From: Bob <bob@example.org>\r\nSubject: lunch\r\n\r\nsee you\r\n");
    server.UseTls(certs.good.cert, certs.good.key);
    server.UseOAuth2(auth.Url("/introspect"));
    server.RelaySubmissionTo(relay.Port());
    server.ServeImap();
    ASSERT_TRUE(server.Start(&why)) << why;

    const std::string browserLog = test::MakeTempDir("velto-browser") + "/browser.log";
    setenv("BROWSER", "/usr/bin/python3 " VELTO_SOURCE_DIR "/tests/support/oauth_browser.py", 1);
    setenv("VELTO_BROWSER_LOG", browserLog.c_str(), 1);
    const std::string settings = AccountSettingsText(server, auth);
    TlsTrust trust;
    trust.extraAuthorities = certs.authority;
    std::string logs;

    {
        auto secrets = std::make_shared<KeyringSecrets>(10s);
        auto store = std::make_shared<OAuthTokenStore>(secrets);
        auto signIn = std::make_shared<SignIn>(secrets, store, store);
        test::EngineHarness h(settings, MakePosixTransportFactory(test::TestTimeLimits()), nullptr, nullptr, nullptr,
                              false, MakeOpenSslLayer(trust), signIn);
        h.view->OnInitialUpdate();
        h.Drain();
        ASSERT_TRUE(SignInThroughTheBrowser(*signIn, why)) << why;
        EXPECT_EQ(test::ReadFile(browserLog), "callback 200, again refused\n");

        h.view->OnGetMail();
        ASSERT_TRUE(h.FinishWork());
        ASSERT_EQ(h.view->Model()->rowCount(), 1) << h.log.Text();
        h.view->SetSelectionSource([] { return std::vector<int>{0}; });
        h.view->OnReadMessage();
        ASSERT_TRUE(h.FinishWork());
        ASSERT_EQ(h.ui.messageCenterShows, 1) << h.log.Text();

        // The reply goes out through the account's submission service.
        std::vector<QString> boxes;
        MessageCenterPrompts prompts;
        prompts.messageBox = [&](QWidget*, const QString&, const QString& text) { boxes.push_back(text); };
        CMessageCenter center(prompts, [] { return MakePosixTransportFactory(test::TestTimeLimits()); });
        center.SetTlsLayer(MakeOpenSslLayer(trust));
        center.SetSignIn(signIn);
        center.SetMessage(h.ui.lastHeader,
                          CMessageText{CMessageText::HeaderBlock(h.ui.lastHeader.m_rawHeader), h.ui.lastBody});
        center.ShowReply();
        center.Action(ID_SEND_REPLY)->trigger();
        ASSERT_TRUE(test::RunEventsUntil([&] { return !boxes.empty(); }, 30000));
        EXPECT_EQ(boxes[0].toStdString(), "Message Successfully Sent") << server.Log();
        const auto relayed = relay.Messages();
        ASSERT_EQ(relayed.size(), 1u);
        EXPECT_EQ(relayed[0].rcptTo, std::vector<std::string>{"bob@example.org"});
        EXPECT_NE(relayed[0].content.find("Subject: Re: lunch"), std::string::npos) << relayed[0].content;

        // The provider ends the token before its time: the server refuses
        // it, a fresh one is fetched once and the check goes on.
        ASSERT_TRUE(auth.Expire(false));
        server.AddMessage("ann@example.com", "m-2", "From: Bob <bob@example.org>\r\nSubject: later\r\n\r\nx\r\n");
        h.view->OnGetMail();
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(h.view->Model()->rowCount(), 2) << h.log.Text();
        EXPECT_TRUE(h.ui.signInQuestions.empty());

        // The same account read over IMAP signs in with the same token
        // (AUTHENTICATE XOAUTH2) and lists what is unseen: the message read
        // over POP3 above is seen at the server now, the later one is not.
        AccountSettings imap(keys::Join(keys::kAccounts, "Ann"));
        imap.m_incomingProtocol = kProtocolImap;
        imap.m_incomingPort = static_cast<std::uint32_t>(server.ImapPort());
        imap.m_modified = 1;
        imap.Save(keys::kAccounts);
        h.view->LoadAccounts();
        h.view->OnGetMail();
        ASSERT_TRUE(h.FinishWork());
        EXPECT_EQ(h.view->Model()->rowCount(), 1) << h.log.Text();
        EXPECT_NE(h.log.Text().find("AUTHENTICATE XOAUTH2"), std::string::npos) << h.log.Text();
        imap.m_incomingProtocol = kProtocolPop3;
        imap.m_incomingPort = static_cast<std::uint32_t>(server.Port());
        imap.Save(keys::kAccounts);
        logs += h.log.Text();
    }

    // The next start: the refresh token comes from the keyring, no browser.
    auto secrets = std::make_shared<KeyringSecrets>(10s);
    auto store = std::make_shared<OAuthTokenStore>(secrets);
    test::EngineHarness h(settings, MakePosixTransportFactory(test::TestTimeLimits()), nullptr, nullptr, nullptr, false,
                          MakeOpenSslLayer(trust), std::make_shared<SignIn>(secrets, store, store));
    h.view->OnInitialUpdate();
    h.Drain();
    h.view->OnGetMail();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(h.view->Model()->rowCount(), 2) << h.log.Text();
    EXPECT_EQ(test::ReadFile(browserLog), "callback 200, again refused\n");

    // Revoked: the account fails with the reason, and the user is asked.
    ASSERT_TRUE(auth.Expire(true));
    h.view->OnGetMail();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(h.ui.signInQuestions, std::vector<std::string>{"Ann"});
    EXPECT_NE(h.log.Text().find("expired"), std::string::npos) << h.log.Text();
    logs += h.log.Text();

    // Every sign-in was XOAUTH2 under TLS; no token in any log.
    const std::vector<std::string> logins = Logins(server);
    EXPECT_GE(logins.size(), 5u);  // check, read, reply, check, check
    for (const std::string& line : logins) {
        EXPECT_NE(line.find("method=XOAUTH2"), std::string::npos) << line;
        EXPECT_NE(line.find(", TLS"), std::string::npos) << line;
    }
    EXPECT_NE(server.Log().find("submission-login: Info: Login: user=<ann@example.com>"), std::string::npos);
    for (const char* secret : {"at-1", "at-2", "rt-1", "Bearer"}) EXPECT_EQ(logs.find(secret), std::string::npos) << secret;
}

}  // namespace
}  // namespace velto
