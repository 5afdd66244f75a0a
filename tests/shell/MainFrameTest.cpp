#include <gtest/gtest.h>

#include <QComboBox>
#include <QEnterEvent>
#include <QLabel>
#include <set>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>

#include "engine/CorvaneView.h"
#include "settings/RegistryDatabase.h"
#include "shell/AboutDialog.h"
#include "shell/GetMailProgressDlg.h"
#include "shell/FrameHarness.h"
#include "engine/EngineServices.h"
#include "shell/OutputWindow.h"
#include "shell/ToolIcons.h"
#include "shell/UtilityBar.h"
#include "support/FakeMailbox.h"
#include "support/FakeTransport.h"
#include "support/MailTestKit.h"
#include "support/RedirectTransport.h"
#include "shell/SheetPrompts.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

namespace velto {
namespace {

using test::AccountsText;
using test::FrameHarness;
using test::ScriptedTransportFactory;

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

bool Enabled(const FrameHarness& h, int id) { return h.frame.Action(id)->isEnabled(); }

// One account, pop.b, with one new message.
const char* const kOneMessage =
    "S: +OK POP3 ready\nC: USER B\nS: +OK\nC: PASS pw-B\nS: +OK in\nC: STAT\nS: +OK 1 120\n"
    "C: UIDL 1\nS: +OK 1 u1\nC: LIST 1\nS: +OK 1 120\nC: TOP 1 0\nS: +OK\nS: Subject: hello\nS: To: B@example.com\n"
    "S: .\nC: UIDL 1\nS: +OK 1 u1\nC: QUIT\nS: +OK bye\n";

TEST(MainFrame, EngineCommandsAreDisabledWhileBusyAndTheLogAndTitleFollowACheck) {
    auto transports = std::make_shared<ScriptedTransportFactory>(kOneMessage);
    FrameHarness h(AccountsText({{"B", "pop.b"}}), transports);
    h.view().OnInitialUpdate();
    h.engine.Drain();
    // The commands disabled while busy; Web Browser is not one of them.
    const int engine[] = {ID_GET_MAIL,     ID_REFRESH,         ID_DELETE_MESSAGE, ID_PERFORM_MAINTENANCE,
                          ID_READ_MESSAGE, ID_READ_AS_WEBPAGE, ID_MESSAGE_STATISTICS};
    const int later[] = {ID_EDIT_COPY};
    const int always[] = {ID_MAIL_PROPERTIES, ID_APP_ABOUT, ID_UTILITY_WINDOW, ID_FILE_PRINT, ID_APP_EXIT,
                          ID_WEB_BROWSER};
    auto expectStates = [&](bool idle) {
        for (int id : engine) EXPECT_EQ(Enabled(h, id), idle) << id;
        for (int id : later) EXPECT_FALSE(Enabled(h, id)) << id;
        for (int id : always) EXPECT_TRUE(Enabled(h, id)) << id;
        // The list's pop-up follows the same commands.
        for (QAction* a : h.frame.ListMenu()->actions())
            if (a->data().toInt() == ID_REFRESH || a->data().toInt() == ID_DELETE_MESSAGE ||
                a->data().toInt() == ID_READ_MESSAGE || a->data().toInt() == ID_READ_AS_WEBPAGE ||
                a->data().toInt() == ID_MESSAGE_STATISTICS) {
                EXPECT_EQ(a->isEnabled(), idle);
            }
    };
    expectStates(true);
    EXPECT_EQ(h.frame.windowTitle(), "VeltoMail 98 - All MailBoxes - 0 Messages");

    h.frame.Action(ID_REFRESH)->trigger();
    ASSERT_TRUE(h.view().IsBusy());
    expectStates(false);
    h.frame.Action(ID_GET_MAIL)->trigger();  // disabled: nothing starts
    ASSERT_TRUE(h.engine.FinishWork());
    EXPECT_EQ(transports->Problems(), "");
    Settle();
    expectStates(true);

    EXPECT_EQ(h.frame.windowTitle(), "VeltoMail 98 - All MailBoxes - 1 Messages");
    // The conversation: an empty line, the banner, then time-stamped lines,
    // the password masked.
    const QString log = h.frame.OutputWindow()->toPlainText();
    const QRegularExpression shape(
        "^\\n\\d\\d:\\d\\d:\\d\\d [A-Z][a-z]+day, [A-Z][a-z]+ \\d\\d, \\d{4} - Connected to pop\\.b\\n"
        "\\[\\d\\d:\\d\\d:\\d\\d\\] \\+OK POP3 ready\\n\\[\\d\\d:\\d\\d:\\d\\d\\] USER B\\n");
    EXPECT_TRUE(shape.match(log).hasMatch()) << log.toStdString();
    EXPECT_TRUE(log.contains(QRegularExpression("\\] PASS xxxxxxx\\n"))) << log.toStdString();
    EXPECT_FALSE(log.contains("pw-B"));
    EXPECT_FALSE(log.contains('\r'));
}

TEST(MainFrame, ChooserListsAllMailboxesFirstThenServersInReverseEnumerationOrder) {
    FrameHarness h(AccountsText({{"One", "pop.one"}, {"Two", "pop.two"}, {"Twin", "pop.one"}}));
    h.view().OnInitialUpdate();
    h.engine.Drain();
    QStringList expected{"All MailBoxes"};
    for (const std::string& name : RegistryDatabase::SubkeyNames(keys::kAccounts))
        expected.insert(1, name == "Two" ? "pop.two" : QString::fromStdString("pop.one (" + name + ")"));
    QComboBox* chooser = h.frame.Chooser();
    QStringList items;
    for (int i = 0; i < chooser->count(); ++i) items << chooser->itemText(i);
    EXPECT_EQ(items, expected);
    EXPECT_EQ(items.count("pop.one"), 0);  // two accounts on one server, told apart
    EXPECT_EQ(chooser->currentIndex(), 0);
    EXPECT_FALSE(chooser->itemIcon(1).isNull());

    // The user's pick filters the list and titles the window.
    CMailHeader record;
    record.SetAccountInfo("pop.two", "Two@example.com", "");
    record.SetMessageInfo(-1, 7, 10);
    h.view().Messages().Append(record);
    emit chooser->activated(static_cast<int>(items.indexOf("pop.one (One)")));
    EXPECT_EQ(h.frame.windowTitle(), "VeltoMail 98 - pop.one (One) - 0 Messages");
    emit chooser->activated(0);
    EXPECT_EQ(h.frame.windowTitle(), "VeltoMail 98 - All MailBoxes - 1 Messages");

    FrameHarness empty;
    empty.view().OnInitialUpdate();
    ASSERT_EQ(empty.frame.Chooser()->count(), 1);
    EXPECT_EQ(empty.frame.Chooser()->itemText(0), "All MailBoxes");
}

TEST(MainFrame, OutputKeepsItsLinesWhileHiddenAndShowsTheNewestAgain) {
    FrameHarness h;
    h.frame.show();
    CUtilityBar* bar = h.frame.Utility();
    COutputWindow* output = h.frame.OutputWindow();
    for (int i = 0; i < 200; ++i) h.frame.AppendOutput("[10:00:00] +OK line " + std::to_string(i) + "\r\n");
    QScrollBar* scroll = output->verticalScrollBar();
    EXPECT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());

