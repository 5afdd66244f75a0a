// POP3 client against scripted servers: on loopback for the exact wire and
// log, and over the in-process stream where packet boundaries matter.
#include <gtest/gtest.h>

#include "protocol/PopMail.h"
#include "settings/Crc32.h"
#include "support/ChildProcess.h"
#include "support/FakeTransport.h"
#include "support/LoopbackServer.h"
#include "support/MailTestKit.h"
#include "support/RecordingLogSink.h"

namespace velto {
namespace {

using test::FixedLocalTime;
using test::LoopbackServer;
using test::RecordingLogSink;
using test::ScriptedTransportFactory;

const std::string kBanner = "\r\n14:05:09 Monday, December 07, 1998 - Connected to 127.0.0.1\r\n";

class PopOverLoopback : public ::testing::Test {
protected:
    void Serve(const std::string& conversation, TransportTimeLimits limits = test::TestTimeLimits()) {
        server = LoopbackServer::Scripted(conversation);
        pop = std::make_unique<CPopMail>(&log, MakePosixTransportFactory(limits));
        pop->SetClock(FixedLocalTime);
    }
    bool Connect() { return pop->Connect("127.0.0.1", server->port()); }
    // Ends the client (closing its socket) and checks the server's side.
    void ExpectConversationKept() {
        pop.reset();
        EXPECT_EQ(server->Problems(), "");
    }

