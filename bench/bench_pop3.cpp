// The POP3 client against a loopback Dovecot holding 10,000 messages:
//  - the round-trip floor: 10,000 NOOP exchanges by a bare socket loop;
//  - a steady-state check (every message known): STAT, UIDL n x 10,000, QUIT,
//    in clear and over POP3S;
//  - a first check of 1,000 new messages: UIDL, LIST, TOP n 0, UIDL each;
//  - Python's poplib sending the same commands.
// Each reports wall time, client CPU and the server process's CPU; the
// summary sets the client's wall time against the floor plus the server's
// own extra time, and its CPU against poplib's.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_set>

#include "net/OpenSslLayer.h"
#include "net/PosixTransport.h"
#include "protocol/PopMail.h"
#include "settings/Crc32.h"
#include "support/DovecotServer.h"
#include "support/TestCertificates.h"

namespace {

using velto::test::DovecotServer;

constexpr int kMessages = 10'000;
constexpr int kNewMessages = 1'000;
const char* kUser = "bench";
const char* kPassword = "bench-pw";

DovecotServer* g_server = nullptr;
std::shared_ptr<velto::ITlsLayer> g_tls;

struct Figures {
    double wall = 0, clientCpu = 0, clientUser = 0, serverCpu = 0;
    int exchanges = 0;
};
std::map<std::string, Figures> g_figures;

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Own CPU of this thread: {user + system, user}.
std::pair<double, double> ThreadCpu() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return {Seconds(u.ru_utime) + Seconds(u.ru_stime), Seconds(u.ru_utime)};
}

// The pop3 process serving the session opened last: the newest "pop3"
// child of the Dovecot master.
long SessionPid() {
    long pid = -1;
    unsigned long long newest = 0;
    DIR* proc = opendir("/proc");
    while (dirent* e = readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto open = line.find('(');
        const auto close = line.rfind(')');
        if (close == std::string::npos || line.substr(open + 1, close - open - 1) != "pop3") continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        long ppid = 0;
        unsigned long long start = 0;
        rest >> field >> ppid;
        for (int i = 5; i < 22; ++i) rest >> field;  // up to the start time, field 22
        start = std::stoull(field);
        if (ppid == g_server->Pid() && start >= newest) {
            newest = start;
            pid = std::atol(e->d_name);
        }
    }
    closedir(proc);
    return pid;
}

// CPU seconds (user + system) used so far by a process.
double ProcessCpuSeconds(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 14; ++i) rest >> field;  // fields 3..13
    unsigned long long utime = 0, stime = 0;
    rest >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string Message(int n) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "From: Sender %d <sender%d@example.com>\r\nTo: bench@example.com\r\nSubject: Message number %d\r\n"
                  "Date: Mon, 7 Dec 1998 14:05:09 -0500\r\nMessage-ID: <%d@example.com>\r\n\r\nBody of message %d.\r\n",
                  n, n, n, n, n);
    return buf;
}

void StartServer() {
    g_server = new DovecotServer();
    g_server->AddUser(kUser, kPassword);
    const auto& certs = velto::test::TestCertificates::Get();
    if (!certs.Ready()) {
        std::fprintf(stderr, "%s\n", certs.error.c_str());
        std::exit(1);
    }
    g_server->UseTls(certs.good.cert, certs.good.key);
    g_tls = velto::MakeOpenSslLayer({certs.authority});
    for (int n = 1; n <= kMessages; ++n) {
        char uid[32];
        std::snprintf(uid, sizeof uid, "m%05d", n);
        g_server->AddMessage(kUser, uid, Message(n));
    }
    std::string why;
    if (!g_server->Start(&why)) {
        std::fprintf(stderr, "Dovecot did not start: %s\n", why.c_str());
        std::exit(1);
    }
    // The first session indexes the maildir; no run should pay for that.
    velto::CPopMail pop(nullptr, velto::MakePosixTransportFactory());
    int count = 0, size = 0;
    if (!pop.Connect("127.0.0.1", g_server->Port()) || !pop.Login(kUser, kPassword) ||
        !pop.GetMailboxStatus(count, size) || count != kMessages) {
        std::fprintf(stderr, "warm-up session failed\n");
        std::exit(1);
    }
    pop.Quit();
}

