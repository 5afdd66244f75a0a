#include "platform/NetworkManager.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <memory>
#include <utility>

namespace velto {

namespace {

const QString kService = "org.freedesktop.NetworkManager";
const QString kPath = "/org/freedesktop/NetworkManager";
const QString kManager = "org.freedesktop.NetworkManager";
const QString kSettingsPath = "/org/freedesktop/NetworkManager/Settings";
const QString kSettings = "org.freedesktop.NetworkManager.Settings";
const QString kSettingsConnection = "org.freedesktop.NetworkManager.Settings.Connection";
const QString kActive = "org.freedesktop.NetworkManager.Connection.Active";
const QString kVpn = "org.freedesktop.NetworkManager.VPN.Connection";
const QString kDevice = "org.freedesktop.NetworkManager.Device";
const QString kProperties = "org.freedesktop.DBus.Properties";
// A bus that hangs leaves an answer outstanding no longer than this.
constexpr int kCallTimeoutMs = 5000;

bool Answered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

// An "a{sv}" reply (GetAll).
QVariantMap PropertyMap(const QDBusMessage& reply) {
    return qdbus_cast<QVariantMap>(reply.arguments().at(0));
}

// A "v" reply (Get), unwrapped.
QVariant PropertyValue(const QDBusMessage& reply) {
    return reply.arguments().at(0).value<QDBusVariant>().variant();
}

// An "ao" value, as it comes inside a property or as a reply.
QList<QDBusObjectPath> Paths(const QVariant& value) {
    QList<QDBusObjectPath> paths;
    if (value.canConvert<QDBusArgument>()) {
        value.value<QDBusArgument>() >> paths;
    } else {
        paths = value.value<QList<QDBusObjectPath>>();
    }
    return paths;
}

void RunAll(std::vector<std::function<void()>>& waiting) {
    for (const auto& then : std::exchange(waiting, {})) then();
}

}  // namespace

NetworkManager::NetworkManager(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(bus) {
    // Every subscription is made here, before any question: a change that
    // happens while one is under way is heard all the same. Empty paths
    // follow all objects of the kind.
    m_bus.connect(kService, kPath, kManager, "StateChanged", this, SLOT(OnStateChanged(uint)));
    m_bus.connect(kService, kPath, kProperties, "PropertiesChanged", this,
                  SLOT(OnManagerPropertiesChanged(QString, QVariantMap, QStringList)));
    m_bus.connect(kService, QString(), kActive, "StateChanged", this,
                  SLOT(OnActiveStateChanged(uint, uint, QDBusMessage)));
    m_bus.connect(kService, QString(), kVpn, "VpnStateChanged", this,
                  SLOT(OnVpnStateChanged(uint, uint, QDBusMessage)));
    m_bus.connect(kService, QString(), kDevice, "StateChanged", this,
                  SLOT(OnDeviceStateChanged(uint, uint, uint, QDBusMessage)));
    m_bus.connect(kService, kSettingsPath, kSettings, "NewConnection", this, SLOT(OnProfilesChanged()));
    m_bus.connect(kService, kSettingsPath, kSettings, "ConnectionRemoved", this, SLOT(OnProfilesChanged()));
    m_bus.connect(kService, QString(), kSettingsConnection, "Updated", this, SLOT(OnProfilesChanged()));
    // NetworkManager (re)started, or gone.
    auto* watcher = new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        AskManager();
        AskProfiles();
    });
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &NetworkManager::Forget);
    AskManager();
    AskProfiles();
}

void NetworkManager::Ask(const QString& path, const QString& iface, const QString& method,
                         const QList<QVariant>& args, QObject* context, Answer answer) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
    m.setArguments(args);
    // Where NetworkManager is installed but not running, the bus must not
    // try to start it for a question.
    m.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(m, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, context ? context : this,
            [watcher, answer = std::move(answer)] { answer(watcher->reply()); });
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
}

// ---- what NetworkManager says ---------------------------------------------

void NetworkManager::AskManager() {
    ++m_managerAsked;
    Ask(kPath, kProperties, "GetAll", {kManager}, nullptr, [this](const QDBusMessage& reply) {
        --m_managerAsked;
        m_managerAnswered = true;
        if (Answered(reply)) {
            m_available = true;
            ApplyManager(PropertyMap(reply));
        } else {
            m_available = false;
            m_activePaths.clear();
            m_actives.clear();
            SetState(0);
        }
        Settle();
    });
}

