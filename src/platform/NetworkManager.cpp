#include "platform/NetworkManager.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

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
// A desktop expects an answer at once; a bus that hangs must not hang us.
constexpr int kCallTimeoutMs = 5000;

QDBusMessage Call(QDBusConnection& bus, const QString& path, const QString& iface, const QString& method,
                  const QList<QVariant>& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
    m.setArguments(args);
    // Where NetworkManager is installed but not running, the bus must not
    // try to start it (and keep us waiting) for a question.
    m.setAutoStartService(false);
    return bus.call(m, QDBus::Block, kCallTimeoutMs);
}

// One property, unwrapped from its variant; invalid when it could not be read.
QVariant Property(QDBusConnection& bus, const QString& path, const QString& iface, const QString& name) {
    const QDBusMessage reply = Call(bus, path, kProperties, "Get", {iface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
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

}  // namespace

NetworkManager::NetworkManager(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(bus) {
    m_bus.connect(kService, kPath, kManager, "StateChanged", this, SLOT(OnStateChanged(uint)));
}

bool NetworkManager::Profiles(std::vector<Profile>& out) {
    out.clear();
    const QDBusMessage reply = Call(m_bus, kSettingsPath, kSettings, "ListConnections");
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    for (const QDBusObjectPath& path : Paths(reply.arguments().at(0))) {
        const QDBusMessage settings = Call(m_bus, path.path(), kSettingsConnection, "GetSettings");
        if (settings.type() != QDBusMessage::ReplyMessage || settings.arguments().isEmpty()) continue;
        QMap<QString, QVariantMap> map;
        settings.arguments().at(0).value<QDBusArgument>() >> map;
        const QString id = map.value("connection").value("id").toString();
        if (!id.isEmpty()) out.push_back({id, path.path(), map.value("connection").value("type").toString()});
    }
    return true;
}

bool NetworkManager::ActiveConnections(std::vector<Active>& out) {
    out.clear();
    const QVariant value = Property(m_bus, kPath, kManager, "ActiveConnections");
    if (!value.isValid()) return false;
    for (const QDBusObjectPath& path : Paths(value))
        out.push_back({Property(m_bus, path.path(), kActive, "Id").toString(), path.path(),
                       Property(m_bus, path.path(), kActive, "Type").toString()});
    return true;
}

bool NetworkManager::IsDialupType(const QString& type) {
    static const QStringList kinds = {"vpn", "wireguard", "gsm", "cdma", "pppoe", "adsl", "bluetooth"};
    return kinds.contains(type);
}

QString NetworkManager::Activate(const QString& profilePath, QString& error) {
    const QDBusMessage reply = Call(m_bus, kPath, kManager, "ActivateConnection",
                                    {QVariant::fromValue(QDBusObjectPath(profilePath)),
                                     QVariant::fromValue(QDBusObjectPath("/")), QVariant::fromValue(QDBusObjectPath("/"))});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        error = reply.errorMessage().isEmpty() ? QStringLiteral("NetworkManager did not answer") : reply.errorMessage();
        return {};
    }
    return reply.arguments().at(0).value<QDBusObjectPath>().path();
}

bool NetworkManager::Deactivate(const QString& activePath) {
    const QDBusMessage reply =
        Call(m_bus, kPath, kManager, "DeactivateConnection", {QVariant::fromValue(QDBusObjectPath(activePath))});
    return reply.type() == QDBusMessage::ReplyMessage;
}

unsigned NetworkManager::State() { return Property(m_bus, kPath, kManager, "State").toUInt(); }

unsigned NetworkManager::ActiveState(const QString& activePath) {
    return Property(m_bus, activePath, kActive, "State").toUInt();
}

void NetworkManager::Unwatch() {
    if (m_watched.isEmpty()) return;
    m_bus.disconnect(kService, m_watched, kActive, "StateChanged", this, SLOT(OnActiveStateChanged(uint, uint)));
    m_bus.disconnect(kService, m_watched, kVpn, "VpnStateChanged", this, SLOT(OnVpnStateChanged(uint, uint)));
    for (const QString& device : m_devices)
        m_bus.disconnect(kService, device, kDevice, "StateChanged", this, SLOT(OnDeviceStateChanged(uint, uint, uint)));
    m_devices.clear();
    m_watched.clear();
}

bool NetworkManager::Watch(const QString& activePath) {
    Unwatch();
    m_watched = activePath;
    // A VPN tells its own stages; any other connection's are its devices'.
    m_bus.connect(kService, activePath, kVpn, "VpnStateChanged", this, SLOT(OnVpnStateChanged(uint, uint)));
    for (const QDBusObjectPath& device : Paths(Property(m_bus, activePath, kActive, "Devices"))) {
        m_devices << device.path();
        m_bus.connect(kService, device.path(), kDevice, "StateChanged", this,
                      SLOT(OnDeviceStateChanged(uint, uint, uint)));
    }
    return m_bus.connect(kService, activePath, kActive, "StateChanged", this, SLOT(OnActiveStateChanged(uint, uint)));
}

void NetworkManager::OnActiveStateChanged(unsigned state, unsigned reason) {
    emit activeStateChanged(m_watched, state, reason);
}

void NetworkManager::OnVpnStateChanged(unsigned state, unsigned) {
    // NetworkManager's VPN states: prepare, need auth, connect, IP config.
    switch (state) {
    case 1: emit dialStageChanged(m_watched, DialStage::OpeningPort); break;
    case 2: emit dialStageChanged(m_watched, DialStage::Authenticating); break;
    case 3: emit dialStageChanged(m_watched, DialStage::Dialing); break;
    case 4: emit dialStageChanged(m_watched, DialStage::LoggingOn); break;
    default: break;
    }
}

void NetworkManager::OnDeviceStateChanged(unsigned state, unsigned, unsigned) {
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

void NetworkManager::OnStateChanged(unsigned state) { emit stateChanged(state); }

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
