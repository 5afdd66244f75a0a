#include "platform/NmDialup.h"

#include "present/WidgetText.h"

namespace velto {

NmDialup::NmDialup(QDBusConnection bus, CDialupDialog::Timing timing, QObject* parent)
    : QObject(parent), m_nm(bus), m_timing(timing) {
    m_lastState = m_nm.State();
    connect(&m_nm, &NetworkManager::stateChanged, this, [this](unsigned state) {
        const bool back = state >= NetworkManager::kConnectedGlobal && m_lastState < NetworkManager::kConnectedGlobal;
        m_lastState = state;
        if (back && m_connectivityBack) m_connectivityBack();
    });
    // The machine wakes up: logind says so before and after sleeping.
    bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                this, SLOT(OnPrepareForSleep(bool)));
}

long NmDialup::EnumConnections(std::vector<DialupConnection>& connections) {
    connections.clear();
    std::vector<NetworkManager::Active> active;
    if (!m_nm.ActiveConnections(active)) return kServiceUnavailable;
    m_handles.clear();
    for (const auto& a : active) {
        if (!NetworkManager::IsDialupType(a.type)) continue;
        connections.push_back({a.id.toStdString(), static_cast<long>(m_handles.size())});
        m_handles.push_back(a.path);
    }
    return 0;
}

void NmDialup::EnumEntryNames(std::vector<std::string>& names) {
    std::vector<NetworkManager::Profile> profiles;
    if (!m_nm.Profiles(profiles)) return;
    for (const auto& p : profiles)
        if (NetworkManager::IsDialupType(p.type)) names.push_back(p.id.toStdString());
}

void NmDialup::RunDialDialog(const std::string& entry) {
    // NetworkManager asks its own agent for any secret the profile lacks;
    // a profile that cannot get one fails with that reason in the dialog.
    // Only the kinds offered as entries are dialled: a stored name of a
    // wired or wireless profile (offered before) has no entry of that name,
    // and activating it would drop that network for a moment at every tick.
    QString profile;
    std::vector<NetworkManager::Profile> profiles;
    m_nm.Profiles(profiles);
    for (const auto& p : profiles)
        if (NetworkManager::IsDialupType(p.type) && p.id.toStdString() == entry) {
            profile = p.path;
            break;
        }
    CDialupDialog dialog(m_nm, FromUtf8(entry), profile, m_timing, m_parent);
    dialog.exec();
}

long NmDialup::HangUp(long handle) {
    if (handle < 0 || static_cast<std::size_t>(handle) >= m_handles.size()) return kInvalidHandle;
    return m_nm.Deactivate(m_handles[static_cast<std::size_t>(handle)]) ? 0 : kServiceUnavailable;
}

bool NmDialup::HasConnectivity() {
    const unsigned state = m_nm.State();
    return state == 0 || state >= NetworkManager::kConnectedGlobal;
}

void NmDialup::SetNetworkListener(std::function<void()> connectivityBack, std::function<void()> resumed) {
    m_connectivityBack = std::move(connectivityBack);
    m_resumed = std::move(resumed);
}

void NmDialup::OnPrepareForSleep(bool sleeping) {
    if (!sleeping && m_resumed) m_resumed();
}

}  // namespace velto
