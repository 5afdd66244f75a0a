#pragma once
// One running copy per user's settings: the first start owns a well-known
// name on the session bus (or, with no bus, a local socket in the runtime
// folder); a later start asks it to show its window and ends.
#include <QObject>
#include <functional>
#include <string>

class QLocalServer;

namespace velto {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.veltomail.VeltoMail")
public:
    static constexpr const char* kBusName = "org.veltomail.VeltoMail";
    enum class Claim { First, HandedOver, NoAnswer };

    // key: empty for the user's usual settings folder; another folder (a
    // demo, a test) gets a name of its own so it never reaches this one.
    explicit SingleInstance(std::string key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // First: this copy runs, and onActivate is called whenever a later start
    // hands over. HandedOver: another copy runs and was asked to show itself.
    Claim Acquire(std::function<void()> onActivate);

    std::string BusName() const;
    std::string SocketPath() const;

public Q_SLOTS:
    // Shows and raises the main window (called over the bus).
    Q_SCRIPTABLE void Activate();

private:
    Claim AcquireOnBus();
    Claim AcquireSocket();

    std::string m_key;
    std::function<void()> m_onActivate;
    QLocalServer* m_server = nullptr;
};

// The data file's companion lock: held by one process at a time, whatever
// session or display it runs in (the bus and the socket are per session).
class DataFileLock {
public:
    explicit DataFileLock(const std::string& dataFile);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // False when another process holds it; holder then names it.
    bool TryLock(std::string& holder);
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
};

}  // namespace velto
