#pragma once
// Threads with an owner: each one started here is joined here, never
// detached. Stopping asks each thread's stop token, then waits a limited
// time; a thread that has not returned by then (one stuck in a name lookup,
// which nothing can cut) is still owned, and the program's end does not wait
// for it once everything is saved (Pending tells).
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "engine/ManualResetEvent.h"

namespace velto {

class OwnedThreads {
public:
    OwnedThreads() = default;
    // Stops and joins every thread.
    ~OwnedThreads();
    OwnedThreads(const OwnedThreads&) = delete;
    OwnedThreads& operator=(const OwnedThreads&) = delete;

    // Any thread. Runs body on a new thread; threads that have returned are
    // joined on the way.
    void Start(std::function<void(std::stop_token)> body);
    // Asks every thread to stop (their stop tokens).
    void RequestStop();
    // Waits until every thread has returned, at most timeout; false when one
    // had not by then.
    bool JoinAll(std::chrono::milliseconds timeout);
    // Threads that have not returned yet.
    int Pending() const;

private:
    struct Thread {
        std::jthread thread;
        std::shared_ptr<ManualResetEvent> returned;
    };
    void ReapLocked();
    mutable std::mutex m_mutex;
    std::list<Thread> m_threads;
};

}  // namespace velto
