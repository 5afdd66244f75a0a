#include "support/OAuthStandIn.h"

#include "support/TestEnvironment.h"

namespace velto::test {

using namespace std::chrono_literals;

OAuthStandIn::OAuthStandIn(const std::string& user) {
    std::string line;
    if (m_process.Start({"/usr/bin/python3", VELTO_SOURCE_DIR "/tests/support/fake_oauth_server.py", user},
                        MakeTempDir("velto-oauth") + "/server.log", true, nullptr) &&
        m_process.ReadLine(line, 10s))
        m_port = std::atoi(line.c_str());
}

bool OAuthStandIn::Expire(bool refreshTokenToo) {
    std::string line;
    return m_process.WriteLine(refreshTokenToo ? "revoke" : "expire") && m_process.ReadLine(line, 10s) &&
           line.rfind("done", 0) == 0;
}

}  // namespace velto::test
