#include "protocol/DeadlineTransport.h"

#include <algorithm>

#include "protocol/SocketErrors.h"

namespace velto {

DeadlineTransport::DeadlineTransport(std::unique_ptr<ITransport> inner, ExchangeLimits limits)
    : m_inner(std::move(inner)), m_limits(std::move(limits)) {
    m_limits.bytesPerSecond = std::max<std::size_t>(m_limits.bytesPerSecond, 1);
    Restart();
}

std::chrono::steady_clock::time_point DeadlineTransport::Now() const {
    return m_limits.clock ? m_limits.clock() : std::chrono::steady_clock::now();
}

void DeadlineTransport::Restart() {
    m_deadline = Now() + m_limits.time;
    m_credit = 0;
}

bool DeadlineTransport::Connect(const std::string& host, int port) {
    const bool ok = m_inner->Connect(host, port);
    m_error = m_inner->LastError();
    Restart();  // the greeting's time starts now
    return ok;
}

long DeadlineTransport::Send(const char* data, std::size_t length) {
    const long n = m_inner->Send(data, length);
    m_error = m_inner->LastError();
    Restart();
    return n;
}

long DeadlineTransport::Receive(char* buffer, std::size_t capacity) {
    // Looked at before each receive: a drip is cut at its next byte after
    // the time, and a silence still ends with the inner transport's limit.
    if (Now() >= m_deadline) {
        m_error = wsa::kTimedOut;
        return -1;
    }
    const long n = m_inner->Receive(buffer, capacity);
    m_error = m_inner->LastError();
    if (n > 0) {
        m_credit += static_cast<std::size_t>(n);
        const std::size_t seconds = m_credit / m_limits.bytesPerSecond;
        m_credit %= m_limits.bytesPerSecond;
        m_deadline += std::chrono::seconds(seconds);
    }
    return n;
}

int DeadlineTransport::WaitReadable(long milliseconds) {
    const int ready = m_inner->WaitReadable(milliseconds);
    m_error = m_inner->LastError();
    // News the client waited for opens an exchange of its own.
    if (ready > 0) Restart();
    return ready;
}

}  // namespace velto
