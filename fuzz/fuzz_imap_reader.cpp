// Arbitrary server bytes through the IMAP reader alone (small bounds, so
// they are reached), then through a whole session as a check and a watch
// run it: sign-in, folders, examine, unseen search, batched headers, a
// read, a delete, an idle, logout.
#include <cstdint>
#include <vector>

#include "FuzzServer.h"
#include "protocol/ImapMail.h"

namespace {

void ReadAll(velto::fuzz::TouchingLogSink& log, std::shared_ptr<velto::test::ScriptedTransportFactory> server) {
    auto socket = server->Create();
    socket->Connect("mail.example.com", 143);
    velto::ImapReader reader;
    velto::ImapLimits limits;
    limits.line = 512;
    limits.literal = 256;
    limits.response = 1024;
    limits.depth = 8;
    reader.SetLimits(limits);
    reader.Attach(socket.get());
    velto::ImapResponse response;
    std::string touched;
    while (reader.Next(response)) {
        // Every byte of a response counts against its bound, lines too.
        if (reader.Raw().size() > limits.response) __builtin_trap();
        touched.assign(reader.Raw());
        for (const auto& item : response.items) touched += item.text;
        log.AppendOutput(touched);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const bool session = data.ConsumeBool();
    auto server = velto::fuzz::ServerPackets(data);
    velto::fuzz::TouchingLogSink log;
    if (!session) {
        ReadAll(log, server);
        return 0;
    }
    velto::CImapMail imap(&log, server);
    if (!imap.Connect("mail.example.com", 143)) return 0;
    if (!imap.Login("user", "password", true)) {
        imap.Logout();
        return 0;
    }
    std::vector<velto::ImapFolder> folders;
    imap.List(folders);
    std::uint32_t next = 0, unseenCount = 0;
    imap.Status("Entwürfe", next, unseenCount);
    velto::ImapFolderState state;
    if (imap.Examine("INBOX", state)) {
        std::vector<std::uint32_t> unseen;
        if (imap.SearchUnseen(unseen)) {
            if (unseen.size() > 64) unseen.resize(64);
            imap.FetchHeaders(unseen, [](std::uint32_t, velto::CMailHeader& record) {
                velto::MailDate date;
                record.GetDate(date);
                return true;
            });
            std::string text;
            if (!unseen.empty()) imap.FetchMessage(unseen.front(), text);
            bool expunged = false;
            if (!unseen.empty()) imap.Delete({unseen.front()}, false, expunged);
        }
        velto::ImapIdleNews news;
        imap.Idle(0, news);
        imap.Noop();
    }
    imap.Logout();
    return 0;
}
