// The Message Center through its widgets: pages, Save Message, the font,
// and a send that waits on a silent server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <vector>

#include "net/OpenSslLayer.h"
#include "net/PosixTransport.h"
#include "net/RoutedTransport.h"
#include "present/MessageCenter.h"
#include "present/TemplateRenderer.h"
#include "settings/RegistryHive.h"
#include "settings/Settings.h"
#include "support/FakeTransport.h"
#include "support/LoopbackServer.h"
#include "support/MemoryHiveStorage.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
#include "support/SmtpRecorder.h"
#include "support/TestCertificates.h"
#include "support/TestEnvironment.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

// The message as the view hands it over: the record's stored header, this body.
void SetMessage(CMessageCenter& mc, const CMailHeader& header, const std::string& body) {
    mc.SetMessage(header, CMessageText{CMessageText::HeaderBlock(header.m_rawHeader), body});
}

struct Box {
    QString caption, text;
};

// Prompts that answer as the test says and record every box.
struct Recorder {
    QString savePath;
    std::optional<QFont> font;
    std::vector<Box> boxes;
    int transportsMade = 0;

    QString suggested;
    std::function<bool(const QString&)> askYes;
    MessageCenterPrompts Prompts() {
        MessageCenterPrompts p;
        p.askYesNo = [this](QWidget*, const QString& q, std::function<void(bool)> answer) {
            answer(askYes && askYes(q));
        };
        p.saveFileName = [this](QWidget*) { return savePath; };
        p.chooseAttachment = [](QWidget*, const QStringList& names) { return static_cast<int>(names.size()) - 1; };
        p.saveAttachmentName = [this](QWidget*, const QString& name) {
            suggested = name;
            return savePath;
        };
        p.chooseFont = [this](QWidget*, QFont& f) {
            if (font) f = *font;
            return font.has_value();
        };
        p.messageBox = [this](QWidget*, const QString& caption, const QString& text) {
            boxes.push_back({caption, text});
        };
        return p;
    }
};

CMailHeader Header(const std::string& from, const std::string& subject, const std::string& raw) {
    CMailHeader h;
    h.m_from = from;
    h.m_subject = subject;
    h.m_rawHeader = raw;
    h.m_accountAddress = "me@example.com";
    h.m_accountOutgoing = "smtp.example.com";
    return h;
}

TEST(MessageCenter, PagesShowTheirFieldsAndASecondMessageReplacesTheReply) {
    test::ScopedHive hive;
    Recorder r;
    CMessageCenter mc(r.Prompts(), nullptr);
    EXPECT_EQ(mc.windowTitle(), "VeltoMail 98 - Mail Center");
    ASSERT_EQ(mc.Tabs()->count(), 3);
    EXPECT_EQ(mc.Tabs()->tabText(0), "Email Message");
    EXPECT_EQ(mc.Tabs()->tabText(1), "Reply");
    EXPECT_EQ(mc.Tabs()->tabText(2), "Intelligence");

    SetMessage(mc, Header("Ann <ann@example.com>", "lunch", "From: Ann <ann@example.com>\r\nSubject: lunch"),
                  "see you\r\n\r\nat noon\r\n");
    mc.ShowReply();
    EXPECT_EQ(mc.Tabs()->currentIndex(), 1);
    EXPECT_EQ(mc.Reply()->RecipientEdit()->text(), "ann@example.com");
    EXPECT_EQ(mc.Reply()->SubjectEdit()->text(), "Re: lunch");
    EXPECT_EQ(mc.Reply()->Pane()->toPlainText(), ">see you\n>at noon\n");
    mc.Reply()->Pane()->setPlainText("my edit");

    // A second message while the Reply page is in front; the edit is given up.
    int asked = 0;
    r.askYes = [&](const QString&) { return ++asked; };
    SetMessage(mc, Header("bob@example.com", "Re: plans", "From: bob@example.com\r\nSubject: Re: plans\r\n"), "ok");
    mc.ShowMessage();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(mc.Tabs()->currentIndex(), 0);
    EXPECT_EQ(mc.Reader()->FromEdit()->text(), "bob@example.com");
    EXPECT_EQ(mc.Reader()->SubjectEdit()->text(), "Re: plans");
    EXPECT_EQ(mc.Reader()->Pane()->toPlainText(), "ok");
    EXPECT_TRUE(mc.Reader()->Pane()->isReadOnly());
    EXPECT_EQ(mc.Reply()->Pane()->toPlainText(), "my edit");  // not shown again yet
    mc.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(mc.Reply()->RecipientEdit()->text(), "bob@example.com");
    EXPECT_EQ(mc.Reply()->SubjectEdit()->text(), "Re: Re: plans");
    EXPECT_EQ(mc.Reply()->Pane()->toPlainText(), ">ok\n");

    mc.ShowHeader();
    EXPECT_EQ(mc.Tabs()->currentIndex(), 2);
    EXPECT_EQ(mc.Stats()->Pane()->toPlainText(), "From: bob@example.com\nSubject: Re: plans\n");
}

