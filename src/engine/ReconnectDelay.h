#pragma once
// When a watch tries again: at once after one that stood a good while (its
// connection went stale, as connections do), else after a delay that doubles
// with each failure, 1 s up to 5 min. A server that takes IDLE and then drops
// the connection, or kills it every few seconds, never gets a storm of
// sign-ins: servers lock accounts for that.
#include <algorithm>
#include <chrono>

namespace velto {

class ReconnectDelay {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirst{1000};
    static constexpr std::chrono::milliseconds kLongest{5 * 60 * 1000};
    // A watch counts as standing only after idling this long.
    static constexpr std::chrono::milliseconds kSettled{60 * 1000};

    // The watch stood (signed in and idling) from this time.
    void Stood(Clock::time_point at) {
        m_stood = true;
        m_stoodAt = at;
    }
    // A try failed, or the watch fell, at this time: how long to wait.
    std::chrono::milliseconds Next(Clock::time_point now) {
        const bool settled = m_stood && now - m_stoodAt >= kSettled;
        m_stood = false;
        if (settled) {
            m_next = kFirst;
            return std::chrono::milliseconds(0);
        }
        const auto wait = m_next;
        m_next = std::min(m_next * 2, kLongest);
        return wait;
    }
    // The network is back or the machine woke up: the count starts over.
    void Reset() {
        m_stood = false;
        m_next = kFirst;
    }

private:
    bool m_stood = false;
    Clock::time_point m_stoodAt{};
    std::chrono::milliseconds m_next = kFirst;
};

}  // namespace velto
