#pragma once
// How worker threads reach the user-interface thread: "posted" calls are
// queued; "sent" calls make the worker wait until the UI thread ran them.
// Once the channel is closed (the view is going away) calls do nothing and
// a waiting worker is let go, so no worker can touch a destroyed view.
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace velto {

class UiChannel : public std::enable_shared_from_this<UiChannel> {
public:
    // The receiver lives on the UI thread.
    explicit UiChannel(QObject* receiver);

    // Any thread: queue fn for the UI thread.
    void Post(std::function<void()> fn);
    // Any thread: run fn on the UI thread and wait for it (directly when
    // called on the UI thread). Returns false when fn did not run.
    bool Send(std::function<void()> fn);
    // UI thread: no more calls; waiting senders return.
    void Close();
    bool IsClosed() const;

private:
    struct Pending;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    QPointer<QObject> m_receiver;
    bool m_closed = false;
};

}  // namespace velto
