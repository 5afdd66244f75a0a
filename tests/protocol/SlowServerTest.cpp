// Servers that answer too slowly as a whole, on the session's own clock (no
// waiting): a drip of a byte every five seconds is cut about a minute into
// its answer, while a slow link that keeps bringing bytes goes on, and news
// after a long idle gets a minute of its own.
#include <gtest/gtest.h>

#include <functional>

#include "protocol/ImapMail.h"
#include "protocol/PopMail.h"
#include "support/FakeTransport.h"
#include "support/RecordingLogSink.h"

namespace velto {
namespace {

using namespace std::chrono_literals;
using test::ScriptedTransportFactory;
using Clock = std::chrono::steady_clock;

// The scripted server's connections, with a clock that moves on by fixed
// steps at each receive and at each wait for the server's news.
class ClockedFactory : public ITransportFactory {
public:
    ClockedFactory(std::shared_ptr<ScriptedTransportFactory> inner, Clock::duration perReceive,
                   Clock::duration perWait)
        : m_inner(std::move(inner)), m_perReceive(perReceive), m_perWait(perWait) {}
    std::unique_ptr<ITransport> Create() override { return std::make_unique<Clocked>(m_inner->Create(), *this); }
    Clock::time_point Now() const { return m_now; }

private:
    struct Clocked : ITransport {
        Clocked(std::unique_ptr<ITransport> inner, ClockedFactory& owner) : inner(std::move(inner)), owner(owner) {}
        bool Connect(const std::string& host, int port) override { return inner->Connect(host, port); }
        long Send(const char* data, std::size_t length) override { return inner->Send(data, length); }
        long Receive(char* buffer, std::size_t capacity) override {
            owner.m_now += owner.m_perReceive;
            return inner->Receive(buffer, capacity);
        }
        int WaitReadable(long ms) override {
            owner.m_now += owner.m_perWait;
            return inner->WaitReadable(ms);
        }
        void Close() override { inner->Close(); }
        int LastError() const override { return inner->LastError(); }
        std::unique_ptr<ITransport> inner;
        ClockedFactory& owner;
    };
    std::shared_ptr<ScriptedTransportFactory> m_inner;
    Clock::duration m_perReceive, m_perWait;
    Clock::time_point m_now;
};

// Each byte of text as a packet of its own.
std::string Drip(const std::string& text) {
    std::string script;
    for (unsigned char c : text) {
        char step[16];
        std::snprintf(step, sizeof step, "S- \\x%02X\n", c);
        script += step;
    }
    return script;
}

std::string Flag(bool ok) { return ok ? "ok" : "failed"; }

struct Row {
    const char* name;
    std::string script;  // after the greeting
    Clock::duration perReceive, perWait;
    std::function<std::string(CPopMail&)> pop;    // one of the two
    std::function<std::string(CImapMail&)> imap;
    std::string want;
    int error;
};

TEST(SlowServer, AnAnswerHasAMinutePlusASecondPerEightKilobytes) {
    std::string slowLink = "C: a1 UID FETCH 7 (BODY.PEEK[])\nS- * 1 FETCH (UID 7 BODY[] {1228800}\\r\\n\n";
    for (int i = 0; i < 30; ++i) slowLink += "S- " + std::string(40 * 1024, 'x') + "\n";
    slowLink += "S- )\\r\\n\nS: a1 OK done\n";
    const Row rows[] = {
        {"POP3: a drip", "C: STAT\n" + Drip("+OK 2 640 messages in the drop\r\n"), 5s, 0s,
         [](CPopMail& p) {
             int count = 0, size = 0;
             return Flag(p.GetMailboxStatus(count, size));
         },
         {}, "failed", wsa::kTimedOut},
        {"IMAP: a drip", "C: a1 NOOP\n" + Drip("* OK still here\r\na1 OK done\r\n"), 5s, 0s, {},
         [](CImapMail& m) { return Flag(m.Noop()); }, "failed", wsa::kTimedOut},
        {"IMAP: a slow link that keeps bringing bytes", slowLink, 5s, 0s, {},
         [](CImapMail& m) {
             std::string text;
             const bool ok = m.FetchMessage(7, text);
             return Flag(ok) + " " + std::to_string(text.size());
         },
         "ok 1228800", 0},
        {"IMAP: news after half an hour of idling", "C: a1 IDLE\nS: + idling\nS: * 3 EXISTS\nC: DONE\nS: a1 OK done\n",
         1s, 30min, {},
         [](CImapMail& m) {
             ImapIdleNews news;
             const bool ok = m.Idle(60'000, news);
             return Flag(ok) + " " + std::to_string(news.count);
         },
         "ok 3", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string greeting = row.pop ? "S: +OK ready\n" : "S: * OK [CAPABILITY IMAP4rev1 IDLE] ready\n";
        auto script = std::make_shared<ScriptedTransportFactory>(greeting + row.script);
        auto clocked = std::make_shared<ClockedFactory>(script, row.perReceive, row.perWait);
        ExchangeLimits limits;
        limits.clock = [clocked] { return clocked->Now(); };
        test::RecordingLogSink log;
        std::string got;
        int error = -1;
        if (row.pop) {
            CPopMail pop(&log, clocked);
            pop.SetExchangeLimits(limits);
            ASSERT_TRUE(pop.Connect("mail.example.com", 110));
            got = row.pop(pop);
            error = pop.GetLastSocketError();
            EXPECT_EQ(pop.IsConnected(), error == 0);
        } else {
            CImapMail imap(&log, clocked);
            imap.SetExchangeLimits(limits);
            ASSERT_TRUE(imap.Connect("mail.example.com", 143));
            got = row.imap(imap);
            error = imap.GetLastSocketError();
            EXPECT_EQ(imap.IsConnected(), error == 0);
        }
        EXPECT_EQ(got, row.want);
        EXPECT_EQ(error, row.error);
        if (error == 0) {
            EXPECT_EQ(script->Problems(), "");
        }
    }
}

}  // namespace
}  // namespace velto
