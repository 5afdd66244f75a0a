#include "engine/UiChannel.h"

#include <QThread>
#include <atomic>

namespace velto {

// Wakes the sender when the queued call is gone, whether it ran or was
// dropped (Qt drops queued calls whose receiver was destroyed).
struct UiChannel::Pending {
    std::weak_ptr<UiChannel> channel;
    ~Pending() {
        if (auto c = channel.lock()) {
            std::lock_guard lock(c->m_mutex);
            c->m_cv.notify_all();
        }
    }
};

UiChannel::UiChannel(QObject* receiver) : m_receiver(receiver) {}

void UiChannel::Post(std::function<void()> fn) {
    std::lock_guard lock(m_mutex);
    if (m_closed || !m_receiver) return;
    QMetaObject::invokeMethod(m_receiver.data(), std::move(fn), Qt::QueuedConnection);
}

bool UiChannel::Send(std::function<void()> fn) {
    auto ran = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<Pending> watch;
    {
        // Declared before the lock, so that if this is the last reference its
        // destructor (which takes the lock) runs after the lock is released.
        auto pending = std::make_shared<Pending>();
        pending->channel = weak_from_this();
        watch = pending;
        std::unique_lock lock(m_mutex);
        if (m_closed || !m_receiver) return false;
        if (m_receiver->thread() == QThread::currentThread()) {
            // Already on the UI thread: a sent message is a direct call.
            lock.unlock();
            fn();
            return true;
        }
        QMetaObject::invokeMethod(
            m_receiver.data(),
            [fn = std::move(fn), pending, ran]() mutable {
                fn();
                ran->store(true);
                pending.reset();
            },
            Qt::QueuedConnection);
    }
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return m_closed || watch.expired(); });
    return ran->load();
}

void UiChannel::Close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_receiver = nullptr;
    m_cv.notify_all();
}

bool UiChannel::IsClosed() const {
    std::lock_guard lock(m_mutex);
    return m_closed;
}

}  // namespace velto
