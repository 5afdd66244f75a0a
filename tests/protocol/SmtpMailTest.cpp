// SMTP client against scripted servers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

#include "protocol/SmtpMail.h"
#include "support/ChildProcess.h"
#include "support/FakeTransport.h"
#include "support/LoopbackServer.h"
#include "support/MailTestKit.h"

namespace velto {
namespace {

using test::LoopbackServer;
using test::ScriptedTransportFactory;

std::string Helo() {
    char name[HOST_NAME_MAX + 1] = {};
    gethostname(name, sizeof name - 1);
    return "HELO " + CSmtpMail::HeloName(name);
}

COutgoingMessage Reply(const std::string& body) {
    COutgoingMessage m;
    m.m_sender = "me@example.com";
    m.m_subject = "Re: lunch";
    m.m_body = body;
    m.AddRecipient("a@example.com", "Ann");
    m.AddRecipient("b@example.com", "Bob");
    return m;
}

const std::string kHeader =
    "Date: Mon, 07 Dec 98 14:05:09 EST\r\nFrom: me@example.com\r\nTo: Ann<a@example.com>,Bob<b@example.com>\r\n"
    "Subject: Re: lunch\r\nX-Mailer: <Pelmo Mail>\r\n\r\n";

TEST(SmtpOverLoopback, ReplyToTwoRecipientsGoesOutExactly) {
    // The second recipient is refused; the message still goes to the first.
    auto server = LoopbackServer::Scripted(R"(
        S: 220 mail.example.com ESMTP
        C: )" + Helo() + R"(
        S: 250 hello
        C: MAIL From:<me@example.com>
        S: 250 ok
        C: RCPT TO:<a@example.com>
        S: 250 ok
        C: RCPT TO:<b@example.com>
        S: 550 no such user
        C: DATA
        S: 354 go ahead
        C- )" + test::Printable(kHeader, SIZE_MAX) + R"(..first line dotted\r\n..\r\nmiddle\r\n..\r\nlast line\r\n.\r\n
        S: 250 queued
        C: QUIT
        S: 221 bye
    )");
    CSmtpMail smtp("127.0.0.1", server->port(), MakePosixTransportFactory(test::TestTimeLimits()));
    smtp.SetClock(test::FixedLocalTime);
    ASSERT_TRUE(smtp.Connect()) << smtp.GetErrorText();
    COutgoingMessage message = Reply(".first line dotted\r\n.\r\nmiddle\n.\r\nlast line");
    EXPECT_TRUE(smtp.SendMail(message)) << smtp.GetErrorText();
    EXPECT_EQ(smtp.GetErrorText(), "550:SMTP server error");  // a success does not reset it
    EXPECT_EQ(message.m_header, kHeader);
    EXPECT_EQ(message.m_body, ".first line dotted\r\n.\r\nmiddle\n.\r\nlast line\r\n");
    EXPECT_TRUE(smtp.Disconnect());
    EXPECT_EQ(server->Problems(), "");
}

TEST(SmtpOverLoopback, GreetingAndHeloFailures) {
    struct Case {
        std::string conversation;
        std::string error;
    };
    const Case cases[] = {
        {"S: 554 no service for you\n", "Server didn't respond."},
        {"S: 220 hi\nC: " + Helo() + "\nclose\n", "Socket Error"},
        {"S: 220 hi\nC: " + Helo() + "\nS: 501 bad name\n", "501:SMTP server error"},
    };
    for (const Case& c : cases) {
        auto server = LoopbackServer::Scripted(c.conversation);
        {
            CSmtpMail smtp("127.0.0.1", server->port(), MakePosixTransportFactory(test::TestTimeLimits()));
            EXPECT_FALSE(smtp.Connect());
            EXPECT_EQ(smtp.GetErrorText(), c.error);
            EXPECT_FALSE(smtp.IsConnected());
        }
        EXPECT_EQ(server->Problems(), "") << c.conversation;
    }
    CSmtpMail nowhere("127.0.0.1", test::PickFreeLoopbackPort(), MakePosixTransportFactory(test::TestTimeLimits()));
    EXPECT_FALSE(nowhere.Connect());
    EXPECT_EQ(nowhere.GetErrorText(), "Unable to connect to server");
}

class SmtpOverStream : public ::testing::Test {
protected:
    void Play(const std::string& afterHelo) {
        factory = std::make_shared<ScriptedTransportFactory>("S: 220 hi\nC: " + Helo() + "\nS: 250 ok\n" + afterHelo);
        smtp = std::make_unique<CSmtpMail>("smtp.example.com", 25, factory);
        smtp->SetClock(test::FixedLocalTime);
        ASSERT_TRUE(smtp->Connect()) << smtp->GetErrorText();
    }
    std::shared_ptr<ScriptedTransportFactory> factory;
    std::unique_ptr<CSmtpMail> smtp;
};

TEST_F(SmtpOverStream, MultiLineAndSplitRepliesAreReadWhole) {
    factory = std::make_shared<ScriptedTransportFactory>(R"(
        S: 220-mail.example.com ESMTP
        S: 220-no UCE
        S- 220 ready
        S: \r
        C: )" + Helo() + R"(
        S- 25
        S: 0-mail.example.com
        S: 250-PIPELINING
        S: 250 8BITMIME
        C: MAIL From:<me@example.com>
        S: 250 ok
        C: RCPT TO:<a@example.com>
        S: 250 ok
        C: RCPT TO:<b@example.com>
        S: 251 will forward
        C: DATA
        S: 354 go
        C- )" + test::Printable(kHeader, SIZE_MAX) + R"(body\r\n.\r\n
        S: 250 ok
        C: QUIT
        S: 221 bye
    )");
    CSmtpMail client("smtp.example.com", 25, factory);
    client.SetClock(test::FixedLocalTime);
    ASSERT_TRUE(client.Connect()) << client.GetErrorText();
    COutgoingMessage message = Reply("body\r\n");
    EXPECT_TRUE(client.SendMail(message));
    EXPECT_EQ(client.GetErrorText(), "251:SMTP server error");
    EXPECT_TRUE(client.Disconnect());
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(SmtpOverStream, NothingIsSentForABadMessage) {
    Play("C: QUIT\nS: 221 bye\n");
    COutgoingMessage none;
    none.m_sender = "me@example.com";
    EXPECT_FALSE(smtp->SendMail(none));
    EXPECT_EQ(smtp->GetErrorText(), "No Recipients");

    COutgoingMessage m = Reply("x");
    m.m_sender = "me@example.com>\r\nRCPT TO:<victim@example.com";
    EXPECT_FALSE(smtp->SendMail(m));
    EXPECT_EQ(smtp->GetErrorText(), "The sender address contains a line break");
    m = Reply("x");
    m.m_subject = "hi\r\nBcc: victim@example.com";
    EXPECT_FALSE(smtp->SendMail(m));
    EXPECT_EQ(smtp->GetErrorText(), "The subject contains a line break");
    m = Reply("x");
    m.AddRecipient("c@example.com>\nDATA", "Cy");
    EXPECT_FALSE(smtp->SendMail(m));
    EXPECT_EQ(smtp->GetErrorText(), "A recipient contains a line break");
    m = Reply("x");
    m.AddRecipient("c@example.com", "Cy\r\nBcc: x");
    EXPECT_FALSE(smtp->SendMail(m));
    EXPECT_TRUE(smtp->Disconnect());
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(SmtpOverStream, RefusedSenderOrDataStopsTheMessage) {
    Play(R"(
        C: MAIL From:<me@example.com>
        S: 553 sender refused
        C: MAIL From:<me@example.com>
        S: 250 ok
        C: RCPT TO:<a@example.com>
        S: 550 no
        C: RCPT TO:<b@example.com>
        S: 550 no
        C: DATA
        S: 503 no valid recipients
        C: QUIT
        S: 250 what?
    )");
    COutgoingMessage m = Reply("x");
    EXPECT_FALSE(smtp->SendMail(m));
    EXPECT_EQ(smtp->GetErrorText(), "553:SMTP server error");
    EXPECT_FALSE(smtp->SendMail(m));
    EXPECT_EQ(smtp->GetErrorText(), "503:SMTP server not ready for data");
    EXPECT_FALSE(smtp->Disconnect());
    EXPECT_EQ(smtp->GetErrorText(), "250:SMTP server didn't terminate session");
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(SmtpOverStream, EndlessReplyAndSilenceFailWithoutHanging) {
    Play("C: MAIL From:<me@example.com>\nS- 250-" + std::string(70'000, 'x') + "\n");
    COutgoingMessage m = Reply("x");
    EXPECT_FALSE(smtp->SendMail(m));
    EXPECT_EQ(smtp->GetErrorText(), "Server reply too long");
    EXPECT_FALSE(smtp->IsConnected());
    EXPECT_TRUE(smtp->Disconnect());  // nothing left to end
    Play("C: MAIL From:<me@example.com>\nsilence\n");
    EXPECT_FALSE(smtp->SendMail(m));
    EXPECT_EQ(smtp->GetErrorText(), "Socket Error");
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(SmtpOverStream, DestructorEndsTheSession) {
    Play("C: QUIT\nS: 221 bye\n");
    smtp.reset();
    EXPECT_EQ(factory->Problems(), "");
}

TEST(SmtpText, BodyTransparencyAndHeloName) {
    EXPECT_EQ(CSmtpMail::EscapeBody(".a\r\nb.\r\n.\r\n"), "..a\r\nb.\r\n..\r\n");
    // Lone LF or CR would let a server see an end of data that we did not send.
    EXPECT_EQ(CSmtpMail::EscapeBody("x\n.\ny\r.\r"), "x\r\n..\r\ny\r\n..\r\n");
    EXPECT_EQ(CSmtpMail::HeloName(""), "localhost");
    EXPECT_EQ(CSmtpMail::HeloName("bad name"), "localhost");
    EXPECT_EQ(CSmtpMail::HeloName("pc7.example.com"), "pc7.example.com");
}

}  // namespace
}  // namespace velto
