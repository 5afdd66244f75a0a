// "As WebPage" through the real frame against Dovecot: the bundled default
// template shows the message, and the page asks nothing of the network.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "present/DefaultTemplate.h"
#include "shell/FrameHarness.h"
#include "shell/MessageListView.h"
#include "support/DovecotServer.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
#include "support/TestEnvironment.h"
#include "support/qt/WebPageText.h"

namespace velto {
namespace {

TEST(ReadAsWebPage, TheListedMessageShowsThroughTheDefaultTemplateWithNoRequest) {
    if (!test::DovecotServer::Installed()) GTEST_SKIP() << "dovecot is not installed";
    QTcpServer tracker;  // stands for a sender's tracking server
    ASSERT_TRUE(tracker.listen(QHostAddress::LocalHost, 0));
    int requests = 0;
    QObject::connect(&tracker, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = tracker.nextPendingConnection()) {
            ++requests;
            s->abort();
        }
    });
    const std::string pixel = "http://127.0.0.1:" + std::to_string(tracker.serverPort()) + "/open.gif";
    test::DovecotServer pop;
    pop.AddUser("ann", "secret");
    pop.AddMessage("ann", "offer-1",
                   "From: Shop <news@shop.example>\r\nTo: ann@example.com\r\nSubject: Winter <offer>\r\n"
                   "MIME-Version: 1.0\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
                   "<html><body><p>Our winter prices</p><img src=\"" + pixel + "\"></body></html>\r\n");
    std::string why;
    ASSERT_TRUE(pop.Start(&why)) << why;
    auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
    transports->Route("pop.test", pop.Port());
    test::FrameHarness h(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Ann]\r\n"
        "\"Account Name\"=\"Ann\"\r\n\"Server Name\"=\"pop.test\"\r\n\"Email Address\"=\"ann@example.com\"\r\n"
        "\"User Name\"=\"ann\"\r\n\"User Password\"=\"secret\"\r\n",
        transports);
    ASSERT_FALSE(EnsureDefaultTemplate(test::MakeTempDir("e2e") + "/templates").empty());

    h.view().OnInitialUpdate();
    h.engine.Drain();
    h.view().OnRefresh();
    ASSERT_TRUE(h.engine.FinishWork());
    ASSERT_EQ(h.view().Model()->rowCount(), 1);
    EXPECT_EQ(h.frame.Browser(), nullptr) << "checking mail does not make the browser";

    h.frame.show();
    h.frame.ListView()->setCurrentIndex(h.view().Model()->index(0, 0));
    QAction* asWebPage = h.frame.Action(ID_READ_AS_WEBPAGE);
    ASSERT_TRUE(asWebPage->isEnabled());
    asWebPage->trigger();
    ASSERT_TRUE(h.engine.FinishWork());
    ASSERT_TRUE(h.engine.RunUntil([&] { return h.frame.Browser() != nullptr; }, 10000));
    QWidget& browser = *h.frame.Browser();
    EXPECT_TRUE(browser.isVisible());
    QWebEngineView* view = browser.findChild<QWebEngineView*>();
    QWidget* remoteBar = browser.findChild<QWidget*>("remoteBar");
    ASSERT_TRUE(view && remoteBar);
    EXPECT_EQ(h.frame.MessageCenter(), nullptr) << "As WebPage opens the browser only";

    const QString text = test::WaitForPageText(view->page(), "Our winter prices");
    EXPECT_TRUE(text.contains("Our winter prices")) << text.toStdString();
    EXPECT_TRUE(text.contains("Winter <offer>")) << text.toStdString();
    EXPECT_TRUE(text.contains("Shop <news@shop.example>")) << text.toStdString();
    EXPECT_EQ(browser.windowTitle().toStdString(), "VeltoMail 98 - Winter <offer>");
    EXPECT_TRUE(h.engine.RunUntil([&] { return remoteBar->isVisible(); }, 10000));
    h.engine.RunUntil([] { return false; }, 1000);
    EXPECT_EQ(requests, 0);
}

}  // namespace
}  // namespace velto
