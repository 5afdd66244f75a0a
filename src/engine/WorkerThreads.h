#pragma once
// The threads of the network workers. At most one worker is active; a
// worker marks itself finished before its last message to the view, and its
// thread may still be delivering that message when the next one starts, so
// a finished worker's thread is never joined on the UI thread while it runs:
// its owner joins it once it has returned.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "engine/OwnedThreads.h"

namespace velto {

class WorkerThreads {
public:
    // Shared with the worker: cleared by it before its last message.
    const std::shared_ptr<std::atomic<bool>>& ActiveFlag() const { return m_active; }
    bool Active() const { return m_active->load(); }

    // Starts body on a new thread; false (nothing started) while a worker
    // is active.
    bool Start(std::function<void()> body) {
        if (m_active->load()) return false;
        m_active->store(true);
        m_threads.Start([body = std::move(body)](std::stop_token) { body(); });
        return true;
    }
    // Waits until every thread has returned; false when the time ran out.
    // A worker stuck where nothing cuts (a name lookup) is not waited for
    // past that: the program ends without it once everything is saved.
    bool JoinAll(std::chrono::milliseconds timeout) { return m_threads.JoinAll(timeout); }

private:
    std::shared_ptr<std::atomic<bool>> m_active = std::make_shared<std::atomic<bool>>(false);
    OwnedThreads m_threads;
};

}  // namespace velto