TEST(MessageCenter, TodaysMailIsReadDecodedAndItsAttachmentSavedAsItsBytes) {
    test::ScopedHive hive;
    Recorder r;
    r.savePath = QString::fromStdString(test::MakeTempDir("velto-attach") + "/saved");
    CMessageCenter mc(r.Prompts(), nullptr);
    const std::string raw =
        "From: =?ISO-8859-1?Q?J=F6rg?= <j@example.de>\r\nSubject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n.\r\n";
    const std::string body =
        "--b\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "Sch=C3=B6n\r\n--b\r\nContent-Type: application/octet-stream\r\n"
        "Content-Disposition: attachment; filename=\"../../.bashrc\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "AAEC/w==\r\n--b--\r\n";
    SetMessage(mc, Header("=?ISO-8859-1?Q?J=F6rg?= <j@example.de>", "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=", raw), body);
    mc.ShowMessage();
    EXPECT_EQ(mc.Reader()->FromEdit()->text(), QString::fromUtf8("J\xc3\xb6rg <j@example.de>"));
    EXPECT_EQ(mc.Reader()->SubjectEdit()->text(), QString::fromUtf8("Gr\xc3\xbc\xc3\x9f" "e"));
    const QString shown = mc.Reader()->Pane()->toPlainText();
    EXPECT_TRUE(shown.startsWith(QString::fromUtf8("Sch\xc3\xb6n"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains("bashrc")) << shown.toStdString();
    mc.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(mc.Reply()->Pane()->toPlainText(), QString::fromUtf8(">Sch\xc3\xb6n\n"));  // the quote is of the text read
    mc.Action(ID_SAVE_ATTACHMENT)->trigger();
    EXPECT_FALSE(r.suggested.contains('/'));
    EXPECT_FALSE(r.suggested.startsWith('.'));
    EXPECT_EQ(test::ReadFile(r.savePath.toStdString()), std::string("\x00\x01\x02\xff", 4));
}

struct SendCase {
    const char* name;
    bool trusted;  // the server's certificate verifies
};

// A folded, encoded subject is shown whole wherever the message is read, and
// answered whole.
TEST(MessageCenter, AFoldedSubjectIsReadAndAnsweredWhole) {
    test::ScopedHive hive;
    Recorder r;
    CMessageCenter mc(r.Prompts(), nullptr);
    const std::string raw = "From: \"Ann\r\n Smith\" <ann@example.com>\r\nSubject: =?UTF-8?B?R3LDvMOfZSBhdXMgTcO8bmNoZW4sIGVp?=\r\n"
                            " =?UTF-8?B?bmUgc2VociBsYW5nZSBCZXRyZWZmemVpbGU=?=\r\n";
    CMailHeader h;
    h.ParseHeader(raw);
    h.m_accountAddress = "me@example.com";
    SetMessage(mc, h, "hi");
    mc.ShowReply();
    const QString whole = QString::fromUtf8("Grüße aus München, eine sehr lange Betreffzeile");
    EXPECT_EQ(mc.Reader()->m_subject, whole);
    EXPECT_EQ(mc.Reader()->m_from, "\"Ann Smith\" <ann@example.com>");
    EXPECT_EQ(mc.Reply()->SubjectEdit()->text(), "Re: " + whole);
    EXPECT_EQ(mc.Reply()->RecipientEdit()->text(), "ann@example.com");
    const std::string page = RenderPage("<title>%SUBJECT%</title>", h, CMessageText{CMessageText::HeaderBlock(raw), "hi"});
    EXPECT_EQ(page.substr(0, page.find("</title>")), "<title>" + whole.toStdString());
}

// The from field is the last of Sender:, Originator: and From:,
// shown whole, answered and put on the page as that one.
TEST(MessageCenter, TheSenderFieldTheRecordChoosesIsReadAndAnswered) {
    test::ScopedHive hive;
    Recorder r;
    CMessageCenter mc(r.Prompts(), nullptr);
    const std::string raw = "From: Ann <ann@example.com>\r\nSender: \"List\r\n Bot\" <bot@lists.example.com>\r\n"
                            "Subject: news\r\n";
    CMailHeader h;
    h.ParseHeader(raw);
    h.m_accountAddress = "me@example.com";
    SetMessage(mc, h, "hi");
    mc.ShowReply();
    EXPECT_EQ(mc.Reader()->m_from, "\"List Bot\" <bot@lists.example.com>");
    EXPECT_EQ(mc.Reply()->RecipientEdit()->text(), "bot@lists.example.com");
    const std::string page = RenderPage("<p>%FROM%</p>", h, CMessageText{CMessageText::HeaderBlock(raw), "hi"});
    EXPECT_NE(page.find("<p>&quot;List Bot&quot; &lt;bot@lists.example.com&gt;</p>"), std::string::npos) << page;
}

// A reply being written stays while the window is hidden and the same
// message comes again; another message over an edited reply asks once, and
// a no keeps the message and the reply on show.
TEST(MessageCenter, AnEditedReplyIsKeptAndAskedAboutOnce) {
    test::ScopedHive hive;
    struct Row {
        const char* name;
        bool otherMessage;
        bool discard;  // the answer, when asked
        int questions;
        QString reply, reader;
    };
    const Row rows[] = {
        {"hidden and shown again", false, false, 0, "my draft", "see you"},
        {"another message, kept", true, false, 1, "my draft", "see you"},
        {"another message, discarded", true, true, 1, ">ok\n", "ok"},
    };
    const CMailHeader first = Header("Ann <ann@example.com>", "lunch", "From: Ann <ann@example.com>\r\nSubject: lunch");
    const CMailHeader second = Header("bob@example.com", "plans", "From: bob@example.com\r\nSubject: plans\r\n");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder r;
        int asked = 0;
        r.askYes = [&](const QString&) {
            ++asked;
            return row.discard;
        };
        CMessageCenter mc(r.Prompts(), nullptr);
        SetMessage(mc, first, "see you");
        mc.show();
        mc.ShowReply();
        mc.Reply()->Pane()->setPlainText("my draft");
        mc.close();  // Escape and the close box hide it
        EXPECT_FALSE(mc.isVisible());
        if (row.otherMessage) {
            SetMessage(mc, second, "ok");
        } else {
            SetMessage(mc, first, "see you");
        }
        mc.show();
        mc.ShowMessage();
        EXPECT_EQ(asked, row.questions);
        EXPECT_EQ(mc.Reader()->Pane()->toPlainText(), row.reader);
        mc.Tabs()->setCurrentIndex(CMessageCenter::kReplyPage);
        EXPECT_EQ(mc.Reply()->Pane()->toPlainText(), row.reply);
        // Asked once: the same message again asks nothing more.
        SetMessage(mc, row.discard ? second : first, row.discard ? "ok" : "see you");
        mc.ShowReply();
        EXPECT_EQ(asked, row.questions);
    }
}

// Messages read while the discard question waits are not dropped: after
// the answer each is taken in turn, so a yes leaves the newest on show and a
// no asks again for the next.
TEST(MessageCenter, ReadsWhileTheQuestionWaitsAreTakenInTurn) {
    test::ScopedHive hive;
    struct Row {
        const char* name;
        std::vector<bool> answers;  // to each question, in turn
        QString reader;             // on show at the end
    };
    const Row rows[] = {
        {"discarded", {true}, "third"},
        {"kept, then discarded for the newest", {false, true}, "third"},
        {"kept both times", {false, false}, "see you"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder r;
        MessageCenterPrompts prompts = r.Prompts();
        std::vector<std::function<void(bool)>> questions;
        prompts.askYesNo = [&](QWidget*, const QString&, std::function<void(bool)> answer) {
            questions.push_back(std::move(answer));
        };
        CMessageCenter mc(prompts, nullptr);
        SetMessage(mc, Header("ann@example.com", "lunch", "From: ann@example.com\r\nSubject: lunch\r\n"), "see you");
        mc.ShowReply();
        mc.Reply()->Pane()->setPlainText("my draft");
        QStringList settled;
        for (const char* subject : {"second", "third"}) {
            const CMailHeader header =
                Header("bob@example.com", subject, std::string("From: bob@example.com\r\nSubject: ") + subject + "\r\n");
            mc.SetMessage(header, CMessageText{CMessageText::HeaderBlock(header.m_rawHeader), subject}, [&, subject] {
                settled << subject;
                mc.ShowMessage();
            });
        }
        ASSERT_EQ(questions.size(), 1u);  // one question at a time
        EXPECT_EQ(mc.Reader()->Pane()->toPlainText(), "see you");
        for (std::size_t i = 0; i < row.answers.size(); ++i) {
            ASSERT_EQ(questions.size(), i + 1);
            questions[i](row.answers[i]);
        }
        EXPECT_EQ(questions.size(), row.answers.size());
        EXPECT_EQ(settled, (QStringList{"second", "third"}));
        EXPECT_EQ(mc.Reader()->Pane()->toPlainText(), row.reader);
    }
}

// A Message Center replying to a message of the account on "pop.test",
// whose replies go to "localhost" (the recorder at port) over checked TLS.
std::unique_ptr<CMessageCenter> ReplyingCenter(Recorder& r, int port, const test::TestCertificates& certs) {
    auto mc = std::make_unique<CMessageCenter>(r.Prompts(), [port] {
        auto f = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
        f->Route("localhost", port);
        return f;
    });
    TlsTrust trust;
    trust.extraAuthorities = certs.authority;
    mc->SetTlsLayer(MakeOpenSslLayer(trust));
    mc->SetSignIn(std::make_shared<test::SettingsSignIn>());
    CMailHeader original = Header("Ann <ann@example.com>", "lunch", "From: Ann <ann@example.com>\r\nSubject: lunch\r\n");
    original.m_accountServer = "pop.test";
    original.m_accountOutgoing = "localhost";
    SetMessage(*mc, original, "see you\r\n");
    mc->ShowReply();
    return mc;
}

TEST(MessageCenter, AReplyGoesOutWithItsAccountsProtectionAndSignIn) {
    if (!test::SmtpRecorder::Installed()) GTEST_SKIP() << "python3-aiosmtpd is not installed";
    const test::TestCertificates& certs = test::TestCertificates::Get();
    ASSERT_TRUE(certs.error.empty()) << certs.error;
    for (const SendCase& c : {SendCase{"verified", true}, SendCase{"self-signed, trusted when asked", false}}) {
        SCOPED_TRACE(c.name);
        const test::CertificatePair& served = c.trusted ? certs.good : certs.selfSigned;
        test::SmtpRecorder smtp;
        std::string why;
        ASSERT_TRUE(smtp.Start(&why, {"--cert", served.cert, "--key", served.key, "--auth", "bob:pw-bob"})) << why;
        test::ScopedHive hive(
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Ann]\r\n"
            "\"Account Name\"=\"Ann\"\r\n\"Server Name\"=\"pop.test\"\r\n\"Outgoing Mail Server\"=\"localhost\"\r\n"
            "\"Outgoing Security\"=dword:00000002\r\n\"Outgoing Sign In\"=dword:00000002\r\n"
            "\"Outgoing User Name\"=\"bob\"\r\n\"Outgoing Password\"=\"pw-bob\"\r\n");
        Recorder r;
        auto center = ReplyingCenter(r, smtp.Port(), certs);
        CMessageCenter& mc = *center;
        int asked = 0;
        auto send = [&] {
            r.boxes.clear();
            mc.Action(ID_SEND_REPLY)->trigger();
            QElapsedTimer clock;
            clock.start();
            while (r.boxes.empty() && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        };
        r.askYes = [&](const QString& question) {
            ++asked;
            EXPECT_TRUE(question.contains("The mail server localhost of the account \"Ann\"")) << question.toStdString();
            return question.contains("SHA-256");
        };
        // Refused for the certificate: one question naming the server, and
        // on the user's yes the reply goes at once, without another click.
        send();
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0].text, "Message Successfully Sent");
        const auto received = smtp.Messages();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].signedInAs, "bob");  // over STARTTLS: a password never goes in clear
        EXPECT_TRUE(received[0].encrypted);
        EXPECT_EQ(asked, c.trusted ? 0 : 1);
    }
}

