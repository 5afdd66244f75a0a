#include "engine/CheckTimers.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace velto {

int CheckTimers::PeriodicIntervalMs(const ConfigurationOptions& config) {
    constexpr std::uint32_t kMaxMinutes = 35791;  // INT_MAX milliseconds
    const std::uint32_t minutes = std::clamp<std::uint32_t>(config.m_checkMailInterval, 1, kMaxMinutes);
    return static_cast<int>(minutes) * 60000;
}

bool CheckTimers::OnTimer(int id) {
    if (id == kPeriodicTimerId) {
        ConfigurationOptions config(keys::kConfiguration);
        m_timers.KillTimer(kPeriodicTimerId);
        m_timers.SetTimer(kPeriodicTimerId, PeriodicIntervalMs(config));
        // "Check Mail Only When Online": skip the tick when offline (no
        // dial-up connection, or no network at all) instead of dialling or
        // timing out on every server; the check follows when the network is
        // back. Without it the tick may dial, and its scan waits for the
        // dialog to close. The policy drops this call if it goes first, and
        // it outlives these timers.
        if (config.m_strictScanning)
            ScanIfOnline(m_dialup.IsOnline() && m_dialup.Reachable());
        else
            m_dialup.EnsureOnline(true, [this](bool online) { ScanIfOnline(online); });
        return true;
    }
    if (id == kStartupTimerId) {
        m_timers.KillTimer(kStartupTimerId);
        if (m_idle())
            m_dialup.EnsureOnline(false, [this](bool online) {
                if (online && m_idle()) m_scan();
            });
        return true;
    }
    return false;
}

void CheckTimers::ScanIfOnline(bool online) {
    m_tickSkipped = !online;
    if (online && m_idle()) m_scan();
}

void CheckTimers::OnConnectivityBack() {
    if (std::exchange(m_tickSkipped, false) && m_idle()) m_scan();
}

void CheckTimers::OnResumed() {
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.m_autoScan) return;
    m_timers.KillTimer(kPeriodicTimerId);
    m_timers.SetTimer(kPeriodicTimerId, PeriodicIntervalMs(config));
}

void CheckTimers::Stop() {
    m_timers.KillTimer(kPeriodicTimerId);
    m_timers.KillTimer(kStartupTimerId);
}

}  // namespace velto