    // Lines that arrive while the URL Monitor is shown are there when the
    // user comes back, and in view.
    bar->Tabs()->setCurrentIndex(1);
    Settle();
    h.frame.AppendOutput("\r\n09:00:00 Monday, December 07, 1998 - Connected to pop.b\r\n");
    h.frame.AppendOutput("[10:00:01] late\r\n");
    bar->Tabs()->setCurrentIndex(0);
    Settle();
    EXPECT_TRUE(output->toPlainText().endsWith("line 199\n\n09:00:00 Monday, December 07, 1998 - Connected to pop.b\n"
                                               "[10:00:01] late\n"));
    EXPECT_EQ(scroll->value(), scroll->maximum());

    // An empty text changes nothing but still scrolls to the end.
    const QString before = output->toPlainText();
    scroll->setValue(0);
    h.frame.AppendOutput("");
    EXPECT_EQ(output->toPlainText(), before);
    EXPECT_EQ(scroll->value(), scroll->maximum());

    // Hiding the utility window from the menu and showing it again keeps the
    // tab, and the lines.
    bar->Tabs()->setCurrentIndex(1);
    QAction* toggle = h.frame.Action(ID_UTILITY_WINDOW);
    toggle->trigger();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(h.frame.UtilityVisible());
    h.frame.AppendOutput("[10:00:02] while hidden\r\n");
    toggle->trigger();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(bar->Tabs()->currentIndex(), 1);
    EXPECT_TRUE(output->toPlainText().endsWith("while hidden\n"));
}

TEST(OutputWindow, AVeryLongLogKeepsItsNewestLines) {
    COutputWindow output;
    output.setFont(COutputWindow::OutputFont());
    EXPECT_EQ(output.font().pixelSize(), 13);
    const int total = COutputWindow::kLineLimit + COutputWindow::kTrimBatch + 10;
    for (int i = 0; i < total; ++i) output.AppendOutput(QString("[10:00:00] %1\r\n").arg(i));
    const int kept = output.document()->blockCount();
    EXPECT_GE(kept, COutputWindow::kLineLimit);
    EXPECT_LT(kept, COutputWindow::kLineLimit + COutputWindow::kTrimBatch);
    // Whole lines went from the top; the newest are all there.
    const QString text = output.toPlainText();
    EXPECT_TRUE(text.startsWith(QString("[10:00:00] %1\n").arg(total - kept + 1))) << text.left(40).toStdString();
    EXPECT_TRUE(text.endsWith(QString("[10:00:00] %1\n").arg(total - 1)));
}

// A server's long lines: each is cut, and a flood of them leaves the log
// within its budget of characters, the newest lines kept.
TEST(OutputWindow, LongLinesAreCutAndTheLogKeepsToItsBudget) {
    COutputWindow output;
    const QString wide(64 * 1024, 'w');
    for (int i = 0; i < 3000; ++i) output.AppendOutput(QString("[10:00:00] %1 ").arg(i) + wide + "\r\n");
    // One line in pieces, cut all the same; the next line starts whole.
    for (int i = 0; i < 5; ++i) output.AppendOutput(QString(1000, 'p'));
    output.AppendOutput("\r\n[10:00:01] next\r\n");
    QTextDocument* doc = output.document();
    EXPECT_LE(doc->characterCount(), COutputWindow::kCharacterBudget);
    int longest = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) longest = std::max(longest, b.length() - 1);
    EXPECT_EQ(longest, COutputWindow::kLineCut + 6);
    const QStringList lines = output.toPlainText().split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[lines.size() - 4].startsWith("[10:00:00] 2999 www"));
    EXPECT_TRUE(lines[lines.size() - 4].endsWith("w [...]"));
    EXPECT_EQ(lines[lines.size() - 3], QString(COutputWindow::kLineCut, 'p') + " [...]");
    EXPECT_EQ(lines[lines.size() - 2], "[10:00:01] next");
}