TEST(MessageCenter, SaveMessageWritesRawHeaderLineEndAndBodyOnly) {
    test::ScopedHive hive;
    const std::string folder = test::MakeTempDir("velto-save");
    struct Row {
        std::string raw, body, file;
    };
    const Row rows[] = {
        {"Subject: a", "body\r\n", "Subject: a\r\nbody\r\n"},           // no blank line between
        {"Subject: a\r\n", "body", "Subject: a\r\n\r\nbody"},
        {"Subject: a\r\n", "", "Subject: a\r\n\r\n"},                   // empty body
        {"Subject: \xE9t\xE9\r\n", "caf\xE9\r\n", "Subject: \xE9t\xE9\r\n\r\ncaf\xE9\r\n"},  // raw bytes, not the display
        {"Subject: a\r\n\r\n.\r\n", "b", "Subject: a\r\n\r\nb"},  // as TOP left it: its end not saved
    };
    Recorder r;
    CMessageCenter mc(r.Prompts(), nullptr);
    int n = 0;
    for (const Row& row : rows) {
        r.savePath = QString::fromStdString(folder + "/m" + std::to_string(++n) + ".eml");
        SetMessage(mc, Header("a@b", "s", row.raw), row.body);
        mc.ShowReply();
        mc.Action(ID_SAVE_MESSAGE)->trigger();
        EXPECT_EQ(mc.Tabs()->currentIndex(), 0);
        EXPECT_EQ(test::ReadFile(r.savePath.toStdString()), row.file) << row.raw;
    }
    EXPECT_TRUE(r.boxes.empty());

    // Cancelled: nothing. Unwritable: a box naming the file and why; no file.
    r.savePath.clear();
    mc.OnSaveMessage();
    EXPECT_TRUE(r.boxes.empty());
    r.savePath = QString::fromStdString(folder + "/missing/m.eml");
    mc.OnSaveMessage();
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, "VeltoMail");
    EXPECT_TRUE(r.boxes[0].text.contains(r.savePath)) << r.boxes[0].text.toStdString();
    EXPECT_GT(r.boxes[0].text.size(), r.savePath.size() + 30);  // a reason follows
    EXPECT_FALSE(std::filesystem::exists(folder + "/missing"));
}

