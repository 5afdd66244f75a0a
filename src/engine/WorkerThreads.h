#pragma once
// The threads of the network workers. At most one worker is active; a
// worker marks itself finished before its last message to the view, and its
// thread may still be delivering that message when the next one starts, so
// a finished worker's thread is never joined on the UI thread while it runs:
// it is set aside and joined once it has returned.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "engine/ManualResetEvent.h"

namespace velto {

class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Shared with the worker: cleared by it before its last message.
    const std::shared_ptr<std::atomic<bool>>& ActiveFlag() const { return m_active; }
    bool Active() const { return m_active->load(); }

    // Starts body on a new thread; false (nothing started) while a worker
    // is active.
    bool Start(std::function<void()> body);
    // Waits until every thread has returned; false when the time ran out.
    bool JoinAll(std::chrono::milliseconds timeout);

private:
    struct Thread {
        std::thread thread;
        std::shared_ptr<ManualResetEvent> returned;
    };
    void Reap();
    std::shared_ptr<std::atomic<bool>> m_active = std::make_shared<std::atomic<bool>>(false);
    std::vector<Thread> m_threads;
};

}  // namespace velto
