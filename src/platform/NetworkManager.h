#pragma once
// NetworkManager over D-Bus: its connection profiles stand in for dial-up
// phonebook entries, its active connections for dial-up connections.
// Nothing here waits for it: what it last said is kept, kept fresh by its
// signals and by the answers to calls that are sent without waiting, and
// questions are answered from that. Where no NetworkManager answers (on
// servers, in containers, under other network daemons) the lists are not
// available and the state is unknown.
#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <map>
#include <vector>

class QDBusMessage;

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

    // Asks for everything at once; the answers come from the event loop.
    explicit NetworkManager(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    // From what NetworkManager last said; false while it has not answered,
    // and where it does not.
    bool Profiles(std::vector<Profile>& out) const;
    bool ActiveConnections(std::vector<Active>& out) const;
    // The global state; 0 when unknown.
    unsigned State() const { return m_state; }
    // then runs once the first answers are all in (or failed): at once
    // after that, else later from the event loop.
    void WhenKnown(std::function<void()> then);
    bool Known() const { return m_known; }
    // Asks again for the active connections; then runs once the answers
    // are in, so what they say is no older than this call.
    void RefreshActive(std::function<void()> then);

    // Calls that return at once; the answer, where one is asked for, comes
    // from the event loop while context lives. Activate's is the active
    // connection's path, or empty with the reason in error.
    void Activate(const QString& profilePath, QObject* context,
                  std::function<void(const QString& active, const QString& error)> done);
    void Deactivate(const QString& activePath);
    // One active connection's state; Unknown when it cannot be read.
    void ReadActiveState(const QString& activePath, QObject* context, std::function<void(unsigned state)> done);
    // How far a dial has come, read from its device's or its VPN's states.
    enum class DialStage { OpeningPort, Dialing, Authenticating, Authenticated, LoggingOn };
    // Follows the stages of one active connection's devices or its VPN;
    // one at a time, as one dial runs at a time. Every active connection's
    // state changes are told (activeStateChanged) without a watch.
    void Watch(const QString& activePath);
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
    void OnActiveStateChanged(uint state, uint reason, const QDBusMessage& message);
    void OnVpnStateChanged(uint state, uint reason, const QDBusMessage& message);
    void OnDeviceStateChanged(uint state, uint old, uint reason, const QDBusMessage& message);
    void OnStateChanged(uint state);
    void OnManagerPropertiesChanged(const QString& iface, const QVariantMap& changed, const QStringList& invalidated);
    void OnProfilesChanged();

private:
    using Answer = std::function<void(const QDBusMessage& reply)>;
    // Sends a call without waiting; answer runs when its reply (or error)
    // comes, unless context is gone by then.
    void Ask(const QString& path, const QString& iface, const QString& method, const QList<QVariant>& args,
             QObject* context, Answer answer);
    void AskManager();
    void ApplyManager(const QVariantMap& properties);
    void AskActive(const QString& path);
    void AskProfiles();
    void SetState(unsigned state);
    void Forget();  // NetworkManager left the bus
    // Runs what waits for answers once none is outstanding.
    void Settle();

    QDBusConnection m_bus;
    unsigned m_state = 0;
    bool m_available = false;  // the manager answered its last question
    bool m_managerAnswered = false, m_profilesAnswered = false, m_known = false;
    int m_managerAsked = 0;                 // questions to the manager under way
    QStringList m_activePaths;              // in NetworkManager's order
    std::map<QString, Active> m_actives;    // what each listed path is, once told
    QSet<QString> m_askingActive;           // paths whose details are under way
    std::vector<Profile> m_profiles;
    bool m_profilesAvailable = false;
    unsigned m_profileRound = 0;  // answers of an older listing are dropped
    std::vector<std::function<void()>> m_whenKnown, m_whenActiveAnswered;
    QString m_watched;
    QStringList m_devices;  // the watched connection's devices
};

}  // namespace velto
