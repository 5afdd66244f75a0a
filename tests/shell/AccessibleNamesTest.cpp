// What a screen reader calls each control: every field, combo box and spin
// box of the options sheet is named by its own label (not by what it holds),
// uniquely on its page; the status bar's picture buttons have names.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>
#include <map>

#include "shell/FrameHarness.h"
#include "shell/SheetTestKit.h"

namespace velto::test {
namespace {

// The name read out. Qt on Linux names a combo box by its current text and
// hands its label over through the labelled-by relation, which is what
// screen readers speak for it.
QString SpokenName(QWidget* control) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    if (!iface) return {};
    if (qobject_cast<QComboBox*>(control)) {
        const auto labels = iface->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return iface->text(QAccessible::Name);
}

QString Value(QWidget* control) {
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
    if (auto* box = qobject_cast<QComboBox*>(control)) return box->currentText();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(control)) return spin->text();
    return {};
}

using AccessibleNames = PagesTest;

TEST_F(AccessibleNames, EveryFieldOfTheSheetIsNamedByItsOwnLabel) {
    // An IMAP account: its folders field shows too.
    ScopedHive hive(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Ann]\r\n"
        "\"Account Name\"=\"Ann\"\r\n\"Server Name\"=\"imap.example.com\"\r\n\"User Name\"=\"ann\"\r\n"
        "\"Incoming Protocol\"=dword:00000001\r\n\"Incoming Security\"=dword:00000001\r\n"
        "\"Incoming Port\"=dword:000003e1\r\n\"Outgoing Port\"=dword:0000024b\r\n");
    OpenSheet s;
    for (int page = 0; page < s.sheet.Tabs()->count(); ++page) {
        SCOPED_TRACE(s.sheet.Tabs()->tabText(page).toStdString());
        std::vector<QWidget*> controls;
        for (QLineEdit* edit : s.Page(page)->findChildren<QLineEdit*>())
            // A spin box's or combo box's own editor is part of it.
            if (!qobject_cast<QAbstractSpinBox*>(edit->parentWidget()) && !qobject_cast<QComboBox*>(edit->parentWidget()))
                controls.push_back(edit);
        for (QComboBox* box : s.Page(page)->findChildren<QComboBox*>()) controls.push_back(box);
        for (QAbstractSpinBox* spin : s.Page(page)->findChildren<QAbstractSpinBox*>()) controls.push_back(spin);
        ASSERT_FALSE(controls.empty());
        std::map<QString, QString> named;  // name -> the control's object name
        for (QWidget* control : controls) {
            const QString name = SpokenName(control), what = control->objectName();
            EXPECT_FALSE(name.trimmed().isEmpty()) << what.toStdString();
            if (!Value(control).isEmpty()) {
                EXPECT_NE(name, Value(control)) << what.toStdString();
            }
            const auto [at, fresh] = named.emplace(name, what);
            EXPECT_TRUE(fresh) << what.toStdString() << " and " << at->second.toStdString() << " are both \""
                               << name.toStdString() << "\"";
        }
    }
}

TEST(AccessibleNamesOfTheFrame, TheStatusBarsButtonsAreNamed) {
    FrameHarness h;
    std::set<QString> names;
    const auto buttons = h.frame.statusBar()->findChildren<QToolButton*>();
    ASSERT_EQ(buttons.size(), 3);
    for (QToolButton* button : buttons) {
        const QString name = QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty()) << button->objectName().toStdString();
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 3u);
}

}  // namespace
}  // namespace velto::test