// A bare client: one send and blocking receives to the line end.
class BareSession {
public:
    BareSession() : m_transport(velto::MakePosixTransportFactory()->Create()) {
        m_transport->Connect("127.0.0.1", g_server->Port());
        Exchange(nullptr);
        Exchange((std::string("USER ") + kUser + "\r\n").c_str());
        Exchange((std::string("PASS ") + kPassword + "\r\n").c_str());
    }
    void Exchange(const char* command) {
        if (command) m_transport->Send(command, std::strlen(command));
        std::size_t got = 0;
        for (;;) {
            const long n = m_transport->Receive(m_buf + got, sizeof m_buf - got);
            if (n <= 0) std::abort();
            got += static_cast<std::size_t>(n);
            if (got >= 2 && m_buf[got - 2] == '\r' && m_buf[got - 1] == '\n') return;
        }
    }

private:
    std::unique_ptr<velto::ITransport> m_transport;
    char m_buf[1024];
};

template <typename Body>
void Measure(benchmark::State& state, const std::string& name, int exchanges, Body body) {
    for (auto _ : state) {
        Figures f;
        f.exchanges = exchanges;
        body(f);
        // Repetitions: the summary keeps each one's quickest run, the one
        // least disturbed by whatever else the machine does.
        auto it = g_figures.find(name);
        if (it == g_figures.end() || f.wall < it->second.wall) g_figures[name] = f;
        state.counters["wall_ms"] = f.wall * 1e3;
        state.counters["client_cpu_ms"] = f.clientCpu * 1e3;
        state.counters["client_user_ms"] = f.clientUser * 1e3;
        state.counters["server_cpu_ms"] = f.serverCpu * 1e3;
    }
}

// Runs a loop between login and logout (QUIT excluded), timing wall, own
// CPU and the session's server process CPU.
template <typename Loop>
void Timed(Figures& f, Loop loop) {
    const long server = SessionPid();
    const double server0 = ProcessCpuSeconds(server);
    const auto cpu0 = ThreadCpu();
    const auto wall0 = std::chrono::steady_clock::now();
    loop();
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const auto cpu1 = ThreadCpu();
    f.clientCpu = cpu1.first - cpu0.first;
    f.clientUser = cpu1.second - cpu0.second;
    f.serverCpu = ProcessCpuSeconds(server) - server0;
}

void BM_NoopFloor(benchmark::State& state) {
    Measure(state, "noop floor", kMessages, [](Figures& f) {
        BareSession session;
        Timed(f, [&] {
            for (int i = 0; i < kMessages; ++i) session.Exchange("NOOP\r\n");
        });
        session.Exchange("QUIT\r\n");
    });
}

void SteadyCheck(benchmark::State& state, const char* name, bool tls) {
    // Every id is known: the engine's lookup is part of the client's work.
    std::unordered_set<std::uint32_t> known;
    for (int n = 1; n <= kMessages; ++n) {
        char uid[32];
        std::snprintf(uid, sizeof uid, "m%05d", n);
        known.insert(velto::Crc32::Of(uid));
    }
    Measure(state, name, kMessages + 1, [&](Figures& f) {
        velto::CPopMail pop(nullptr, velto::MakePosixTransportFactory());
        const bool connected = tls ? pop.ConnectTls("127.0.0.1", g_server->TlsPort(), *g_tls, {})
                                   : pop.Connect("127.0.0.1", g_server->Port());
        if (!connected || !pop.Login(kUser, kPassword)) std::abort();
        int unknown = 0;
        Timed(f, [&] {
            int count = 0, size = 0;
            pop.GetMailboxStatus(count, size);
            std::string uid;
            for (int n = 1; n <= count; ++n) {
                pop.GetUniqueId(n, uid);
                const std::uint32_t hash = velto::CPopMail::HashUniqueId(uid);
                unknown += known.count(hash) == 0;
            }
        });
        pop.Quit();
        if (unknown != 0) std::abort();
    });
}

void BM_SteadyCheck(benchmark::State& state) { SteadyCheck(state, "steady check", false); }
void BM_SteadyCheckTls(benchmark::State& state) { SteadyCheck(state, "steady check POP3S", true); }

