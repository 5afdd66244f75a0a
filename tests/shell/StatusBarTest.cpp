#include <gtest/gtest.h>

#include <QMainWindow>
#include <QProgressBar>
#include <QToolButton>

#include "engine/CorvaneView.h"
#include "shell/FrameHarness.h"
#include "shell/StatusBarEx.h"

namespace velto {
namespace {

using test::FakeDesktop;
using test::FrameHarness;

struct Buttons {
    bool previous, next, show;
    bool operator==(const Buttons&) const = default;
};

Buttons Enabled(const CStatusBarEx& bar) {
    return {bar.Button(CStatusBarEx::ID_PREVIOUS)->isEnabled(), bar.Button(CStatusBarEx::ID_NEXT)->isEnabled(),
            bar.Button(CStatusBarEx::ID_SHOW)->isEnabled()};
}

TEST(StatusBarHistory, ButtonsFollowTheCurrentEntryAndShowPassesItOn) {
    FakeDesktop desktop;
    CFrameStatusBar bar(nullptr, desktop);
    EXPECT_EQ(bar.PaneText(0), "Ready");
    EXPECT_EQ(Enabled(bar), (Buttons{false, false, false}));

    bar.SetPaneText("Connected to pop.one", 0);
    EXPECT_EQ(bar.PaneText(0), "Connected to pop.one");
    EXPECT_EQ(Enabled(bar), (Buttons{false, false, true}));  // one entry: no paging
    bar.SetPaneText("pop.one - Scanning Message 1 of 2", 0);
    bar.SetPaneText("pop.one - Scanning Message 2 of 2", 0);
    EXPECT_EQ(Enabled(bar), (Buttons{true, false, true}));

    bar.Button(CStatusBarEx::ID_PREVIOUS)->click();
    EXPECT_EQ(bar.PaneText(0), "pop.one - Scanning Message 1 of 2");
    EXPECT_EQ(Enabled(bar), (Buttons{true, true, true}));
    bar.Button(CStatusBarEx::ID_PREVIOUS)->click();
    EXPECT_EQ(bar.PaneText(0), "Connected to pop.one");
    EXPECT_EQ(Enabled(bar), (Buttons{false, true, true}));
    bar.Button(CStatusBarEx::ID_SHOW)->click();
    EXPECT_EQ(desktop.messageBoxes, (std::vector<QString>{"The message is:\nConnected to pop.one"}));
    bar.Button(CStatusBarEx::ID_NEXT)->click();
    EXPECT_EQ(bar.PaneText(0), "pop.one - Scanning Message 1 of 2");

    // An entry added without becoming current leaves the pane alone.
    bar.AddEntry("quiet", true, false);
    EXPECT_EQ(bar.PaneText(0), "pop.one - Scanning Message 1 of 2");
    // Removing the current entry makes the first one current.
    bar.RemoveEntry(bar.CurrentEntry(), true);
    EXPECT_EQ(bar.PaneText(0), "Connected to pop.one");
    EXPECT_EQ(bar.CurrentEntry(), 0);

    // Cleared without an update the text stays, but nothing is left to page through.
    bar.ClearMessages(false);
    EXPECT_EQ(bar.PaneText(0), "Connected to pop.one");
    EXPECT_EQ(Enabled(bar), (Buttons{false, false, false}));
    EXPECT_FALSE(bar.HasCurrentEntry());
    bar.SetPaneText("again", 0);
    bar.ClearMessages(true);
    EXPECT_EQ(bar.PaneText(0), "Ready");
}

TEST(StatusBarHistory, KeepsTheNewestEntriesWhenVeryLong) {
    FakeDesktop desktop;
    CFrameStatusBar bar(nullptr, desktop);
    const int total = static_cast<int>(CStatusBarEx::kHistoryLimit) + 5;
    for (int i = 0; i < total; ++i) bar.SetPaneText(QString("entry %1").arg(i), 0);
    ASSERT_EQ(bar.History().size(), CStatusBarEx::kHistoryLimit);
    EXPECT_EQ(bar.History().front(), "entry 5");
    EXPECT_EQ(bar.PaneText(0), QString("entry %1").arg(total - 1));
    EXPECT_TRUE(bar.CanGoPrevious());
    EXPECT_FALSE(bar.CanGoNext());
}

TEST(StatusBarPanes, WidthsTipsAndTheButtonsFitTheirPane) {
    FakeDesktop desktop;
    QMainWindow window;
    auto* bar = new CFrameStatusBar(&window, desktop);
    window.setStatusBar(bar);
    window.resize(700, 300);
    window.show();
    ASSERT_EQ(bar->PaneCount(), 3);
    EXPECT_EQ(bar->Pane(2)->width(), 195);
    // Three 14-pixel buttons 2 apart need 46 pixels; the pane is never narrower.
    EXPECT_EQ(bar->Pane(1)->width(), 46);
    const QRect show = bar->Button(CStatusBarEx::ID_SHOW)->geometry();
    const QRect next = bar->Button(CStatusBarEx::ID_NEXT)->geometry();
    const QRect previous = bar->Button(CStatusBarEx::ID_PREVIOUS)->geometry();
    EXPECT_EQ(show.size(), QSize(14, 13));
    EXPECT_EQ(show.right(), bar->Pane(1)->width() - 1);
    EXPECT_EQ(next.right() + 1 + 2, show.left());
    EXPECT_EQ(previous.right() + 1 + 2, next.left());
    EXPECT_GE(previous.left(), 0);
    EXPECT_GT(bar->Pane(0)->width(), 300);  // the message pane takes the rest

    const QString tips[] = {"Message area", "Scroll messages", "Miscellaneous stuff"};
    for (int pane = 0; pane < 3; ++pane)
        EXPECT_EQ(bar->PaneTip(bar->PaneAt(bar->Pane(pane)->geometry().center())), tips[pane]);
    EXPECT_EQ(bar->PaneTip(7), "Unknown pane");
}

TEST(StatusBarProgress, StartStepAndEndFromTheEngine) {
    FrameHarness h;
    CFrameStatusBar* bar = h.frame.FrameStatusBar();
    QProgressBar* progress = h.frame.StatusProgress();
    h.frame.show();
    EXPECT_FALSE(progress->isVisible());  // idle

    h.view().OnProgressStart("Connected to pop.one", 30);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->maximum(), 30);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_EQ(h.frame.PaneText(), "Connected to pop.one");
    h.view().OnProgressStep("pop.one - Scanning Message 1 of 3", 10);
    h.view().OnProgressStep("pop.one - Scanning Message 2 of 3", 20);
    EXPECT_EQ(progress->value(), 20);
    EXPECT_EQ(progress->maximum(), 30);  // a step keeps the range
    EXPECT_EQ(h.frame.PaneText(), "pop.one - Scanning Message 2 of 3");
    EXPECT_TRUE(bar->CanGoPrevious());

    h.view().OnProgressEnd();
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(h.frame.PaneText(), "Ready");
    EXPECT_TRUE(bar->History().empty());
    EXPECT_EQ(Enabled(*bar), (Buttons{false, false, false}));
}

}  // namespace
}  // namespace velto
