#include "platform/QtTimerHost.h"

#include <QTimer>

namespace velto {

QtTimerHost::QtTimerHost(std::function<void(int)> onTimer, QObject* parent)
    : QObject(parent), m_onTimer(std::move(onTimer)) {}

bool QtTimerHost::SetTimer(int id, int milliseconds) {
    if (milliseconds < 0) return false;
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { m_onTimer(id); });
    }
    timer->start(milliseconds);
    return true;
}

void QtTimerHost::KillTimer(int id) {
    auto it = m_timers.find(id);
    if (it != m_timers.end()) it->second->stop();
}

}  // namespace velto
