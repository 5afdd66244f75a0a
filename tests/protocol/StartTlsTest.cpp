// STLS against servers that refuse it or interfere with it. Whatever they do,
// the client drops the connection and no user name or password ever crosses
// in clear: the server records every byte the client sent.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "net/OpenSslLayer.h"
#include "protocol/PopMail.h"
#include "support/LoopbackServer.h"
#include "support/MailTestKit.h"
#include "support/RecordingLogSink.h"

namespace velto {
namespace {

using test::LoopbackServer;
using test::ServerConnection;

constexpr auto kLimit = std::chrono::milliseconds(10'000);

struct Row {
    const char* name;
    std::function<void(ServerConnection&)> afterStls;
    int code;
};

TEST(StartTls, NeverFallsBackToClear) {
    const Row rows[] = {
        {"not offered", [](ServerConnection& c) { c.SendBytes("-ERR Unknown command\r\n"); }, localerr::kTlsRefused},
        // Text behind the go-ahead would be taken as part of the secure
        // session: a third party's injection.
        {"bytes after the go-ahead",
         [](ServerConnection& c) { c.SendBytes("+OK Begin TLS\r\n+OK fake greeting\r\n"); }, localerr::kTlsFailed},
        // Agrees, then goes on in clear (the upgrade stripped on the way).
        {"stripped upgrade",
         [](ServerConnection& c) {
             std::string hello;
             c.SendBytes("+OK Begin TLS\r\n");
             c.ReadExactly(5, hello, kLimit);
             c.SendBytes("+OK still in clear\r\n");
         },
         localerr::kTlsFailed},
        {"closes within a record",
         [](ServerConnection& c) {
             std::string hello;
             c.SendBytes("+OK Begin TLS\r\n");
             c.ReadExactly(5, hello, kLimit);
             c.SendBytes(std::string("\x16\x03\x03\x00\x40\x02\x00", 7));
             ::shutdown(c.fd(), SHUT_WR);
         },
         wsa::kConnectionReset},
        {"silent during the handshake", [](ServerConnection& c) { c.SendBytes("+OK Begin TLS\r\n"); },
         wsa::kTimedOut},
    };
    auto tls = MakeOpenSslLayer();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackServer server([&row](ServerConnection& c) {
            std::string line, rest;
            if (!c.SendBytes("+OK ready\r\n") || !c.ReadLine(line, kLimit)) return;
            if (line != "STLS\r\n") c.Problem("expected STLS, got " + line);
            row.afterStls(c);
            c.ReadUntilClosed(rest, kLimit);
        });
        test::RecordingLogSink log;
        CPopMail pop(&log, MakePosixTransportFactory(test::ShortTimeLimits()));
        ASSERT_TRUE(pop.Connect("127.0.0.1", server.port()));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(pop.StartTls(*tls, {}));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(pop.GetLastSocketError(), row.code) << log.Text();
        EXPECT_FALSE(pop.IsConnected());
        EXPECT_NE(log.Text().find("LOCAL ERROR"), std::string::npos);
        // What a careless caller might try next goes nowhere.
        EXPECT_FALSE(pop.Login("ann", "pw-ann"));
        pop.Quit();
        server.Join();
        EXPECT_EQ(server.Problems(), "");
        EXPECT_EQ(server.ClientBytes().find("USER"), std::string::npos);
        EXPECT_EQ(server.ClientBytes().find("pw-ann"), std::string::npos);
    }
}

// Shut-down cuts a connection stuck in the handshake, as it cuts clear ones.
TEST(StartTls, AbortAllEndsAHandshakeAtOnce) {
    LoopbackServer server([](ServerConnection& c) {
        std::string line, rest;
        if (c.SendBytes("+OK ready\r\n") && c.ReadLine(line, kLimit)) c.SendBytes("+OK Begin TLS\r\n");
        c.ReadUntilClosed(rest, kLimit);
    });
    auto transports = MakePosixTransportFactory(test::TestTimeLimits());
    CPopMail pop(nullptr, transports);
    ASSERT_TRUE(pop.Connect("127.0.0.1", server.port()));
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        transports->AbortAll();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pop.StartTls(*MakeOpenSslLayer(), {}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(pop.IsConnected());
    stopper.join();
    server.Join();
}

}  // namespace
}  // namespace velto
