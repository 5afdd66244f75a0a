#include "support/FakeMailbox.h"

#include <sstream>

#include "protocol/SaslText.h"

namespace velto::test {

namespace {

std::string Size(const FakeMailbox::Message& m) { return std::to_string(m.header.size() + 100); }

}  // namespace

std::unique_ptr<LoopbackServer> FakeMailbox::Serve(std::chrono::milliseconds acceptLimit) const {
    return std::make_unique<LoopbackServer>([box = *this](ServerConnection& c) {
        const int count = static_cast<int>(box.messages.size());
        auto at = [&](int n) -> const Message* { return n >= 1 && n <= count ? &box.messages[n - 1] : nullptr; };
        int tops = 0;
        c.SendBytes("+OK ready\r\n");
        std::string line;
        while (c.ReadLine(line, LoopbackServer::kStepLimit)) {
            std::istringstream in(line);
            std::string command;
            int n = 0;
            in >> command >> n;
            const bool argument = static_cast<bool>(in);
            std::string reply;
            if (command == "USER" || command == "PASS") {
                reply = "+OK\r\n";
            } else if (command == "AUTH" && line.find("XOAUTH2") != std::string::npos && !box.token.empty()) {
                std::string response;
                if (!c.SendBytes("+ \r\n") || !c.ReadLine(response, LoopbackServer::kStepLimit)) return;
                while (!response.empty() && (response.back() == '\r' || response.back() == '\n')) response.pop_back();
                if (response == XOAuth2Response(box.tokenUser, box.token)) {
                    reply = "+OK signed in\r\n";
                } else {
                    // The refusal's challenge; an empty line ends it.
                    if (!c.SendBytes("+ eyJzdGF0dXMiOiI0MDEifQ==\r\n") || !c.ReadLine(response, LoopbackServer::kStepLimit))
                        return;
                    reply = "-ERR [AUTH] token refused\r\n";
                }
            } else if (command == "STAT") {
                reply = "+OK " + std::to_string(count) + " 9999\r\n";
            } else if (command == "CAPA" && box.capa) {
                reply = std::string("+OK\r\nUIDL\r\nTOP\r\n") + (box.pipelining ? "PIPELINING\r\n" : "") + ".\r\n";
            } else if (command == "UIDL" && !argument) {
                if (!box.listing) {
                    reply = "-ERR no listing here\r\n";
                } else {
                    reply = "+OK\r\n";
                    for (int k = 1; k <= count; ++k) {
                        const int i = box.listBackwards ? count + 1 - k : k;
                        if (i == box.omitFromListing) continue;
                        const std::string entry = std::to_string(i) + " " + box.messages[i - 1].uid + "\r\n";
                        reply += entry;
                        if (i == box.listTwice) reply += entry;
                    }
                    reply += ".\r\n";
                }
            } else if (command == "UIDL" && at(n)) {
                reply = "+OK " + std::to_string(n) + " " + at(n)->uid + "\r\n";
            } else if (command == "LIST" && at(n)) {
                reply = "+OK " + std::to_string(n) + " " + Size(*at(n)) + "\r\n";
            } else if (command == "TOP" && at(n) && n != box.refuseTop) {
                if (tops++ == box.dropAfterTops) return;
                reply = "+OK\r\n" + at(n)->header + ".\r\n";
            } else if (command == "RETR" && at(n)) {
                reply = "+OK\r\n" + at(n)->header + "\r\nbody of " + at(n)->uid + "\r\n.\r\n";
            } else if (command == "DELE" && at(n)) {
                reply = "+OK deleted\r\n";
            } else if (command == "QUIT") {
                c.SendBytes("+OK bye\r\n");
                return;
            } else {
                reply = "-ERR what\r\n";
            }
            if (!c.SendBytes(reply)) return;
        }
    }, false, acceptLimit);
}

FakeMailbox TokenMailbox() {
    FakeMailbox box;
    box.token = "good";
    box.messages = {{"a", "Subject: one\r\n"}, {"b", "Subject: two\r\n"}};
    return box;
}

std::string TokenAccountSettings() {
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\ann]\r\n"
           "\"Account Name\"=\"ann\"\r\n\"Server Name\"=\"pop.test\"\r\n\"User Name\"=\"ann\"\r\n"
           "\"Email Address\"=\"ann@example.com\"\r\n\"Incoming Sign In\"=dword:00000001\r\n"
           "\"Incoming Security\"=dword:00000001\r\n\"Incoming Port\"=dword:0000006e\r\n\r\n";
}

}  // namespace velto::test
