// Mailbox Setup's folder listings on their owned threads: the names come
// back on the user-interface thread, and the end cuts a listing stuck on a
// silent server at once instead of waiting out its time limit.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <optional>

#include "app/FolderListing.h"
#include "settings/Settings.h"
#include "support/LoopbackServer.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
#include "support/qt/EngineFakes.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

TEST(FolderListing, NamesComeBackAndTheEndCutsASilentServer) {
    struct Row {
        const char* name;
        bool silent;
    } rows[] = {{"the server lists", false}, {"the server is silent", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::atomic<bool> accepted = false;
        test::LoopbackServer server([&](test::ServerConnection& c) {
            accepted = true;
            std::string line;
            if (!row.silent) {
                c.SendBytes("* OK [CAPABILITY IMAP4rev1] ready\r\n");
                if (c.ReadLine(line, test::LoopbackServer::kStepLimit)) c.SendBytes("a1 OK logged in\r\n");
                if (c.ReadLine(line, test::LoopbackServer::kStepLimit))
                    c.SendBytes("* LIST () \"/\" \"INBOX\"\r\n* LIST () \"/\" \"Work\"\r\na2 OK done\r\n");
                if (c.ReadLine(line, test::LoopbackServer::kStepLimit)) c.SendBytes("* BYE\r\na3 OK bye\r\n");
            }
            c.ReadUntilClosed(line, test::LoopbackServer::kStepLimit);
        });
        auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
        transports->Route("imap.test", server.port());
        AccountSettings account;
        account.SetAccountName("Box");
        account.SetServerName("imap.test");
        account.SetUserName("ann");
        account.SetUserPassword("pw");
        account.m_incomingProtocol = kProtocolImap;

        OwnedThreads threads;
        const ImapFolderLister lister = MakeImapFolderLister(
            threads, std::make_shared<test::SettingsSignIn>(), nullptr, [transports] { return transports; });
        std::optional<ImapFolderListing> got;
        lister(account, [&](ImapFolderListing listing) { got = listing; });
        if (row.silent) {
            ASSERT_TRUE(test::RunEventsUntil([&] { return accepted.load(); }, 10'000));
            threads.RequestStop();
            // Well within the 10 s the read would otherwise wait.
            EXPECT_TRUE(threads.JoinAll(std::chrono::milliseconds(3'000)));
            QCoreApplication::sendPostedEvents();  // whatever the thread posted
            EXPECT_FALSE(got.has_value());  // nobody is told at the end
        } else {
            ASSERT_TRUE(test::RunEventsUntil([&] { return got.has_value(); }, 10'000));
            EXPECT_TRUE(got->ok) << got->why;
            EXPECT_EQ(got->folders, (std::vector<std::string>{"INBOX", "Work"}));
            EXPECT_TRUE(got->untrusted.fingerprint.empty());
        }
    }
}

}  // namespace
}  // namespace velto
