#pragma once
// The authorization server stand-in (fake_oauth_server.py) for one test: it
// signs in, refreshes and, for a mail server, checks tokens, on a loopback
// port the system picks.
#include <string>

#include "support/ChildProcess.h"

namespace velto::test {

class OAuthStandIn {
public:
    // user: whom the tokens it issues belong to.
    explicit OAuthStandIn(const std::string& user = "ann@example.com");
    bool Up() const { return m_port != 0; }
    // "/authorize", "/token", "/introspect" on it.
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    // Every access token issued ends; with the refresh token too, a sign-in
    // is the only way back. True once the stand-in has done it.
    bool Expire(bool refreshTokenToo);

private:
    ChildProcess m_process;
    int m_port = 0;
};

}  // namespace velto::test