// "Mail Font"=hex(0): with the 60 bytes of a font description.
std::string FontValue(const std::string& bytes) {
    std::string text = "\"Mail Font\"=hex(0):";
    char hex[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
        text += (i ? "," : "") + std::string(hex);
    }
    return text;
}

const std::string kEnvironmentKey = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n";

TEST(MessageCenter, MailFontLoadsFromTheStoredBlockAndTheChoiceIsStoredForTheNextRun) {
    // Written by hand from the layout: height -20, weight 700, italic,
    // fixed pitch of the modern family, face "Courier New".
    std::string block(60, '\0');
    const unsigned char head[] = {0xEC, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xBC, 0x02, 0, 0,
                                  1, 0, 0, 0, 3, 2, 1, 0x31};
    std::copy(std::begin(head), std::end(head), block.begin());
    const std::string face = "Courier New";
    std::copy(face.begin(), face.end(), block.begin() + 28);
    Recorder r;
    {
        test::ScopedHive hive(kEnvironmentKey + FontValue(block) + "\r\n");
        CMessageCenter mc(r.Prompts(), nullptr);
        for (QPlainTextEdit* pane : {mc.Reader()->Pane(), mc.Reply()->Pane(), mc.Stats()->Pane()}) {
            EXPECT_EQ(pane->font().family(), "Courier New");
            EXPECT_EQ(pane->font().pixelSize(), 20);
            EXPECT_EQ(pane->font().weight(), QFont::Bold);
            EXPECT_TRUE(pane->font().italic());
        }
    }
    std::string saved;
    {
        test::ScopedHive hive;
        CMessageCenter mc(r.Prompts(), nullptr);
        mc.Action(ID_CHOOSE_FONT)->trigger();  // cancelled: nothing stored
        EXPECT_EQ(RegistryHive::Current()->ExportText().find("Mail Font"), std::string::npos);
        QFont chosen(QStringLiteral("DejaVu Serif"));
        chosen.setPixelSize(13);
        chosen.setUnderline(true);
        r.font = chosen;
        mc.Action(ID_CHOOSE_FONT)->trigger();
        for (QPlainTextEdit* pane : {mc.Reader()->Pane(), mc.Reply()->Pane(), mc.Stats()->Pane()}) {
            EXPECT_EQ(pane->font().pixelSize(), 13);
            EXPECT_TRUE(pane->font().underline());
        }
        saved = RegistryHive::Current()->ExportText();
    }
    EXPECT_NE(saved.find("\"Mail Font\"=hex(0):f3,ff,ff,ff,"), std::string::npos) << saved;
    {
        test::ScopedHive hive(saved);  // the next run
        const LogFont stored = MailFontSettings(keys::kEnvironment).m_font;
        EXPECT_EQ(stored.height, -13);
        EXPECT_EQ(stored.weight, 400);
        EXPECT_EQ(stored.italic, 0);
        EXPECT_EQ(stored.underline, 1);
        EXPECT_STREQ(stored.faceName.data(), "DejaVu Serif");
        CMessageCenter mc(r.Prompts(), nullptr);
        EXPECT_EQ(mc.Stats()->Pane()->font().family(), "DejaVu Serif");
        EXPECT_EQ(mc.Stats()->Pane()->font().pixelSize(), 13);
        EXPECT_TRUE(mc.Reply()->Pane()->font().underline());
    }
    {
        // A short value is not half applied: the default font.
        test::ScopedHive hive(kEnvironmentKey + FontValue(block.substr(0, 30)) + "\r\n");
        CMessageCenter mc(r.Prompts(), nullptr);
        EXPECT_EQ(mc.Reader()->Pane()->font().family(), "Arial");
        EXPECT_EQ(mc.Reader()->Pane()->font().pixelSize(), 15);
        EXPECT_EQ(mc.Reader()->Pane()->font().weight(), QFont::Normal);
        // Arial or not, what is drawn is a sans-serif of that size.
        EXPECT_EQ(QFontInfo(mc.Reader()->Pane()->font()).pixelSize(), 15);
    }
}

