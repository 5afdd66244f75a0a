// What the user does to IMAP mail reaches a real Dovecot: Mark as Read
// (the command and the notice's action) leaves the messages \Seen on the
// server and off the list, with the count, the tooltip and the dock's count
// following; Delete puts the message in the folder marked \Trash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "net/PosixTransport.h"
#include "support/DovecotServer.h"
#include "support/MailTestKit.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

struct RecordingDock : IDockCount {
    int count = 0;
    void SetCount(int n) override { count = n; }
};

std::string Message(const std::string& id) {
    return "From: Bob <bob@example.org>\r\nSubject: about " + id + "\r\n\r\nx\r\n";
}

// The flags of the message stored under that unique id (Dovecot keeps them
// in the file name); "gone" when INBOX no longer holds it.
std::string Flags(const test::DovecotServer& server, const std::string& id) {
    for (const std::string& name : server.MessageFiles("ann"))
        if (name.rfind(id + ":2,", 0) == 0) return name.substr(id.size() + 3);
    return "gone";
}

TEST(ImapServerActions, MarkReadByCommandAndByNoticeAndDeleteToTheTrash) {
    if (!test::DovecotServer::ImapInstalled()) GTEST_SKIP() << "dovecot-imapd is not installed";
    test::DovecotServer server;
    server.AddUser("ann", "secret");
    for (const char* id : {"m-1", "m-2", "m-3"}) server.AddMessage("ann", id, Message(id));
    server.ServeImap();
    server.ImapTrash("Bin");
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;
    const std::string settings =
        test::AnnAccountText("127.0.0.1", server.ImapPort(), "\"Incoming Protocol\"=dword:00000001\r\n");
    RecordingDock dock;
    test::EngineHarness h(settings, MakePosixTransportFactory(test::TestTimeLimits()), nullptr, nullptr, nullptr, false,
                          {}, {}, {}, &dock);
    h.view->OnInitialUpdate();
    h.view->OnGetMail();
    ASSERT_TRUE(h.FinishWork());
    ASSERT_EQ(h.view->Model()->rowCount(), 3) << h.log.Text() << server.Log();
    ASSERT_EQ(h.view->NewCount(), 3);

    // The command, on one row: \Seen on the server, the row gone, two left new.
    h.view->OnMarkRead({h.RowOf("about m-1")});
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(Flags(server, "m-1"), "S");
    EXPECT_EQ(Flags(server, "m-2"), "");
    EXPECT_EQ(h.view->Model()->rowCount(), 2);
    EXPECT_EQ(h.view->NewCount(), 2);
    EXPECT_EQ(h.tray.tip, "VeltoMail 98 - You have 2 New Messages!!");
    EXPECT_EQ(dock.count, 2);
    EXPECT_EQ(h.ui.paneText, "Ready");  // the status bar's "Marking read" is over

    // The notice's action, on what it told of: the rest read, nothing new left.
    ASSERT_TRUE(h.notices.Choose("mark-read"));
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(Flags(server, "m-2"), "S");
    EXPECT_EQ(Flags(server, "m-3"), "S");
    EXPECT_EQ(h.view->Model()->rowCount(), 0);
    EXPECT_EQ(h.view->NewCount(), 0);
    EXPECT_EQ(h.tray.tip, "VeltoMail 98");
    EXPECT_EQ(dock.count, 0);
    EXPECT_NE(std::find(h.journal.begin(), h.journal.end(), "notice.withdraw new-mail"), h.journal.end());

    // Delete: into the folder marked \Trash, out of INBOX.
    server.AddMessage("ann", "m-4", Message("m-4"));
    h.view->OnGetMail();
    ASSERT_TRUE(h.FinishWork());
    ASSERT_EQ(h.view->Model()->rowCount(), 1);
    h.view->OnDeleteMessage({0});
    ASSERT_TRUE(h.FinishWork());
    EXPECT_EQ(h.view->Model()->rowCount(), 0);
    EXPECT_EQ(Flags(server, "m-4"), "gone");
    const auto trash = server.MessageFiles("ann", "Bin");
    ASSERT_EQ(trash.size(), 1u);
    std::string text;
    for (const char* sub : {"/cur/", "/new/"}) {
        std::ifstream in(server.Folder() + "/mail/ann/Maildir/.Bin" + sub + trash[0]);
        if (in) text.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(text.find("Subject: about m-4"), std::string::npos) << trash[0];
    EXPECT_NE(h.log.Text().find("UID MOVE"), std::string::npos) << h.log.Text();
}

}  // namespace
}  // namespace velto
