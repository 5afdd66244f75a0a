#include "platform/NmDialup.h"

#include <utility>

#include "present/WidgetText.h"

namespace velto {

NmDialup::NmDialup(QDBusConnection bus, CDialupDialog::Timing timing, QObject* parent)
    : QObject(parent), m_nm(bus), m_timing(timing) {
    connect(&m_nm, &NetworkManager::stateChanged, this, [this](unsigned state) {
        // What NetworkManager first says (or says after a restart) is no
        // change: nothing waited for it.
        const bool back = state >= NetworkManager::kConnectedGlobal && m_lastState != 0 &&
                          m_lastState < NetworkManager::kConnectedGlobal;
        m_lastState = state;
        if (back && m_connectivityBack) m_connectivityBack();
    });
    // The machine wakes up: logind says so before and after sleeping.
    bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                this, SLOT(OnPrepareForSleep(bool)));
}

NmDialup::~NmDialup() {
    // The dialog works on m_nm, which goes with this object.
    delete m_dialog.data();
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

void NmDialup::RunDialDialog(const std::string& entry, std::function<void()> closed) {
    m_closed.push_back(std::move(closed));
    if (m_closed.size() > 1) return;
    // The entry is looked up among the profiles NetworkManager listed,
    // which just after start-up may still be on their way.
    m_nm.WhenKnown([this, entry] { OpenDialog(entry); });
}

void NmDialup::OpenDialog(const std::string& entry) {
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
    auto* dialog = new CDialupDialog(m_nm, FromUtf8(entry), profile, m_timing, m_parent);
    m_dialog = dialog;
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        dialog->deleteLater();
        m_dialog = nullptr;
        // Whoever waits reads the outcome from the connections: they are
        // asked for once more, so that what they say is not older than the
        // close (a hang-up on Cancel, a connection just up).
        m_nm.RefreshActive([waiting = std::exchange(m_closed, {})] {
            for (const auto& closed : waiting) closed();
        });
    });
    dialog->open();
}

long NmDialup::HangUp(long handle) {
    if (handle < 0 || static_cast<std::size_t>(handle) >= m_handles.size()) return kInvalidHandle;
    m_nm.Deactivate(m_handles[static_cast<std::size_t>(handle)]);
    return 0;
}

void NmDialup::WhenKnown(std::function<void()> then) { m_nm.WhenKnown(std::move(then)); }

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