TEST(MainFrame, UtilityBarStartsAtTheBottomAndNeverGoesBelowItsMinimum) {
    FrameHarness h;
    h.frame.resize(900, 600);
    h.frame.show();
    Settle();
    CUtilityBar* bar = h.frame.Utility();
    EXPECT_EQ(h.frame.dockWidgetArea(bar), Qt::BottomDockWidgetArea);
    EXPECT_EQ(bar->widget()->height(), 100);
    EXPECT_EQ(bar->widget()->width(), h.frame.width());

    // Dragging the edge between the list and the bar far down stops at the minimum.
    const QPoint edge(450, bar->geometry().top() - 2);
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, h.frame.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&h.frame, &event);
        Settle();  // the window moves its separators when it gets round to it
    };
    mouse(QEvent::MouseButtonPress, edge, Qt::LeftButton);
    mouse(QEvent::MouseMove, edge + QPoint(0, 2000), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, edge + QPoint(0, 2000), Qt::NoButton);
    Settle();
    EXPECT_EQ(bar->height(), CControlBarEx::kMinimum);
    // And upwards it stops short of the window's top: the list keeps its minimum.
    const QPoint low(450, bar->geometry().top() - 2);
    mouse(QEvent::MouseButtonPress, low, Qt::LeftButton);
    mouse(QEvent::MouseMove, low - QPoint(0, 3000), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, low - QPoint(0, 3000), Qt::NoButton);
    Settle();
    EXPECT_GT(bar->height(), 300);
    EXPECT_GT(bar->geometry().top(), h.frame.centralWidget()->geometry().top());

    // A double click on the title floats the bar.
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(20, 5), bar->mapToGlobal(QPointF(20, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &click);
    EXPECT_TRUE(bar->isFloating());
}

