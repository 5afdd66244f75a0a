// The mail clients against real servers started by the test itself: a
// private Dovecot for POP3 and aiosmtpd for SMTP, both on loopback ports.
#include <gtest/gtest.h>

#include "protocol/PopMail.h"
#include "protocol/SmtpMail.h"
#include "settings/Crc32.h"
#include "support/DovecotServer.h"
#include "support/MailTestKit.h"
#include "support/RecordingLogSink.h"
#include "support/SmtpRecorder.h"

namespace velto {
namespace {

using test::DovecotServer;
using test::SmtpRecorder;

std::string Message(const std::string& subject, const std::string& body) {
    return "From: Ann <ann@example.com>\r\nTo: bob@example.com\r\nSubject: " + subject +
           "\r\nDate: Mon, 7 Dec 1998 14:05:09 -0500\r\n\r\n" + body;
}

// One Dovecot for the whole suite: it takes seconds to stop.
class RealPop3 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!DovecotServer::Installed()) return;
        dovecot = new DovecotServer();
        dovecot->AddUser("check", "pw-check");
        dovecot->AddMessage("check", "uid-a", Message("first", "one\r\n"));
        dovecot->AddMessage("check", "uid-b", Message("second", "..and a dot\r\n.\r\nline\r\n"));
        dovecot->AddMessage("check", "uid-c", Message("third", "three\r\n"));
        dovecot->AddUser("dele", "pw-dele");
        dovecot->AddMessage("dele", "keep-1", Message("keep", "k\r\n"));
        dovecot->AddMessage("dele", "gone-2", Message("gone", "g\r\n"));
        std::string why;
        if (!dovecot->Start(&why)) {
            startError = why;
            delete dovecot;
            dovecot = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete dovecot;
        dovecot = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(dovecot) << "Dovecot did not start: " << startError;
        pop = std::make_unique<CPopMail>(&log, MakePosixTransportFactory(test::TestTimeLimits()));
    }
    // Logs in; the unique ids by message number (index 0 unused).
    std::vector<std::string> Open(const std::string& user, const std::string& password) {
        std::vector<std::string> ids{""};
        EXPECT_TRUE(pop->Connect("127.0.0.1", dovecot->Port())) << pop->GetLastResponse();
        EXPECT_TRUE(pop->Login(user, password)) << log.Text();
        int count = 0, size = 0;
        EXPECT_TRUE(pop->GetMailboxStatus(count, size));
        for (int n = 1; n <= count; ++n) {
            std::string uid;
            EXPECT_TRUE(pop->GetUniqueId(n, uid));
            ids.push_back(uid);
        }
        return ids;
    }

    static inline DovecotServer* dovecot = nullptr;
    static inline std::string startError;
    test::RecordingLogSink log;
    std::unique_ptr<CPopMail> pop;
};

TEST_F(RealPop3, FullCheckAndRetrieveMatchWhatTheServerHolds) {
    const auto ids = Open("check", "pw-check");
    ASSERT_EQ(ids.size(), 4u);
    std::vector<std::string> sorted(ids.begin() + 1, ids.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, dovecot->MessageIds("check"));
    for (int n = 1; n <= 3; ++n) {
        CMailHeader record;
        ASSERT_TRUE(pop->GetHeader(n, record)) << n;
        const std::string stored = dovecot->MessageText("check", ids[n]);
        EXPECT_EQ(record.m_uidlHash, Crc32::Of(ids[n]));
        EXPECT_EQ(record.m_size, static_cast<int>(stored.size()));
        EXPECT_EQ(record.m_rawHeader, stored.substr(0, stored.find("\r\n\r\n") + 4) + ".\r\n");
        EXPECT_EQ(record.m_from, "Ann <ann@example.com>");

        std::string text;
        ASSERT_TRUE(pop->GetMessage(n, text));
        // The stored file, less its last line end: dotted lines intact.
        EXPECT_EQ(text, stored.substr(0, stored.size() - 2)) << ids[n];
    }
    EXPECT_TRUE(pop->Quit());
    EXPECT_NE(log.Text().find("PASS xxxxxxx\r\n"), std::string::npos);
    EXPECT_EQ(log.Text().find("pw-check"), std::string::npos);
    EXPECT_NE(log.Text().find("+OK Logging out"), std::string::npos);
}

TEST_F(RealPop3, DeleteRemovesOnlyThatMessage) {
    auto ids = Open("dele", "pw-dele");
    ASSERT_EQ(ids.size(), 3u);
    const int gone = ids[1] == "gone-2" ? 1 : 2;
    EXPECT_TRUE(pop->DeleteMessage(gone));
    EXPECT_TRUE(pop->Quit());
    EXPECT_EQ(dovecot->MessageIds("dele"), std::vector<std::string>{"keep-1"});
    ids = Open("dele", "pw-dele");
    EXPECT_EQ(ids, (std::vector<std::string>{"", "keep-1"}));
    EXPECT_TRUE(pop->Quit());
}

TEST_F(RealPop3, WrongPasswordIsAnsweredAndQuitStillWorks) {
    ASSERT_TRUE(pop->Connect("127.0.0.1", dovecot->Port()));
    EXPECT_FALSE(pop->Login("check", "wrong"));
    EXPECT_TRUE(pop->WasAnswered());
    EXPECT_NE(pop->GetLastResponse().find("-ERR"), std::string::npos);
    EXPECT_TRUE(pop->Quit());
}

TEST(RealSmtp, ReplyArrivesByteForByte) {
    ASSERT_TRUE(SmtpRecorder::Installed()) << "python3-aiosmtpd is missing";
    SmtpRecorder recorder;
    std::string why;
    ASSERT_TRUE(recorder.Start(&why)) << why;
    CSmtpMail smtp("127.0.0.1", recorder.Port(), MakePosixTransportFactory(test::TestTimeLimits()));
    smtp.SetClock(test::FixedLocalTime);
    ASSERT_TRUE(smtp.Connect()) << smtp.GetErrorText();
    COutgoingMessage message;
    message.m_sender = "me@example.com";
    message.m_subject = "Re: lunch";
    message.m_body = "Dear Ann,\r\n.\r\n..two dots\r\n.one\r\nlast line without end";
    message.AddRecipient("ann@example.com", "Ann");
    message.AddRecipient("bob@example.com", "");
    ASSERT_TRUE(smtp.SendMail(message)) << smtp.GetErrorText();
    EXPECT_TRUE(smtp.Disconnect()) << smtp.GetErrorText();

    const auto received = recorder.Messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].mailFrom, "me@example.com");
    EXPECT_FALSE(received[0].encrypted);  // in clear, as the account says
    EXPECT_EQ(received[0].rcptTo, (std::vector<std::string>{"ann@example.com", "bob@example.com"}));
    EXPECT_EQ(received[0].content,
              "Date: Mon, 07 Dec 98 14:05:09 EST\r\nFrom: me@example.com\r\nTo: Ann<ann@example.com>,<bob@example.com>"
              "\r\nSubject: Re: lunch\r\nX-Mailer: <Pelmo Mail>\r\n\r\n"
              "Dear Ann,\r\n.\r\n..two dots\r\n.one\r\nlast line without end\r\n");
}

}  // namespace
}  // namespace velto
