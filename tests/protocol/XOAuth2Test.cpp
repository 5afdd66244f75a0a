// OAuth2 sign-in (XOAUTH2) in POP3 and SMTP: the token goes only over TLS,
// after the server's go-ahead; a refusal (with or without a challenge) is
// told apart from other failures, so the caller can refresh the token once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "protocol/PopMail.h"
#include "protocol/SmtpMail.h"
#include "support/FakeTransport.h"
#include "support/MailTestKit.h"
#include "support/RecordingLogSink.h"

namespace velto {
namespace {

using test::PassThroughTls;
using test::ScriptedTransportFactory;


// base64 of "user=ann@example.com^Aauth=Bearer tok^A^A".
const std::string kResponse = "dXNlcj1hbm5AZXhhbXBsZS5jb20BYXV0aD1CZWFyZXIgdG9rAQE=";

struct Row {
    const char* name;
    bool tls;
    std::string server;  // after the greeting
    bool signedIn;
    int error;  // GetLastSocketError() after a failure
};

TEST(XOAuth2, Pop3SendsTheTokenOnlyOverTlsAndTellsARefusal) {
    const Row rows[] = {
        {"accepted", true, "C: AUTH XOAUTH2\nS: + \nC: " + kResponse + "\nS: +OK signed in\n", true, 0},
        {"refused with a challenge", true,
         "C: AUTH XOAUTH2\nS: + \nC: " + kResponse + "\nS: + eyJzdGF0dXMiOiI0MDEifQ==\nC: \nS: -ERR [AUTH] failed\n",
         false, localerr::kTokenRefused},
        {"refused at once", true, "C: AUTH XOAUTH2\nS: + \nC: " + kResponse + "\nS: -ERR [AUTH] failed\n", false,
         localerr::kTokenRefused},
        {"no such mechanism", true, "C: AUTH XOAUTH2\nS: -ERR unknown mechanism\n", false, localerr::kTokenNotTaken},
        {"in clear", false, "", false, localerr::kTokenNeedsTls},
    };
    PassThroughTls tls;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto factory = std::make_shared<ScriptedTransportFactory>("S: +OK ready\n" + row.server);
        test::RecordingLogSink log;
        CPopMail pop(&log, factory);
        ASSERT_TRUE(row.tls ? pop.ConnectTls("mail.example.com", 995, tls, "") : pop.Connect("mail.example.com", 110));
        EXPECT_EQ(pop.LoginXOAuth2("ann@example.com", "tok"), row.signedIn);
        EXPECT_EQ(pop.IsLoggedIn(), row.signedIn);
        if (!row.signedIn) {
            EXPECT_EQ(pop.GetLastSocketError(), row.error);
        }
        EXPECT_EQ(factory->Problems(), "");
        EXPECT_EQ(log.Text().find(kResponse), std::string::npos) << "the token never reaches the log";
        EXPECT_EQ(log.Text().find("tok"), std::string::npos);
    }
}

std::string Ehlo() {
    char name[HOST_NAME_MAX + 1] = {};
    gethostname(name, sizeof name - 1);
    return "EHLO " + CSmtpMail::HeloName(name);
}

TEST(XOAuth2, SmtpSendsTheTokenOnlyOverTlsAndTellsARefusal) {
    const std::string offer = "C: " + Ehlo() + "\nS: 250-mail.example.com\\r\\n250 AUTH PLAIN XOAUTH2\n";
    const Row rows[] = {
        {"accepted", true, offer + "C: AUTH XOAUTH2 " + kResponse + "\nS: 235 ok\n", true, 0},
        {"refused with a challenge", true,
         offer + "C: AUTH XOAUTH2 " + kResponse + "\nS: 334 eyJzdGF0dXMiOiI0MDEifQ==\nC: \nS: 535 no\n", false, 1},
        {"refused at once", true, offer + "C: AUTH XOAUTH2 " + kResponse + "\nS: 535 no\n", false, 1},
        {"not offered", true, "C: " + Ehlo() + "\nS: 250-mail.example.com\\r\\n250 AUTH PLAIN\n", false, 0},
        {"in clear", false, "C: " + Ehlo() + "\nS: 250-mail.example.com\\r\\n250 AUTH XOAUTH2\n", false, 0},
    };
    auto tls = std::make_shared<PassThroughTls>();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto factory = std::make_shared<ScriptedTransportFactory>("S: 220 mail.example.com ESMTP\n" + row.server);
        CSmtpMail smtp("mail.example.com", 465, factory);
        smtp.SetTls(row.tls ? SmtpTls::Implicit : SmtpTls::None, tls);
        smtp.SetOAuthSignIn("ann@example.com", "tok");
        EXPECT_EQ(smtp.Connect(), row.signedIn) << smtp.GetErrorText();
        EXPECT_EQ(smtp.TokenRefused(), row.error == 1);
        EXPECT_EQ(factory->Problems(), "");
        EXPECT_EQ(factory->state().clientBytes.find(kResponse) != std::string::npos, row.tls && row.name != std::string("not offered"));
    }
}

}  // namespace
}  // namespace velto