const std::string kStartMinimized =
    "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n\"Start Minimized\"=dword:00000001\r\n";

TEST(MainFrame, StartsMinimisedIntoTheTrayOnceAndMinimisesThereAfterwards) {
    FrameHarness h(AccountsText({}, kStartMinimized));
    h.frame.SetTrayAvailable(true);
    h.frame.show();
    Settle();
    EXPECT_TRUE(h.frame.isMinimized());
    EXPECT_FALSE(h.frame.isVisible());  // only the tray icon is left

    h.frame.Action(ID_OPEN)->trigger();  // the tray's "Open"
    Settle();
    EXPECT_TRUE(h.frame.isVisible());
    EXPECT_FALSE(h.frame.isMinimized());  // the rule does not fire again

    h.frame.showMinimized();
    Settle();
    EXPECT_FALSE(h.frame.isVisible());
    h.frame.ShowMainWindow();
    Settle();
    EXPECT_TRUE(h.frame.isVisible());
    EXPECT_FALSE(h.frame.isMinimized());
}

TEST(MainFrame, WithoutATrayAMinimisedWindowStaysReachable) {
    FrameHarness h(AccountsText({}, kStartMinimized));
    h.frame.show();
    Settle();
    EXPECT_TRUE(h.frame.isMinimized());
    EXPECT_TRUE(h.frame.isVisible());
}

TEST(MainFrame, DocumentCommandsNeverRunStartUpAgain) {
    const std::string config =
        "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n\"Database\"=\"/data/m.vlt\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Environment]\r\n\"Save Headers\"=dword:00000001\r\n";
    FrameHarness h(AccountsText({{"B", "pop.b"}}, config));
    CMailHeader stored;
    stored.SetAccountInfo("pop.b", "B@example.com", "");
    stored.SetMessageInfo(-1, 42, 100);
    h.engine.store.files["/data/m.vlt"] = {stored};
    h.view().OnInitialUpdate();
    h.engine.Drain();
    ASSERT_EQ(h.view().Messages().Size(), 1u);
    const auto journal = h.engine.journal;
    for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE}) {
        ASSERT_EQ(h.frame.Action(id)->shortcut().isEmpty(), false);
        h.frame.Action(id)->trigger();
    }
    h.engine.Drain();
    EXPECT_EQ(h.view().Messages().Size(), 1u);
    EXPECT_EQ(h.engine.journal, journal);
    EXPECT_EQ(h.view().Model()->rowCount(), 1);
}

std::vector<QAction*> MenuCommands(const QMenu& menu) {
    std::vector<QAction*> out;
    for (QAction* a : menu.actions()) {
        if (a->menu()) {
            auto inner = MenuCommands(*a->menu());
            out.insert(out.end(), inner.begin(), inner.end());
        } else if (!a->isSeparator()) {
            out.push_back(a);
        }
    }
    return out;
}

