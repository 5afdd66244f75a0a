#include <gtest/gtest.h>

#include "engine/HeaderStore.h"
#include "support/DovecotServer.h"
#include "support/qt/EngineHarness.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

using test::EngineHarness;

using RealStoreFile = HeaderStoreFile;

std::string Message(int i) {
    char date[64];
    std::snprintf(date, sizeof date, "Mon, %d Dec 2026 10:%02d:00 +0000", 1 + i % 28, i % 60);
    return "Return-Path: <sender" + std::to_string(i) + "@example.org>\r\n"
           "Received: from mx.example.org by pop.test; " + date + "\r\n"
           "From: \"Sender " + std::to_string(i) + "\" <sender" + std::to_string(i) + "@example.org>\r\n"
           "To: ann@example.com\r\nSubject: Message number " + std::to_string(i) + "\r\nDate: " + date +
           "\r\nMessage-ID: <" + std::to_string(i) + "@example.org>\r\n\r\nHello " + std::to_string(i) + "\r\n";
}

// A mailbox of 200 on a real POP3 server: all listed after one check, kept
// in the data file across a restart, and the next check adds none.
TEST(RealServerCheck, TwoHundredMessagesSurviveARestartAndAreNotFetchedAgain) {
    if (!test::DovecotServer::Installed()) GTEST_SKIP() << "dovecot is not installed";
    test::DovecotServer server;
    server.AddUser("ann", "secret");
    for (int i = 1; i <= 200; ++i) {
        char uid[32];
        std::snprintf(uid, sizeof uid, "msg-%04d", i);
        server.AddMessage("ann", uid, Message(i));
    }
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;
    auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
    transports->Route("pop.test", server.Port());

    const std::string data = test::MakeTempDir("velto-data") + "/maildata.vlt";
    const std::string settings =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Ann]\r\n"
        "\"Account Name\"=\"Ann\"\r\n\"Server Name\"=\"pop.test\"\r\n\"Email Address\"=\"ann@example.com\"\r\n"
        "\"User Name\"=\"ann\"\r\n\"User Password\"=\"secret\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n\"Database\"=\"" + data +
        "\"\r\n\"Startup Scan\"=dword:00000001\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n\"Save Headers\"=dword:00000001\r\n";
    RealStoreFile store;
    {
        EngineHarness h(settings, transports, &store);
        h.view->OnInitialUpdate();
        h.Drain();
        ASSERT_EQ(h.timers.Interval(kStartupTimerId), 10000);
        h.view->OnTimer(kStartupTimerId);  // ten seconds later
        ASSERT_TRUE(h.FinishWork(60000));
        EXPECT_EQ(h.view->Model()->rowCount(), 200);
        EXPECT_EQ(h.view->Model()->RowAt(0).subject, "Message number 200");
        EXPECT_EQ(h.view->Model()->RowAt(0).sender, "Sender 200");
        EXPECT_EQ(h.view->Model()->RowAt(0).image, 0);
        EXPECT_EQ(h.ui.title, "VeltoMail 98 - All MailBoxes - 200 Messages");
        EXPECT_EQ(h.tray.tip, "VeltoMail 98 - You have 200 New Messages!!");
        // The log shows the conversation, the password masked.
        bool masked = false;
        for (const auto& line : h.log.Lines()) {
            EXPECT_EQ(line.find("secret"), std::string::npos);
            masked = masked || line.find("PASS xxxxxxx\r\n") != std::string::npos;
        }
        EXPECT_TRUE(masked);
        h.view->OnDestroy();  // shut-down writes the data file
        EXPECT_TRUE(h.view->SaveOutcome().ok);
        EXPECT_TRUE(h.view->SaveOutcome().messages.empty());
    }
    {
        EngineHarness h(settings, transports, &store);
        h.view->OnInitialUpdate();
        h.Drain();
        EXPECT_EQ(h.view->Model()->rowCount(), 200);
        h.view->OnRefresh();
        ASSERT_TRUE(h.FinishWork(60000));
        EXPECT_EQ(h.view->Messages().Size(), 200u);
        EXPECT_EQ(h.view->NewCount(), 0);
        EXPECT_EQ(h.tray.tip, "VeltoMail 98");
    }
}

}  // namespace
}  // namespace velto
