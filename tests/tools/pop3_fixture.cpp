// A private Dovecot POP3 server from the command line, for demos and manual
// tries:
//   pop3_fixture [--folder DIR] --user NAME:PASSWORD [--messages NAME:COUNT]
//                [--message NAME:UID:FILE] ... [--tls CERT:KEY] [--imap on] [--trash FOLDER]
// Prints "port N" once the server answers (with --tls also "pop3s N": POP3S
// there, STLS on the first port), then runs until its standard
// input closes or it gets SIGINT/SIGTERM, and stops the server.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include "support/DovecotServer.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

std::vector<std::string> Split(const std::string& text, char sep, std::size_t parts) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (out.size() + 1 < parts) {
        const std::size_t next = text.find(sep, pos);
        if (next == std::string::npos) break;
        out.push_back(text.substr(pos, next - pos));
        pos = next + 1;
    }
    out.push_back(text.substr(pos));
    return out;
}

std::string Generated(const std::string& user, int n) {
    std::ostringstream m;
    m << "From: Sender " << n << " <sender" << n << "@example.com>\r\nTo: " << user
      << "@example.com\r\nSubject: Test message " << n << "\r\nDate: Mon, 7 Dec 1998 14:05:09 -0500\r\n\r\n"
      << "This is test message " << n << ".\r\n";
    return m.str();
}

int Usage() {
    std::cerr << "usage: pop3_fixture [--folder DIR] --user NAME:PASSWORD [--messages NAME:COUNT]"
                 " [--message NAME:UID:FILE]... [--tls CERT:KEY] [--imap on] [--trash FOLDER]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i + 1 < args.size(); i += 2)
        if (args[i] == "--folder") folder = args[i + 1];
    velto::test::DovecotServer server(folder);
    if (args.empty() || args.size() % 2 != 0) return Usage();
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& value = args[i + 1];
        if (args[i] == "--user") {
            const auto p = Split(value, ':', 2);
            if (p.size() != 2) return Usage();
            server.AddUser(p[0], p[1]);
        } else if (args[i] == "--messages") {
            const auto p = Split(value, ':', 2);
            if (p.size() != 2) return Usage();
            for (int n = 1; n <= std::atoi(p[1].c_str()); ++n) {
                char uid[32];
                std::snprintf(uid, sizeof uid, "msg%05d", n);
                server.AddMessage(p[0], uid, Generated(p[0], n));
            }
        } else if (args[i] == "--message") {
            const auto p = Split(value, ':', 3);
            if (p.size() != 3) return Usage();
            std::ifstream in(p[2], std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            server.AddMessage(p[0], p[1], text.str());
        } else if (args[i] == "--tls") {
            const auto p = Split(value, ':', 2);
            if (p.size() != 2) return Usage();
            server.UseTls(p[0], p[1]);
        } else if (args[i] == "--imap") {
            if (value != "on") return Usage();
            server.ServeImap();
        } else if (args[i] == "--trash") {
            server.ImapTrash(value);  // an IMAP folder marked \Trash
        } else if (args[i] != "--folder") {
            return Usage();
        }
    }
    std::string why;
    if (!server.Start(&why)) {
        std::cerr << why << "\n";
        return 1;
    }
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::cout << "port " << server.Port() << std::endl;
    if (server.TlsPort()) std::cout << "pop3s " << server.TlsPort() << std::endl;
    if (server.ImapPort()) std::cout << "imap " << server.ImapPort() << std::endl;
    while (!g_stop) {
        pollfd p{0, POLLIN, 0};
        if (::poll(&p, 1, 500) > 0) {
            char buf[256];
            if (::read(0, buf, sizeof buf) <= 0) break;
        }
    }
    server.Stop();
    return 0;
}
