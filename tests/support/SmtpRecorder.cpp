#include "support/TestEnvironment.h"
#include "support/SmtpRecorder.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velto::test {

namespace fs = std::filesystem;

namespace {

// Debian's interpreter, which has python3-aiosmtpd; another python3 on the
// PATH may not.
constexpr const char* kPython = "/usr/bin/python3";

std::string Script() { return std::string(VELTO_SOURCE_DIR) + "/tests/support/smtp_recorder.py"; }

std::string ReadFile(const fs::path& path) { return test::ReadFile(path.string()); }

}  // namespace

SmtpRecorder::SmtpRecorder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/velto-smtp-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_folder = pattern;
}

SmtpRecorder::~SmtpRecorder() {
    Stop();
    std::error_code ec;
    fs::remove_all(m_folder, ec);
}

bool SmtpRecorder::Installed() {
    return ::access(kPython, X_OK) == 0 && ::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") == 0;
}

bool SmtpRecorder::Start(std::string* error, const std::vector<std::string>& options) {
    std::vector<std::string> argv{kPython, Script(), m_folder};
    argv.insert(argv.end(), options.begin(), options.end());
    if (!m_process.Start(argv, m_folder + "/recorder.log", true, error)) return false;
    std::string line;
    if (!m_process.ReadLine(line, std::chrono::milliseconds(15'000)) || (m_port = std::atoi(line.c_str())) <= 0) {
        if (error) *error = "SMTP recorder did not start: " + ReadFile(m_folder + "/recorder.log");
        m_process.Stop();
        return false;
    }
    return true;
}

void SmtpRecorder::Stop() { m_process.Stop(); }

std::vector<SmtpRecorder::Message> SmtpRecorder::Messages() const {
    std::vector<Message> messages;
    for (int n = 1;; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "%06d", n);
        const fs::path eml = fs::path(m_folder) / (std::string(name) + ".eml");
        if (!fs::exists(eml)) break;
        Message m;
        m.content = ReadFile(eml);
        std::istringstream env(ReadFile(fs::path(m_folder) / (std::string(name) + ".env")));
        std::getline(env, m.mailFrom);
        for (std::string rcpt; std::getline(env, rcpt);) {
            if (rcpt.rfind("auth=", 0) == 0) {
                m.signedInAs = rcpt.substr(5);
            } else if (rcpt == "tls") {
                m.encrypted = true;
            } else {
                m.rcptTo.push_back(rcpt);
            }
        }
        messages.push_back(std::move(m));
    }
    return messages;
}

}  // namespace velto::test
