// The quick check beside the one-id-at-a-time exchange, other clients and
// the floor, on a loopback Dovecot mailbox (sizes from the command line,
// default 10000):
//  - floor: a bare socket logs in, reads one "UIDL" listing to its end, quits;
//  - steady check (every id known): designed, quick, fetchmail --check,
//    Python's poplib sending the designed commands;
//  - first check (every message new): designed and quick;
//  - the steady check of a 300-message mailbox through a proxy that adds
//    20 ms each way, as a real link does.
// Times are whole sessions (connect to QUIT answered), best of three.
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "net/OpenSslLayer.h"
#include "net/PosixTransport.h"
#include "protocol/PopMail.h"
#include "settings/Crc32.h"
#include "support/DovecotServer.h"
#include "support/TestCertificates.h"
#include "support/TestEnvironment.h"

namespace {

using Clock = std::chrono::steady_clock;
using velto::CPopMail;
const char* kPassword = "bench-pw";

// Runs each in turn, rounds times, and keeps each one's quickest: runs side
// by side see the same machine, whatever else it does meanwhile.
std::vector<double> Interleaved(const std::vector<std::function<void()>>& runs, int rounds) {
    std::vector<double> best(runs.size(), 1e9);
    for (int r = 0; r < rounds; ++r)
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const auto t0 = Clock::now();
            runs[i]();
            best[i] = std::min(best[i], std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
    return best;
}

double BestOf3(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return best;
}

std::string Message(int n) {
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "From: Sender %d <s%d@example.com>\r\nTo: bench@example.com\r\nSubject: Message %d\r\n"
                  "Date: Mon, 7 Dec 1998 14:05:09 -0500\r\n\r\nBody %d.\r\n",
                  n, n, n, n);
    return buf;
}

void Fail(const char* what) {
    std::fprintf(stderr, "bench_quick_check: %s\n", what);
    std::exit(1);
}

// The designed steady check: UIDL n for every message, all known.
// loopMs: the time from STAT to the last id (what poplib's figure covers).
void DesignedSteady(int port, const std::string& user, const std::unordered_set<std::uint32_t>& known,
                    double* loopMs = nullptr) {
    CPopMail pop(nullptr, velto::MakePosixTransportFactory());
    int count = 0, size = 0;
    if (!pop.Connect("127.0.0.1", port) || !pop.Login(user, kPassword)) Fail("designed login");
    const auto t0 = Clock::now();
    if (!pop.GetMailboxStatus(count, size)) Fail("designed STAT");
    std::string uid;
    for (int i = 1; i <= count; ++i)
        if (!pop.GetUniqueId(i, uid) || !known.count(velto::Crc32::Of(uid))) Fail("designed: unknown id");
    if (loopMs) *loopMs = std::min(*loopMs, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    pop.Quit();
}

// Logged in, counted and listed: the quick check's first exchanges (over
// POP3S when tls is given).
std::vector<CPopMail::UniqueId> QuickListing(CPopMail& pop, int port, const std::string& user,
                                             velto::ITlsLayer* tls = nullptr,
                                             const std::function<bool(const std::string&)>& keep = {}) {
    int count = 0, size = 0;
    const bool connected = tls ? pop.ConnectTls("127.0.0.1", port, *tls, {}) : pop.Connect("127.0.0.1", port);
    if (!connected || !pop.Login(user, kPassword) || !pop.GetMailboxStatus(count, size)) Fail("quick login");
    std::vector<CPopMail::UniqueId> ids;
    if (!pop.ListUniqueIds(count, ids, keep)) Fail("quick listing");
    return ids;
}

void QuickSteady(int port, const std::string& user, const std::unordered_set<std::uint32_t>& known,
                 velto::ITlsLayer* tls = nullptr) {
    CPopMail pop(nullptr, velto::MakePosixTransportFactory());
    // As the engine does: each id looked up as it arrives.
    const auto unknown =
        QuickListing(pop, port, user, tls, [&](const std::string& id) { return !known.count(velto::Crc32::Of(id)); });
    if (!unknown.empty()) Fail("quick: unknown id");
    pop.Quit();
}

// Every message new: the headers of all of them.
std::size_t DesignedFirst(int port, const std::string& user) {
    CPopMail pop(nullptr, velto::MakePosixTransportFactory());
    int count = 0, size = 0;
    if (!pop.Connect("127.0.0.1", port) || !pop.Login(user, kPassword) || !pop.GetMailboxStatus(count, size))
        Fail("designed login");
    std::size_t got = 0;
    std::string uid;
    for (int i = 1; i <= count; ++i) {
        velto::CMailHeader record;
        if (pop.GetUniqueId(i, uid) && pop.GetHeader(i, record)) ++got;
    }
    pop.Quit();
    return got;
}

std::size_t QuickFirst(int port, const std::string& user) {
    CPopMail pop(nullptr, velto::MakePosixTransportFactory());
    const auto ids = QuickListing(pop, port, user);
    const bool pipelining = pop.SupportsPipelining();
    std::size_t got = 0;
    pop.GetHeaders(ids, pipelining, [&](const CPopMail::UniqueId&, velto::CMailHeader&) { return ++got, true; });
    pop.Quit();
    return got;
}

// The floor: nothing but the exchanges the quick steady check needs.
void Floor(int port, const std::string& user) {
    auto t = velto::MakePosixTransportFactory()->Create();
    if (!t->Connect("127.0.0.1", port)) Fail("floor connect");
    std::string in;
    char buf[65536];
    auto until = [&](const char* end) {
        const std::size_t length = std::strlen(end);
        std::size_t from = 0;  // only the new bytes are searched
        while (in.find(end, from) == std::string::npos) {
            from = in.size() >= length ? in.size() - length + 1 : 0;
            const long n = t->Receive(buf, sizeof buf);
            if (n <= 0) Fail("floor receive");
            in.append(buf, static_cast<std::size_t>(n));
        }
        in.clear();
    };
    auto send = [&](const std::string& s) { t->Send(s.data(), s.size()); };
    until("\r\n");
    send("USER " + user + "\r\n");
    until("\r\n");
    send(std::string("PASS ") + kPassword + "\r\n");
    until("\r\n");
    send("UIDL\r\n");
    until("\r\n.\r\n");
    send("QUIT\r\n");
    until("\r\n");
}

// fetchmail's check with its unique-id file; the whole process is timed.
double Fetchmail(int port, const std::string& user) {
    if (std::system("command -v fetchmail >/dev/null 2>&1") != 0) return -1;
    const std::string dir = velto::test::MakeTempDir("velto-fetchmail");
    const std::string rc = dir + "/fetchmailrc";
    std::ofstream(rc) << "set idfile \"" << dir << "/ids\"\npoll 127.0.0.1 protocol pop3 service " << port
                      << " uidl\n  user \"" << user << "\" password \"" << kPassword << "\" sslproto \"\"\n";
    ::chmod(rc.c_str(), 0600);
    const std::string command = "HOME=" + dir + " fetchmail --check -f " + rc + " >/dev/null 2>&1";
    // Exit status 0: messages waiting; 1: none. Anything else did not check.
    const int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) return -1;
    return BestOf3([&] { [[maybe_unused]] const int again = std::system(command.c_str()); });
}

// poplib sending the designed steady commands; its own figure of the loop.
double Poplib(int port, const std::string& user, int count) {
    const std::string command = std::string("/usr/bin/python3 ") + VELTO_SOURCE_DIR + "/bench/poplib_check.py 127.0.0.1 " +
                                std::to_string(port) + " " + user + " " + kPassword + " steady " + std::to_string(count);
    FILE* out = popen(command.c_str(), "r");
    if (!out) return -1;
    double wall = 0;
    const bool read = std::fscanf(out, "%lf", &wall) == 1;
    char rest[256];
    while (std::fgets(rest, sizeof rest, out)) {
    }
    pclose(out);
    return read ? wall * 1e3 : -1;
}

// A loopback proxy adding a fixed delay to every byte, each way.
class DelayProxy {
public:
    DelayProxy(int target, std::chrono::milliseconds delay) : m_target(target), m_delay(delay) {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 8);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_accepter = std::thread([this] { Accept(); });
    }
    ~DelayProxy() {
        ::shutdown(m_listen, SHUT_RDWR);
        ::close(m_listen);
        m_accepter.join();
    }
    int port() const { return m_port; }

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
        bool end = false;
    };
    void Accept() {
        for (;;) {
            const int client = ::accept(m_listen, nullptr, nullptr);
            if (client < 0) return;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(m_target));
            if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) Fail("proxy connect");
            std::thread([this, client, server] { Pipe(client, server); }).detach();
            std::thread([this, client, server] { Pipe(server, client); }).detach();
        }
    }
    // Reads from one side; a writer sends each chunk once its delay is over.
    void Pipe(int from, int to) {
        std::mutex m;
        std::condition_variable cv;
        std::deque<Chunk> queue;
        std::thread writer([&] {
            for (;;) {
                std::unique_lock lock(m);
                cv.wait(lock, [&] { return !queue.empty(); });
                Chunk c = std::move(queue.front());
                queue.pop_front();
                lock.unlock();
                std::this_thread::sleep_until(c.due);
                if (c.end) {
                    ::shutdown(to, SHUT_WR);
                    return;
                }
                ::send(to, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL);
            }
        });
        char buf[65536];
        for (;;) {
            const ssize_t n = ::recv(from, buf, sizeof buf, 0);
            std::lock_guard lock(m);
            queue.push_back({Clock::now() + m_delay, n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "", n <= 0});
            cv.notify_one();
            if (n <= 0) break;
        }
        writer.join();
    }
    int m_target;
    std::chrono::milliseconds m_delay;
    int m_listen = -1;
    int m_port = 0;
    std::thread m_accepter;
};

double LoadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10000};
    if (!velto::test::DovecotServer::Installed()) Fail("dovecot is not installed");
    velto::test::PrepareTestProcess();
    for (const int size : sizes) {
        velto::test::DovecotServer server;
        const std::string user = "bench";
        server.AddUser(user, kPassword);
        server.AddUser("small", kPassword);
        const velto::test::TestCertificates& certs = velto::test::TestCertificates::Get();
        if (!certs.error.empty()) Fail(certs.error.c_str());
        server.UseTls(certs.good.cert, certs.good.key);
        const auto tls = velto::MakeOpenSslLayer({certs.authority});
        std::unordered_set<std::uint32_t> known;
        for (int n = 1; n <= size; ++n) {
            char uid[32];
            std::snprintf(uid, sizeof uid, "m%06d", n);
            server.AddMessage(user, uid, Message(n));
            known.insert(velto::Crc32::Of(uid));
            if (n <= 300) server.AddMessage("small", uid, Message(n));
        }
        std::string why;
        if (!server.Start(&why)) Fail(why.c_str());
        const int port = server.Port();
        DesignedSteady(port, user, known);  // the first session indexes the mailbox
        DesignedSteady(port, "small", known);
        std::printf("== %d messages (load %.2f)\n", size, LoadAverage());
        const auto side = Interleaved({[&] { Floor(port, user); }, [&] { QuickSteady(port, user, known); },
                                       [&] { QuickSteady(server.TlsPort(), user, known, tls.get()); }},
                                      5);
        const double floor = side[0], quick = side[1], quickTls = side[2];
        // The designed exchange and poplib sending the same commands, in turn.
        double designedLoop = 1e9, poplib = 1e9;
        const double designed = BestOf3([&] {
            DesignedSteady(port, user, known, &designedLoop);
            poplib = std::min(poplib, Poplib(port, user, size));
        });
        const double fetchmail = Fetchmail(port, user);
        std::printf("steady check: floor %.1f ms; quick %.1f ms = %.2f x floor [goal <= 1.1]; designed %.1f ms\n", floor,
                    quick, quick / floor, designed);
        std::printf("  quick over POP3S %.1f ms = %.2f x quick in clear [goal <= 1.2]\n", quickTls, quickTls / quick);
        if (fetchmail > 0)
            std::printf("  fetchmail --check %.1f ms = %.2f x floor (whole process); quick is %.2f x fetchmail\n",
                        fetchmail, fetchmail / floor, quick / fetchmail);
        if (poplib > 0)
            std::printf("  the designed commands after login: ours %.1f ms, poplib %.1f ms = %.2f x [goal <= 1]\n",
                        designedLoop, poplib, designedLoop / poplib);
        if (size <= 20000) {
            std::size_t got = 0;
            const double designedFirst = BestOf3([&] { got = DesignedFirst(port, user); });
            if (got != static_cast<std::size_t>(size)) Fail("designed first check missed headers");
            const double quickFirst = BestOf3([&] { got = QuickFirst(port, user); });
            if (got != static_cast<std::size_t>(size)) Fail("quick first check missed headers");
            std::printf("first check of %d new: designed %.1f ms, quick %.1f ms = %.2f x [goal <= 0.5]\n", size,
                        designedFirst, quickFirst, quickFirst / designedFirst);
            DelayProxy proxy(port, std::chrono::milliseconds(20));
            const double slowDesigned = BestOf3([&] { DesignedSteady(proxy.port(), "small", known); });
            const double slowQuick = BestOf3([&] { QuickSteady(proxy.port(), "small", known); });
            std::printf("300 messages over a 20 ms-each-way link: designed %.0f ms, quick %.0f ms (%.0f x)\n",
                        slowDesigned, slowQuick, slowDesigned / slowQuick);
        }
        std::fflush(stdout);
    }
    return 0;
}
