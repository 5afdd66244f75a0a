// The blocking POSIX transport: address families, name lookup, time limits
// and the mapping of system errors to the texts the user sees.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/PosixTransport.h"
#include "protocol/SocketErrors.h"
#include "support/ChildProcess.h"
#include "support/LoopbackServer.h"
#include "support/MailTestKit.h"

namespace velto {
namespace {

using test::LoopbackServer;

std::string EchoOnce(ITransport& t) {
    const std::string ping = "PING\r\n";
    EXPECT_EQ(t.Send(ping.data(), ping.size()), static_cast<long>(ping.size()));
    char buf[64];
    const long n = t.Receive(buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

TEST(PosixTransport, ConnectsOverIpv4Ipv6AndByName) {
    const struct {
        bool ipv6;
        std::string host;
    } cases[] = {{false, "127.0.0.1"}, {true, "::1"}, {false, "localhost"}};
    for (const auto& c : cases) {
        auto server = LoopbackServer::Scripted("C: PING\nS: PONG\nclose\n", c.ipv6);
        auto transport = MakePosixTransportFactory(test::TestTimeLimits())->Create();
        ASSERT_TRUE(transport->Connect(c.host, server->port())) << c.host << " " << transport->LastError();
        EXPECT_EQ(EchoOnce(*transport), "PONG\r\n") << c.host;
        // The server closes after its line: a clean end, no error code.
        char buf[8];
        EXPECT_EQ(transport->Receive(buf, sizeof buf), 0);
        EXPECT_EQ(transport->LastError(), 0);
        transport->Close();
        EXPECT_EQ(server->Problems(), "") << c.host;
    }
}

TEST(PosixTransport, RefusedAndResetConnections) {
    auto transport = MakePosixTransportFactory(test::TestTimeLimits())->Create();
    EXPECT_FALSE(transport->Connect("127.0.0.1", test::PickFreeLoopbackPort()));
    EXPECT_EQ(transport->LastError(), wsa::kConnectionRefused);

    auto server = LoopbackServer::Scripted("C: PING\nreset\n");
    ASSERT_TRUE(transport->Connect("127.0.0.1", server->port()));
    const std::string ping = "PING\r\n";
    ASSERT_EQ(transport->Send(ping.data(), ping.size()), 6);
    char buf[8];
    EXPECT_EQ(transport->Receive(buf, sizeof buf), -1);
    EXPECT_EQ(transport->LastError(), wsa::kConnectionReset);
    server->Join();
    // Sending into a reset connection fails instead of killing the process.
    long sent = 0;
    for (int i = 0; i < 3 && sent >= 0; ++i) sent = transport->Send(ping.data(), ping.size());
    EXPECT_EQ(sent, -1);
    EXPECT_EQ(transport->LastError(), wsa::kConnectionReset);
}

TEST(PosixTransport, ConnectTimeLimitFires) {
    // A listener whose accept queue is full drops new connection requests,
    // so a further connect waits: the same as a server that never answers.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    TransportTimeLimits limits = test::ShortTimeLimits();
    limits.connect = std::chrono::milliseconds(300);
    auto transport = MakePosixTransportFactory(limits)->Create();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(transport->Connect("127.0.0.1", ntohs(a.sin_port)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(transport->LastError(), wsa::kTimedOut);
    EXPECT_EQ(SocketErrorText(transport->LastError(), SocketStage::Connect),
              "Attempt to connect timed out without establishing a connection\r\n");
    for (int f : fillers) ::close(f);
    ::close(fd);
}

TEST(PosixTransport, SystemErrorsMapToTheirTexts) {
    struct Case {
        int code;
        int wsa;
        const char* text;
    };
    const Case errnos[] = {
        {ECONNREFUSED, 10061, "The attempt to connect was rejected\r\n"},
        {ETIMEDOUT, 10060, "Attempt to connect timed out without establishing a connection\r\n"},
        {ECONNRESET, 10054, "The virtual circuit was reset by the remote side\r\n"},
        {EPIPE, 10054, "The virtual circuit was reset by the remote side\r\n"},
        {ENETUNREACH, 10051, "The network cannot be reached from this host at this time\r\n"},
        {EADDRNOTAVAIL, 10049, "The specified address is not available from the local machine\r\n"},
        {EMFILE, 10024, "No more file descriptors are available\r\n"},
        {ECONNABORTED, 10053, "The virtual circuit was aborted due to timeout or other failure\r\n"},
        {EHOSTUNREACH, 10065, "There is no route to the mail server's host\r\n"},
        {EIO, 0, "Unknown GetLastError() relating to sockets\r\n"},
    };
    for (const Case& c : errnos) {
        EXPECT_EQ(WsaCodeForErrno(c.code), c.wsa) << c.code;
        EXPECT_EQ(SocketErrorText(WsaCodeForErrno(c.code), SocketStage::Connect), c.text) << c.code;
    }
    // A server name that does not resolve is the commonest mistake.
    EXPECT_EQ(WsaCodeForResolverError(EAI_NONAME, 0), wsa::kHostNotFound);
    EXPECT_EQ(WsaCodeForResolverError(EAI_AGAIN, 0), wsa::kTryAgain);
    EXPECT_EQ(WsaCodeForResolverError(EAI_SYSTEM, EMFILE), wsa::kTooManyFiles);
    EXPECT_EQ(SocketErrorText(wsa::kHostNotFound, SocketStage::Connect),
              "The mail server's name could not be found. Check Mail Server Address\r\n");
    // While waiting for a reply the expiry reads differently from connecting.
    EXPECT_EQ(SocketErrorText(wsa::kTimedOut, SocketStage::Receive),
              "The server did not answer in time; connection dropped\r\n");
}

TEST(PosixTransport, NameThatDoesNotResolve) {
    // A malformed name fails in the resolver itself, without asking any
    // name server.
    auto transport = MakePosixTransportFactory(test::TestTimeLimits())->Create();
    EXPECT_FALSE(transport->Connect("bad..name..", 110));
    EXPECT_EQ(transport->LastError(), wsa::kHostNotFound);
}

}  // namespace
}  // namespace velto