    RecordingLogSink log;
    std::unique_ptr<LoopbackServer> server;
    std::unique_ptr<CPopMail> pop;
};

TEST_F(PopOverLoopback, CheckOfTwoMessagesKeepsWireOrderAndLog) {
    const std::string header = "From: Ann <ann@example.com>\r\nSubject: Second\r\n\r\n.\r\n";
    Serve(R"(
        S: +OK POP3 ready
        C: USER ann
        S: +OK send PASS
        C: PASS s3cret!
        S: +OK logged in
        C: STAT
        S: +OK 2 640
        C: UIDL 1
        S: +OK 1 uid-one
        C: UIDL 2
        S: +OK 2 uid-two
        C: LIST 2
        S: +OK 2 320
        C: TOP 2 0
        S- +OK top follows\r\nFrom: Ann <ann@example.com>\r\nSubject: Second\r\n\r\n.\r\n
        C: UIDL 2
        S: +OK 2 uid-two
        C: QUIT
        S: +OK bye
    )");
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(pop->Login("ann", "s3cret!"));
    int count = -1, size = -1;
    ASSERT_TRUE(pop->GetMailboxStatus(count, size));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(size, 640);
    std::string uid;
    ASSERT_TRUE(pop->GetUniqueId(1, uid));
    EXPECT_EQ(uid, "uid-one");
    ASSERT_TRUE(pop->GetUniqueId(2, uid));
    CMailHeader record;
    ASSERT_TRUE(pop->GetHeader(2, record));
    EXPECT_TRUE(pop->Quit());
    ExpectConversationKept();

    EXPECT_EQ(record.m_messageNumber, 2);
    EXPECT_EQ(record.m_size, 320);
    EXPECT_EQ(record.m_uidlHash, Crc32::Of("uid-two"));
    EXPECT_EQ(record.m_subject, "Second");
    EXPECT_EQ(record.m_rawHeader, header);

    const std::vector<std::string> expected = {
        kBanner,
        "[14:05:09] +OK POP3 ready\r\n",
        "[14:05:09] USER ann\r\n",
        "[14:05:09] +OK send PASS\r\n",
        "[14:05:09] PASS xxxxxxx\r\n",
        "[14:05:09] +OK logged in\r\n",
        "[14:05:09] TOP 2 0\r\n",
        "[14:05:09] +OK top follows\r\n" + header,
        "[14:05:09] QUIT\r\n",
        "[14:05:09] +OK bye\r\n",
    };
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(log.Text().find("s3cret"), std::string::npos);
}

TEST_F(PopOverLoopback, GreetingIsJudgedByPlusOkAnywhere) {
    Serve(R"(
        S: * ready, +OK as they say
        C: QUIT
        S: +OK
    )");
    EXPECT_TRUE(Connect());
    EXPECT_TRUE(pop->Quit());
    ExpectConversationKept();

    Serve("S: -ERR too busy\n");
    EXPECT_FALSE(Connect());
    EXPECT_FALSE(pop->Quit());  // nothing sent: the conversation ends here
    ExpectConversationKept();
    EXPECT_EQ(log.Lines().back(), "[14:05:09] -ERR too busy\r\n");
}

TEST_F(PopOverLoopback, RefusedUserEndsLoginBeforePass) {
    Serve(R"(
        S: +OK
        C: USER nobody
        S: -ERR no such user
        C: QUIT
        S: +OK
    )");
    ASSERT_TRUE(Connect());
    EXPECT_FALSE(pop->Login("nobody", "pw"));
    EXPECT_TRUE(pop->WasAnswered());
    EXPECT_FALSE(pop->IsLoggedIn());
    EXPECT_TRUE(pop->Quit());
    ExpectConversationKept();
    const auto lines = log.Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "[14:05:09] USER nobody\r\n");
    EXPECT_EQ(lines[3], "[14:05:09] -ERR no such user\r\n");
}

TEST_F(PopOverLoopback, ListErrorMeansNoTopOrRetrIsSent) {
    Serve(R"(
        S: +OK
        C: LIST 3
        S: -ERR no such message
        C: LIST 3
        S: -ERR no such message
        C: QUIT
        S: +OK
    )");
    ASSERT_TRUE(Connect());
    CMailHeader record;
    EXPECT_FALSE(pop->GetHeader(3, record));
    std::string text;
    EXPECT_FALSE(pop->GetMessage(3, text));
    EXPECT_EQ(record.m_messageNumber, -1);
    EXPECT_TRUE(pop->Quit());
    ExpectConversationKept();
}

TEST_F(PopOverLoopback, WithoutUidlTheHashIsTheHeaderTextsCrc) {
    Serve(R"(
        S: +OK
        C: LIST 1
        S: +OK 1 100
        C: TOP 1 0
        S- +OK\r\nSubject: x\r\n\r\n.\r\n
        C: UIDL 1
        S: -ERR command not supported
    )");
    ASSERT_TRUE(Connect());
    CMailHeader record;
    ASSERT_TRUE(pop->GetHeader(1, record));
    EXPECT_EQ(record.m_uidlHash, Crc32::Of("Subject: x\r\n\r\n.\r\n"));
    ExpectConversationKept();
}

TEST_F(PopOverLoopback, RetrUndoesDotStuffingAndDropsTheTerminator) {
    Serve(R"(
        S: +OK
        C: LIST 1
        S: +OK 1 40
        C: RETR 1
        S- +OK 40 octets\r\n..leading dot\r\nSubject: s\r\n\r\n..\r\nmiddle\r\n...\r\nlast\r\n.\r\n
        C: LIST 2
        S: +OK 2 10
        C: RETR 2
        S- +OK\r\n.\r\n
    )");
    ASSERT_TRUE(Connect());
    std::string text;
    ASSERT_TRUE(pop->GetMessage(1, text));
    EXPECT_EQ(text, ".leading dot\r\nSubject: s\r\n\r\n.\r\nmiddle\r\n..\r\nlast");
    ASSERT_TRUE(pop->GetMessage(2, text));
    EXPECT_EQ(text, "");
    ExpectConversationKept();
}

TEST_F(PopOverLoopback, PeerClosingMidReplyLogsTheUnknownErrorLine) {
    Serve(R"(
        S: +OK
        C: STAT
        S- +OK 2
        close
    )");
    ASSERT_TRUE(Connect());
    int count = 0, size = 0;
    EXPECT_FALSE(pop->GetMailboxStatus(count, size));
    EXPECT_EQ(log.Lines().back(), "[14:05:09] LOCAL ERROR: 127.0.0.1 - Unknown GetLastError() relating to sockets\r\n");
    EXPECT_EQ(pop->GetLastSocketError(), 0);
    // The exchange got (part of) an answer, so the engine will call Quit; the
    // dead connection was dropped and nothing more is sent.
    EXPECT_TRUE(pop->WasAnswered());
    EXPECT_EQ(pop->GetLastResponse(), "+OK 2");
    EXPECT_FALSE(pop->Quit());
    ExpectConversationKept();
}

TEST_F(PopOverLoopback, QuitAfterRefusedConnectSendsNothing) {
    const int port = test::PickFreeLoopbackPort();
    CPopMail client(&log, MakePosixTransportFactory(test::TestTimeLimits()));
    client.SetClock(FixedLocalTime);
    EXPECT_FALSE(client.Connect("127.0.0.1", port));
    EXPECT_EQ(client.GetLastSocketError(), 10061);
    EXPECT_EQ(log.Lines().back(), "[14:05:09] LOCAL ERROR: 127.0.0.1 - The attempt to connect was rejected\r\n");
    EXPECT_FALSE(client.WasAnswered());
    const std::size_t logged = log.Lines().size();
    EXPECT_FALSE(client.Quit());
    EXPECT_EQ(log.Lines().size(), logged);
}

TEST_F(PopOverLoopback, SilentServerRunsIntoTheTimeLimit) {
    Serve(R"(
        S: +OK
        C: STAT
        silence
    )",
          test::ShortTimeLimits());
    ASSERT_TRUE(Connect());
    int count = 0, size = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pop->GetMailboxStatus(count, size));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(pop->GetLastSocketError(), 10060);
    EXPECT_EQ(log.Lines().back(),
              "[14:05:09] LOCAL ERROR: 127.0.0.1 - The server did not answer in time; connection dropped\r\n");
    EXPECT_FALSE(pop->Quit());
    ExpectConversationKept();
}

