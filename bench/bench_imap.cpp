// IMAP on a loopback Dovecot, side by side in one run:
//  - first check of a 10,000-message INBOX with 20 unseen: what crosses the
//    wire (header fetch commands, headers) and how long it takes;
//  - push latency: a message delivered to the mailbox, to the moment a bare
//    IDLE client hears of it and to the moment its row is in the program's
//    list (median of five deliveries, each alternating);
//  - idle: the program's CPU time while its watch waits, per minute.
#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "net/PosixTransport.h"
#include "protocol/ImapMail.h"
#include "support/DovecotServer.h"
#include "support/RecordingLogSink.h"
#include "support/qt/EngineHarness.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

std::string Message(int n) {
    return "From: Sender " + std::to_string(n) + " <s" + std::to_string(n) + "@example.org>\r\nSubject: Message " +
           std::to_string(n) + "\r\n\r\nbody\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!velto::test::DovecotServer::ImapInstalled()) {
        std::fprintf(stderr, "bench_imap: dovecot-imapd is not installed\n");
        return 0;
    }
    const int size = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int unseen = 20;
    velto::test::DovecotServer server;
    server.AddUser("ann", "secret");
    for (int n = 1; n <= size; ++n) server.AddMessage("ann", "m" + std::to_string(n), Message(n));
    // All but the last ones read already.
    const std::string cur = server.Folder() + "/mail/ann/Maildir/cur/";
    for (int n = 1; n <= size - unseen; ++n)
        std::filesystem::rename(cur + "m" + std::to_string(n) + ":2,", cur + "m" + std::to_string(n) + ":2,S");
    server.ServeImap();
    std::string why;
    if (!server.Start(&why)) {
        std::fprintf(stderr, "bench_imap: %s\n", why.c_str());
        return 1;
    }
    std::printf("== %d messages, %d unseen\n", size, unseen);

    // First check: what the program's check does for a new account.
    {
        velto::test::RecordingLogSink log;
        velto::CImapMail imap(&log, velto::MakePosixTransportFactory());
        const auto t0 = Clock::now();
        velto::ImapFolderState state;
        std::vector<std::uint32_t> uids;
        int headers = 0;
        const bool ok = imap.Connect("127.0.0.1", server.ImapPort()) && imap.Login("ann", "secret", true) &&
                        imap.Examine("INBOX", state) && imap.SearchUnseen(uids) &&
                        imap.FetchHeaders(uids, [&](std::uint32_t, velto::CMailHeader&) { return ++headers, true; });
        imap.Logout();
        const double took = Ms(Clock::now() - t0);
        int fetches = 0;
        for (const auto& line : log.Lines()) fetches += line.find("UID FETCH") != std::string::npos;
        std::printf("first check: %s, %.1f ms; %d headers in %d fetch command(s) [goal: %d in 1]\n",
                    ok ? "ok" : "FAILED", took, headers, fetches, unseen);
    }

    // Push: a bare IDLE client and the program, to the same deliveries.
    const std::string settings = velto::test::AnnAccountText("127.0.0.1", server.ImapPort(),
                                                            "\"Incoming Protocol\"=dword:00000001\r\n");
    velto::test::EngineHarness h(settings, velto::MakePosixTransportFactory(), nullptr, nullptr, nullptr, false, {}, {},
                                 [] { return velto::MakePosixTransportFactory(); });
    h.view->OnInitialUpdate();
    h.view->OnGetMail();
    h.FinishWork(60000);
    if (!h.RunUntil([&] { return h.view->WatchesStanding() == 1; }, 10000)) {
        std::fprintf(stderr, "bench_imap: the program's watch did not stand\n");
        return 1;
    }
    // Dovecot logs each sign-in; the bare client makes one a round.
    auto signIns = [&] {
        const std::string log = server.Log();
        int n = 0;
        for (std::size_t at = log.find("Login: user=<ann>"); at != std::string::npos; at = log.find("Login: user=<ann>", at + 1))
            ++n;
        return n;
    };
    const int signInsBefore = signIns();
    std::vector<double> bare, program;
    for (int round = 0; round < 5; ++round) {
        velto::CImapMail idler(nullptr, velto::MakePosixTransportFactory());
        velto::ImapFolderState state;
        idler.Connect("127.0.0.1", server.ImapPort());
        idler.Login("ann", "secret", true);
        idler.Examine("INBOX", state);
        std::atomic<bool> heard = false;
        Clock::time_point heardAt;
        std::thread watcher([&] {
            velto::ImapIdleNews news;
            idler.Idle(20000, news);
            heardAt = Clock::now();
            heard = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both are idling
        const int rows = h.view->Model()->rowCount();
        const auto delivered = Clock::now();
        server.AddMessage("ann", "push" + std::to_string(round), Message(100000 + round));
        h.RunUntil([&] { return h.view->Model()->rowCount() > rows && !h.view->IsBusy(); }, 20000);
        const auto listed = Clock::now();
        watcher.join();
        idler.Logout();
        if (heard) bare.push_back(Ms(heardAt - delivered));
        program.push_back(Ms(listed - delivered));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? -1.0 : v[v.size() / 2];
    };
    const double b = median(bare), p = median(program);
    std::printf("push latency (median of 5): bare IDLE client %.1f ms; to the program's list %.1f ms "
                "[goal: within 20 ms of the bare client: %+.1f]\n",
                b, p, p - b);
    std::printf("sign-ins of the program during the 5 pushes: %d [goal: 0]\n", signIns() - signInsBefore - 5);

    // Idle: the watch waits; the program should not wake.
    const double before = CpuMs();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));  // the watch's thread alone is awake, if it wakes
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("idle: %.2f ms CPU per minute while the watch waits [goal: none beyond the re-issue]\n",
                (CpuMs() - before) * 60.0 / seconds);
    return 0;
}
