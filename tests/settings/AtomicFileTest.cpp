#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/AtomicFile.h"

namespace velto {
namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path path = fs::temp_directory_path() / ("atomic-" + std::to_string(::getpid()));
    Folder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    std::string Entries() const {
        std::string names;
        for (const auto& e : fs::directory_iterator(path)) names += e.path().filename().string() + ";";
        return names;
    }
};

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Put(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

unsigned Mode(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

// Makes every write past a few bytes fail, as a full disk would.
struct SizeLimit {
    rlimit before{};
    void (*handler)(int);
    explicit SizeLimit(rlim_t bytes) {
        handler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &before);
        rlimit limit = before;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~SizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, handler);
    }
};

TEST(AtomicFile, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    enum class Fault { FillRefuses, DiskFull, TargetIsAFolder, FolderMissing };
    const struct {
        const char* name;
        Fault fault;
        const char* says;
    } rows[] = {
        {"the content cannot be made", Fault::FillRefuses, "cannot write"},
        {"the disk is full", Fault::DiskFull, "cannot write"},
        {"the rename cannot replace", Fault::TargetIsAFolder, "cannot replace"},
        {"the folder is missing", Fault::FolderMissing, "cannot create a file beside"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Folder folder;
        fs::path target = folder.path / "data";
        if (row.fault == Fault::TargetIsAFolder) fs::create_directory(target);
        else if (row.fault == Fault::FolderMissing) target = folder.path / "gone" / "data";
        else Put(target, "old");
        const std::string before = folder.Entries();

        std::string error;
        bool written = true;
        if (row.fault == Fault::FillRefuses) {
            written = WriteFileAtomically(target.string(), [](std::FILE*) { return false; }, AtomicWrite(), error);
        } else if (row.fault == Fault::DiskFull) {
            SizeLimit limit(8);
            written = WriteFileAtomically(target.string(), std::string(4096, 'x'), AtomicWrite(), error);
        } else {
            written = WriteFileAtomically(target.string(), std::string("new"), AtomicWrite(), error);
        }
        EXPECT_FALSE(written);
        EXPECT_NE(error.find(row.says), std::string::npos) << error;
        EXPECT_EQ(folder.Entries(), before);
        if (fs::is_regular_file(target)) {
            EXPECT_EQ(Read(target), "old");
        }
    }
}

// The settings file may be a link into a dotfiles folder and may have been
// made private by hand: a write goes where the link points and keeps it so.
TEST(AtomicFile, PermissionsAreKeptOrSetAndALinkIsReplacedWhereItPoints) {
    Folder folder;
    const fs::path real = folder.path / "real", link = folder.path / "link";
    Put(real, "old");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink(real, link);
    std::string error;

    ASSERT_TRUE(WriteFileAtomically(link.string(), std::string("kept"), AtomicWrite(), error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(real), "kept");
    EXPECT_EQ(Mode(real), 0640u);

    ASSERT_TRUE(WriteFileAtomically(real.string(), std::string("private"), AtomicWrite(0600), error)) << error;
    EXPECT_EQ(Mode(real), 0600u);
    EXPECT_EQ(Read(real), "private");

    // A private file's missing folders are made, private too.
    const fs::path deep = folder.path / "a" / "b" / "file";
    ASSERT_TRUE(WriteFileAtomically(deep.string(), std::string("x"), AtomicWrite(0600), error)) << error;
    EXPECT_EQ(Mode(folder.path / "a"), 0700u);
    EXPECT_EQ(Read(deep), "x");
    EXPECT_EQ(folder.Entries().find(".new-"), std::string::npos);
}

}  // namespace
}  // namespace velto
