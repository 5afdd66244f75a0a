#include <gtest/gtest.h>

#include <QTextDocument>

#include "engine/MessageListModel.h"
#include "support/qt/EngineHarness.h"
#include "support/FakeTransport.h"
#include "support/Pop3Scripts.h"

namespace velto {
namespace {

using test::AccountsText;
using test::EngineHarness;
using test::kPop3Quit;
using test::Pop3Login;
using test::Pop3NewHeader;
using test::Pop3Uidl;

CMailHeader Record(std::uint32_t id, const std::string& server, const std::string& header,
                   const std::string& address = "ann@example.com", int size = 1234) {
    CMailHeader r;
    r.ParseHeader(header);
    r.SetAccountInfo(server, address, "smtp.example.com");
    r.SetMessageInfo(-1, id, size);
    return r;
}

TEST(SenderCleaning, DisplayNamesAndAddresses) {
    EXPECT_EQ(CleanSender("\"Ann Smith\" <ann@example.com>"), "Ann Smith");
    EXPECT_EQ(CleanSender("Ann Smith <ann@example.com>"), "Ann Smith");
    EXPECT_EQ(CleanSender("ann@example.com"), "ann@example.com");
    EXPECT_EQ(CleanSender("<ann@example.com>"), "");
    EXPECT_EQ(CleanSender("ann@example.com (Ann Smith)"), "ann@example.com (Ann Smith)");
    EXPECT_EQ(CleanSender(""), "");
}

// The list shows folded subjects and names whole, decoded; the record keeps
// its first line as it always did.
TEST(ListRow, FoldedSubjectAndSenderShownWhole) {
    struct Row {
        const char* name;
        std::string header, subject, sender, recordSubject;
    };
    const Row rows[] = {
        {"encoded words on two lines",
         "From: ann@example.com\r\nSubject: =?UTF-8?B?R3LDvMOfZSBhdXMgTcO8bmNoZW4sIGVp?=\r\n"
         " =?UTF-8?B?bmUgc2VociBsYW5nZSBCZXRyZWZmemVpbGU=?=\r\nTo: bob@example.com\r\n",
         "Grüße aus München, eine sehr lange Betreffzeile", "ann@example.com",
         "=?UTF-8?B?R3LDvMOfZSBhdXMgTcO8bmNoZW4sIGVp?="},
        {"plain text folded with a tab", "Subject: the first line\r\n\tand the second\r\nFrom: \"Ann\r\n Smith\" <a@b.c>\r\n",
         "the first line and the second", "Ann Smith", "the first line"},
        {"one line", "Subject: short\r\nFrom: a@b.c\r\n", "short", "a@b.c", "short"},
        {"a Sender after the From", "Subject: s\r\nFrom: Ann <a@b.c>\r\nSender: \"Bob\r\n Brown\" <b@b.c>\r\n", "s",
         "Bob Brown", "s"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const CMailHeader record = Record(1, "pop.a", row.header);
        EXPECT_EQ(record.m_subject, row.recordSubject);
        const auto shown = MessageListModel::MakeRow(record);
        EXPECT_EQ(shown.subject, row.subject);
        EXPECT_EQ(shown.sender, row.sender);
    }
}

TEST(SpamMark, ComparesBothSidesWithoutCase) {
    EXPECT_FALSE(IsSpamMarked("ANN@EXAMPLE.COM", "ann@example.com"));
    // An address stored with capitals must not mark every message.
    EXPECT_FALSE(IsSpamMarked("ann@example.com", "Ann@Example.com"));
    EXPECT_TRUE(IsSpamMarked("bob@example.com", "ann@example.com"));
    EXPECT_TRUE(IsSpamMarked("", "ann@example.com"));
    EXPECT_FALSE(IsSpamMarked("anything", ""));
}

TEST(RefreshList, RowsNewestFirstFilteredByServerWithTheCaptionCount) {
    EngineHarness h(AccountsText({{"One", "pop.one"}, {"Two", "pop.two"}, {"Twin", "pop.one"}}));
    h.view->OnInitialUpdate();
    auto& store = h.view->Messages();
    store.Append(Record(1, "pop.one",
                        "From: \"Ann\" <ann@x>\r\nTo: ann@example.com\r\nSubject: first\r\n"
                        "Date: Mon, 7 Dec 1998 14:05:09 -0500\r\n"));
    store.Append(Record(2, "pop.two", "From: bob@x\r\nTo: someone@else\r\nSubject: second\r\nDate: not a date\r\n"));
    store.Append(Record(3, "pop.one", "Subject: third\r\nTo: ANN@EXAMPLE.COM\r\n", "ann@example.com", 7));
    h.view->RefreshList();
    auto* model = h.view->Model();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->RowAt(0).subject, "third");
    EXPECT_EQ(model->RowAt(0).size, "7 Bytes");
    EXPECT_EQ(model->RowAt(0).image, 0);
    EXPECT_EQ(model->RowAt(1).subject, "second");
    EXPECT_EQ(model->RowAt(1).date, "not a date");
    EXPECT_EQ(model->RowAt(1).image, 1);
    EXPECT_EQ(model->RowAt(2).sender, "Ann");
    EXPECT_EQ(model->RowAt(2).date, "12/07/1998 14:05:09");
    // Its server is two accounts': the column names the account too.
    EXPECT_EQ(model->RowAt(2).mailbox.rfind("pop.one (", 0), 0u) << model->RowAt(2).mailbox;
    EXPECT_EQ(model->RowAt(1).mailbox, "pop.two");
    EXPECT_EQ(model->IdAt(2), 1u);
    EXPECT_EQ(h.ui.title, "VeltoMail 98 - All MailBoxes - 3 Messages");

    h.view->OnMailboxSelChange("pop.one");
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->RowAt(0).subject, "third");
    EXPECT_EQ(h.ui.title, "VeltoMail 98 - pop.one - 2 Messages");
    h.view->OnMailboxSelChange("POP.ONE");  // exact, case-sensitive
    EXPECT_EQ(model->rowCount(), 0);
    h.view->OnMailboxSelChange("All MailBoxes");
    EXPECT_EQ(model->rowCount(), 3);
    // Two accounts on one server: told apart in the chooser.
    EXPECT_EQ(std::count(h.ui.chooser.begin(), h.ui.chooser.end(), "pop.one (One)"), 1);
    EXPECT_EQ(std::count(h.ui.chooser.begin(), h.ui.chooser.end(), "pop.one (Twin)"), 1);
}

TEST(RefreshList, ModelShowsColumnsAsTheListDoes) {
    MessageListModel model;
    model.Reset({StoredHeader(Record(9, "pop", "Subject: Caf\xc3\xa9\r\n")),
                 StoredHeader(Record(8, "pop", "Subject: Caf\xe9\r\n"))});
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Subject");
    EXPECT_EQ(model.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), "MailBox");
    EXPECT_EQ(model.headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);
    // 8-bit text: UTF-8 where it is valid, Latin-1 otherwise.
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(model.data(model.index(0, 0), MessageListModel::kIdRole).toUInt(), 8u);
}

