#include "engine/UiChannel.h"

#include <QThread>

namespace velto {

// Shared with every queued call, so a call that outlives the channel still
// finds out that it must not run.
struct UiChannel::State {
    std::mutex mutex;
    std::condition_variable cv;
    QPointer<QObject> receiver;
    bool closed = false;

    bool IsClosed() {
        std::lock_guard lock(mutex);
        return closed;
    }
    // Queues fn while the channel is open. Under the lock, so Close() (on
    // the UI thread, before the receiver goes) cannot overtake it.
    template <typename Fn>
    bool Queue(Fn&& fn) {
        std::lock_guard lock(mutex);
        if (closed || !receiver) return false;
        QMetaObject::invokeMethod(receiver.data(), std::forward<Fn>(fn), Qt::QueuedConnection);
        return true;
    }
};

UiChannel::UiChannel(QObject* receiver) : m_state(std::make_shared<State>()) {
    m_state->receiver = receiver;
    // A receiver going away closes the channel before Qt drops its queued
    // calls, so nothing is queued for it afterwards (the lock makes a post in
    // progress finish first).
    if (receiver)
        QObject::connect(receiver, &QObject::destroyed, [state = m_state] {
            std::lock_guard lock(state->mutex);
            state->closed = true;
            state->receiver = nullptr;
            state->cv.notify_all();
        });
}

UiChannel::~UiChannel() { Close(); }

void UiChannel::Post(std::function<void()> fn) {
    m_state->Queue([state = m_state, fn = std::move(fn)] {
        if (!state->IsClosed()) fn();
    });
}

bool UiChannel::Send(std::function<void()> fn) {
    {
        std::unique_lock lock(m_state->mutex);
        if (m_state->closed || !m_state->receiver) return false;
        if (m_state->receiver->thread() == QThread::currentThread()) {
            // Already on the UI thread: a sent message is a direct call.
            lock.unlock();
            fn();
            return true;
        }
    }
    // Marks the call done when the queued functor is destroyed, whether it
    // ran or was dropped (Qt drops calls whose receiver was destroyed).
    struct Call {
        std::shared_ptr<State> state;
        bool ran = false;
        bool done = false;
    };
    struct Finisher {
        std::shared_ptr<Call> call;
        ~Finisher() {
            std::lock_guard lock(call->state->mutex);
            call->done = true;
            call->state->cv.notify_all();
        }
    };
    auto call = std::make_shared<Call>();
    call->state = m_state;
    auto finisher = std::make_shared<Finisher>();
    finisher->call = call;
    const bool queued = m_state->Queue([fn = std::move(fn), call, finisher]() mutable {
        if (!call->state->IsClosed()) {
            fn();
            std::lock_guard lock(call->state->mutex);
            call->ran = true;
        }
        finisher.reset();
    });
    finisher.reset();  // once queued, the functor holds the last reference
    if (!queued) return false;
    std::unique_lock lock(m_state->mutex);
    m_state->cv.wait(lock, [&] { return m_state->closed || call->done; });
    return call->ran;
}

void UiChannel::Close() {
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
    m_state->receiver = nullptr;
    m_state->cv.notify_all();
}

bool UiChannel::IsClosed() const { return m_state->IsClosed(); }

}  // namespace velto