TEST(MessageCenter, WithoutAnOutgoingServerNothingIsSent) {
    test::ScopedHive hive;
    Recorder r;
    CMessageCenter mc(r.Prompts(), [&r] {
        ++r.transportsMade;
        return MakePosixTransportFactory();
    });
    CMailHeader header = Header("a@b", "s", "Subject: s\r\n");
    header.m_accountOutgoing.clear();
    SetMessage(mc, header, "x");
    mc.ShowMessage();
    mc.Action(ID_SEND_REPLY)->trigger();
    EXPECT_EQ(mc.Tabs()->currentIndex(), 1);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, "VeltoMail");
    EXPECT_EQ(r.boxes[0].text, "Outgoing Server address not setup in Properties!");
    EXPECT_EQ(r.transportsMade, 0);
    EXPECT_FALSE(mc.Sending());
}

TEST(MessageCenter, TheOutcomeOfASendIsOneNotificationBox) {
    test::ScopedHive hive;
    struct Row {
        const char* server;
        const char* box;
    };
    const Row rows[] = {
        {"S: 554 go away\n", "Server didn't respond.\r\n"},
        {"S: 220 hi\nS: 250 ok\nS: 550 not you\nS: 221 bye\n", "550:SMTP server error\r\n"},
        {"S: 220 hi\nS: 250 ok\nS: 250 ok\nS: 250 ok\nS: 354 go\nS: 250 queued\nS: 221 bye\n",
         "Message Successfully Sent"},
    };
    for (const Row& row : rows) {
        Recorder r;
        // Lenient: the server's lines are played in turn, whatever the client says.
        CMessageCenter mc(r.Prompts(), [&] { return std::make_shared<test::ScriptedTransportFactory>(row.server, false); });
        SetMessage(mc, Header("a@b", "s", "Subject: s\r\n"), "x");
        mc.ShowMessage();
        mc.Action(ID_SEND_REPLY)->trigger();
        ASSERT_TRUE(test::RunEventsUntil([&] { return !r.boxes.empty(); }, 5000)) << row.box;
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0].caption, "Notification");
        EXPECT_EQ(r.boxes[0].text.toStdString(), row.box);
        EXPECT_FALSE(mc.Sending());
        EXPECT_EQ(mc.SendingWindow(), nullptr);
    }
}

