// Arbitrary server bytes through a whole POP3 check, as the engine runs it
// (one message at a time, or the quick check's listing and batches), plus a
// retrieve and a delete: connect to QUIT.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzServer.h"
#include "protocol/PopMail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const unsigned knownMask = data.ConsumeIntegral<unsigned>();
    const bool quick = data.ConsumeBool();
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
    const int walked = std::min(count, 32);
    auto isNew = [&](int n) { return (knownMask & (1u << (n - 1))) == 0; };
    std::vector<velto::CPopMail::UniqueId> ids;
    if (quick && pop.ListUniqueIds(walked, ids)) {
        std::erase_if(ids, [&](const auto& id) { return !isNew(id.number); });
        pop.GetHeaders(ids, pop.SupportsPipelining(), [](const auto&, velto::CMailHeader& record) {
            velto::MailDate date;
            record.GetDate(date);
            return true;
        });
    } else {
        std::string uid;
        for (int n = 1; n <= walked; ++n) {
            pop.GetUniqueId(n, uid);
            if (!isNew(n)) continue;  // a message seen before
            velto::CMailHeader record;
            if (pop.GetHeader(n, record)) {
                velto::MailDate date;
                record.GetDate(date);
            }
        }
    }
    std::string text;
    pop.GetMessage(1, text);
    pop.DeleteMessage(1);
    pop.Quit();
    return 0;
}
