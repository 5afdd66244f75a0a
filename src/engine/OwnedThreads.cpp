#include "engine/OwnedThreads.h"

#include <algorithm>

namespace velto {

OwnedThreads::~OwnedThreads() {
    RequestStop();
    std::list<Thread> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_threads);
    }
    threads.clear();  // jthread joins
}

void OwnedThreads::Start(std::function<void(std::stop_token)> body) {
    auto returned = std::make_shared<ManualResetEvent>();
    std::lock_guard lock(m_mutex);
    ReapLocked();
    m_threads.push_back(Thread{std::jthread([body = std::move(body), returned](std::stop_token stop) {
                                   body(stop);
                                   returned->Set();
                               }),
                               returned});
}

void OwnedThreads::RequestStop() {
    std::lock_guard lock(m_mutex);
    for (auto& t : m_threads) t.thread.request_stop();
}

bool OwnedThreads::JoinAll(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::shared_ptr<ManualResetEvent>> waits;
    {
        std::lock_guard lock(m_mutex);
        for (auto& t : m_threads) waits.push_back(t.returned);
    }
    // No lock held while waiting: a thread may start another on its way out.
    for (auto& returned : waits) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!returned->WaitFor(std::max(left, std::chrono::milliseconds(0)))) return false;
    }
    std::lock_guard lock(m_mutex);
    ReapLocked();
    return m_threads.empty();
}

int OwnedThreads::Pending() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_threads.begin(), m_threads.end(),
                                           [](const Thread& t) { return !t.returned->IsSet(); }));
}

void OwnedThreads::ReapLocked() {
    // A returned thread's join is immediate. Never the calling thread itself.
    std::erase_if(m_threads, [](Thread& t) {
        if (!t.returned->IsSet() || t.thread.get_id() == std::this_thread::get_id()) return false;
        t.thread.join();
        return true;
    });
}

}  // namespace velto
