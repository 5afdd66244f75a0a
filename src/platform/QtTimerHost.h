#pragma once
// Window timers by id on the UI thread's event loop.
#include <QObject>
#include <functional>
#include <map>

#include "engine/EngineServices.h"

class QTimer;

namespace velto {

class QtTimerHost : public QObject, public ITimerHost {
    Q_OBJECT
public:
    explicit QtTimerHost(std::function<void(int)> onTimer, QObject* parent = nullptr);
    bool SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;

private:
    std::function<void(int)> m_onTimer;
    std::map<int, QTimer*> m_timers;
};

}  // namespace velto
