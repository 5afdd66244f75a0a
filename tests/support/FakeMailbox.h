#pragma once
// A POP3 mailbox served over a loopback port for one connection: answers
// whatever the client asks, in order, whether commands come one at a time
// or in batches. Its faults are chosen by the test.
#include <memory>
#include <string>
#include <vector>

#include "support/LoopbackServer.h"

namespace velto::test {

struct FakeMailbox {
    struct Message {
        std::string uid;
        std::string header;  // lines ending CR LF
    };
    std::vector<Message> messages;
    bool listing = true;       // "UIDL" without argument works
    bool pipelining = true;    // CAPA announces PIPELINING
    int omitFromListing = 0;   // this number is left out of the listing
    int listTwice = 0;         // this number is listed twice
    int dropAfterTops = -1;    // the connection closes after this many TOP replies
    bool capa = true;          // CAPA is known (optional in POP3)
    bool listBackwards = false;  // the listing names the last message first
    int refuseTop = 0;         // TOP of this number is refused
    std::string token;         // "AUTH XOAUTH2" takes this token (and no other)
    std::string tokenUser = "ann@example.com";

    // Serves one connection on a port of its own, waiting for it as long as
    // acceptLimit.
    std::unique_ptr<LoopbackServer> Serve(std::chrono::milliseconds acceptLimit = LoopbackServer::kStepLimit) const;
};

// Two messages for the account "ann" (ann@example.com on pop.test), which
// signs in with the token "good" over TLS; the account's settings text.
FakeMailbox TokenMailbox();
std::string TokenAccountSettings();

}  // namespace velto::test
