#include "engine/WorkerThreads.h"

namespace velto {

WorkerThreads::~WorkerThreads() {
    // A thread still blocked at the end of the program (a server that stopped
    // answering) holds only shared state; it ends with the process.
    for (auto& t : m_threads) {
        if (t.returned->IsSet()) {
            t.thread.join();
        } else {
            t.thread.detach();
        }
    }
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