TEST(MessageCenter, ASilentServerLeavesTheWindowPaintingAndCancelEndsTheSend) {
    test::ScopedHive hive;
    // Accepts, then says nothing until the client goes.
    test::LoopbackServer server([](test::ServerConnection& c) {
        std::string rest;
        c.ReadUntilClosed(rest, std::chrono::milliseconds(20'000));
    });
    Recorder r;
    // The window asks for port 25; the silent server listens elsewhere. The
    // time limits are the program's own, far beyond this test's waits.
    CMessageCenter mc(r.Prompts(), [&] {
        ++r.transportsMade;
        return WithPort(MakePosixTransportFactory(), 25, server.port());
    });
    CMailHeader header = Header("a@b", "s", "Subject: s\r\n");
    header.m_accountOutgoing = "127.0.0.1";
    SetMessage(mc, header, "x");
    mc.show();
    mc.ShowMessage();
    mc.Action(ID_SEND_REPLY)->trigger();
    ASSERT_TRUE(mc.Sending());
    ASSERT_NE(mc.SendingWindow(), nullptr);
    EXPECT_FALSE(mc.Action(ID_SEND_REPLY)->isEnabled());

    // The loop keeps running: timers fire and the window paints.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    test::RunEventsUntil([] { return false; }, 500);
    EXPECT_GT(ticks, 20);
    EXPECT_FALSE(mc.grab().isNull());
    EXPECT_TRUE(mc.Sending());
    EXPECT_TRUE(mc.SendingWindow()->isVisible());

    QElapsedTimer clock;
    clock.start();
    QPushButton* cancel = mc.SendingWindow()->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
    ASSERT_TRUE(test::RunEventsUntil([&] { return !mc.Sending() && mc.SendingWindow() == nullptr; }, 5000));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(r.boxes.empty());  // the user knows; no box after a cancel
    EXPECT_TRUE(mc.Action(ID_SEND_REPLY)->isEnabled());
    EXPECT_EQ(r.transportsMade, 1);
}

}  // namespace
}  // namespace velto
