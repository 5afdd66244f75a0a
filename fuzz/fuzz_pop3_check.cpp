// Arbitrary server bytes through a whole POP3 check, as the engine runs it,
// plus a retrieve and a delete: connect to QUIT.
#include <algorithm>
#include <cstdint>

#include "FuzzServer.h"
#include "protocol/PopMail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const unsigned knownMask = data.ConsumeIntegral<unsigned>();
    auto server = velto::fuzz::ServerPackets(data);
    velto::fuzz::TouchingLogSink log;
    velto::CPopMail pop(&log, server);
    if (!pop.Connect("mail.example.com", 110)) return 0;
    if (!pop.Login("user", "password")) {
        if (pop.WasAnswered()) pop.Quit();
        return 0;
    }
    int count = 0, total = 0;
    if (!pop.GetMailboxStatus(count, total)) {
        pop.Quit();
        return 0;
    }
    std::string uid;
    for (int n = 1; n <= std::min(count, 32); ++n) {
        pop.GetUniqueId(n, uid);
        std::uint32_t hash = 0;
        velto::CPopMail::HashUniqueId(uid, hash);
        if (knownMask & (1u << (n - 1))) continue;  // a message seen before
        velto::CMailHeader record;
        if (pop.GetHeader(n, record)) {
            velto::MailDate date;
            record.GetDate(date);
        }
    }
    std::string text;
    pop.GetMessage(1, text);
    pop.DeleteMessage(1);
    pop.Quit();
    return 0;
}
