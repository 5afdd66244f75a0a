// A watch follows up what it hears on its own connection: one sign-in, the
// new message's header fetched there and listed, a message read elsewhere
// taken off the list, and a check of the account asked for only when it
// first stands (what came before was told to nobody).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/ImapWatch.h"
#include "engine/ImapWorkers.h"
#include "support/FakeTransport.h"
#include "support/qt/EngineFakes.h"

namespace velto {
namespace {

TEST(WatchFollowUp, NewsIsFetchedOverTheWatchsOwnConnection) {
    const std::string script =
        "S: * OK [CAPABILITY IMAP4rev1 IDLE] ready\n"
        "C: a1 LOGIN \"ann\" \"secret\"\nS: a1 OK logged in\n"
        "C: a2 EXAMINE \"INBOX\"\nS: * OK [UIDVALIDITY 7] ok\nS: a2 OK [READ-ONLY] done\n"
        // First stand: what the folder holds is noted, and the account checked.
        "C: a3 UID SEARCH UNSEEN UNDELETED\nS: * SEARCH 3\nS: a3 OK done\n"
        "C: a4 IDLE\nS: + idling\nS: * 4 EXISTS\nC: DONE\nS: a4 OK done\n"
        "C: a5 UID SEARCH UNSEEN UNDELETED\nS: * SEARCH 3 4\nS: a5 OK done\n"
        "C: a6 UID FETCH 4 (UID RFC822.SIZE BODY.PEEK[HEADER])\n"
        "S- * 4 FETCH (UID 4 RFC822.SIZE 40 BODY[HEADER] {19}\\r\\nSubject: pushed\\r\\n\\r\\n)\\r\\n\n"
        "S: a6 OK done\n"
        // Read on the phone.
        "C: a7 IDLE\nS: + idling\nS: * 3 FETCH (FLAGS (\\\\Seen))\nC: DONE\nS: a7 OK done\n"
        "C: a8 UID SEARCH UNSEEN UNDELETED\nS: * SEARCH 4\nS: a8 OK done\n"
        "C: a9 IDLE\nS: + idling\nS: * BYE going down\n";
    auto server = std::make_shared<test::ScriptedTransportFactory>(script);

    AccountSettings account;
    account.SetAccountName("Ann");
    account.SetServerName("imap.example.com");
    account.SetEmailAddress("ann@example.com");
    account.SetUserName("ann");
    account.SetUserPassword("secret");
    account.m_incomingProtocol = kProtocolImap;
    account.m_incomingSecurity = kSecurityNone;

    // The check had listed message 3 already.
    auto messages = std::make_shared<MessageStore>();
    CMailHeader listed;
    listed.ParseHeader("Subject: listed\r\n");
    listed.SetMessageInfo(3, ImapMessageHash("INBOX", 7, 3), 30);
    listed.SetAccountInfo("imap.example.com", "ann@example.com", "");
    messages->Append(listed);

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> heard;
    auto hear = [&](const std::string& what) {
        std::lock_guard lock(mutex);
        heard.push_back(what);
        changed.notify_all();
    };
    ImapWatch::Hooks hooks;
    hooks.news = [&](const std::string& name) { hear("check " + name); };
    hooks.fetched = [&](const WatchNews& news) {
        hear(news.account + " " + news.folder + " +" + std::to_string(news.added) + " -" +
             std::to_string(news.dropped));
    };
    ImapWatch watch([server] { return server; }, nullptr, std::make_shared<test::SettingsSignIn>(), hooks,
                    std::chrono::minutes(1), messages);
    watch.Watch({account});
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return heard.size() >= 3; }));
    }
    watch.Stop(std::chrono::seconds(5));

    EXPECT_EQ(heard, (std::vector<std::string>{"check Ann", "Ann INBOX +1 -0", "Ann INBOX +0 -1"}));
    EXPECT_EQ(server->Problems(), "");
    std::vector<std::string> subjects;
    messages->WithList([&](const std::vector<StoredHeader>& list) {
        for (const auto& record : list) subjects.push_back(record.Full().m_subject);
    });
    EXPECT_EQ(subjects, std::vector<std::string>{"pushed"});
    // Fresh: the view counts it as new mail.
    EXPECT_EQ(messages->TakeFresh().size(), 1u);
    // One sign-in for all of it.
    const std::string& sent = server->ClientBytes();
    std::size_t logins = 0;
    for (std::size_t at = sent.find("LOGIN"); at != std::string::npos; at = sent.find("LOGIN", at + 1)) ++logins;
    EXPECT_EQ(logins, 1u);
}

}  // namespace
}  // namespace velto