void NetworkManager::ApplyManager(const QVariantMap& properties) {
    if (properties.contains("State")) SetState(properties.value("State").toUInt());
    if (!properties.contains("ActiveConnections")) return;
    m_activePaths.clear();
    for (const QDBusObjectPath& path : Paths(properties.value("ActiveConnections"))) m_activePaths << path.path();
    std::erase_if(m_actives, [this](const auto& known) { return !m_activePaths.contains(known.first); });
    // An active connection's name and kind never change: asked once each.
    for (const QString& path : std::as_const(m_activePaths))
        if (!m_actives.count(path) && !m_askingActive.contains(path)) AskActive(path);
}

void NetworkManager::AskActive(const QString& path) {
    m_askingActive.insert(path);
    Ask(path, kProperties, "GetAll", {kActive}, nullptr, [this, path](const QDBusMessage& reply) {
        m_askingActive.remove(path);
        // One that went meanwhile (or cannot be read) is left out.
        if (Answered(reply) && m_activePaths.contains(path)) {
            const QVariantMap p = PropertyMap(reply);
            m_actives[path] = {p.value("Id").toString(), path, p.value("Type").toString()};
        }
        Settle();
    });
}

void NetworkManager::AskProfiles() {
    const unsigned round = ++m_profileRound;
    Ask(kSettingsPath, kSettings, "ListConnections", {}, nullptr, [this, round](const QDBusMessage& reply) {
        if (round != m_profileRound) return;
        if (!Answered(reply)) {
            m_profiles.clear();
            m_profilesAvailable = false;
            m_profilesAnswered = true;
            Settle();
            return;
        }
        const QList<QDBusObjectPath> paths = Paths(reply.arguments().at(0));
        // Filled in NetworkManager's order whatever order the answers come in.
        auto incoming = std::make_shared<std::vector<Profile>>(paths.size());
        auto outstanding = std::make_shared<qsizetype>(paths.size());
        auto commit = [this, incoming] {
            m_profiles.clear();
            for (const Profile& p : *incoming)
                if (!p.id.isEmpty()) m_profiles.push_back(p);
            m_profilesAvailable = true;
            m_profilesAnswered = true;
            Settle();
        };
        if (paths.isEmpty()) return commit();
        for (qsizetype i = 0; i < paths.size(); ++i) {
            const QString path = paths[i].path();
            Ask(path, kSettingsConnection, "GetSettings", {}, nullptr,
                [this, round, incoming, outstanding, commit, i, path](const QDBusMessage& reply) {
                    if (round != m_profileRound) return;
                    if (Answered(reply)) {
                        QMap<QString, QVariantMap> map;
                        reply.arguments().at(0).value<QDBusArgument>() >> map;
                        const QVariantMap connection = map.value("connection");
                        (*incoming)[static_cast<std::size_t>(i)] = {connection.value("id").toString(), path,
                                                                    connection.value("type").toString()};
                    }
                    if (--*outstanding == 0) commit();
                });
        }
    });
}

void NetworkManager::SetState(unsigned state) {
    if (state == m_state) return;
    m_state = state;
    emit stateChanged(state);
}

void NetworkManager::Forget() {
    m_available = false;
    m_activePaths.clear();
    m_actives.clear();
    m_profiles.clear();
    m_profilesAvailable = false;
    m_profilesAnswered = true;
    ++m_profileRound;  // a listing under way is of a NetworkManager that is gone
    SetState(0);
    Settle();
}

void NetworkManager::Settle() {
    if (m_managerAsked > 0 || !m_askingActive.isEmpty()) return;
    RunAll(m_whenActiveAnswered);
    if (!m_known && m_managerAnswered && m_profilesAnswered) {
        m_known = true;
        RunAll(m_whenKnown);
    }
}

void NetworkManager::WhenKnown(std::function<void()> then) {
    if (m_known) return then();
    m_whenKnown.push_back(std::move(then));
}

void NetworkManager::RefreshActive(std::function<void()> then) {
    m_whenActiveAnswered.push_back(std::move(then));
    AskManager();
}

bool NetworkManager::Profiles(std::vector<Profile>& out) const {
    out = m_profiles;
    return m_profilesAvailable;
}

bool NetworkManager::ActiveConnections(std::vector<Active>& out) const {
    out.clear();
    if (!m_available) return false;
    for (const QString& path : m_activePaths)
        if (auto it = m_actives.find(path); it != m_actives.end()) out.push_back(it->second);
    return true;
}

bool NetworkManager::IsDialupType(const QString& type) {
    static const QStringList kinds = {"vpn", "wireguard", "gsm", "cdma", "pppoe", "adsl", "bluetooth"};
    return kinds.contains(type);
}

// ---- calls ------------------------------------------------------------------

