// The web browser window on the real web engine (offscreen): a message is
// shown through the default template, a message page loads nothing remote
// until the user allows it and runs no script, rendered files live as long
// as the window, the address box remembers an address once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <filesystem>
#include <fstream>

#include "present/DefaultTemplate.h"
#include "present/WebViews.h"
#include "protocol/MessageText.h"
#include "present/web/MailBrowser.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"
#include "support/qt/EngineHarness.h"
#include "support/qt/WebPageText.h"

namespace velto {
namespace {

constexpr int kLoadMs = 30000;

struct BrowserFixture {
    test::ScopedHive hive;
    std::string folder = test::MakeTempDir("web");
    bool closed = false;
    std::unique_ptr<CMailBrowser> window;
    int loads = 0;

    explicit BrowserFixture(const std::string& templ = "<html><head><title>%TITLE%</title></head>"
                                                       "<body><h1>%SUBJECT%</h1>%MESSAGE%</body></html>") {
        const std::string path = folder + "/index.html";
        std::ofstream(path, std::ios::binary) << templ;
        TemplateSettings profile;
        profile.SetProfileName("Test");
        profile.SetIndexFile(path);
        profile.m_active = 1;
        profile.m_modified = 1;
        profile.Save(keys::kTemplates);
        window = std::make_unique<CMailBrowser>([this] { closed = true; });
        QObject::connect(window->View(), &QWebEngineView::loadFinished, [this](bool) { ++loads; });
        window->show();
    }

    bool Show(const CMailHeader& header, const std::string& body) {
        const int before = loads;
        const std::string problem = ShowMessageAsPage(*window, header, CMessageText{CMessageText::HeaderBlock(header.m_rawHeader), body},
                                                        test::MakeTempDir("webrun"));
        if (!problem.empty()) return false;
        return test::RunEventsUntil([&] { return loads > before; }, kLoadMs);
    }

};

CMailHeader Message(const std::string& subject, const std::string& contentType = {}) {
    CMailHeader h;
    h.m_subject = subject;
    h.m_from = "Ann <ann@example.com>";
    h.m_size = 42;
    if (!contentType.empty()) h.m_rawHeader = "MIME-Version: 1.0\r\nContent-Type: " + contentType + "\r\n";
    return h;
}

TEST(MailBrowser, ShowsTheRenderedMessageWithoutScript) {
    BrowserFixture f;
    ASSERT_TRUE(f.Show(Message("Quarterly <figures>"),
                       "Hello Ann,\r\nthe numbers: a < b.\r\n<script>document.title='script ran'</script>"));
    const QString text = test::WaitForPageText(f.window->View()->page(), "a < b.");
    EXPECT_TRUE(text.contains("Quarterly <figures>")) << text.toStdString();
    EXPECT_TRUE(text.contains("the numbers: a < b.")) << text.toStdString();
    EXPECT_EQ(f.window->windowTitle().toStdString(), "VeltoMail 98 - Quarterly <figures>");
    EXPECT_TRUE(f.window->Location()->currentText().startsWith("file://"));

    // An HTML body's own script does not run either.
    ASSERT_TRUE(f.Show(Message("html", "text/html"),
                       "<html><body><p>html body</p><script>document.title='script ran'</script></body></html>"));
    EXPECT_TRUE(test::WaitForPageText(f.window->View()->page(), "html body").contains("html body"));
    EXPECT_EQ(f.window->windowTitle().toStdString(), "VeltoMail 98 - html");
}

TEST(MailBrowser, RemoteContentWaitsForTheUser) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    int requests = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            ++requests;
            s->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            s->disconnectFromHost();
        }
    });
    const std::string base = "http://127.0.0.1:" + std::to_string(server.serverPort());
    BrowserFixture f;
    ASSERT_TRUE(f.Show(Message("pictures", "text/html"),
                       "<html><head><link rel=\"stylesheet\" href=\"" + base + "/s.css\"></head><body>"
                       "<img src=\"" + base + "/pixel.png\"><iframe src=\"" + base + "/frame\"></iframe>"
                       "<p>with pictures</p></body></html>"));
    EXPECT_TRUE(test::RunEventsUntil([&] { return f.window->RemoteBar()->isVisible(); }, kLoadMs));
    test::RunEventsUntil([] { return false; }, 1000);  // time for any late load
    EXPECT_EQ(requests, 0);
    EXPECT_TRUE(test::WaitForPageText(f.window->View()->page(), "with pictures").contains("with pictures"));

    f.window->RemoteBar()->findChild<QPushButton*>("loadRemote")->click();
    // The style sheet, the picture and the frame.
    EXPECT_TRUE(test::RunEventsUntil([&] { return requests >= 3; }, kLoadMs)) << requests;
    EXPECT_FALSE(f.window->RemoteBar()->isVisible());
    test::RunEventsUntil([] { return false; }, 500);

    // The next message is blocked again.
    const int before = requests;
    ASSERT_TRUE(f.Show(Message("again", "text/html"), "<html><body><img src=\"" + base + "/again.png\"></body></html>"));
    test::RunEventsUntil([] { return false; }, 1000);
    EXPECT_EQ(requests, before);

    // A picture of a part the message lacks is nothing to load from the network.
    ASSERT_TRUE(f.Show(Message("no part", "text/html"), "<html><body><img src=\"cid:missing@x\"></body></html>"));
    test::RunEventsUntil([] { return false; }, 1000);
    EXPECT_FALSE(f.window->RemoteBar()->isVisible());
}

