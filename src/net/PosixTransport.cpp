#include "net/PosixTransport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <set>
#include <string>

#include "protocol/SocketErrors.h"

namespace velto {

namespace {

using Clock = std::chrono::steady_clock;

timeval ToTimeval(std::chrono::milliseconds ms) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
    // Zero would mean "no limit" to the kernel.
    if (tv.tv_sec == 0 && tv.tv_usec == 0) tv.tv_usec = 1000;
    return tv;
}

// The sockets of one factory, so that all of them can be cut at once. A
// socket is shut down, not closed, by the aborting thread: its number stays
// valid until the owner closes it, and a blocked call returns at once.
class SocketRegistry {
public:
    // False once aborted: the socket must not be used.
    bool Add(int fd) {
        std::lock_guard lock(m_mutex);
        if (m_aborted) return false;
        m_fds.insert(fd);
        return true;
    }
    void Remove(int fd) {
        std::lock_guard lock(m_mutex);
        m_fds.erase(fd);
    }
    bool Aborted() const {
        std::lock_guard lock(m_mutex);
        return m_aborted;
    }
    void AbortAll() {
        std::lock_guard lock(m_mutex);
        m_aborted = true;
        for (int fd : m_fds) ::shutdown(fd, SHUT_RDWR);
    }
    void Resume() {
        std::lock_guard lock(m_mutex);
        m_aborted = false;
    }

private:
    mutable std::mutex m_mutex;
    std::set<int> m_fds;
    bool m_aborted = false;
};

class PosixTransport : public ITransport {
public:
    PosixTransport(const TransportTimeLimits& limits, std::shared_ptr<SocketRegistry> registry)
        : m_limits(limits), m_registry(std::move(registry)) {}
    ~PosixTransport() override { Close(); }

    bool Connect(const std::string& host, int port) override {
        Close();
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* list = nullptr;
        const std::string service = std::to_string(port);
        const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        if (rc != 0) {
            m_error = WsaCodeForResolverError(rc, errno);
            return false;
        }
        // One deadline for all addresses of the name.
        const auto deadline = Clock::now() + m_limits.connect;
        int error = ETIMEDOUT;
        for (addrinfo* ai = list; ai; ai = ai->ai_next) {
            error = TryConnect(*ai, deadline);
            if (error == 0 || error == ETIMEDOUT) break;
        }
        freeaddrinfo(list);
        if (error != 0) {
            Close();
            m_error = m_registry->Aborted() ? localerr::kCancelled : WsaCodeForErrno(error);
            return false;
        }
        m_error = 0;
        return true;
    }

    long Send(const char* data, std::size_t length) override {
        if (m_fd < 0) return Fail(ENOTCONN);
        std::size_t sent = 0;
        while (sent < length) {
            const ssize_t n = ::send(m_fd, data + sent, length - sent, MSG_NOSIGNAL);
            if (n < 0 && m_registry->Aborted()) return Cancelled();
            if (n < 0) {
                if (errno == EINTR) continue;
                return Fail(errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : errno);
            }
            sent += static_cast<std::size_t>(n);
        }
        m_error = 0;
        return static_cast<long>(length);
    }

    long Receive(char* buffer, std::size_t capacity) override {
        if (m_fd < 0) return Fail(ENOTCONN);
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, capacity, 0);
            // A cut the user asked for is not the server's doing.
            if (n <= 0 && m_registry->Aborted()) return Cancelled();
            if (n >= 0) {
                m_error = 0;
                return static_cast<long>(n);
            }
            if (errno == EINTR) continue;
            // SO_RCVTIMEO expiry.
            return Fail(errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : errno);
        }
    }

    int WaitReadable(long milliseconds) override {
        if (m_fd < 0) return static_cast<int>(Fail(ENOTCONN));
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0L));
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{m_fd, POLLIN, 0};
            const int rc = ::poll(&p, 1, static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000)));
            if (rc > 0) return 1;  // data, an end or an error: Receive tells which
            if (rc < 0 && errno != EINTR) return static_cast<int>(Fail(errno));
            if (m_registry->Aborted()) return static_cast<int>(Cancelled());
            if (rc == 0 && left.count() <= 0) return 0;
        }
    }

    void Close() override {
        if (m_fd >= 0) {
            m_registry->Remove(m_fd);
            ::close(m_fd);
            m_fd = -1;
        }
    }

    int LastError() const override { return m_error; }

