// Servers that try to make the POP3 client hang or eat memory. Each must be
// cut off quickly, with a clear text, and the connection dropped.
#include <gtest/gtest.h>

#include "protocol/PopMail.h"
#include "support/LoopbackServer.h"
#include "support/MailTestKit.h"
#include "support/RecordingLogSink.h"

namespace velto {
namespace {

using test::LoopbackServer;
using test::ServerConnection;

constexpr auto kLimit = std::chrono::milliseconds(10'000);

// Greets, answers LIST with the given size, then does what the test says
// with the next command.
LoopbackServer::Handler AfterList(const std::string& listReply, std::function<void(ServerConnection&)> then) {
    return [listReply, then](ServerConnection& c) {
        std::string line;
        if (!c.SendBytes("+OK\r\n") || !c.ReadLine(line, kLimit)) return;
        if (line.rfind("LIST", 0) == 0) {
            if (!c.SendBytes(listReply) || !c.ReadLine(line, kLimit)) return;
        }
        then(c);
        std::string rest;
        c.ReadUntilClosed(rest, kLimit);
    };
}

// Sends block after block until the client stops reading (it closes), or
// the cap that keeps a broken client from making this loop for ever.
void Flood(ServerConnection& c, const std::string& first, const std::string& block, std::size_t cap) {
    if (!c.SendBytes(first)) return;
    for (std::size_t sent = 0; sent < cap && c.SendBytes(block); sent += block.size()) {
    }
}

class HostileServer : public ::testing::Test {
protected:
    void Serve(LoopbackServer::Handler handler, TransportTimeLimits limits = test::TestTimeLimits()) {
        server = std::make_unique<LoopbackServer>(std::move(handler));
        pop = std::make_unique<CPopMail>(&log, MakePosixTransportFactory(limits));
        ASSERT_TRUE(pop->Connect("127.0.0.1", server->port()));
    }
    void ExpectDroppedWith(int code) {
        EXPECT_EQ(pop->GetLastSocketError(), code);
        EXPECT_FALSE(pop->IsConnected());
        EXPECT_FALSE(pop->Quit());  // nothing more is sent to such a server
        pop.reset();
        server->Join();
        EXPECT_EQ(server->Problems(), "");
    }

    test::RecordingLogSink log;
    std::unique_ptr<LoopbackServer> server;
    std::unique_ptr<CPopMail> pop;
};

TEST_F(HostileServer, LineThatNeverEnds) {
    Serve(AfterList("", [](ServerConnection& c) { Flood(c, "+OK ", std::string(4096, 'x'), 64u << 20); }));
    int count = 0, size = 0;
    EXPECT_FALSE(pop->GetMailboxStatus(count, size));
    EXPECT_LT(pop->GetLastResponse().size(), CPopMail::kMaxReplyLine + 2048);
    EXPECT_NE(log.Text().find("reply line longer than the client accepts"), std::string::npos);
    ExpectDroppedWith(localerr::kReplyTooLong);
}

TEST_F(HostileServer, ResponseThatNeverEnds) {
    Serve(AfterList("+OK 1 1000\r\n", [](ServerConnection& c) {
        Flood(c, "+OK\r\n", std::string(4095, 'y') + "\r\n", 512u << 20);
    }));
    std::string text;
    EXPECT_FALSE(pop->GetMessage(1, text));
    EXPECT_TRUE(text.empty());
    EXPECT_NE(log.Text().find("response larger than the client accepts"), std::string::npos);
    ExpectDroppedWith(localerr::kResponseTooLong);
}

TEST_F(HostileServer, TenMegabyteHeaderIsRefusedButSuchAMessageReads) {
    // Ten megabytes of header lines, ending properly.
    std::string huge;
    while (huge.size() < 10u << 20) huge += "X-Padding: " + std::string(100, 'p') + "\r\n";
    const std::string body = huge + "\r\nbody\r\n";
    const std::string listed = "+OK 1 " + std::to_string(body.size()) + "\r\n";
    Serve([huge, body, listed](ServerConnection& c) {
        std::string line;
        c.SendBytes("+OK\r\n");
        while (c.ReadLine(line, kLimit)) {
            if (line.rfind("LIST", 0) == 0) c.SendBytes(listed);
            else if (line.rfind("TOP", 0) == 0) c.SendBytes("+OK\r\n" + huge + "\r\n.\r\n");
            else if (line.rfind("RETR", 0) == 0) c.SendBytes("+OK\r\n" + body + ".\r\n");
        }
    });
    // A whole message of that size is within the message limit...
    std::string text;
    ASSERT_TRUE(pop->GetMessage(1, text));
    EXPECT_EQ(text.size(), body.size() - 2);
    // ...but a header is not.
    CMailHeader record;
    EXPECT_FALSE(pop->GetHeader(1, record));
    ExpectDroppedWith(localerr::kResponseTooLong);
}

TEST_F(HostileServer, AbsurdListSizeDoesNotDecideTheBuffer) {
    // LIST claims 2 GB; the message is small and arrives whole.
    Serve(AfterList("+OK 1 2147483647\r\n", [](ServerConnection& c) {
        c.SendBytes("+OK\r\nSubject: small\r\n\r\nhi\r\n.\r\n");
    }));
    std::string text;
    ASSERT_TRUE(pop->GetMessage(1, text));
    EXPECT_EQ(text, "Subject: small\r\n\r\nhi");
}

TEST_F(HostileServer, SilenceAfterConnecting) {
    server = std::make_unique<LoopbackServer>([](ServerConnection& c) {
        std::string rest;
        c.ReadUntilClosed(rest, kLimit);
    });
    pop = std::make_unique<CPopMail>(&log, MakePosixTransportFactory(test::ShortTimeLimits()));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pop->Connect("127.0.0.1", server->port()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(log.Text().find("The server did not answer in time"), std::string::npos);
    ExpectDroppedWith(wsa::kTimedOut);
}

}  // namespace
}  // namespace velto