TEST(MainFrame, MenusShowToolbarPicturesEngravedWhenDisabledAndChecksOtherwise) {
    FrameHarness h;
    h.view().OnInitialUpdate();
    h.frame.show();
    std::set<int> onToolbar;
    for (QAction* a : h.frame.ToolBar()->actions())
        if (!a->isSeparator()) onToolbar.insert(a->data().toInt());
    EXPECT_EQ(onToolbar.size(), 10u);
    int checked = 0;
    for (QAction* menu : h.frame.MenuBar()->actions()) {
        for (QAction* a : MenuCommands(*menu->menu())) {
            const int id = a->data().toInt();
            EXPECT_EQ(!a->icon().isNull(), onToolbar.count(id) == 1) << a->text().toStdString();
            if (onToolbar.count(id)) {
                EXPECT_EQ(a, h.frame.Action(id));  // the very same command
            }
            if (a->isCheckable()) {
                EXPECT_TRUE(a->icon().isNull());
                checked += a->isChecked();
            }
        }
    }
    EXPECT_EQ(checked, 3);  // toolbar, status bar, utility window

    // A disabled command's picture is engraved: only the two emboss colours.
    QAction* read = h.frame.Action(ID_READ_AS_WEBPAGE);
    read->setEnabled(false);  // as while a worker runs
    const QImage normal = read->icon().pixmap(16, 16, QIcon::Normal).toImage();
    const QImage engraved = read->icon().pixmap(16, 16, QIcon::Disabled).toImage();
    ASSERT_EQ(engraved.size(), normal.size());
    int shadow = 0, highlight = 0, other = 0;
    for (int y = 0; y < engraved.height(); ++y)
        for (int x = 0; x < engraved.width(); ++x) {
            const QColor c = engraved.pixelColor(x, y);
            if (c.alpha() == 0) continue;
            if (c == kEmbossShadow) {
                ++shadow;
            } else if (c == kEmbossHighlight) {
                ++highlight;
            } else {
                ++other;
            }
        }
    EXPECT_GT(shadow, 10);
    EXPECT_GT(highlight, 0);
    EXPECT_EQ(other, 0);

    // The list's pop-up with its own captions for the same commands.
    QStringList captions;
    for (QAction* a : h.frame.ListMenu()->actions())
        if (a->isVisible()) captions << a->text();  // Mark as Read is for IMAP accounts
    EXPECT_EQ(captions, (QStringList{"&Read Message", "&Delete Message", "Refresh", "Message &Statistics"}));
    QStringList read2;
    for (QAction* a : h.frame.ListMenu()->actions().front()->menu()->actions())
        read2 << QString("%1 %2").arg(a->text()).arg(a->data().toInt());
    EXPECT_EQ(read2, (QStringList{"As Document 32775", "As WebPage 32818"}));
}

