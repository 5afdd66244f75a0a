#pragma once
// A private SMTP server for tests (Debian's python3-aiosmtpd, run by
// smtp_recorder.py) on a loopback port it picks; keeps each message it
// accepts, byte for byte.
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace velto::test {

class SmtpRecorder {
public:
    struct Message {
        std::string mailFrom;
        std::vector<std::string> rcptTo;
        std::string content;  // as received, transparency dots removed
        std::string signedInAs;  // the user name of the sign-in; empty for none
        bool encrypted = false;  // the session was under TLS when the message came
    };

    SmtpRecorder();
    ~SmtpRecorder();
    SmtpRecorder(const SmtpRecorder&) = delete;
    SmtpRecorder& operator=(const SmtpRecorder&) = delete;

    static bool Installed();
    // options: more arguments for smtp_recorder.py (--cert, --key,
    // --implicit, --auth, --no-plain).
    bool Start(std::string* error = nullptr, const std::vector<std::string>& options = {});
    void Stop();
    int Port() const { return m_port; }
    std::vector<Message> Messages() const;

private:
    std::string m_folder;
    int m_port = 0;
    ChildProcess m_process;
};

}  // namespace velto::test
