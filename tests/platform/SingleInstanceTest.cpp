// One running copy without a session bus, and the data file's lock: what a
// shared temporary folder may hold in their place (another user's folder,
// socket or listener, a link to another file) neither stops the program nor
// stands in for it, and no other file is cut short. Rows that need another
// user's files are made as root (chown); elsewhere they are skipped.
#include <gtest/gtest.h>

#include <QByteArray>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/SingleInstance.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;  // nobody
bool Root() { return ::geteuid() == 0; }

// The environment of one row: the temporary folder every user shares (a
// fresh one, open to all as /tmp is) and, when given, a runtime folder.
class ScopedFolders {
public:
    explicit ScopedFolders(const std::string& runtime = {}) : m_shared(test::MakeTempDir("velto-shared")) {
        ::chmod(m_shared.c_str(), 01777);
        Save("TMPDIR", m_tmp);
        Save("XDG_RUNTIME_DIR", m_runtime);
        ::setenv("TMPDIR", m_shared.c_str(), 1);
        if (runtime.empty()) ::unsetenv("XDG_RUNTIME_DIR");
        else ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    ~ScopedFolders() {
        Restore("TMPDIR", m_tmp);
        Restore("XDG_RUNTIME_DIR", m_runtime);
    }
    const std::string& Shared() const { return m_shared; }
    std::string Private() const { return m_shared + "/veltomail-" + std::to_string(::geteuid()); }

private:
    static void Save(const char* name, std::pair<bool, std::string>& slot) {
        const char* v = std::getenv(name);
        slot = {v != nullptr, v ? v : ""};
    }
    static void Restore(const char* name, const std::pair<bool, std::string>& slot) {
        if (slot.first) ::setenv(name, slot.second.c_str(), 1);
        else ::unsetenv(name);
    }
    std::string m_shared;
    std::pair<bool, std::string> m_tmp, m_runtime;
};

struct stat Lstat(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) st.st_mode = 0;
    return st;
}

// A listening socket at path, made without Qt (as another program would).
int Listen(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) return -1;
    return fd;
}

TEST(SingleInstance, WhatOthersLeaveInTheTemporaryFolderNeitherStopsNorStandsIn) {
    struct Row {
        const char* name;
        // Prepares the shared folder; the socket path and the private folder.
        std::function<bool(const std::string& socket, const std::string& folder, std::vector<int>& fds)> make;
        bool socketMade;  // this start listens in the private folder
        bool needsRoot;
    } rows[] = {
        {"nothing there yet", [](const std::string&, const std::string&, std::vector<int>&) { return true; }, true,
         false},
        {"the folder is another user's",
         [](const std::string&, const std::string& folder, std::vector<int>&) {
             return ::mkdir(folder.c_str(), 0700) == 0 && ::chown(folder.c_str(), kOtherUser, kOtherUser) == 0;
         },
         false, true},
        {"the folder is open to others",
         [](const std::string&, const std::string& folder, std::vector<int>&) {
             return ::mkdir(folder.c_str(), 0700) == 0 && ::chmod(folder.c_str(), 0777) == 0;
         },
         false, false},
        {"a link in place of the folder",
         [](const std::string&, const std::string& folder, std::vector<int>&) {
             const std::string target = folder + "-elsewhere";
             return ::mkdir(target.c_str(), 0700) == 0 && ::symlink(target.c_str(), folder.c_str()) == 0;
         },
         false, false},
        {"another user's file in place of the socket",
         [](const std::string& socket, const std::string& folder, std::vector<int>&) {
             ::mkdir(folder.c_str(), 0700);
             std::ofstream(socket) << "x";
             return ::chown(socket.c_str(), kOtherUser, kOtherUser) == 0;
         },
         true, true},
        {"another user's socket, listening but silent",
         [](const std::string& socket, const std::string& folder, std::vector<int>& fds) {
             ::mkdir(folder.c_str(), 0700);
             fds.push_back(Listen(socket));
             return fds.back() >= 0 && ::lchown(socket.c_str(), kOtherUser, kOtherUser) == 0;
         },
         true, true},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && !Root()) continue;
        ScopedFolders env;
        const std::string key = "row" + std::to_string(n++);
        const std::string socket = env.Private() + "/veltomail-" + key + ".sock";
        std::vector<int> fds;
        ASSERT_TRUE(row.make(socket, env.Private(), fds));
        const struct stat folderBefore = Lstat(env.Private());
        {
            SingleInstance instance(key);
            int activated = 0;
            EXPECT_EQ(instance.AcquireSocket({}, [&](const std::string&) { ++activated; }), SingleInstance::Claim::First);
            const struct stat made = Lstat(socket);
            EXPECT_EQ(S_ISSOCK(made.st_mode) && made.st_uid == ::geteuid(), row.socketMade);
            EXPECT_EQ(activated, 0);
        }
        // A folder this start did not take is left as it was.
        if (!row.socketMade) {
            const struct stat after = Lstat(env.Private());
            EXPECT_EQ(after.st_mode, folderBefore.st_mode);
            EXPECT_EQ(after.st_uid, folderBefore.st_uid);
            if (S_ISLNK(after.st_mode)) {
                EXPECT_TRUE(fs::is_empty(env.Private() + "-elsewhere"));
            }
        }
        for (int fd : fds) ::close(fd);
    }
}

