#pragma once
// The timers that start checks: the one after start-up, the periodic one
// (whose ticks wait for the network when "Check Mail Only When Online" is
// set), and the check that follows when the network is back.
#include <functional>

#include "engine/DialupPolicy.h"
#include "engine/EngineMessages.h"
#include "engine/EngineServices.h"
#include "settings/Settings.h"

namespace velto {

class CheckTimers {
public:
    // idle: no worker runs and the end has not begun; scan: starts one.
    CheckTimers(ITimerHost& timers, DialupPolicy& dialup, std::function<bool()> idle, std::function<void()> scan)
        : m_timers(timers), m_dialup(dialup), m_idle(std::move(idle)), m_scan(std::move(scan)) {}

    // The periodic check's interval: a stored 0 would check without pause
    // and a huge value would overflow the timer, so it is kept between one
    // minute and what the timer can hold.
    static int PeriodicIntervalMs(const ConfigurationOptions& config);
    // False for a timer id that is not one of these.
    bool OnTimer(int id);
    void OnConnectivityBack();
    // The interval counts from the wake-up, not from before the sleep.
    void OnResumed();
    void Stop();

private:
    void ScanIfOnline(bool online);

    ITimerHost& m_timers;
    DialupPolicy& m_dialup;
    std::function<bool()> m_idle;
    std::function<void()> m_scan;
    bool m_tickSkipped = false;  // a periodic scan waits for the network
};

}  // namespace velto