// A tip reads markup where it finds some: a subject's tip shows its words.
TEST(RefreshList, TipsShowTheSubjectAsText) {
    MessageListModel model;
    model.Reset({StoredHeader(Record(9, "pop", "Subject: <b>BOLD</b> &amp; <img src=x>\r\n"))});
    const QString tip = model.data(model.index(0, 0), Qt::ToolTipRole).toString();
    QTextDocument shown;
    if (Qt::mightBeRichText(tip)) shown.setHtml(tip);
    else shown.setPlainText(tip);
    EXPECT_EQ(shown.toPlainText(), "<b>BOLD</b> &amp; <img src=x>");
}

TEST(RefreshList, SubjectAndSenderShownDecodedSpamMarkOnRawBytes) {
    const struct {
        const char* header;
        const char* subject;
        const char* sender;
        int image;
    } cases[] = {
        {"Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\nFrom: \"=?ISO-8859-1?Q?J=F6rg?=\" <j@x>\r\nTo: ann@example.com\r\n",
         "Grüße", "Jörg", 0},
        {"Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\r\nFrom: =?UTF-8?B?5bGx55Sw?= <y@x>\r\nTo: b@x\r\n", "日本語",
         "山田", 1},
        // The cleaning rule works on the decoded name: its quote and bracket cut it.
        {"Subject: Caf\xe9\r\nFrom: =?UTF-8?Q?A_=22B=22_<c>?= <d@x>\r\nTo: ann@example.com\r\n", "Café", "A", 0},
        // An address hidden in an encoded word does not count for the mark.
        {"Subject: s\r\nTo: =?UTF-8?Q?ann=40example=2Ecom?=\r\n", "s", "", 1},
    };
    for (const auto& c : cases) {
        const MessageListModel::Row row = MessageListModel::MakeRow(Record(1, "pop", c.header));
        EXPECT_EQ(row.subject, c.subject) << c.header;
        EXPECT_EQ(row.sender, c.sender) << c.header;
        EXPECT_EQ(row.image, c.image) << c.header;
    }
}

