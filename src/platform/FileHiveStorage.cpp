#include "platform/FileHiveStorage.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace velto {

std::string UserFolder(const char* variable, const char* fallbackBelowHome) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/" + fallbackBelowHome;
}

std::string FileHiveStorage::DefaultPath() {
    return UserFolder("XDG_CONFIG_HOME", ".config") + "/VeltoMail/registry.reg";
}

HiveStorage::ReadResult FileHiveStorage::Read(std::string& bytes, std::string& error) {
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ReadResult::Missing;
        error = std::strerror(errno);
        return ReadResult::Failed;
    }
    bytes.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

bool FileHiveStorage::Write(const std::string& bytes, std::string& error) {
    return WriteFileAtomically(m_path, bytes, AtomicWrite(0600), error);
}

}  // namespace velto
