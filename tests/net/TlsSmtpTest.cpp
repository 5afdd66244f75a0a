// Sending over TLS: submission with STARTTLS and implicit TLS against
// aiosmtpd with certificates made by the test, sign-in with PLAIN or LOGIN,
// and servers that would have the password cross in clear.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "net/OpenSslLayer.h"
#include "protocol/SmtpMail.h"
#include "support/LoopbackServer.h"
#include "support/MailTestKit.h"
#include "support/SmtpRecorder.h"
#include "support/TestCertificates.h"

namespace velto {
namespace {

using test::LoopbackServer;
using test::SmtpRecorder;
using test::TestCertificates;

COutgoingMessage Reply() {
    COutgoingMessage m;
    m.m_sender = "ann@example.com";
    m.m_subject = "Re: over tls";
    m.m_body = "sent safely\r\n";
    m.AddRecipient("bob@example.com", "Bob");
    return m;
}

std::vector<std::string> Serving(const test::CertificatePair& pair, std::vector<std::string> more) {
    more.insert(more.begin(), {"--cert", pair.cert, "--key", pair.key});
    return more;
}

struct SendRow {
    const char* name;
    std::vector<std::string> serverOptions;
    SmtpTls mode;
    std::string user, password, pinned;
    bool sent;
    std::string error;  // GetErrorText() after a refused Connect (substring)
};

TEST(TlsSmtp, EachSecurityModeAgainstARealServer) {
    if (!SmtpRecorder::Installed()) GTEST_SKIP() << "python3-aiosmtpd is not installed";
    const TestCertificates& certs = TestCertificates::Get();
    ASSERT_TRUE(certs.Ready()) << certs.error;
    const auto auth = std::vector<std::string>{"--auth", "ann:pw-ann"};
    const SendRow rows[] = {
        {"STARTTLS, PLAIN", Serving(certs.good, auth), SmtpTls::StartTls, "ann", "pw-ann", "", true, ""},
        {"STARTTLS, LOGIN only", Serving(certs.good, {"--auth", "ann:pw-ann", "--no-plain"}), SmtpTls::StartTls,
         "ann", "pw-ann", "", true, ""},
        {"STARTTLS, no sign-in", Serving(certs.good, {}), SmtpTls::StartTls, "", "", "", true, ""},
        {"implicit TLS, PLAIN", Serving(certs.good, {"--auth", "ann:pw-ann", "--implicit"}), SmtpTls::Implicit,
         "ann", "pw-ann", "", true, ""},
        {"wrong password", Serving(certs.good, auth), SmtpTls::StartTls, "ann", "wrong", "", false,
         "535:SMTP server refused the user name or password"},
        {"no STARTTLS offered", {}, SmtpTls::StartTls, "", "", "", false, "SMTP server does not offer STARTTLS"},
        {"expired certificate", Serving(certs.expired, auth), SmtpTls::StartTls, "ann", "pw-ann", "", false,
         "certificate has expired"},
        {"self-signed, implicit", Serving(certs.selfSigned, {"--implicit"}), SmtpTls::Implicit, "", "", "", false,
         "self-signed certificate); SHA-256 "},
    };
    auto tls = MakeOpenSslLayer({certs.authority});
    for (const SendRow& row : rows) {
        SCOPED_TRACE(row.name);
        SmtpRecorder server;
        std::string why;
        ASSERT_TRUE(server.Start(&why, row.serverOptions)) << why;
        CSmtpMail smtp("127.0.0.1", server.Port(), MakePosixTransportFactory(test::TestTimeLimits()));
        smtp.SetTls(row.mode, tls, row.pinned);
        smtp.SetSignIn(row.user, row.password);
        const bool connected = smtp.Connect();
        EXPECT_EQ(connected, row.sent) << smtp.GetErrorText();
        if (!connected) {
            EXPECT_NE(smtp.GetErrorText().find(row.error), std::string::npos) << smtp.GetErrorText();
            continue;
        }
        COutgoingMessage message = Reply();
        ASSERT_TRUE(smtp.SendMail(message)) << smtp.GetErrorText();
        EXPECT_TRUE(smtp.Disconnect());
        const auto received = server.Messages();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].signedInAs, row.user);
        EXPECT_TRUE(received[0].encrypted);
        EXPECT_NE(received[0].content.find("sent safely"), std::string::npos);
    }
}

std::string Hostname() {
    char name[HOST_NAME_MAX + 1] = {};
    gethostname(name, sizeof name - 1);
    return CSmtpMail::HeloName(name);
}

// Servers that would take the password in clear: the client hangs up before
// any AUTH, and the server saw every byte it sent.
TEST(TlsSmtp, NoPasswordInClear) {
    struct Row {
        const char* name;
        SmtpTls mode;
        std::string script;
    } rows[] = {
        {"sign-in asked without TLS", SmtpTls::None,
         "S: 220 mail.test ESMTP\nC: EHLO " + Hostname() + "\nS: 250-mail.test\\r\\n250 AUTH PLAIN LOGIN\n"},
        // STARTTLS removed from the list on the way, AUTH left.
        {"upgrade stripped", SmtpTls::StartTls,
         "S: 220 mail.test ESMTP\nC: EHLO " + Hostname() + "\nS: 250-mail.test\\r\\n250 AUTH PLAIN LOGIN\n"},
        {"STARTTLS refused", SmtpTls::StartTls,
         "S: 220 mail.test ESMTP\nC: EHLO " + Hostname() +
             "\nS: 250-mail.test\\r\\n250-STARTTLS\\r\\n250 AUTH PLAIN\nC: STARTTLS\nS: 454 TLS not available\n"},
        {"bytes after the go-ahead", SmtpTls::StartTls,
         "S: 220 mail.test ESMTP\nC: EHLO " + Hostname() +
             "\nS: 250-mail.test\\r\\n250-STARTTLS\\r\\n250 AUTH PLAIN\nC: STARTTLS\nS: 220 go ahead\\r\\n250 fake\n"},
    };
    auto tls = MakeOpenSslLayer();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto server = LoopbackServer::Scripted(row.script);
        CSmtpMail smtp("127.0.0.1", server->port(), MakePosixTransportFactory(test::ShortTimeLimits()));
        smtp.SetTls(row.mode, tls);
        smtp.SetSignIn("ann", "pw-ann");
        EXPECT_FALSE(smtp.Connect());
        EXPECT_FALSE(smtp.GetErrorText().empty());
        server->Join();
        EXPECT_EQ(server->Problems(), "");
        EXPECT_EQ(server->ClientBytes().find("AUTH"), std::string::npos);
        EXPECT_EQ(server->ClientBytes().find("cHctYW5u"), std::string::npos);  // base64 of the password
    }
}

}  // namespace
}  // namespace velto
