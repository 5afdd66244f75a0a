#pragma once
// One running copy per user's settings: the first start owns a well-known
// name on the session bus (or, with no bus, a local socket in a folder of
// the user's alone); a later start asks it to show its window, handing
// over the desktop's activation token it was started with, and ends.
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
    // Called in the first copy with the later start's token (empty: none).
    using OnActivate = std::function<void(const std::string& token)>;

    // key: empty for the user's usual settings folder; another folder (a
    // demo, a test) gets a name of its own so it never reaches this one.
    explicit SingleInstance(std::string key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // First: this copy runs, and onActivate is called whenever a later start
    // hands over. HandedOver: another copy runs and was asked to show itself
    // with token.
    Claim Acquire(const std::string& token, OnActivate onActivate);

    std::string BusName() const;
    // The socket in the runtime folder, else in a private folder of the
    // user's in the temporary one (made when missing); empty with the
    // reason when neither is the user's alone.
    std::string SocketPath(std::string& problem) const;
    // The claim without a session bus. Only a socket of the user's, whose
    // listener runs as the user, is handed over to; anything else in its
    // place is replaced. Without a private folder nothing is handed over
    // (the data file's lock still keeps a second copy out).
    Claim AcquireSocket(const std::string& token, OnActivate onActivate);

public Q_SLOTS:
    // Shows and raises the main window (called over the bus); the first
    // without a token, as earlier versions call it.
    Q_SCRIPTABLE void Activate();
    Q_SCRIPTABLE void ActivateWithToken(const QString& token);

private:
    Claim AcquireOnBus(const std::string& token);

    std::string m_key;
    OnActivate m_onActivate;
    QLocalServer* m_server = nullptr;
};

// Whether path is a folder of this user's alone: a folder (not a link to
// one) that the user owns and nobody else may enter. With create, a missing
// one is made (0700). False with the reason otherwise.
bool IsPrivateFolder(const std::string& path, bool create, std::string& problem);
// Whether the process at the other end of a connected local socket runs as
// this user (its credentials from the kernel, SO_PEERCRED).
bool PeerIsThisUser(int socketFd);

// The data file's companion lock: held by one process at a time, whatever
// session or display it runs in (the bus and the socket are per session).
class DataFileLock {
public:
    explicit DataFileLock(const std::string& dataFile);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // False when another process holds it; holder then names it. A lock
    // that cannot be made, or whose path is not a plain file of the user's
    // (a link, another user's file), stops nobody and is left untouched:
    // Problem() then says why.
    bool TryLock(std::string& holder);
    const std::string& Path() const { return m_path; }
    const std::string& Problem() const { return m_problem; }

private:
    std::string m_path;
    std::string m_problem;
    int m_fd = -1;
};

}  // namespace velto
