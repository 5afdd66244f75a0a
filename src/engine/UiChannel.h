#pragma once
// How worker threads reach the user-interface thread: "posted" calls are
// queued; "sent" calls make the worker wait until the UI thread ran them.
// Once the channel is closed (the view is going away) nothing queued runs,
// later calls do nothing and a waiting sender is let go, so no worker can
// touch a destroyed view. Calls carry their data by value: a sender that was
// let go may have destroyed what a reference pointed to.
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace velto {

class UiChannel {
public:
    // The receiver lives on the UI thread; the channel closes by itself when
    // it is destroyed.
    explicit UiChannel(QObject* receiver);
    ~UiChannel();
    UiChannel(const UiChannel&) = delete;
    UiChannel& operator=(const UiChannel&) = delete;

    // Any thread: queue fn for the UI thread.
    void Post(std::function<void()> fn);
    // Any thread: run fn on the UI thread and wait for it (directly when
    // called on the UI thread). Returns false when fn did not run.
    bool Send(std::function<void()> fn);
    // No more calls; queued ones are dropped, waiting senders return.
    void Close();
    bool IsClosed() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace velto