TEST(NewMailAlert, TipSoundBlinkAndNotificationThenIdleAfterAClick) {
    // Two checks, one new message each, before the user looks.
    const std::string script = Pop3Login("One", 1) + Pop3NewHeader(1, "u1", "a") + kPop3Quit + Pop3Login("One", 2) +
                               Pop3Uidl(1, "u1") + Pop3NewHeader(2, "u2", "b") + kPop3Quit;
    auto transports = std::make_shared<test::ScriptedTransportFactory>(script);
    EngineHarness h(AccountsText({{"One", "pop.one"}},
                                 "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
                                 "\"Enable Sound\"=dword:00000001\r\n\"Sound Filename\"=\"/snd/new.wav\"\r\n"),
                    transports);
    h.store.existing = {"/snd/new.wav"};
    h.view->OnInitialUpdate();
    h.Drain();
    EXPECT_EQ(h.tray.tip, "VeltoMail 98");
    for (int i = 0; i < 2; ++i) {
        h.view->OnRefresh();
        ASSERT_TRUE(h.FinishWork());
    }
    EXPECT_EQ(transports->Problems(), "");
    EXPECT_EQ(h.tray.tip, "VeltoMail 98 - You have 2 New Messages!!");
    EXPECT_EQ(h.sound.played, (std::vector<std::string>{"/snd/new.wav", "/snd/new.wav"}));
    // One notice a check, the second replacing the first.
    ASSERT_EQ(h.notices.shown.size(), 2u);
    EXPECT_EQ(h.notices.shown[0].tag, h.notices.shown[1].tag);
    EXPECT_EQ(h.notices.shown[1].title, "VeltoMail 98 - You have 2 New Messages!!");
    EXPECT_TRUE(h.timers.IsArmed(TrayAnimator::kBlinkTimerId));
    h.view->OnListClick();
    EXPECT_EQ(h.tray.tip, "VeltoMail 98");
    EXPECT_EQ(h.view->NewCount(), 0);
    // The blink ends at the end of its cycle.
    h.view->OnTimer(TrayAnimator::kBlinkTimerId);
    h.view->OnTimer(TrayAnimator::kBlinkTimerId);
    h.view->OnTimer(TrayAnimator::kBlinkTimerId);
    EXPECT_EQ(h.tray.icon, kIconIdle);
    EXPECT_FALSE(h.timers.IsArmed(TrayAnimator::kBlinkTimerId));
    // No new mail: idle tip, no sound.
    h.view->RefreshList();
    EXPECT_EQ(h.sound.played.size(), 2u);
}

TEST(TrayAnimation, BusyFramesPauseTheBlinkWhichResumesAfterwards) {
    test::Journal journal;
    test::FakeTimers timers(journal);
    std::vector<int> icons;
    TrayAnimator animator(timers, [&](int icon) { icons.push_back(icon); });
    animator.StartBlink();
    icons.clear();
    animator.StartBusy();  // a worker starts meanwhile
    EXPECT_EQ(icons, (std::vector<int>{kIconBusy1}));
    EXPECT_EQ(timers.Interval(TrayAnimator::kBusyTimerId), 300);
    animator.OnTimer(TrayAnimator::kBusyTimerId);
    EXPECT_EQ(timers.Interval(TrayAnimator::kBusyTimerId), 300);
    animator.OnTimer(TrayAnimator::kBusyTimerId);
    EXPECT_EQ(icons.back(), kIconBusy3);
    EXPECT_EQ(timers.Interval(TrayAnimator::kBusyTimerId), 700);
    // The blink reaches the end of its cycle and waits for the busy frames.
    animator.OnTimer(TrayAnimator::kBlinkTimerId);
    animator.OnTimer(TrayAnimator::kBlinkTimerId);
    EXPECT_FALSE(timers.IsArmed(TrayAnimator::kBlinkTimerId));
    animator.StopBusy();  // the worker is done
    animator.OnTimer(TrayAnimator::kBusyTimerId);
    // Idle for a moment, then the blink takes over again.
    const std::vector<int> tail(icons.end() - 2, icons.end());
    EXPECT_EQ(tail, (std::vector<int>{kIconIdle, kIconBlink1}));
    EXPECT_TRUE(timers.IsArmed(TrayAnimator::kBlinkTimerId));
    EXPECT_FALSE(timers.IsArmed(TrayAnimator::kBusyTimerId));
}

TEST(TrayTip, CutToSixtyThreeCharacters) {
    EngineHarness h;
    h.view->OnInitialUpdate();
    h.view->SetTrayTip(std::string(100, 'x'));
    EXPECT_EQ(h.tray.tip.size(), 63u);
}

}  // namespace
}  // namespace velto
