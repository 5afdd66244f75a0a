#pragma once
// A manual-reset event: stays signalled until reset; waiters wake on signal.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velto {

class ManualResetEvent {
public:
    void Set();
    void Reset();
    // Polls without waiting.
    bool IsSet() const;
    void Wait();
    // False when the time ran out first.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled = false;
};


}  // namespace velto
