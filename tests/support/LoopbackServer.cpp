#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace velto::test {

namespace {

using Clock = std::chrono::steady_clock;

int ListenOnLoopback(bool ipv6, int& port) {
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_storage ss{};
    socklen_t len;
    if (ipv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        len = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&ss);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof *a;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        throw std::runtime_error(std::string("bind/listen failed: ") + std::strerror(errno));
    }
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
    port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    return fd;
}

}  // namespace

bool ServerConnection::WaitReadable(Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{m_fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(left));
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) return false;
    }
}

bool ServerConnection::SendBytes(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool ServerConnection::ReadExactly(std::size_t count, std::string& out, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    out.clear();
    const std::size_t fromBuffer = std::min(count, m_buffer.size());
    out.append(m_buffer, 0, fromBuffer);
    m_buffer.erase(0, fromBuffer);
    while (out.size() < count) {
        if (!WaitReadable(deadline)) return false;
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, std::min(sizeof buf, count - out.size()), 0);
        if (n <= 0) return false;
        out.append(buf, static_cast<std::size_t>(n));
        received.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

bool ServerConnection::ReadLine(std::string& line, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const std::size_t eol = m_buffer.find('\n');
        if (eol != std::string::npos) {
            line = m_buffer.substr(0, eol + 1);
            m_buffer.erase(0, eol + 1);
            return true;
        }
        if (!WaitReadable(deadline)) return false;
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        m_buffer.append(buf, static_cast<std::size_t>(n));
        received.append(buf, static_cast<std::size_t>(n));
    }
}

bool ServerConnection::ReadUntilClosed(std::string& out, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    out += m_buffer;
    m_buffer.clear();
    for (;;) {
        if (!WaitReadable(deadline)) return false;
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
        out.append(buf, static_cast<std::size_t>(n));
        received.append(buf, static_cast<std::size_t>(n));
    }
}

void ServerConnection::Reset() {
    linger l{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(m_fd);
    m_fd = -1;
}

LoopbackServer::LoopbackServer(Handler handler, bool ipv6, std::chrono::milliseconds acceptLimit) {
    m_listenFd = ListenOnLoopback(ipv6, m_port);
    m_thread = std::thread([this, handler = std::move(handler), acceptLimit] {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(acceptLimit.count())) <= 0) {
            AddProblem("no client connected");
            return;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            AddProblem("accept failed");
            return;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ServerConnection connection(fd);
        handler(connection);
        m_clientBytes = connection.received;
        for (auto& p : connection.problems) m_problems.push_back(p);
        if (connection.fd() >= 0) ::close(connection.fd());
    });
}

std::unique_ptr<LoopbackServer> LoopbackServer::Scripted(const std::string& conversation, bool ipv6) {
    auto steps = ParseConversation(conversation);
    return std::make_unique<LoopbackServer>(
        [steps](ServerConnection& c) {
            for (const ScriptStep& step : steps) {
                switch (step.kind) {
                case ScriptStep::ServerSends:
                    if (!c.SendBytes(step.bytes)) return c.Problem("send failed: " + Printable(step.bytes));
                    break;
                case ScriptStep::ClientSends: {
                    std::string got;
                    if (!c.ReadExactly(step.bytes.size(), got, kStepLimit) || got != step.bytes) {
                        return c.Problem("expected \"" + Printable(step.bytes) + "\", client sent \"" +
                                              Printable(got) + "\"");
                    }
                    break;
                }
                case ScriptStep::Close: ::shutdown(c.fd(), SHUT_WR); break;
                case ScriptStep::Reset: c.Reset(); return;
                case ScriptStep::Silence: break;
                }
            }
            std::string extra;
            if (!c.ReadUntilClosed(extra, kStepLimit)) c.Problem("client did not close the connection");
            if (!extra.empty()) c.Problem("client sent more: \"" + Printable(extra) + "\"");
        },
        ipv6);
}

LoopbackServer::~LoopbackServer() {
    Join();
    if (m_listenFd >= 0) ::close(m_listenFd);
}

void LoopbackServer::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void LoopbackServer::AddProblem(const std::string& text) { m_problems.push_back(text); }

void ServerConnection::Problem(const std::string& text) { problems.push_back(text); }

std::string LoopbackServer::Problems() {
    Join();
    std::string out;
    for (const auto& p : m_problems) out += p + "\n";
    return out;
}

std::string LoopbackServer::ClientBytes() {
    Join();
    return m_clientBytes;
}

}  // namespace velto::test
