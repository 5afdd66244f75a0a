#pragma once
// NetworkManager over D-Bus: its connection profiles stand in for dial-up
// phonebook entries, its active connections for dial-up connections. Every
// call fails quietly (false, empty) where no NetworkManager answers, as on
// servers, in containers and under other network daemons.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <vector>

namespace velto {

class NetworkManager : public QObject {
    Q_OBJECT
public:
    // Global states from NetworkManager's own numbering.
    static constexpr unsigned kConnectedGlobal = 70;
    // Active connection states.
    enum ActiveState : unsigned { Unknown = 0, Activating = 1, Activated = 2, Deactivating = 3, Deactivated = 4 };

    struct Profile {
        QString id;
        QString path;
        QString type;  // NetworkManager's connection type ("vpn", "gsm", ...)
    };
    struct Active {
        QString id;
        QString path;
        QString type;
    };
    // Whether a connection of this type is what a dial-up entry stands for:
    // one the user brings up to go online (dial-up and mobile broadband,
    // PPPoE and DSL, Bluetooth, VPN, WireGuard), not the wired or wireless
    // network that is simply there.
    static bool IsDialupType(const QString& type);

    explicit NetworkManager(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    // False when NetworkManager could not be asked.
    bool Profiles(std::vector<Profile>& out);
    bool ActiveConnections(std::vector<Active>& out);
    // The active connection's path, or empty with the reason in error.
    QString Activate(const QString& profilePath, QString& error);
    bool Deactivate(const QString& activePath);
    // The global state; 0 when unknown.
    unsigned State();
    // One active connection's state; Unknown when it cannot be read.
    unsigned ActiveState(const QString& activePath);
    // How far a dial has come, read from its device's or its VPN's states.
    enum class DialStage { OpeningPort, Dialing, Authenticating, Authenticated, LoggingOn };
    // Follows one active connection's state changes (StateChanged) and the
    // stages of its devices or its VPN; one at a time, as one dial runs at a
    // time.
    bool Watch(const QString& activePath);
    // Reasons for an active connection's state change up to this one (unknown,
    // none, disconnected by the user) tell of no failure.
    static constexpr unsigned kReasonUserDisconnected = 2;
    // A short text for one of NetworkManager's reasons for a state change.
    static QString ReasonText(unsigned reason);

signals:
    void activeStateChanged(QString path, unsigned state, unsigned reason);
    void dialStageChanged(QString path, velto::NetworkManager::DialStage stage);
    void stateChanged(unsigned state);

private slots:
    void OnActiveStateChanged(unsigned state, unsigned reason);
    void OnVpnStateChanged(unsigned state, unsigned reason);
    void OnDeviceStateChanged(unsigned state, unsigned old, unsigned reason);
    void OnStateChanged(unsigned state);

private:
    QDBusConnection m_bus;
    void Unwatch();
    QString m_watched;
    QStringList m_devices;  // the watched connection's devices
};

}  // namespace velto
