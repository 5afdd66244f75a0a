#include "settings/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace velto {

namespace {

std::string Describe(const std::string& what, const std::string& path, int code = errno) {
    return what + " " + path + ": " + std::strerror(code);
}

std::string FolderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool MakePrivateFolder(const std::string& folder, std::string& error) {
    struct stat st {};
    if (folder == "." || folder == "/" || ::stat(folder.c_str(), &st) == 0) return true;
    if (!MakePrivateFolder(FolderOf(folder), error)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Describe("cannot create the folder", folder);
        return false;
    }
    return true;
}

// Opened with the new file's mode, so the umask applies as to any new file
// (mkstemp would make every one 0600).
int CreateBeside(const std::string& path, unsigned mode, std::string& temporary) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = path + ".new-";
        for (int i = 0; i < 6; ++i) temporary += kLetters[random() % (sizeof kLetters - 1)];
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// A file reached through a link is replaced where it really lives.
std::string ResolveLinks(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char real[PATH_MAX];
    return ::realpath(path.c_str(), real) ? std::string(real) : path;
}

}  // namespace

bool WriteFileAtomically(const std::string& linkedPath, const std::function<bool(std::FILE*)>& fill,
                         const AtomicWrite& how, std::string& error) {
    const std::string path = ResolveLinks(linkedPath);
    const std::string folder = FolderOf(path);
    if (how.makeFolder && !MakePrivateFolder(folder, error)) return false;
    std::string temporary;
    const int fd = CreateBeside(path, how.mode, temporary);
    if (fd < 0) {
        error = Describe("cannot create a file beside", path);
        return false;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    auto fail = [&](const std::string& text) {
        error = text;
        if (file) std::fclose(file);
        else ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    };
    if (!file) return fail(Describe("cannot write", temporary));
    std::setvbuf(file, nullptr, _IONBF, 0);

    struct stat old {};
    const bool existed = how.keepMode && ::stat(path.c_str(), &old) == 0;
    const unsigned mode = existed ? old.st_mode & 07777 : how.mode & 07777;
    if ((existed || !how.keepMode) && ::fchmod(fd, mode) != 0)
        return fail(Describe("cannot set the permissions of", temporary));
    errno = 0;
    if (!fill(file)) return fail(errno ? Describe("cannot write", temporary) : "cannot write " + temporary);
    if (std::fflush(file) != 0 || ::fsync(fd) != 0) return fail(Describe("cannot flush", temporary));
    const int closed = std::fclose(file);
    file = nullptr;
    if (closed != 0) {
        error = Describe("cannot close", temporary);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = Describe("cannot replace", path);
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with its folder.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, const AtomicWrite& how,
                         std::string& error) {
    return WriteFileAtomically(
        path, [&bytes](std::FILE* file) { return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(); },
        how, error);
}

}  // namespace velto
