#include "support/TestEnvironment.h"

#include <QApplication>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <mutex>
#include <vector>

namespace velto::test {

namespace {
std::mutex g_dirsMutex;
std::vector<std::string> g_dirs;

void RemoveDirs() {
    std::lock_guard lock(g_dirsMutex);
    std::error_code ec;
    for (const auto& d : g_dirs) std::filesystem::remove_all(d, ec);
}
}  // namespace

void PrepareTestProcess() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::signal(SIGPIPE, SIG_IGN);
    // Nothing a test does may touch the real user's settings or data.
    const std::string home = MakeTempDir("velto-home");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
    std::atexit(RemoveDirs);
}

std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv) {
    return std::make_unique<QApplication>(argc, argv);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string MakeTempDir(const std::string& stem) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + stem + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) std::abort();
    std::lock_guard lock(g_dirsMutex);
    g_dirs.emplace_back(buf.data());
    return g_dirs.back();
}

}  // namespace velto::test
