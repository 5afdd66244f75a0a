// Accounts on servers with TLS. One whose certificate does not verify: refused
// with the reason and fingerprint in the log; asked about on the UI thread
// only after a Get Mail the user started; trusted once the user says yes.
#include <gtest/gtest.h>

#include <thread>

#include "net/OpenSslLayer.h"
#include "support/DovecotServer.h"
#include "support/MailTestKit.h"
#include "support/TestCertificates.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

using test::EngineHarness;
using test::TestCertificates;

TEST(TlsCheck, AskedAfterGetMailOnlyAndPinnedOnYes) {
    if (!test::DovecotServer::Installed()) GTEST_SKIP() << "dovecot is not installed";
    ASSERT_TRUE(TestCertificates::Get().Ready()) << TestCertificates::Get().error;
    test::DovecotServer server;
    server.AddUser("ann", "secret");
    server.AddMessage("ann", "m-1", "From: a@b\r\nSubject: kept safe\r\n\r\nbody\r\n");
    server.UseTls(TestCertificates::Get().selfSigned.cert, TestCertificates::Get().selfSigned.key);
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;

    const std::string settings =
        test::AnnAccountText("127.0.0.1", server.TlsPort(), "\"Incoming Security\"=dword:00000001\r\n");
    const std::thread::id uiThread = std::this_thread::get_id();
    EngineHarness h(settings, MakePosixTransportFactory(test::TestTimeLimits()), nullptr, nullptr, nullptr, false,
                    MakeOpenSslLayer());
    h.view->OnInitialUpdate();
    h.Drain();

    // A scan nobody is waiting for only logs.
    h.view->OnRefresh();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_TRUE(h.ui.trustQuestions.empty());
    EXPECT_NE(h.log.Text().find("not trusted (self-signed certificate); SHA-256 fingerprint "), std::string::npos)
        << h.log.Text();

    // Get Mail asks; "no" stores nothing, and the next Get Mail asks again;
    // "yes" runs the check again. The question stays while the user thinks:
    // a timed scan that starts and ends meanwhile does not drop it.
    for (bool answer : {false, true}) {
        h.ui.trustAnswer = answer;
        h.ui.holdAnswers = answer;
        h.ui.trustQuestions.clear();
        h.view->OnGetMail();
        ASSERT_TRUE(h.FinishWork());
        if (answer) {
            h.view->OnTimer(kPeriodicTimerId);
            ASSERT_TRUE(h.FinishWork());
            ASSERT_EQ(h.ui.heldAnswers.size(), 1u);
            std::exchange(h.ui.heldAnswers, {})[0](true);
            ASSERT_TRUE(h.FinishWork());
        }
        ASSERT_EQ(h.ui.trustQuestions.size(), 1u);
        EXPECT_EQ(h.ui.trustThread, uiThread);
        EXPECT_EQ(h.ui.trustQuestions[0].first, "Ann");
        EXPECT_NE(h.ui.trustQuestions[0].second.subject.find("self.test"), std::string::npos);
        EXPECT_EQ(h.view->Model()->rowCount(), answer ? 1 : 0);
        const AccountSettings stored(keys::Join(keys::kAccounts, "Ann"));
        EXPECT_EQ(stored.m_incomingCertificate, answer ? h.ui.trustQuestions[0].second.fingerprint : "");
    }
    EXPECT_NE(h.log.Text().find(h.ui.trustQuestions[0].second.fingerprint), std::string::npos);

    // Trusted now: the check goes through without a question.
    h.ui.trustQuestions.clear();
    h.view->OnGetMail();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_TRUE(h.ui.trustQuestions.empty());
    EXPECT_EQ(h.view->Model()->rowCount(), 1);
    EXPECT_EQ(h.view->NewCount(), 1);  // the message came once, with the check run again
    EXPECT_EQ(h.log.Text().find("secret"), std::string::npos);
}

// Two accounts on one server, one over POP3S and one with STLS: Get Mail
// lists both mailboxes, asks nothing, and no password reaches the log.
TEST(TlsCheck, TrustedServerChecksOverPop3sAndStls) {
    if (!test::DovecotServer::Installed()) GTEST_SKIP() << "dovecot is not installed";
    ASSERT_TRUE(TestCertificates::Get().Ready()) << TestCertificates::Get().error;
    test::DovecotServer server;
    for (const char* user : {"ann", "bob"}) {
        server.AddUser(user, std::string("pw-") + user);
        server.AddMessage(user, std::string("m-") + user, "From: a@b\r\nSubject: for " + std::string(user) + "\r\n\r\nx\r\n");
    }
    server.UseTls(TestCertificates::Get().good.cert, TestCertificates::Get().good.key);
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;
    auto account = [](const char* name, const char* host, int security, int port) {
        char values[128];
        std::snprintf(values, sizeof values, "\"Incoming Security\"=dword:%08x\r\n\"Incoming Port\"=dword:%08x\r\n",
                      security, port);
        return std::string("[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\") + name +
               "]\r\n\"Account Name\"=\"" + name + "\"\r\n\"Server Name\"=\"" + host + "\"\r\n\"User Name\"=\"" +
               name + "\"\r\n\"User Password\"=\"pw-" + name + "\"\r\n" + values + "\r\n";
    };
    const std::string settings = "REGEDIT4\r\n\r\n" + account("ann", "127.0.0.1", kSecurityTls, server.TlsPort()) +
                                 account("bob", "localhost", kSecurityStartTls, server.Port());
    EngineHarness h(settings, MakePosixTransportFactory(test::TestTimeLimits()), nullptr, nullptr, nullptr, false,
                    MakeOpenSslLayer({TestCertificates::Get().authority}));
    h.view->OnInitialUpdate();
    h.Drain();
    h.view->OnGetMail();
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(h.view->Model()->rowCount(), 2) << h.log.Text();
    EXPECT_TRUE(h.ui.trustQuestions.empty());
    EXPECT_NE(h.log.Text().find("STLS"), std::string::npos);
    EXPECT_EQ(h.log.Text().find("pw-"), std::string::npos);
}

}  // namespace
}  // namespace velto