void NetworkManager::Activate(const QString& profilePath, QObject* context,
                              std::function<void(const QString&, const QString&)> done) {
    Ask(kPath, kManager, "ActivateConnection",
        {QVariant::fromValue(QDBusObjectPath(profilePath)), QVariant::fromValue(QDBusObjectPath("/")),
         QVariant::fromValue(QDBusObjectPath("/"))},
        context, [done = std::move(done)](const QDBusMessage& reply) {
            if (Answered(reply)) return done(reply.arguments().at(0).value<QDBusObjectPath>().path(), {});
            done({}, reply.errorMessage().isEmpty() ? QStringLiteral("NetworkManager did not answer")
                                                    : reply.errorMessage());
        });
}

void NetworkManager::Deactivate(const QString& activePath) {
    // The connection leaves the list when NetworkManager says so.
    Ask(kPath, kManager, "DeactivateConnection", {QVariant::fromValue(QDBusObjectPath(activePath))}, nullptr,
        [](const QDBusMessage&) {});
}

void NetworkManager::ReadActiveState(const QString& activePath, QObject* context,
                                     std::function<void(unsigned)> done) {
    Ask(activePath, kProperties, "Get", {kActive, "State"}, context, [done = std::move(done)](const QDBusMessage& reply) {
        done(Answered(reply) ? PropertyValue(reply).toUInt() : static_cast<unsigned>(Unknown));
    });
}

void NetworkManager::Watch(const QString& activePath) {
    m_watched = activePath;
    m_devices.clear();
    // A VPN tells its own stages; any other connection's are its devices'.
    Ask(activePath, kProperties, "Get", {kActive, "Devices"}, nullptr, [this, activePath](const QDBusMessage& reply) {
        if (activePath != m_watched || !Answered(reply)) return;
        for (const QDBusObjectPath& device : Paths(PropertyValue(reply))) m_devices << device.path();
    });
}

// ---- signals ----------------------------------------------------------------

void NetworkManager::OnManagerPropertiesChanged(const QString& iface, const QVariantMap& changed,
                                                const QStringList& invalidated) {
    if (iface != kManager) return;
    if (!m_available) {
        // Not heard from before (or it came back): all of it, not a part.
        AskManager();
        return;
    }
    ApplyManager(changed);
    if (invalidated.contains("ActiveConnections") || invalidated.contains("State")) AskManager();
    Settle();
}

void NetworkManager::OnActiveStateChanged(uint state, uint reason, const QDBusMessage& message) {
    emit activeStateChanged(message.path(), state, reason);
}

void NetworkManager::OnVpnStateChanged(uint state, uint, const QDBusMessage& message) {
    if (message.path() != m_watched) return;
    // NetworkManager's VPN states: prepare, need auth, connect, IP config.
    switch (state) {
    case 1: emit dialStageChanged(m_watched, DialStage::OpeningPort); break;
    case 2: emit dialStageChanged(m_watched, DialStage::Authenticating); break;
    case 3: emit dialStageChanged(m_watched, DialStage::Dialing); break;
    case 4: emit dialStageChanged(m_watched, DialStage::LoggingOn); break;
    default: break;
    }
}

void NetworkManager::OnDeviceStateChanged(uint state, uint, uint, const QDBusMessage& message) {
    if (m_watched.isEmpty() || !m_devices.contains(message.path())) return;
    // NetworkManager's device states: prepare, config, need auth, IP config,
    // IP check.
    switch (state) {
    case 40: emit dialStageChanged(m_watched, DialStage::OpeningPort); break;
    case 50: emit dialStageChanged(m_watched, DialStage::Dialing); break;
    case 60: emit dialStageChanged(m_watched, DialStage::Authenticating); break;
    case 70: emit dialStageChanged(m_watched, DialStage::Authenticated); break;
    case 80: emit dialStageChanged(m_watched, DialStage::LoggingOn); break;
    default: break;
    }
}

void NetworkManager::OnStateChanged(uint state) { SetState(state); }

void NetworkManager::OnProfilesChanged() { AskProfiles(); }

QString NetworkManager::ReasonText(unsigned reason) {
    // NetworkManager's active-connection state reasons.
    switch (reason) {
    case 2: return "Disconnected by the user";
    case 3: return "The device was disconnected";
    case 4: return "The service providing the connection stopped";
    case 5: return "The IP configuration was not valid";
    case 6: return "The connection timed out";
    case 7: return "The service providing the connection did not start in time";
    case 8: return "The service providing the connection failed to start";
    case 9: return "No secrets (password) were available for the connection";
    case 10: return "The sign-in was refused";
    case 11: return "The connection was removed";
    case 12: return "A connection it depends on failed";
    case 13: return "The device could not be used";
    case 14: return "The device disappeared";
    default: return {};
    }
}

}  // namespace velto