TEST(MailBrowser, RenderedFilesLiveAsLongAsTheWindow) {
    namespace fs = std::filesystem;
    auto f = std::make_unique<BrowserFixture>();
    for (const char* s : {"one", "two", "three"}) ASSERT_TRUE(f->Show(Message(s), s));
    const auto files = f->window->RenderedFiles();
    ASSERT_EQ(files.size(), 3u);
    for (const auto& file : files) {
        EXPECT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(fs::path(file).parent_path(), fs::path(f->folder));
    }
    f->window->close();  // the close box only hides
    EXPECT_TRUE(f->window->isHidden());
    EXPECT_FALSE(f->closed);
    f->window.reset();
    EXPECT_TRUE(f->closed);
    for (const auto& file : files) EXPECT_FALSE(fs::exists(file)) << file;
}

TEST(MailBrowser, AnAddressTypedTwiceIsRememberedOnce) {
    BrowserFixture f;
    QLineEdit* edit = f.window->Location()->lineEdit();
    for (const char* address : {"data:text/html,<title>typed</title>", "DATA:text/html,<title>typed</title>",
                                "data:text/html,<title>other</title>"}) {
        const int before = f.loads;
        edit->setText(address);
        emit edit->returnPressed();
        EXPECT_TRUE(test::RunEventsUntil([&] { return f.loads > before; }, kLoadMs)) << address;
    }
    ASSERT_EQ(f.window->Location()->count(), 2);
    EXPECT_EQ(f.window->Location()->itemText(0), "data:text/html,<title>other</title>");
    EXPECT_EQ(f.window->windowTitle().toStdString(), "VeltoMail 98 - other");
    EXPECT_TRUE(f.window->isVisible()) << "Enter in the address box leaves the window open";
}

// Enter goes where the focus is and up to the window unless taken on the
// way: a push button with the focus is pressed ("Load remote content" loads
// and leaves the window open, Hide hides it).
TEST(MailBrowser, EnterHidesTheWindowExceptInThePageAndTheAddressBox) {
    BrowserFixture f;
    auto* load = f.window->RemoteBar()->findChild<QPushButton*>("loadRemote");
    QPushButton* hide = nullptr;
    for (auto* b : f.window->findChildren<QPushButton*>())
        if (b->text() == "Hide") hide = b;
    ASSERT_TRUE(load && hide);
    int loads = 0, hides = 0;
    QObject::connect(load, &QPushButton::clicked, [&] { ++loads; });
    QObject::connect(hide, &QPushButton::clicked, [&] { ++hides; });
    struct Row {
        const char* name;
        QWidget* focus;
        bool hidden;
        int loads, hides;  // presses so far
    } rows[] = {
        {"the address box", f.window->Location()->lineEdit(), false, 0, 0},
        {"the page", f.window->View()->focusProxy() ? f.window->View()->focusProxy() : f.window->View(), false, 0, 0},
        {"the window itself", f.window.get(), true, 0, 0},
        {"Load remote content", load, false, 1, 0},
        {"Hide", hide, true, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        f.window->show();
        f.window->RemoteBar()->show();  // as over a message with remote content
        row.focus->setFocus();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(row.focus, &press);
        EXPECT_EQ(f.window->isHidden(), row.hidden);
        EXPECT_EQ(loads, row.loads);
        EXPECT_EQ(hides, row.hides);
    }
}

TEST(MailBrowser, TheBundledTemplateBecomesTheDefaultOnce) {
    test::ScopedHive hive;
    const std::string folder = test::MakeTempDir("bundled") + "/templates";
    const std::string path = EnsureDefaultTemplate(folder);
    ASSERT_EQ(path, folder + "/standard.html");
    const auto profiles = LoadAllTemplates();
    ASSERT_EQ(profiles.size(), 1u);
    EXPECT_EQ(profiles[0].GetProfileName(), kStandardProfile);
    EXPECT_EQ(profiles[0].m_active, 1u);
    const std::string templ = test::ReadFile(path);
    for (const char* token : {"%SUBJECT%", "%FROM%", "%MESSAGE%"}) EXPECT_NE(templ.find(token), std::string::npos);
    EXPECT_EQ(templ.find("http"), std::string::npos) << "the bundled template loads nothing remote";
    EXPECT_EQ(EnsureDefaultTemplate(folder + "/again"), "") << "profiles exist: nothing is added";
    EXPECT_EQ(LoadAllTemplates().size(), 1u);
    // Deleted by the user: not back at the next start of the same settings file.
    TemplateSettings standard = LoadAllTemplates()[0];
    standard.m_deleted = 1;
    standard.Save(keys::kTemplates);
    test::ScopedHive next(hive.hive().ExportText());
    EXPECT_EQ(EnsureDefaultTemplate(folder + "/later"), "");
    EXPECT_TRUE(LoadAllTemplates().empty());
}

}  // namespace
}  // namespace velto
