#pragma once
#include <memory>
#include <string>

class QCoreApplication;

namespace velto::test {

// Offscreen platform, no SIGPIPE deaths, a private settings hive.
void PrepareTestProcess();
// The widget tests get a QApplication, the others a QCoreApplication.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv);
// A whole file's bytes (empty when it cannot be read).
std::string ReadFile(const std::string& path);
// A fresh private folder below the system's temporary folder; removed at exit.
std::string MakeTempDir(const std::string& stem = "velto");

}  // namespace velto::test
