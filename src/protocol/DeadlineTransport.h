#pragma once
// A whole answer within a time limit, not only each receive: a server that
// sends one byte every few seconds never trips the per-receive limit, yet
// would hold the one check worker, and every other account behind it.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "protocol/Transport.h"

namespace velto {

struct ExchangeLimits {
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // What an answer gets from the moment the client spoke...
    std::chrono::milliseconds time{60'000};
    // ...and a second more for every this many bytes that came: a slow link
    // reading a large message keeps going, a drip does not.
    std::size_t bytesPerSecond = 8 * 1024;
    // Empty: the steady clock. Tests bring their own.
    Clock clock;
};

// Wraps the connection below everything else (TLS included), so the
// handshake is held to the same limit. An exchange starts when the client
// sends, when the connection is made, and when a wait for the server's own
// news (WaitReadable) ends with something to read. A receive after the time
// fails as a time-out; one under way still ends by the inner limit.
class DeadlineTransport final : public ITransport {
public:
    DeadlineTransport(std::unique_ptr<ITransport> inner, ExchangeLimits limits);

    bool Connect(const std::string& host, int port) override;
    long Send(const char* data, std::size_t length) override;
    long Receive(char* buffer, std::size_t capacity) override;
    int WaitReadable(long milliseconds) override;
    void Close() override { m_inner->Close(); }
    int LastError() const override { return m_error; }

private:
    std::chrono::steady_clock::time_point Now() const;
    void Restart();

    std::unique_ptr<ITransport> m_inner;
    ExchangeLimits m_limits;
    std::chrono::steady_clock::time_point m_deadline;
    std::size_t m_credit = 0;  // bytes received not yet turned into time
    int m_error = 0;
};

}  // namespace velto