TEST_F(PopOverLoopback, SilentGreetingFailsConnectAndReleasesTheSocket) {
    Serve("silence\n", test::ShortTimeLimits());
    EXPECT_FALSE(Connect());
    EXPECT_FALSE(pop->IsConnected());
    // The server sees the connection end right away, not when the client dies.
    server->Join();
    EXPECT_EQ(server->Problems(), "");
}

TEST_F(PopOverLoopback, DeleteAndLoginFailure) {
    Serve(R"(
        S: +OK
        C: USER ann
        S: +OK
        C: PASS wrong
        S: -ERR [AUTH] Authentication failed.
        C: DELE 1
        S: -ERR not logged in
        C: QUIT
        S: +OK
    )");
    ASSERT_TRUE(Connect());
    EXPECT_FALSE(pop->Login("ann", "wrong"));
    EXPECT_FALSE(pop->IsLoggedIn());
    EXPECT_FALSE(pop->DeleteMessage(1));
    EXPECT_TRUE(pop->Quit());
    ExpectConversationKept();
    EXPECT_EQ(log.Lines()[5], "[14:05:09] -ERR [AUTH] Authentication failed.\r\n");
    EXPECT_EQ(log.Lines()[6], "[14:05:09] DELE 1\r\n");
}

// Over the in-process stream each server line is one receive: these cases
// depend on where the packets break.
class PopOverStream : public ::testing::Test {
protected:
    void Play(const std::string& conversation) {
        factory = std::make_shared<ScriptedTransportFactory>(conversation);
        pop = std::make_unique<CPopMail>(&log, factory);
        pop->SetClock(FixedLocalTime);
        ASSERT_TRUE(pop->Connect("mail.example.com", 110));
    }
    RecordingLogSink log;
    std::shared_ptr<ScriptedTransportFactory> factory;
    std::unique_ptr<CPopMail> pop;
};

struct ListingCase {
    const char* name;
    std::string server;  // what follows "C: UIDL"
    bool listed;
    std::size_t ids;
    bool connected;  // after the listing
};