TEST(MainFrame, ToolTipIsTheShortNameAndTheStatusBarGetsThePrompt) {
    FrameHarness h;
    h.frame.show();
    struct Row {
        int id;
        const char* tip;
        const char* prompt;
    };
    const Row rows[] = {
        {ID_GET_MAIL, "Get Mail", "Retrieves new mail messages from the server"},
        {ID_MESSAGE_STATISTICS, "View Headers", "Shows the headers of the selected message"},
        {ID_APP_ABOUT, "About", "Shows the program's version and credits"},
    };
    for (const Row& row : rows) {
        QAction* action = h.frame.Action(row.id);
        EXPECT_EQ(action->toolTip(), row.tip);
        EXPECT_EQ(action->statusTip(), row.prompt);
        EXPECT_EQ(h.frame.ToolBar()->widgetForAction(action)->toolTip(), row.tip);
    }
    // Every button of every toolbar: a short one-line tip and its own prompt.
    int buttons = 0;
    for (QToolBar* bar : h.frame.findChildren<QToolBar*>())
        for (QAction* a : bar->actions()) {
            if (a->isSeparator() || !bar->widgetForAction(a) || a->statusTip().isEmpty()) continue;
            ++buttons;
            EXPECT_FALSE(a->toolTip().contains('\n')) << a->toolTip().toStdString();
            EXPECT_FALSE(a->statusTip().contains('\n')) << a->statusTip().toStdString();
            EXPECT_LT(a->toolTip().size(), a->statusTip().size()) << a->toolTip().toStdString();
        }
    EXPECT_EQ(buttons, 10);
    // The pointer on a button: the prompt shows in the status bar.
    QWidget* button = h.frame.ToolBar()->widgetForAction(h.frame.Action(ID_GET_MAIL));
    QEnterEvent enter(QPointF(2, 2), button->mapTo(&h.frame, QPointF(2, 2)), button->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_EQ(h.frame.statusBar()->currentMessage(), "Retrieves new mail messages from the server");

    // A prompt without a line feed is all status text; the tip is the caption.
    QAction plain("&Print...");
    SetPrompt(&plain, "Prints the list");
    EXPECT_EQ(plain.statusTip(), "Prints the list");
    EXPECT_EQ(plain.toolTip(), "Print");
}

TEST(MainFrame, GetMailWindowBelongsToTheMainWindow) {
    FrameHarness h;
    h.frame.show();
    h.frame.CreateProgressWindow();
    h.frame.ShowProgressWindow("Checking Mail");
    auto* dlg = h.frame.findChild<CGetMailProgressDlg*>();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->parentWidget(), &h.frame);
    EXPECT_TRUE(dlg->isWindow());
    EXPECT_EQ(dlg->windowType(), Qt::Dialog);
    EXPECT_EQ(dlg->windowTitle(), "Checking Mail");
    EXPECT_EQ(dlg->windowIcon().cacheKey(), h.frame.windowIcon().cacheKey());
    h.frame.DestroyProgressWindow();
}

