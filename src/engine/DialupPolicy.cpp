#include "engine/DialupPolicy.h"

#include <vector>

#include "settings/Settings.h"

namespace velto {

bool DialupPolicy::EnsureOnline(bool dialAllowed) {
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.m_enableDialup || !m_dialup) return true;
    std::vector<DialupConnection> connections;
    if (m_dialup->EnumConnections(connections) != 0 || !connections.empty() || !dialAllowed) return true;
    // The dialog is up already (a tick came while it waits for the user):
    // not a second one; this check waits for that one's outcome.
    if (m_dialling) return false;
    m_dialling = true;
    m_dialup->RunDialDialog(config.GetActiveRas());
    m_dialling = false;
    connections.clear();
    if (m_dialup->EnumConnections(connections) == 0 && !connections.empty()) {
        m_dialledByUs = true;
        return true;
    }
    return false;
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
