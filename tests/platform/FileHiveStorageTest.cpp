#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/FileHiveStorage.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) { return test::ReadFile(path); }

int EntriesIn(const std::string& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
    return n;
}

TEST(FileHiveStorage, WritesAPrivateFileInAPrivateFolderAndReadsItBack) {
    const std::string dir = test::MakeTempDir();
    const std::string path = dir + "/nested/VeltoMail/registry.reg";
    FileHiveStorage storage(path);
    std::string bytes, error;
    EXPECT_EQ(storage.Read(bytes, error), HiveStorage::ReadResult::Missing);
    ASSERT_TRUE(storage.Write("REGEDIT4\r\n", error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir + "/nested/VeltoMail").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(storage.Read(bytes, error), HiveStorage::ReadResult::Ok);
    EXPECT_EQ(bytes, "REGEDIT4\r\n");
    ASSERT_TRUE(storage.Write("second", error));
    EXPECT_EQ(Read(path), "second");
    EXPECT_EQ(EntriesIn(dir + "/nested/VeltoMail"), 1);  // no temporary file left behind
}

TEST(FileHiveStorage, AWriteThatFailsHalfWayLeavesTheOldFileWhole) {
    const std::string dir = test::MakeTempDir();
    const std::string path = dir + "/registry.reg";
    FileHiveStorage storage(path);
    std::string error;
    ASSERT_TRUE(storage.Write("the old settings", error));
    // A disk that fills up: the file size limit makes the write fail midway.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = storage.Write(std::string(100000, 'x'), error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Read(path), "the old settings");
    EXPECT_EQ(EntriesIn(dir), 1);
}

TEST(FileHiveStorage, AFolderThatCannotBeMadeIsAnError) {
    const std::string dir = test::MakeTempDir();
    std::ofstream(dir + "/blocker") << "a file where a folder should be";
    FileHiveStorage storage(dir + "/blocker/VeltoMail/registry.reg");
    std::string error;
    EXPECT_FALSE(storage.Write("x", error));
    EXPECT_NE(error.find("blocker"), std::string::npos);
}

TEST(FileHiveStorage, DefaultPathFollowsTheConfigFolder) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/x/conf", 1);
    EXPECT_EQ(FileHiveStorage::DefaultPath(), "/x/conf/VeltoMail/registry.reg");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(FileHiveStorage::DefaultPath(), std::string(std::getenv("HOME")) + "/.config/VeltoMail/registry.reg");
    setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
}

}  // namespace
}  // namespace velto
