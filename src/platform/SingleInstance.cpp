#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace velto {

namespace {
constexpr int kAnswerMs = 2000;
constexpr const char* kObjectPath = "/org/veltomail/VeltoMail";
constexpr const char* kInterface = "org.veltomail.VeltoMail";
}  // namespace

SingleInstance::SingleInstance(std::string key, QObject* parent) : QObject(parent), m_key(std::move(key)) {}

SingleInstance::~SingleInstance() {
    if (m_server) m_server->close();
}

std::string SingleInstance::BusName() const { return m_key.empty() ? kBusName : std::string(kBusName) + ".i" + m_key; }

std::string SingleInstance::SocketPath() const {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const std::string name = m_key.empty() ? "veltomail.sock" : "veltomail-" + m_key + ".sock";
    if (!runtime.isEmpty()) return runtime.toStdString() + "/" + name;
    // No runtime folder: the temporary one, with the user in the name.
    return QDir::tempPath().toStdString() + "/" + std::to_string(::getuid()) + "-" + name;
}

SingleInstance::Claim SingleInstance::Acquire(std::function<void()> onActivate) {
    m_onActivate = std::move(onActivate);
    return QDBusConnection::sessionBus().isConnected() ? AcquireOnBus() : AcquireSocket();
}

void SingleInstance::Activate() {
    if (m_onActivate) m_onActivate();
}

SingleInstance::Claim SingleInstance::AcquireOnBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString name = QString::fromStdString(BusName());
    // The object first: a start that sees the name must find it answering.
    bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots);
    const auto reply = bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) return Claim::First;
    bus.unregisterObject(kObjectPath);
    const QDBusMessage answer =
        bus.call(QDBusMessage::createMethodCall(name, kObjectPath, kInterface, "Activate"), QDBus::Block, kAnswerMs);
    return answer.type() == QDBusMessage::ReplyMessage ? Claim::HandedOver : Claim::NoAnswer;
}

SingleInstance::Claim SingleInstance::AcquireSocket() {
    const QString path = QString::fromStdString(SocketPath());
    {
        QLocalSocket other;
        other.connectToServer(path);
        if (other.waitForConnected(kAnswerMs)) {
            other.write("activate\n");
            other.flush();
            // The answer says the window was shown; without it the copy
            // that holds the socket is stuck.
            while (!other.canReadLine())
                if (!other.waitForReadyRead(kAnswerMs)) return Claim::NoAnswer;
            return Claim::HandedOver;
        }
    }
    // Nobody answers: a socket left by a copy that was killed.
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) return Claim::First;  // the data file lock still guards the data
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->canReadLine()) return;
                if (peer->readLine(64).trimmed() == "activate") Activate();
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
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
