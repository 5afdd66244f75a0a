#pragma once
// Turns SIGTERM and SIGINT into a call on the UI thread, so that the
// program shuts down in order (and keeps its data) when it is asked to end.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace velto {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~SignalWatcher() override;

private:
    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};

// What a process needs before it uses sockets: a peer that closes gives an
// error instead of ending the process. False when that cannot be arranged.
bool StartSockets();

}  // namespace velto