// After a Get Mail, an account whose sign-in was refused even with a fresh
// token is put to the user in the window; a yes waits for the browser
// sign-in (Cancel gives up), and a sign-in checks the account again.
TEST(MainFrame, AnExpiredSignInIsPutToTheUserAndSigningInChecksAgain) {
    // Tokens refused until the browser sign-in is done.
    class Browser : public test::SettingsSignIn {
    public:
        SignInResult Run(const AccountSettings&, SignInDirection, const Attempt& attempt, ILogSink*,
                         std::stop_token) override {
            const SignInTry tried = attempt(true, "ann@example.com", signedIn ? "good" : "stale");
            return {tried.verdict == SignInTry::Done, "refused", tried.verdict != SignInTry::Done};
        }
        void SignInWithBrowser(const AccountSettings&, BrowserSignIn callbacks) override {
            ++started;
            waiting.push_back(std::move(callbacks));
            if (onStart) onStart();
        }
        void CancelSignIn(const std::string&) override { Finish(false); }
        void Finish(bool ok) {
            signedIn = ok;
            for (auto& w : std::exchange(waiting, {})) w.done(ok, ok ? "Signed in as ann@example.com" : "cancelled");
        }
        std::atomic<bool> signedIn = false;
        int started = 0;
        std::vector<BrowserSignIn> waiting;
        std::function<void()> onStart;
    };
    struct Row {
        const char* name;
        bool cancel;
        int rows;
    } rows[] = {
        {"yes, then Cancel while waiting", true, 0},
        {"yes, and signed in", false, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::FakeMailbox box = test::TokenMailbox();
        auto server = box.Serve();
        std::unique_ptr<test::LoopbackServer> again;
        auto transports = std::make_shared<test::RedirectTransportFactory>(test::TestTimeLimits());
        transports->Route("pop.test", server->port());
        auto signIn = std::make_shared<Browser>();
        FrameHarness h(test::TokenAccountSettings(), transports, std::make_shared<test::PassThroughTls>(), signIn);
        QPointer<QProgressDialog> waiting;
        QString waitingTitle;
        signIn->onStart = [&] {
            waiting = h.frame.findChild<QProgressDialog*>();
            if (waiting) waitingTitle = waiting->windowTitle();
            // Asked again while the browser is open (a notice's Read): the
            // one window comes to the front, no second sign-in starts.
            h.frame.AskSignInAgain("ann", [](bool) {});
            QTimer::singleShot(0, &h.frame, [&] {
                if (row.cancel) return waiting->findChild<QPushButton*>()->click();  // as the user does
                again = box.Serve();  // each serves one connection
                transports->Route("pop.test", again->port());
                signIn->Finish(true);
            });
        };
        h.desktop.answerYes = true;
        h.view().OnInitialUpdate();
        Settle();
        h.view().OnGetMail();
        ASSERT_TRUE(h.engine.FinishWork());
        ASSERT_TRUE(h.engine.RunUntil([&] { return signIn->waiting.empty() && signIn->started > 0; }));
        ASSERT_TRUE(h.engine.FinishWork());
        EXPECT_EQ(h.desktop.questions,
                  std::vector<QString>{"The sign-in of ann is missing, has expired or was revoked. Sign in now?"});
        EXPECT_EQ(signIn->started, 1);
        EXPECT_EQ(waitingTitle, "Sign In");
        EXPECT_EQ(h.view().Model()->rowCount(), row.rows);
    }
}

TEST(AppIcon, IsDrawnAtTheSizeAskedForSoItStaysSharp) {
    const QColor ink(30, 50, 120), paper(255, 248, 200);
    for (const QIcon& icon : {MakeAppIcon(), MakeTrayIcon(kIconIdle)}) {
        // Scale 2: twice the pixels, not a stretched small picture.
        const QPixmap doubled = icon.pixmap(QSize(24, 24), 2.0);
        EXPECT_EQ(doubled.size(), QSize(48, 48));
        EXPECT_EQ(doubled.devicePixelRatio(), 2.0);
    }
    // At 256 pixels the envelope's outline is 4 pixels wide and solid in its
    // middle, its paper plain: a 64-pixel picture blown up would blur both.
    const QImage big = MakeAppIcon().pixmap(256, 256).toImage();
    ASSERT_EQ(big.size(), QSize(256, 256));
    for (int x : {15, 16}) EXPECT_EQ(big.pixelColor(x, 150), ink) << x;
    EXPECT_EQ(big.pixelColor(17 + 3, 150), paper);
    EXPECT_EQ(big.pixelColor(0, 0).alpha(), 0);
}

TEST(AboutDlg, NothingIsCutAndTheCreditsCrawlRoundAndRound) {
    CAboutDlg dlg;
    dlg.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg.windowTitle(), "About Velto Mail");
    for (const QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->objectName() == "creditsText") continue;
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        EXPECT_GE(label->height(), label->sizeHint().height()) << label->text().toStdString();
    }
    // The credits' lines fit across; several are in view at once.
    QWidget* view = dlg.Credits()->viewport();
    const auto* text = dlg.findChild<QLabel*>("creditsText");
    EXPECT_GE(view->width(), text->sizeHint().width());
    EXPECT_GE(view->height(), CAboutDlg::kVisibleLines * text->fontMetrics().lineSpacing());
    EXPECT_TRUE(dlg.findChild<QLabel*>("aboutName")->text().contains("Version 1.1"));

    // The first lines are in view at once; the credits go all the way out
    // at the top, then come in again from below.
    QScrollBar* bar = dlg.Credits()->verticalScrollBar();
    EXPECT_EQ(text->mapTo(view, QPoint(0, 0)).y(), 0);
    ASSERT_GE(bar->maximum(), view->height() + text->height());
    int steps = 0;
    while (bar->value() < bar->maximum() && steps < 10000) {
        dlg.Step();
        ++steps;
    }
    EXPECT_EQ(steps, bar->maximum() - view->height());
    EXPECT_LE(text->mapTo(view, QPoint(0, text->height())).y(), 0);  // gone
    dlg.Step();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(text->mapTo(view, QPoint(0, 0)).y(), view->height());  // just below
}

}  // namespace
}  // namespace velto
