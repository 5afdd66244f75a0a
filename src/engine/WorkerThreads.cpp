#include "engine/WorkerThreads.h"

namespace velto {

WorkerThreads::~WorkerThreads() {
    // Owned to the end: its connection was cut before this. A worker stuck
    // where nothing cuts (a name lookup) is not waited for: the program ends
    // without running this once everything is saved.
    for (auto& t : m_threads) t.thread.join();
}

bool WorkerThreads::Start(std::function<void()> body) {
    if (m_active->load()) return false;
    Reap();
    auto returned = std::make_shared<ManualResetEvent>();
    m_active->store(true);
    std::thread thread([body = std::move(body), returned] {
        body();
        returned->Set();
    });
    m_threads.push_back(Thread{std::move(thread), std::move(returned)});
    return true;
}

bool WorkerThreads::JoinAll(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (auto& t : m_threads) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!t.returned->WaitFor(std::max(left, std::chrono::milliseconds(0)))) return false;
    }
    Reap();
    return true;
}

void WorkerThreads::Reap() {
    std::erase_if(m_threads, [](Thread& t) {
        if (!t.returned->IsSet()) return false;
        t.thread.join();
        return true;
    });
}

}  // namespace velto