private:
    long Cancelled() {
        m_error = localerr::kCancelled;
        return -1;
    }
    long Fail(int error) {
        m_error = WsaCodeForErrno(error);
        return -1;
    }

    // 0 when connected, else the errno of the failure.
    int TryConnect(const addrinfo& ai, Clock::time_point deadline) {
        Close();
        const int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai.ai_protocol);
        if (fd < 0) return errno;
        if (!m_registry->Add(fd)) {
            ::close(fd);
            return ECONNABORTED;
        }
        m_fd = fd;
        if (::connect(m_fd, ai.ai_addr, ai.ai_addrlen) != 0) {
            if (errno != EINPROGRESS) return errno;
            // A socket still connecting may not wake on shutdown: wait in
            // short slices and look for an abort between them.
            constexpr std::chrono::milliseconds kSlice{100};
            for (;;) {
                if (m_registry->Aborted()) return ECONNABORTED;
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0) return ETIMEDOUT;
                pollfd p{m_fd, POLLOUT, 0};
                const int rc = ::poll(&p, 1, static_cast<int>(std::min(left, kSlice).count()));
                if (rc < 0 && errno == EINTR) continue;
                if (rc < 0) return errno;
                if (rc == 0) continue;
                break;
            }
            int soError = 0;
            socklen_t len = sizeof soError;
            if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) return errno;
            if (soError != 0) return soError;
        }
        // Blocking from here on; the kernel enforces the per-call limits, so
        // each exchange costs one system call per direction.
        const int flags = ::fcntl(m_fd, F_GETFL);
        if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
        const timeval rcv = ToTimeval(m_limits.receive);
        const timeval snd = ToTimeval(m_limits.send);
        const int one = 1;
        if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &rcv, sizeof rcv) != 0 ||
            ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &snd, sizeof snd) != 0 ||
            ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0)
            return errno;
        return 0;
    }

    TransportTimeLimits m_limits;
    std::shared_ptr<SocketRegistry> m_registry;
    int m_fd = -1;
    int m_error = 0;
};

class PosixTransportFactory : public ITransportFactory {
public:
    explicit PosixTransportFactory(TransportTimeLimits limits) : m_limits(limits) {}
    std::unique_ptr<ITransport> Create() override { return std::make_unique<PosixTransport>(m_limits, m_registry); }
    void AbortAll() override { m_registry->AbortAll(); }
    void Resume() override { m_registry->Resume(); }

private:
    TransportTimeLimits m_limits;
    std::shared_ptr<SocketRegistry> m_registry = std::make_shared<SocketRegistry>();
};

}  // namespace

std::shared_ptr<ITransportFactory> MakePosixTransportFactory(TransportTimeLimits limits) {
    return std::make_shared<PosixTransportFactory>(limits);
}

int WsaCodeForErrno(int error) {
    switch (error) {
    case EACCES: case EPERM: return wsa::kAccess;
    case EFAULT: return wsa::kFault;
    case EINVAL: return wsa::kInvalid;
    case EMFILE: case ENFILE: return wsa::kTooManyFiles;
    case EINPROGRESS: case EALREADY: return wsa::kInProgress;
    case ENOTSOCK: case EBADF: return wsa::kNotSocket;
    case EDESTADDRREQ: return wsa::kDestinationRequired;
    case EMSGSIZE: return wsa::kMessageSize;
    case EOPNOTSUPP: return wsa::kNotSupported;
    case EAFNOSUPPORT: case EPROTONOSUPPORT: return wsa::kFamilyNotSupported;
    case EADDRINUSE: return wsa::kAddressInUse;
    case EADDRNOTAVAIL: return wsa::kAddressNotAvailable;
    case ENETDOWN: return wsa::kNetworkDown;
    case ENETUNREACH: return wsa::kNetworkUnreachable;
    case ENETRESET: return wsa::kNetworkReset;
    case ECONNABORTED: return wsa::kConnectionAborted;
    case ECONNRESET: case EPIPE: return wsa::kConnectionReset;
    case ENOBUFS: case ENOMEM: return wsa::kNoBuffers;
    case EISCONN: return wsa::kIsConnected;
    case ENOTCONN: return wsa::kNotConnected;
    case ESHUTDOWN: return wsa::kShutDown;
    case ETIMEDOUT: return wsa::kTimedOut;
    case ECONNREFUSED: return wsa::kConnectionRefused;
    case EHOSTDOWN: return wsa::kHostDown;
    case EHOSTUNREACH: return wsa::kHostUnreachable;
    default: return error == EWOULDBLOCK || error == EAGAIN ? wsa::kWouldBlock : 0;
    }
}

int WsaCodeForResolverError(int error, int systemError) {
    switch (error) {
    case EAI_SYSTEM: return WsaCodeForErrno(systemError);
    case EAI_AGAIN: return wsa::kTryAgain;
    case EAI_FAMILY: return wsa::kFamilyNotSupported;
    case EAI_MEMORY: return wsa::kNoBuffers;
    default: return wsa::kHostNotFound;  // EAI_NONAME, EAI_NODATA, EAI_FAIL, ...
    }
}

}  // namespace velto
