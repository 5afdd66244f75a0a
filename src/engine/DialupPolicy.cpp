#include "engine/DialupPolicy.h"

#include <utility>
#include <vector>

#include "settings/Settings.h"

namespace velto {

void DialupPolicy::EnsureOnline(bool dialAllowed, std::function<void(bool online)> then) {
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.m_enableDialup || !m_dialup) {
        then(true);
        return;
    }
    // Just after start-up the service may not have answered yet: its
    // "cannot tell" would count as online and the dial would be skipped.
    m_dialup->WhenKnown([this, alive = std::weak_ptr<int>(m_alive), dialAllowed, then = std::move(then)]() mutable {
        if (alive.lock()) Decide(dialAllowed, std::move(then));
    });
}

void DialupPolicy::Decide(bool dialAllowed, std::function<void(bool)> then) {
    std::vector<DialupConnection> connections;
    if (m_dialup->EnumConnections(connections) != 0 || !connections.empty() || !dialAllowed) {
        then(true);
        return;
    }
    m_waiting.push_back(std::move(then));
    // The dialog is up already (a tick came while it waits for the user):
    // not a second one; this check waits for that one's outcome.
    if (m_dialling) return;
    m_dialling = true;
    ConfigurationOptions config(keys::kConfiguration);
    m_dialup->RunDialDialog(config.GetActiveRas(), [this, alive = std::weak_ptr<int>(m_alive)] {
        if (alive.lock()) DialClosed();
    });
}

void DialupPolicy::DialClosed() {
    m_dialling = false;
    std::vector<DialupConnection> connections;
    const bool online = m_dialup->EnumConnections(connections) == 0 && !connections.empty();
    if (online) m_dialledByUs = true;
    for (auto& then : std::exchange(m_waiting, {})) then(online);
}

bool DialupPolicy::IsOnline() {
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.m_enableDialup || !m_dialup) return true;
    std::vector<DialupConnection> connections;
    return m_dialup->EnumConnections(connections) != 0 || !connections.empty();
}

void DialupPolicy::HangUpAfterCheck() {
    if (!m_dialledByUs || !m_dialup) return;
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.m_enableDialup || config.m_noDisconnect) return;
    std::vector<DialupConnection> connections;
    if (m_dialup->EnumConnections(connections) != 0 || connections.empty()) return;
    for (const auto& c : connections) {
        if (c.entryName == config.GetActiveRas()) {
            m_dialup->HangUp(c.handle);
            m_dialledByUs = false;
        }
    }
}

}  // namespace velto
