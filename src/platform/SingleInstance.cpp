#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velto {

namespace {
constexpr int kAnswerMs = 2000;
// "activate" and a token of at most a few hundred bytes.
constexpr qint64 kLineMax = 600;
constexpr const char* kObjectPath = "/org/veltomail/VeltoMail";
constexpr const char* kInterface = "org.veltomail.VeltoMail";
}  // namespace

SingleInstance::SingleInstance(std::string key, QObject* parent) : QObject(parent), m_key(std::move(key)) {}

SingleInstance::~SingleInstance() {
    if (m_server) m_server->close();
}

std::string SingleInstance::BusName() const { return m_key.empty() ? kBusName : std::string(kBusName) + ".i" + m_key; }

bool IsPrivateFolder(const std::string& path, bool create, std::string& problem) {
    if (create && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = path + " cannot be made: " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) problem = path + " is a symbolic link";
    else if (!S_ISDIR(st.st_mode)) problem = path + " is not a folder";
    else if (st.st_uid != ::geteuid()) problem = path + " belongs to another user";
    else if ((st.st_mode & 077) != 0) problem = path + " is open to other users";
    else return true;
    return false;
}

bool PeerIsThisUser(int socketFd) {
    struct ucred peer {};
    socklen_t length = sizeof peer;
    return socketFd >= 0 && ::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           length == sizeof peer && peer.uid == ::geteuid();
}

std::string SingleInstance::SocketPath(std::string& problem) const {
    const std::string name = m_key.empty() ? "veltomail.sock" : "veltomail-" + m_key + ".sock";
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    std::string why;
    if (!runtime.isEmpty() && IsPrivateFolder(runtime.toStdString(), false, why))
        return runtime.toStdString() + "/" + name;
    // No runtime folder of the user's: one of its own in the temporary
    // folder, which every user shares. A folder of that name made by
    // someone else is refused, never used.
    const std::string folder = QDir::tempPath().toStdString() + "/veltomail-" + std::to_string(::geteuid());
    if (!IsPrivateFolder(folder, true, problem)) return {};
    return folder + "/" + name;
}

SingleInstance::Claim SingleInstance::Acquire(const std::string& token, OnActivate onActivate) {
    if (!QDBusConnection::sessionBus().isConnected()) return AcquireSocket(token, std::move(onActivate));
    m_onActivate = std::move(onActivate);
    return AcquireOnBus(token);
}

void SingleInstance::Activate() { ActivateWithToken({}); }

void SingleInstance::ActivateWithToken(const QString& token) {
    if (m_onActivate) m_onActivate(token.toStdString());
}

SingleInstance::Claim SingleInstance::AcquireOnBus(const std::string& token) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString name = QString::fromStdString(BusName());
    // The object first: a start that sees the name must find it answering.
    bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots);
    const auto reply = bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) return Claim::First;
    bus.unregisterObject(kObjectPath);
    QDBusMessage call = QDBusMessage::createMethodCall(name, kObjectPath, kInterface, "ActivateWithToken");
    call << QString::fromStdString(token);
    QDBusMessage answer = bus.call(call, QDBus::Block, kAnswerMs);
    // A copy of an earlier version knows the call without a token only.
    if (answer.type() == QDBusMessage::ErrorMessage && answer.errorName() == "org.freedesktop.DBus.Error.UnknownMethod")
        answer = bus.call(QDBusMessage::createMethodCall(name, kObjectPath, kInterface, "Activate"), QDBus::Block,
                          kAnswerMs);
    return answer.type() == QDBusMessage::ReplyMessage ? Claim::HandedOver : Claim::NoAnswer;
}

SingleInstance::Claim SingleInstance::AcquireSocket(const std::string& token, OnActivate onActivate) {
    m_onActivate = std::move(onActivate);
    std::string problem;
    const std::string socketPath = SocketPath(problem);
    if (socketPath.empty()) {
        std::fprintf(stderr, "VeltoMail: no private folder for the running copy's socket: %s\n", problem.c_str());
        return Claim::First;  // the data file lock still guards the data
    }
    const QString path = QString::fromStdString(socketPath);
    // Only a socket of this user's is asked; whatever else is there goes.
    struct stat st {};
    const bool ours = ::lstat(socketPath.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid();
    if (ours) {
        QLocalSocket other;
        other.connectToServer(path);
        // The listener must run as this user: anything else stands in for
        // no copy of ours.
        if (other.waitForConnected(kAnswerMs) && PeerIsThisUser(static_cast<int>(other.socketDescriptor()))) {
            // "activate", a blank and the token when there is one.
            other.write(("activate" + (token.empty() ? std::string() : " " + token) + "\n").c_str());
            other.flush();
            // The answer says the window was shown; without it the copy
            // that holds the socket is stuck.
            while (!other.canReadLine())
                if (!other.waitForReadyRead(kAnswerMs)) return Claim::NoAnswer;
            return Claim::HandedOver;
        }
    }
    // Nobody answers: a socket left by a copy that was killed, or not ours.
    ::unlink(socketPath.c_str());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) return Claim::First;  // the data file lock still guards the data
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            // Only this user's starts may show the window.
            if (!PeerIsThisUser(static_cast<int>(peer->socketDescriptor()))) {
                peer->abort();
                peer->deleteLater();
                continue;
            }
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->canReadLine()) {
                    if (peer->bytesAvailable() > kLineMax) peer->abort();
                    return;
                }
                const QByteArray line = peer->readLine(kLineMax).trimmed();
                if (line == "activate") ActivateWithToken({});
                else if (line.startsWith("activate ")) ActivateWithToken(QString::fromLatin1(line.mid(9)));
                peer->write("ok\n");
                peer->disconnectFromServer();
            });
        }
    });
    return Claim::First;
}

DataFileLock::DataFileLock(const std::string& dataFile) : m_path(dataFile + ".lock") {}

DataFileLock::~DataFileLock() {
    if (m_fd >= 0) ::close(m_fd);
}

bool DataFileLock::TryLock(std::string& holder) {
    if (m_fd < 0) {
        // The data file's folder may not be there yet at the first start.
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(m_path).parent_path();
        if (!folder.empty() && std::filesystem::create_directories(folder, ec))
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
        // Never through a link, and only a plain file of the user's: the
        // pid written below must not cut another file short (the data file
        // may lie in a folder that others can write).
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat st {};
        if (m_fd < 0) {
            m_problem = m_path + (errno == ELOOP ? std::string(" is a symbolic link")
                                                 : std::string(" cannot be opened: ") + std::strerror(errno));
        } else if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
            // A folder, a pipe, another user's file, or a second name of a
            // file that lives elsewhere.
            m_problem = m_path + " is not a file of this user's alone";
            ::close(m_fd);
            m_fd = -1;
        }
    }
    // A lock that cannot be made (a read-only folder) stops nobody: the
    // data file could not be written there either.
    if (m_fd < 0) return true;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        // The number only names the holder to a refused start.
        const std::string pid = std::to_string(::getpid()) + "\n";
        const bool noted = ::ftruncate(m_fd, 0) == 0 && ::pwrite(m_fd, pid.data(), pid.size(), 0) > 0;
        (void)noted;
        return true;
    }
    char text[32] = {};
    const ssize_t n = ::pread(m_fd, text, sizeof text - 1, 0);
    holder = n > 0 ? "process " + std::string(text, static_cast<std::size_t>(n)) : "another process";
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) holder.pop_back();
    return false;
}

}  // namespace velto
