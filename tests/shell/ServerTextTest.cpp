// Text a server chose (a folder name, a refusal, a certificate's subject) is
// shown as the text it is wherever it lands: markup in it is never read. What
// a label shows is what a screen reader is given for it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "present/Questions.h"
#include "shell/GetMailProgressDlg.h"
#include "shell/SheetPrompts.h"
#include "shell/StatusBarEx.h"
#include "support/qt/FakeDesktop.h"

namespace velto {
namespace {

const QString kHostile = "the folder <b>FOLDERBOLD</b> could not be opened";

QString Shown(QWidget* label) {
    if (!label) return "<no label>";
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(label);
    return face ? face->text(QAccessible::Name) : "<no interface>";
}

// The label of the message box showing the text, closed once read.
QString ShownInBox(QMessageBox* box) {
    if (!box) return "<no box>";
    const QString shown = Shown(box->findChild<QLabel*>("qt_msgbox_label"));
    box->done(QMessageBox::Ok);
    return shown;
}

TEST(ServerText, ShownAsTextNeverAsMarkup) {
    const struct {
        const char* name;
        std::function<QString()> show;
    } rows[] = {
        {"the status bar",
         [] {
             test::FakeDesktop desktop;
             CFrameStatusBar bar(nullptr, desktop);
             bar.SetPaneText(kHostile, 0);
             return Shown(bar.Pane(0));
         }},
        {"the Get Mail window",
         [] {
             CGetMailProgressDlg window({});
             window.SetStatusText(kHostile);
             return Shown(window.findChild<QLabel*>());
         }},
        {"a question or a notice",
         [] {
             Questions::Instance().Tell(nullptr, "VeltoMail", kHostile);
             QMessageBox* shown = nullptr;
             for (QWidget* w : QApplication::topLevelWidgets())
                 if (auto* box = qobject_cast<QMessageBox*>(w); box && box->text() == kHostile) shown = box;
             const QString text = ShownInBox(shown);
             QCoreApplication::processEvents();
             return text;
         }},
        {"an option page's box",
         [] {
             QString text = "<not shown>";
             QTimer::singleShot(0, [&] { text = ShownInBox(qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); });
             SheetPrompts::Current().message(nullptr, kHostile, SheetPrompts::Kind::Warning);
             return text;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.show(), kHostile);
    }
}

}  // namespace
}  // namespace velto
