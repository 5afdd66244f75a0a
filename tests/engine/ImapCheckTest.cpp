// An IMAP account against a real Dovecot over STARTTLS: Get Mail lists the
// unseen messages (headers in one batch), reading leaves a message unseen, a
// message read elsewhere leaves the list at the next check, Delete removes
// exactly its message, mail delivered while the program waits reaches the
// list through the account's watch, and no password reaches the log.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "net/OpenSslLayer.h"
#include "net/PosixTransport.h"
#include "support/DovecotServer.h"
#include "support/MailTestKit.h"
#include "support/TestCertificates.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

TEST(ImapCheck, ListsTheUnseenReadsAndDeletesAndFollowsTheServer) {
    if (!test::DovecotServer::ImapInstalled()) GTEST_SKIP() << "dovecot-imapd is not installed";
    const test::TestCertificates& certs = test::TestCertificates::Get();
    ASSERT_TRUE(certs.Ready()) << certs.error;
    test::DovecotServer server;
    server.AddUser("ann", "secret");
    for (const char* id : {"m-1", "m-2", "m-3"})
        server.AddMessage("ann", id, std::string("From: Bob <bob@example.org>\r\nSubject: about ") + id + "\r\n\r\nx\r\n");
    server.UseTls(certs.good.cert, certs.good.key);
    server.ServeImap();
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;
    const std::string settings = test::AnnAccountText(
        "localhost", server.ImapPort(), "\"Incoming Protocol\"=dword:00000001\r\n\"Incoming Security\"=dword:00000002\r\n");
    TlsTrust trust;
    trust.extraAuthorities = certs.authority;
    test::EngineHarness h(settings, MakePosixTransportFactory(test::TestTimeLimits()), nullptr, nullptr, nullptr,
                          false, MakeOpenSslLayer(trust), {},
                          [] { return MakePosixTransportFactory(test::TestTimeLimits()); });
    h.view->OnInitialUpdate();
    // No check asked for: once the watch stands the account is checked once,
    // and its unseen mail is listed and announced.
    ASSERT_TRUE(h.RunUntil([&] {
        return h.view->WatchesStanding() == 1 && h.view->Model()->rowCount() == 3 && !h.view->IsBusy();
    }, 10000)) << h.log.Text();
    EXPECT_EQ(h.view->NewCount(), 3);
    EXPECT_EQ(h.tray.tip, "VeltoMail 98 - You have 3 New Messages!!");
    auto check = [&] {
        h.view->OnGetMail();
        EXPECT_TRUE(h.FinishWork());
        return h.view->Model()->rowCount();
    };
    ASSERT_EQ(check(), 3) << h.log.Text();

    // Read: the message shows and stays unseen, so the next check keeps it
    // and finds nothing new.
    h.view->SetSelectionSource([] { return std::vector<int>{0}; });
    h.view->OnReadMessage();
    ASSERT_TRUE(h.FinishWork());
    ASSERT_EQ(h.ui.messageCenterShows, 1) << h.log.Text();
    EXPECT_NE(h.ui.lastBody.find("x"), std::string::npos);
    EXPECT_EQ(check(), 3);
    EXPECT_EQ(h.view->NewCount(), 3);

    // Read on another device: the server says so, the list follows.
    const std::string cur = server.Folder() + "/mail/ann/Maildir/cur/";
    std::filesystem::rename(cur + "m-2:2,", cur + "m-2:2,S");
    EXPECT_EQ(check(), 2);

    // Delete: exactly that message goes from the server.
    h.view->OnDeleteMessage({0});
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(h.view->Model()->rowCount(), 1);
    EXPECT_EQ(server.MessageIds("ann").size(), 2u);

    // Push: delivered while the watch idles, listed without a check asked for.
    ASSERT_TRUE(h.RunUntil([&] { return h.view->WatchesStanding() == 1; }, 10000));
    const auto delivered = std::chrono::steady_clock::now();
    server.AddMessage("ann", "m-4", "From: Carol <carol@example.org>\r\nSubject: pushed\r\n\r\ny\r\n");
    ASSERT_TRUE(h.RunUntil([&] { return h.view->Model()->rowCount() == 2 && !h.view->IsBusy(); }, 10000));
    const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - delivered);
    EXPECT_LT(latency.count(), 3000);
    std::printf("pushed to the list in %lld ms\n", static_cast<long long>(latency.count()));

    // The watch's connection dies (the server's process killed): it is made
    // again, and what came meanwhile is not missed.
    ASSERT_EQ(std::system(("pkill -KILL -x imap -P " + std::to_string(server.Pid())).c_str()), 0);
    server.AddMessage("ann", "m-5", "From: Dan <dan@example.org>\r\nSubject: while down\r\n\r\nz\r\n");
    ASSERT_TRUE(h.RunUntil([&] { return h.view->Model()->rowCount() == 3 && !h.view->IsBusy(); }, 15000))
        << h.view->Model()->rowCount();

    // The machine wakes up: the watch is made anew and goes on telling.
    h.view->OnResumed();
    server.AddMessage("ann", "m-6", "From: Eve <eve@example.org>\r\nSubject: after the sleep\r\n\r\nw\r\n");
    ASSERT_TRUE(h.RunUntil([&] { return h.view->Model()->rowCount() == 4 && !h.view->IsBusy(); }, 15000))
        << h.view->Model()->rowCount();

    const std::string log = h.log.Text();
    EXPECT_EQ(log.find("secret"), std::string::npos);
    EXPECT_NE(log.find("UID FETCH"), std::string::npos) << log;
    EXPECT_NE(log.find("STARTTLS"), std::string::npos);
}

}  // namespace
}  // namespace velto