// The data file's lock: a plain file of the user's, opened without
// following a link; anything else is left untouched and locks nothing.
TEST(DataFileLock, OnlyAPlainFileOfTheUsersIsLockedAndNothingElseIsCut) {
    const std::string base = test::MakeTempDir("velto-lock");
    const std::string kept = "another file's text\n";
    struct Row {
        const char* name;
        std::function<void(const std::string& lock, const std::string& other)> make;
        bool locked;  // the lock file holds our pid
        bool needsRoot = false;
    } rows[] = {
        {"nothing there yet", [](const std::string&, const std::string&) {}, true},
        {"the user's file of an earlier run",
         [](const std::string& lock, const std::string&) { std::ofstream(lock) << "999999\nold text"; }, true},
        {"a link to another file", [](const std::string& lock, const std::string& other) { fs::create_symlink(other, lock); },
         false},
        {"a link to nothing yet",
         [](const std::string& lock, const std::string& other) {
             fs::remove(other);
             fs::create_symlink(other, lock);
         },
         false},
        {"a second name of another file",
         [](const std::string& lock, const std::string& other) { fs::create_hard_link(other, lock); }, false},
        {"a folder", [](const std::string& lock, const std::string&) { fs::create_directory(lock); }, false},
        {"a pipe", [](const std::string& lock, const std::string&) { ::mkfifo(lock.c_str(), 0600); }, false},
        {"another user's file",
         [&](const std::string& lock, const std::string&) {
             std::ofstream(lock) << kept;
             (void)!::chown(lock.c_str(), kOtherUser, kOtherUser);
         },
         false, true},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && !Root()) continue;
        const std::string folder = base + "/r" + std::to_string(n++);
        fs::create_directories(folder);
        const std::string data = folder + "/maildata.vlt";
        const std::string other = folder + "/other.txt";
        std::ofstream(other) << kept;
        row.make(data + ".lock", other);
        const auto otherBefore = fs::exists(other) ? test::ReadFile(other) : std::string("<none>");
        DataFileLock lock(data);
        std::string holder;
        EXPECT_TRUE(lock.TryLock(holder));  // nothing here stops the start
        EXPECT_EQ(lock.Problem().empty(), row.locked) << lock.Problem();
        EXPECT_EQ(fs::exists(other) ? test::ReadFile(other) : std::string("<none>"), otherBefore);
        const struct stat st = Lstat(data + ".lock");
        if (row.locked) {
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_EQ(test::ReadFile(data + ".lock"), std::to_string(::getpid()) + "\n");
            // A second holder in this process is refused and told who holds it.
            DataFileLock second(data);
            std::string who;
            EXPECT_FALSE(second.TryLock(who));
            EXPECT_EQ(who, "process " + std::to_string(::getpid()));
        } else if (row.needsRoot) {
            EXPECT_EQ(test::ReadFile(data + ".lock"), kept);
            EXPECT_EQ(st.st_uid, kOtherUser);
        }
    }
}

}  // namespace
}  // namespace velto