TEST_F(PopOverStream, IdListingWhereverItBreaksAndWhateverItHolds) {
    const std::string longLine = "S- 1 " + std::string(70 * 1024, 'x') + "\r\n\n";
    const std::vector<ListingCase> rows = {
        {"in one piece", "S: +OK\nS: 1 a\nS: 2 b\nS: .\n", true, 2, true},
        {"broken inside lines and the terminator", "S- +O\nS- K\\r\\n1 a\\r\nS- \\n2 b\\r\\n.\nS: \n", true, 2, true},
        {"empty", "S: +OK\nS: .\n", false, 0, true},  // two messages, none listed
        {"refused", "S: -ERR not here\n", false, 0, true},
        {"a line without end", "S: +OK\n" + longLine, false, 0, false},
        {"closed midway", "S: +OK\nS: 1 a\nclose\n", false, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Play("S: +OK ready\nC: UIDL\n" + row.server);
        std::vector<CPopMail::UniqueId> ids;
        EXPECT_EQ(pop->ListUniqueIds(2, ids), row.listed);
        EXPECT_EQ(ids.size(), row.ids);
        EXPECT_EQ(pop->IsConnected(), row.connected);
        if (row.listed) {
            EXPECT_EQ(ids[1].id, "b");
        }
    }
}

struct BatchCase {
    const char* name;
    std::string server;  // the replies to one batch for messages 1 to 3
    std::string subjects;  // of the headers handed over, in order
    bool all;
    bool connected;
};

TEST_F(PopOverStream, BatchedRepliesWhereverTheyBreakAndWhateverTheySay) {
    auto reply = [](int n) {
        const std::string s = std::to_string(n);
        return "+OK " + s + " 50\\r\\n+OK\\r\\nSubject: " + s + "\\r\\n\\r\\n.\\r\\n";
    };
    const std::string all = reply(1) + reply(2) + reply(3);
    const std::vector<BatchCase> rows = {
        {"in one packet", "S- " + all + "\n", "123", true, true},
        {"a packet per reply", "S- " + reply(1) + "\nS- " + reply(2) + "\nS- " + reply(3) + "\n", "123", true, true},
        {"broken inside lines and terminators",
         "S- +OK 1 5\nS- 0\\r\\n+OK\\r\\nSubject: 1\\r\\n\\r\\n.\\r\nS- \\n+OK 2 50\\r\\n+OK\\r\\nSub\n"
         "S- ject: 2\\r\\n\\r\\n.\\r\\n+OK 3 50\\r\\n+OK\\r\\nSubject: 3\\r\\n\\r\\n.\nS- \\r\\n\n",
         "123", true, true},
        {"LIST refused in the middle", "S- " + reply(1) + "-ERR no such message\\r\\n-ERR no such message\\r\\n" + reply(3) + "\n",
         "13", false, true},
        {"TOP refused in the middle", "S- " + reply(1) + "+OK 2 50\\r\\n-ERR busy\\r\\n" + reply(3) + "\n", "13", false, true},
        {"closed in the middle", "S- " + reply(1) + "+OK 2 50\\r\\n+OK\\r\\nSubj\nclose\n", "1", false, false},
    };
    const std::vector<CPopMail::UniqueId> which = {{1, "a"}, {2, "b"}, {3, "c"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Play("S: +OK\nC- LIST 1\\r\\nTOP 1 0\\r\\nLIST 2\\r\\nTOP 2 0\\r\\nLIST 3\\r\\nTOP 3 0\\r\\n\n" + row.server);
        std::string subjects;
        EXPECT_EQ(pop->GetHeaders(which, true, [&](const CPopMail::UniqueId& id, CMailHeader& record) {
            EXPECT_EQ(record.m_uidlHash, CPopMail::HashUniqueId(id.id));
            subjects += record.m_subject;
            return true;
        }), row.all);
        EXPECT_EQ(subjects, row.subjects);
        EXPECT_EQ(pop->IsConnected(), row.connected);
        EXPECT_EQ(factory->Problems(), "");
    }
}

TEST_F(PopOverStream, ReplyLineSplitInTwoPiecesIsOneReply) {
    Play(R"(
        S- +OK POP3
        S:  server ready
        C: STAT
        S- +OK 2
        S:  320
    )");
    int count = 0, size = 0;
    ASSERT_TRUE(pop->GetMailboxStatus(count, size));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(size, 320);
    EXPECT_EQ(log.Lines()[1], "[14:05:09] +OK POP3 server ready\r\n");
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(PopOverStream, MultiLineResponsesWhereverTheyBreak) {
    Play(R"(
        S: +OK
        C: LIST 1
        S: +OK 1 50
        C: TOP 1 0
        S- +OK\r\nSubject: one block\r\n\r\n.\r\n
        C: UIDL 1
        S: +OK 1 a
        C: LIST 2
        S: +OK 2 50
        C: TOP 2 0
        S- +O
        S- K here\r
        S- \nSubject: pieces\r\n\r
        S- \n.
        S- \r\n
        C: UIDL 2
        S: +OK 2 b
        C: LIST 3
        S: +OK 3 50
        C: RETR 3
        S- +OK\r\n.\r\n
    )");
    CMailHeader one, two;
    ASSERT_TRUE(pop->GetHeader(1, one));
    EXPECT_EQ(one.m_rawHeader, "Subject: one block\r\n\r\n.\r\n");
    ASSERT_TRUE(pop->GetHeader(2, two));
    EXPECT_EQ(two.m_rawHeader, "Subject: pieces\r\n\r\n.\r\n");
    EXPECT_EQ(two.m_subject, "pieces");
    // Only the first block of each response is logged.
    EXPECT_EQ(log.Lines()[5], "[14:05:09] +O");
    std::string text = "left over";
    ASSERT_TRUE(pop->GetMessage(3, text));
    EXPECT_EQ(text, "");
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(PopOverStream, AbsurdListSizesSendNoTop) {
    Play(R"(
        S: +OK
        C: LIST 1
        S: +OK 1 4294967400
        C: LIST 2
        S: +OK 2 -1
        C: LIST 3
        S: +OK 3 0
        C: LIST 4
        S: +OK 4
        C: LIST 5
        S: +OK 5 99999999999999999999999999
    )");
    CMailHeader record;
    for (int n = 1; n <= 5; ++n) EXPECT_FALSE(pop->GetHeader(n, record)) << n;
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(PopOverStream, StatusAndUniqueIdScansAreBounded) {
    const std::string longWord(500, 'W');
    const std::string longId(3000, 'u');
    Play("S: +OK\nC: STAT\nS: " + longWord + "+OK 3 9\nC: UIDL 1\nS: +OK 1 " + longId +
         "\nC: UIDL 2\nS: +OK\nC: STAT\nS: +OK 2147483648 1\nC: STAT\nS: +OK\n");
    int count = 0, size = 0;
    ASSERT_TRUE(pop->GetMailboxStatus(count, size));
    EXPECT_EQ(count, 3);
    std::string uid;
    ASSERT_TRUE(pop->GetUniqueId(1, uid));
    EXPECT_EQ(uid, std::string(CPopMail::kMaxUniqueId, 'u'));
    ASSERT_TRUE(pop->GetUniqueId(2, uid));
    EXPECT_EQ(uid, "");
    // A count beyond 32 bits, or none at all, is a failed status.
    EXPECT_FALSE(pop->GetMailboxStatus(count, size));
    EXPECT_FALSE(pop->GetMailboxStatus(count, size));
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(PopOverStream, NulBytesAreKeptAndHashed) {
    Play("S: +OK\\0 hello\nC: UIDL 1\nS: +OK 1 a\\0b\n");
    std::string uid;
    ASSERT_TRUE(pop->GetUniqueId(1, uid));
    EXPECT_EQ(uid, std::string("a\0b", 3));
    const std::uint32_t hash = CPopMail::HashUniqueId(uid);
    EXPECT_EQ(hash, Crc32::Of(std::string("a\0b", 3)));
    EXPECT_NE(hash, Crc32::Of("a"));
}

TEST_F(PopOverStream, WithoutOutputWindowNothingIsLogged) {
    factory = std::make_shared<ScriptedTransportFactory>("S: +OK\nC: USER u\nS: +OK\nC: PASS p\nS: +OK\n");
    CPopMail client(nullptr, factory);
    ASSERT_TRUE(client.Connect("h", 110));
    EXPECT_TRUE(client.Login("u", "p"));
    client.SetOutputWindow(&log);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(PopOverStream, LineBreakInCredentialsSendsNothing) {
    Play("S: +OK\nC: QUIT\nS: +OK\n");
    EXPECT_FALSE(pop->Login("ann\r\nDELE 1", "pw"));
    EXPECT_FALSE(pop->Login("ann", "pw\nDELE 1"));
    EXPECT_NE(pop->GetLastResponse().find("line break"), std::string::npos);
    EXPECT_TRUE(pop->WasAnswered());
    EXPECT_TRUE(pop->Quit());
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(PopOverStream, ResetDuringMultiLineReadIsReportedAndDrops) {
    Play(R"(
        S: +OK
        C: LIST 1
        S: +OK 1 500
        C: RETR 1
        S- +OK\r\npart of the message
        reset
    )");
    std::string text;
    EXPECT_FALSE(pop->GetMessage(1, text));
    EXPECT_EQ(pop->GetLastSocketError(), 10054);
    EXPECT_FALSE(pop->WasAnswered());
    EXPECT_EQ(log.Lines().back(),
              "[14:05:09] LOCAL ERROR: mail.example.com - The virtual circuit was reset by the remote side\r\n");
    EXPECT_FALSE(pop->Quit());
    EXPECT_EQ(factory->Problems(), "");
}

TEST_F(PopOverStream, ConnectReleasesTheSocketOfAnEarlierSession) {
    // First session never quits; the next Connect starts afresh.
    Play("S: +OK one\nS: +OK two\nC: QUIT\nS: +OK\n");
    ASSERT_TRUE(pop->Connect("second.example.com", 110));
    EXPECT_EQ(factory->state().connects, 2);
    EXPECT_TRUE(pop->Quit());
    EXPECT_EQ(factory->Problems(), "");
}

TEST(PopUnstuff, TerminatorAndDots) {
    EXPECT_EQ(CPopMail::UnstuffMessage(".\r\n"), "");
    EXPECT_EQ(CPopMail::UnstuffMessage("\r\n.\r\n"), "");
    EXPECT_EQ(CPopMail::UnstuffMessage("a\r\n\r\n.\r\n"), "a\r\n");
    EXPECT_EQ(CPopMail::UnstuffMessage("..\r\n...x\r\n.\r\n"), ".\r\n..x");
    EXPECT_EQ(CPopMail::UnstuffMessage("a.b\r\n .c\r\n.\r\n"), "a.b\r\n .c");
}

}  // namespace
}  // namespace velto