void BM_FirstCheck(benchmark::State& state) {
    Measure(state, "first check", 4 * kNewMessages + 1, [](Figures& f) {
        velto::CPopMail pop(nullptr, velto::MakePosixTransportFactory());
        if (!pop.Connect("127.0.0.1", g_server->Port()) || !pop.Login(kUser, kPassword)) std::abort();
        int fetched = 0;
        Timed(f, [&] {
            int count = 0, size = 0;
            pop.GetMailboxStatus(count, size);
            std::string uid;
            for (int n = 1; n <= kNewMessages; ++n) {
                pop.GetUniqueId(n, uid);
                velto::CMailHeader record;
                fetched += pop.GetHeader(n, record);
            }
        });
        pop.Quit();
        if (fetched != kNewMessages) std::abort();
    });
}

// poplib in a child process; its own report of the loop's wall and CPU.
void RunPoplib(Figures& f, const char* mode, int count) {
    const std::string command = std::string("/usr/bin/python3 ") + VELTO_SOURCE_DIR + "/bench/poplib_check.py 127.0.0.1 " +
                                std::to_string(g_server->Port()) + " " + kUser + " " + kPassword + " " + mode + " " +
                                std::to_string(count);
    FILE* out = popen(command.c_str(), "r");
    if (!out || std::fscanf(out, "%lf %lf %lf", &f.wall, &f.clientCpu, &f.clientUser) != 3) std::abort();
    pclose(out);
}

void BM_PoplibSteadyCheck(benchmark::State& state) {
    Measure(state, "poplib steady check", kMessages + 1, [](Figures& f) { RunPoplib(f, "steady", kMessages); });
}

void BM_PoplibFirstCheck(benchmark::State& state) {
    Measure(state, "poplib first check", 4 * kNewMessages + 1, [](Figures& f) { RunPoplib(f, "first", kNewMessages); });
}

BENCHMARK(BM_NoopFloor)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SteadyCheck)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SteadyCheckTls)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstCheck)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PoplibSteadyCheck)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PoplibFirstCheck)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void Summary() {
    const Figures floor = g_figures["noop floor"];
    const double rtt = floor.wall / floor.exchanges;
    const double noopServer = floor.serverCpu / floor.exchanges;
    std::printf("\nround trip (NOOP): %.1f us, server CPU per NOOP %.1f us\n", rtt * 1e6, noopServer * 1e6);
    for (const char* name : {"steady check", "first check"}) {
        const Figures c = g_figures[name];
        const Figures py = g_figures[std::string("poplib ") + name];
        // The server's own time beyond what the same number of NOOPs cost it.
        const double serverExtra = std::max(0.0, c.serverCpu - noopServer * c.exchanges);
        const double goal = rtt * c.exchanges + serverExtra;
        std::printf(
            "%-13s wall %7.1f ms = %.2f x (floor %.1f ms + server extra %.1f ms) [goal <= 1.15]; "
            "client CPU %6.1f ms vs poplib %6.1f ms = 1/%.1f [goal >= 5] (user only: %.1f vs %.1f ms = 1/%.1f); "
            "poplib wall %.1f ms\n",
            name, c.wall * 1e3, c.wall / goal, rtt * c.exchanges * 1e3, serverExtra * 1e3, c.clientCpu * 1e3,
            py.clientCpu * 1e3, py.clientCpu / std::max(c.clientCpu, 1e-9), c.clientUser * 1e3, py.clientUser * 1e3,
            py.clientUser / std::max(c.clientUser, 1e-9), py.wall * 1e3);
    }
    const Figures clear = g_figures["steady check"];
    const Figures secure = g_figures["steady check POP3S"];
    std::printf("steady check POP3S: wall %.1f ms vs %.1f ms in clear = %.2f x [goal <= 1.2]; client CPU %.1f vs %.1f ms\n",
                secure.wall * 1e3, clear.wall * 1e3, secure.wall / std::max(clear.wall, 1e-9), secure.clientCpu * 1e3,
                clear.clientCpu * 1e3);
    std::printf("bare NOOP loop: client CPU %.1f ms (user %.1f ms): the system-call floor of %d exchanges\n",
                floor.clientCpu * 1e3, floor.clientUser * 1e3, floor.exchanges);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!DovecotServer::Installed()) {
        std::fprintf(stderr, "bench_pop3: dovecot is not installed; skipped\n");
        return 0;
    }
    StartServer();
    benchmark::RunSpecifiedBenchmarks();
    Summary();
    delete g_server;
    return 0;
}
