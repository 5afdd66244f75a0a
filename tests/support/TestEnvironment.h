#pragma once
#include <memory>
#include <string>

namespace velto::test {

// Offscreen platform, no SIGPIPE deaths, a private settings hive.
void PrepareTestProcess();
// A whole file's bytes (empty when it cannot be read).
std::string ReadFile(const std::string& path);
// A fresh private folder below the system's temporary folder; removed at exit.
std::string MakeTempDir(const std::string& stem = "velto");

}  // namespace velto::test
