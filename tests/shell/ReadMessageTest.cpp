// Reading and answering a message against real servers: Dovecot holds the
// message, aiosmtpd records the reply.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTabWidget>

#include "shell/FrameHarness.h"
#include "shell/MessageListView.h"
#include "support/DovecotServer.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
#include "support/SmtpRecorder.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

const std::string kOriginal =
    "Return-Path: <bob@example.org>\r\nFrom: Bob Builder <bob@example.org>\r\nTo: ann@example.com\r\n"
    "Subject: Plans\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <plans-1@example.org>\r\n\r\n"
    "Shall we meet on Friday?\r\n\r\n.Bob\r\n";

// The header value of name in a message, without its line end.
std::string HeaderValue(const std::string& message, const std::string& name) {
    const std::size_t at = message.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    const std::size_t start = at + name.size() + 4;
    return message.substr(start, message.find("\r\n", start) - start);
}

TEST(ReadAndAnswer, DoubleClickReadSaveReplyEditAndSend) {
    if (!test::DovecotServer::Installed()) GTEST_SKIP() << "dovecot is not installed";
    if (!test::SmtpRecorder::Installed()) GTEST_SKIP() << "python3-aiosmtpd is not installed";
    test::DovecotServer pop;
    pop.AddUser("ann", "secret");
    pop.AddMessage("ann", "plans-1", kOriginal);
    test::SmtpRecorder smtp;
    std::string why;
    ASSERT_TRUE(pop.Start(&why)) << why;
    ASSERT_TRUE(smtp.Start(&why)) << why;
    auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
    transports->Route("pop.test", pop.Port());

    const std::string settings =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Ann]\r\n"
        "\"Account Name\"=\"Ann\"\r\n\"Server Name\"=\"pop.test\"\r\n\"Email Address\"=\"ann@example.com\"\r\n"
        "\"Outgoing Mail Server\"=\"smtp.test\"\r\n\"User Name\"=\"ann\"\r\n\"User Password\"=\"secret\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n\"View Type\"=dword:00000002\r\n";
    test::FrameHarness h(settings, transports);
    QString savePath = QString::fromStdString(test::MakeTempDir("velto-read") + "/saved.eml");
    std::vector<std::pair<QString, QString>> boxes;
    MessageCenterPrompts prompts;
    prompts.saveFileName = [&](QWidget*) { return savePath; };
    prompts.chooseFont = [](QWidget*, QFont&) { return false; };
    prompts.messageBox = [&](QWidget*, const QString& caption, const QString& text) {
        boxes.emplace_back(caption, text);
    };
    h.frame.SetMessageCenterPrompts(prompts);
    h.frame.SetReplyTransports([&] {
        auto f = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
        f->Route("smtp.test", smtp.Port());
        return f;
    });

    h.view().OnInitialUpdate();
    h.engine.Drain();
    h.view().OnRefresh();
    ASSERT_TRUE(h.engine.FinishWork());
    ASSERT_EQ(h.view().Model()->rowCount(), 1);

    // The double click, on the row.
    CMessageListView* list = h.frame.ListView();
    h.frame.resize(800, 600);
    h.frame.show();
    list->setCurrentIndex(h.view().Model()->index(0, 0));
    const QPoint at = list->visualRect(h.view().Model()->index(0, 0)).center();
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &dbl);
    ASSERT_TRUE(h.engine.FinishWork());
    ASSERT_TRUE(h.engine.RunUntil([&] { return h.frame.MessageCenter() != nullptr; }, 10000));

    CMessageCenter& mc = *h.frame.MessageCenter();
    EXPECT_TRUE(mc.isVisible());
    EXPECT_EQ(mc.Tabs()->currentIndex(), 0);
    EXPECT_EQ(mc.Reader()->FromEdit()->text(), "Bob Builder <bob@example.org>");
    EXPECT_EQ(mc.Reader()->SubjectEdit()->text(), "Plans");
    // The fetched text loses its last line end with the terminator.
    EXPECT_EQ(mc.Reader()->Pane()->toPlainText(), "Shall we meet on Friday?\n\n.Bob");
    mc.Tabs()->setCurrentIndex(2);
    EXPECT_TRUE(mc.Stats()->Pane()->toPlainText().startsWith("Return-Path: <bob@example.org>\nFrom: Bob Builder"));
    // The header ends where the message's header does; the TOP response's
    // blank line and dot are not part of it.
    EXPECT_TRUE(mc.Stats()->Pane()->toPlainText().endsWith("\nMessage-ID: <plans-1@example.org>\n"));

    // Save: the message as the server holds it, but for the line end the
    // fetch took off with the terminator.
    mc.Action(ID_SAVE_MESSAGE)->trigger();
    EXPECT_EQ(test::ReadFile(savePath.toStdString()) + "\r\n", kOriginal);

    // Reply, edited, sent.
    mc.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(mc.Reply()->RecipientEdit()->text(), "bob@example.org");
    EXPECT_EQ(mc.Reply()->Pane()->toPlainText(), ">Shall we meet on Friday?\n>.Bob\n");
    mc.Reply()->Pane()->setPlainText(mc.Reply()->Pane()->toPlainText() + "Yes, at noon.\n");
    mc.Action(ID_SEND_REPLY)->trigger();
    ASSERT_TRUE(h.engine.RunUntil([&] { return !boxes.empty(); }, 20000));
    EXPECT_EQ(boxes[0].first, "Notification");
    EXPECT_EQ(boxes[0].second, "Message Successfully Sent");

    auto received = smtp.Messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].mailFrom, "ann@example.com");
    EXPECT_EQ(received[0].rcptTo, std::vector<std::string>{"bob@example.org"});
    const std::string& got = received[0].content;
    const std::string ownId = HeaderValue(got, "Message-ID");
    EXPECT_EQ(ownId.front(), '<');
    EXPECT_EQ(ownId.substr(ownId.size() - 13), "@example.com>");
    EXPECT_EQ(got, "Date: " + got.substr(6, got.find("\r\n") - 6) +
                       "\r\nFrom: ann@example.com\r\nTo: <bob@example.org>\r\nSubject: Re: Plans\r\n"
                       "X-Mailer: <Pelmo Mail>\r\nMessage-ID: " + ownId +
                       "\r\nIn-Reply-To: <plans-1@example.org>\r\nReferences: <plans-1@example.org>\r\n\r\n"
                       ">Shall we meet on Friday?\r\n>.Bob\r\nYes, at noon.\r\n");

    // Again, with words beyond ASCII: declared UTF-8, nothing 8-bit on the wire.
    mc.Reply()->SubjectEdit()->setText(QString::fromUtf8("Re: Pläne"));
    mc.Reply()->Pane()->setPlainText(QString::fromUtf8("Grüße\n"));
    mc.Action(ID_SEND_REPLY)->trigger();
    ASSERT_TRUE(h.engine.RunUntil([&] { return boxes.size() == 2; }, 20000));
    EXPECT_EQ(boxes[1].second, "Message Successfully Sent") << boxes[1].second.toStdString();
    received = smtp.Messages();
    ASSERT_EQ(received.size(), 2u);
    const std::string& utf8 = received[1].content;
    for (unsigned char c : utf8) ASSERT_LT(c, 0x80) << utf8;
    EXPECT_EQ(HeaderValue(utf8, "Subject"), "=?UTF-8?B?UmU6IFBsw6RuZQ==?=");
    EXPECT_EQ(HeaderValue(utf8, "Content-Type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(HeaderValue(utf8, "Content-Transfer-Encoding"), "quoted-printable");
    EXPECT_EQ(utf8.substr(utf8.find("\r\n\r\n")), "\r\n\r\nGr=C3=BC=C3=9Fe\r\n");
    EXPECT_NE(HeaderValue(utf8, "Message-ID"), ownId);

    // Closing only hides the window; the next read of the same message shows
    // it again with the reply as the user left it.
    mc.close();
    EXPECT_FALSE(mc.isVisible());
    QCoreApplication::sendEvent(list->viewport(), &dbl);
    ASSERT_TRUE(h.engine.FinishWork());
    EXPECT_EQ(h.frame.MessageCenter(), &mc);
    EXPECT_TRUE(mc.isVisible());
    EXPECT_EQ(mc.Tabs()->currentIndex(), 0);
    mc.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(mc.Reply()->Pane()->toPlainText(), QString::fromUtf8("Grüße\n"));  // the reply as it was left
}

}  // namespace
}  // namespace velto
