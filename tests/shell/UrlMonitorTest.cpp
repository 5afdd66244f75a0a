#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QRadioButton>

#include "shell/FrameHarness.h"
#include "shell/UrlMonitor.h"

namespace velto {
namespace {

using test::FrameHarness;
using Beep = IDesktop::Beep;

QString Repeat(const QString& piece, int length) { return piece.repeated(length / piece.size() + 1).left(length); }

// Every copy goes through the frame's clipboard watch into the monitor.
struct Monitor {
    FrameHarness h;
    CUrlMonitor& urls = *h.frame.UrlMonitor();
    QStringList CopyAll(const QStringList& texts) {
        for (const QString& t : texts) h.desktop.Copy(t);
        return urls.Urls();
    }
    bool Kept(const QString& text) {
        const int before = urls.topLevelItemCount();
        h.desktop.Copy(text);
        return urls.topLevelItemCount() == before + 1 && urls.Urls().front() == text;
    }
};

TEST(UrlMonitor, TextsWithHttpOrWebAreKeptWholeWithTheirCase) {
    Monitor m;
    EXPECT_TRUE(m.Kept("Read the notes at HTTP://Example.COM/Notes before Friday"));
    EXPECT_TRUE(m.Kept("our new website is up"));
    EXPECT_TRUE(m.Kept("line one\r\nhttp://example.org/two\r\n"));
    EXPECT_FALSE(m.Kept("www.example.com"));  // neither word, and "www" reads as 0
    EXPECT_FALSE(m.Kept("just some words"));
    EXPECT_FALSE(m.Kept(""));                 // a picture: no text at all
    EXPECT_EQ(m.urls.Urls().front(), "line one\r\nhttp://example.org/two\r\n");
}

TEST(UrlMonitor, NumericAddresses) {
    Monitor m;
    EXPECT_TRUE(m.Kept("192.168.1.20"));
    EXPECT_FALSE(m.Kept("10.0.0.1"));          // a zero among the first four
    EXPECT_TRUE(m.Kept("10.1.1.1.0"));         // a fifth piece is not looked at
    EXPECT_TRUE(m.Kept("12 monkeys"));         // one piece reading as twelve
    EXPECT_TRUE(m.Kept("..7...8."));           // runs of dots are one separator
    EXPECT_TRUE(m.Kept("  +3.-4"));            // atoi: white space and a sign
    EXPECT_FALSE(m.Kept("..."));               // no piece at all
    EXPECT_FALSE(m.Kept("1.x.3"));             // "x" reads as 0
    EXPECT_FALSE(m.Kept("00.5"));
    // A long run of digits is not zero just because it overflows.
    EXPECT_TRUE(m.Kept("4294967296.1"));
}

TEST(UrlMonitor, LengthLimits) {
    Monitor m;
    const QString at256 = "http://example.com/" + Repeat("a", 256 - 19);
    ASSERT_EQ(at256.size(), 256);
    EXPECT_TRUE(m.Kept(at256));
    EXPECT_FALSE(m.Kept(at256 + "b"));
    // "web" at position 253 of 256 characters.
    EXPECT_TRUE(m.Kept(Repeat("x", 253) + "web"));
    // Digits and dots: too long to be a numeric address.
    const QString digits = Repeat("12.", 300);
    EXPECT_FALSE(m.Kept(digits));
    EXPECT_FALSE(m.Kept(digits.left(256)));
    EXPECT_TRUE(m.Kept(digits.left(255)));
}

TEST(UrlMonitor, RepeatsNewestFirstAndABusyClipboardIsSkipped) {
    Monitor m;
    EXPECT_EQ(m.CopyAll({"http://a.example/", "http://b.example/", "http://a.example/"}),
              (QStringList{"http://a.example/", "http://b.example/", "http://a.example/"}));
    m.h.desktop.clipboardHeld = true;
    m.h.desktop.Copy("http://c.example/");
    EXPECT_EQ(m.urls.topLevelItemCount(), 3);
    // Free again: the next change is scanned as usual.
    m.h.desktop.clipboardHeld = false;
    m.h.desktop.Copy("http://d.example/");
    EXPECT_EQ(m.urls.Urls().front(), "http://d.example/");
    EXPECT_EQ(m.urls.topLevelItemCount(), 4);
}

TEST(UrlMonitor, OpenHandsEverySelectedRowOverInListOrder) {
    Monitor m;
    m.CopyAll({"http://one.example/", "http://two.example/", "http://three.example/", "http://four.example/"});
    for (int row : {3, 0, 2}) m.urls.topLevelItem(row)->setSelected(true);
    m.h.frame.Action(ID_URL_OPEN)->trigger();
    EXPECT_EQ(m.h.desktop.opened,
              (std::vector<QString>{"http://four.example/", "http://two.example/", "http://one.example/"}));
    // A double click opens the selection too.
    m.h.desktop.opened.clear();
    m.urls.clearSelection();
    m.urls.topLevelItem(1)->setSelected(true);
    emit m.urls.itemDoubleClicked(m.urls.topLevelItem(1), 0);
    EXPECT_EQ(m.h.desktop.opened, (std::vector<QString>{"http://three.example/"}));
}

TEST(UrlMonitor, FindMarksTheFirstMatchAndBeeps) {
    Monitor m;
    m.CopyAll({"http://example.org/page", "HTTP://EXAMPLE.ORG", "http://example.org/other"});
    // Rows now: other, EXAMPLE.ORG, page.
    m.urls.topLevelItem(2)->setSelected(true);
    auto& marks = *m.urls.selectionModel();

    EXPECT_EQ(m.urls.FindUrl(CFindUrlDialog::ClosestMatch, "http://Example.org"), 0);
    EXPECT_EQ(marks.currentIndex().row(), 0);
    EXPECT_EQ(m.urls.FindUrl(CFindUrlDialog::ExactMatch, "http://example.org"), 1);
    EXPECT_EQ(marks.currentIndex().row(), 1);
    EXPECT_EQ(m.urls.FindUrl(CFindUrlDialog::ExactMatch, "http://example.org/pag"), -1);
    EXPECT_EQ(marks.currentIndex().row(), 1);  // unchanged by a miss
    EXPECT_EQ(m.urls.FindUrl(CFindUrlDialog::ClosestMatch, "ftp"), -1);
    EXPECT_EQ(m.h.desktop.beeps, (std::vector<Beep>{Beep::Information, Beep::Information, Beep::Warning,
                                                    Beep::Warning}));
    // Marking is not selecting.
    EXPECT_EQ(marks.selectedRows().size(), 1);
    EXPECT_EQ(marks.selectedRows().front().row(), 2);

    // Through the command: the prompt's answer is used; a cancel does nothing.
    m.h.desktop.beeps.clear();
    m.urls.SetFindPrompt([](QWidget*, int& mode, QString& text) {
        mode = CFindUrlDialog::ClosestMatch;
        text = "HTTP://example.org/p";
        return true;
    });
    m.h.frame.Action(ID_URL_FIND)->trigger();
    EXPECT_EQ(marks.currentIndex().row(), 2);
    m.urls.SetFindPrompt([](QWidget*, int&, QString&) { return false; });
    m.h.frame.Action(ID_URL_FIND)->trigger();
    EXPECT_EQ(m.h.desktop.beeps, (std::vector<Beep>{Beep::Information}));
}

TEST(UrlMonitor, FindDialogStartsEmptyWithExactMatch) {
    CFindUrlDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Find Web Address");
    EXPECT_EQ(dialog.MatchMode(), CFindUrlDialog::ExactMatch);
    EXPECT_EQ(dialog.SearchText(), "");
    dialog.Closest()->setChecked(true);
    dialog.Edit()->setText("http://x");
    EXPECT_EQ(dialog.MatchMode(), CFindUrlDialog::ClosestMatch);
    EXPECT_EQ(dialog.SearchText(), "http://x");
}

}  // namespace
}  // namespace velto
