// The reply as it goes on the wire: the usual header block with the
// threading lines, and declared UTF-8 for text that is not plain ASCII.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

#include "present/ReplyMail.h"
#include "support/FakeTransport.h"
#include "support/MailTestKit.h"

namespace velto {
namespace {

std::string Helo() {
    char name[HOST_NAME_MAX + 1] = {};
    gethostname(name, sizeof name - 1);
    return "HELO " + CSmtpMail::HeloName(name);
}

std::string Conversation(const std::string& data) {
    return "S: 220 hi\nC: " + Helo() +
           "\nS: 250 ok\nC: MAIL From:<me@example.com>\nS: 250 ok\nC: RCPT TO:<ann@example.com>\nS: 250 ok\n"
           "C: DATA\nS: 354 go\nC- " + test::Printable(data, SIZE_MAX) + "\nS: 250 queued\nC: QUIT\nS: 221 bye\n";
}

bool Send(test::ScriptedTransportFactory& server, const std::string& originalId, const std::string& subject,
          const std::string& body) {
    auto transports = std::shared_ptr<ITransportFactory>(&server, [](ITransportFactory*) {});
    CReplyMail mail("smtp.example.com", kSmtpPort, transports, originalId, "<own-1@example.com>");
    mail.SetClock(test::FixedLocalTime);
    COutgoingMessage m;
    m.m_sender = "me@example.com";
    m.AddRecipient("ann@example.com", "");
    m.m_subject = subject;
    m.m_body = body;
    const bool ok = mail.Connect() && mail.SendMail(m);
    mail.Disconnect();
    return ok;
}

const std::string kDateFromTo = "Date: Mon, 07 Dec 98 14:05:09 EST\r\nFrom: me@example.com\r\nTo: <ann@example.com>\r\n";

TEST(ReplyMail, AsciiReplyKeepsTheHeaderBlockAndAddsTheThreadingLines) {
    test::ScriptedTransportFactory server(Conversation(
        kDateFromTo + "Subject: Re: lunch\r\nX-Mailer: <Pelmo Mail>\r\n"
        "Message-ID: <own-1@example.com>\r\nIn-Reply-To: <orig-9@example.org>\r\nReferences: <orig-9@example.org>\r\n"
        "\r\n>see you\r\n..\r\n.\r\n"));
    // The parsed Message-Id may carry a comment; only the bracketed id is used.
    EXPECT_TRUE(Send(server, "<orig-9@example.org> (sent by hand)", "Re: lunch", ">see you\r\n.\r\n"));
    EXPECT_EQ(server.Problems(), "");
}

TEST(ReplyMail, WithoutAnOriginalIdOnlyItsOwnIdIsAdded) {
    test::ScriptedTransportFactory server(Conversation(
        kDateFromTo + "Subject: Re: \r\nX-Mailer: <Pelmo Mail>\r\nMessage-ID: <own-1@example.com>\r\n\r\nok\r\n.\r\n"));
    EXPECT_TRUE(Send(server, "no brackets here", "Re: ", "ok"));
    EXPECT_EQ(server.Problems(), "");
}

TEST(ReplyMail, TextBeyondAsciiGoesAsDeclaredUtf8) {
    test::ScriptedTransportFactory server(Conversation(
        kDateFromTo + "Subject: =?UTF-8?B?UmU6IGNhZsOp?=\r\nX-Mailer: <Pelmo Mail>\r\n"
        "Message-ID: <own-1@example.com>\r\nIn-Reply-To: <o@x>\r\nReferences: <o@x>\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "Gr=C3=BC=C3=9Fe\r\n..and a=3Db\r\n.\r\n"));
    EXPECT_TRUE(Send(server, "<o@x>", "Re: caf\xC3\xA9", "Gr\xC3\xBC\xC3\x9F" "e\r\n.and a=b\r\n"));
    EXPECT_EQ(server.Problems(), "");
}

TEST(ReplyMail, AnAddressBeyondAsciiIsRefusedBeforeAnythingIsSent) {
    test::ScriptedTransportFactory server("S: 220 hi\nC: " + Helo() + "\nS: 250 ok\nC: QUIT\nS: 221 bye\n");
    auto transports = std::shared_ptr<ITransportFactory>(&server, [](ITransportFactory*) {});
    CReplyMail mail("smtp.example.com", kSmtpPort, transports, "", "<own@x>");
    COutgoingMessage m;
    m.m_sender = "me@example.com";
    m.AddRecipient("j\xC3\xB6rg@example.com", "");
    ASSERT_TRUE(mail.Connect());
    EXPECT_FALSE(mail.SendMail(m));
    EXPECT_EQ(mail.GetErrorText(), "The recipient address is not plain ASCII");
    EXPECT_TRUE(mail.Disconnect());
    EXPECT_EQ(server.Problems(), "");
}

}  // namespace
}  // namespace velto
