#include <gtest/gtest.h>

#include <QPointer>

#include "shell/MainFrame.h"
#include "support/qt/FakeDesktop.h"

#include <QApplication>
#include <QLabel>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include "shell/SheetTestKit.h"
#include "support/qt/EngineHarness.h"

namespace velto::test {
namespace {

using MailPropertySheet = PagesTest;

TEST_F(MailPropertySheet, FourPagesInOrder) {
    ScopedHive hive;
    OpenSheet s;
    EXPECT_EQ(s.sheet.windowTitle(), "Velto Mail Options");
    QStringList titles;
    for (int i = 0; i < s.sheet.Tabs()->count(); ++i) titles << s.sheet.Tabs()->tabText(i);
    EXPECT_EQ(titles, (QStringList{"Mailbox Setup", "Email Templates", "Internet Settings", "Environment"}));
    EXPECT_NE(s.Page(1)->findChild<QComboBox*>("templatesCombo"), nullptr);
}

TEST_F(MailPropertySheet, AtItsOwnSizeEveryTabAndEveryPageIsWhole) {
    ScopedHive hive;
    OpenSheet s;
    QCoreApplication::processEvents();
    const QTabBar* bar = s.sheet.Tabs()->tabBar();
    for (int i = 0; i < bar->count(); ++i) {
        EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << bar->tabText(i).toStdString();
        // The caption is not cut short with an ellipsis.
        EXPECT_GE(bar->tabRect(i).width(), bar->fontMetrics().horizontalAdvance(bar->tabText(i)));
    }
    for (const QToolButton* arrow : bar->findChildren<QToolButton*>()) EXPECT_FALSE(arrow->isVisible());
    // The page area is as large as the largest page asks for.
    const QSize area = s.sheet.Tabs()->currentWidget()->size();
    for (int i = 0; i < s.sheet.Tabs()->count(); ++i) {
        const QSize wanted = s.Page(i)->sizeHint();
        EXPECT_GE(area.width(), wanted.width()) << i;
        EXPECT_GE(area.height(), wanted.height()) << i;
    }
}

// Opens the sheet as the main window does, twice (Mail Properties chosen
// again while it is up): one sheet, and both hear when it closes whether
// settings were written. The action plays the user.
bool RunSheet(FakeSound* sound, IDialup* dialup, const std::function<void(CMailPropertySheet&)>& action) {
    FakeDesktop desktop;
    CMainFrame frame(desktop);
    frame.SetOptionsSheetMaker([&](QWidget* parent) { return MakeMailPropertySheet(parent, sound, dialup, nullptr); });
    std::vector<bool> heard;
    frame.OpenOptionsSheet([&](bool written) { heard.push_back(written); });
    QPointer<QDialog> first = frame.OptionsSheet();
    frame.OpenOptionsSheet([&](bool written) { heard.push_back(written); });
    EXPECT_EQ(frame.OptionsSheet(), first.data());
    EXPECT_EQ(frame.findChildren<CMailPropertySheet*>().size(), 1);
    action(*qobject_cast<CMailPropertySheet*>(first.data()));
    if (first && first->isVisible()) first->reject();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(heard.size(), 2u);
    return !heard.empty() && heard[0];
}

TEST_F(MailPropertySheet, ReloadIsAskedForWheneverSettingsWereWritten) {
    ScopedHive hive;
    Journal journal;
    FakeSound sound;
    FakeDialup dialup(journal);
    EXPECT_FALSE(RunSheet(&sound, &dialup, [](CMailPropertySheet& sheet) { sheet.reject(); }));
    EXPECT_TRUE(RunSheet(&sound, &dialup, [](CMailPropertySheet& sheet) { sheet.accept(); }));
    // Apply and then Cancel: the accounts written by Apply must be loaded.
    EXPECT_TRUE(RunSheet(&sound, &dialup, [](CMailPropertySheet& sheet) {
        Type(sheet.Tabs()->widget(0), "mailboxNameEdit", "Applied");
        ASSERT_TRUE(sheet.Apply());
        sheet.reject();
    }));
    ASSERT_EQ(LoadAllAccounts().size(), 1u);
}

TEST_F(MailPropertySheet, FirstStartLeadsIntoTheSheetAndTheChooserShowsTheNewServer) {
    EngineHarness h;
    h.ui.onOptionsSheet = [&] {
        CMailPropertySheet sheet;
        AddMailPages(sheet, &h.sound, &h.dialup);
        QWidget* page = sheet.Tabs()->widget(0);
        Type(page, "mailboxNameEdit", "Inbox");
        Type(page, "incomingServerEdit", "pop.example.com");
        Type(page, "userNameEdit", "ann");
        Type(page, "passwordEdit", "secret");
        sheet.accept();
        h.ui.optionsResult = sheet.result() == QDialog::Accepted;
    };
    h.view->OnInitialUpdate();
    h.Drain();
    EXPECT_EQ(h.ui.chooser, (std::vector<std::string>{"All MailBoxes", "pop.example.com"}));
    ASSERT_EQ(h.view->Accounts().size(), 1u);
    EXPECT_EQ(h.view->Accounts()[0].GetUserPassword(), "secret");
}

TEST(SheetPrompts, AllFilesMeansEveryFileAlsoWithoutADot) {
    EXPECT_EQ(NameFiltersFrom("All Files (*.*)|*.*|"), QStringList{"All Files (*.*) (*)"});
    EXPECT_EQ(NameFiltersFrom("Sounds (*.wav)|*.wav|All Files (*.*)|*.*|"),
              (QStringList{"Sounds (*.wav) (*.wav)", "All Files (*.*) (*)"}));
}

}  // namespace
}  // namespace velto::test
