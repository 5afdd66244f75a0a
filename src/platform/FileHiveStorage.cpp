#include "platform/FileHiveStorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace velto {

namespace {

std::string Describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool MakePrivateFolder(const std::string& folder, std::string& error) {
    if (folder.empty()) return true;
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return true;
    const auto parent = std::filesystem::path(folder).parent_path().string();
    if (parent != folder && !MakePrivateFolder(parent, error)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Describe("cannot create the folder", folder);
        return false;
    }
    return true;
}

}  // namespace

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
    return WriteFileAtomically(m_path, bytes, 0600, error);
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode, std::string& error) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!MakePrivateFolder(folder, error)) return false;
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = Describe("cannot create a temporary file beside", path);
        return false;
    }
    const std::string tmp(name.data());
    auto fail = [&](const std::string& what) {
        error = Describe(what, tmp);
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    };
    if (::fchmod(fd, mode) != 0) return fail("cannot set the permissions of");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail("cannot flush");
    if (::close(fd) != 0) {
        error = Describe("cannot close", tmp);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        error = Describe("cannot replace", path);
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace velto
