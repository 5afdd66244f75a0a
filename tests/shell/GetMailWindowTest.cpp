#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <functional>

#include "engine/CorvaneView.h"
#include "shell/FrameHarness.h"
#include "shell/GetMailProgressDlg.h"
#include "support/FakeTransport.h"
#include "support/Pop3Scripts.h"

namespace velto {
namespace {

using test::FrameHarness;

CGetMailProgressDlg* GetMailWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dlg = qobject_cast<CGetMailProgressDlg*>(w); dlg && dlg->isVisible()) return dlg;
    return nullptr;
}

struct CancelWay {
    const char* name;
    std::function<void(CGetMailProgressDlg&)> press;
};

TEST(GetMailWindow, CancelEscAndTheCloseBoxEndTheCheckAndCloseTheWindowAtOnce) {
    const std::vector<CancelWay> ways = {
        {"Cancel", [](CGetMailProgressDlg& d) { d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click(); }},
        {"Esc",
         [](CGetMailProgressDlg& d) {
             QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(&d, &esc);
         }},
        {"close box", [](CGetMailProgressDlg& d) { EXPECT_TRUE(d.close()); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        std::string script = test::Pop3Login("B", 50);
        for (int i = 1; i <= 50; ++i) script += test::Pop3NewHeader(i, "u" + std::to_string(i), "m");
        FrameHarness h(test::AccountsText({{"B", "pop.b"}}), std::make_shared<test::ScriptedTransportFactory>(script));
        h.view().OnInitialUpdate();
        h.engine.Drain();
        h.view().OnGetMail();
        CGetMailProgressDlg* dlg = GetMailWindow();
        ASSERT_NE(dlg, nullptr);
        way.press(*dlg);
        EXPECT_EQ(GetMailWindow(), nullptr);  // gone at once, before the worker stops
        ASSERT_TRUE(h.engine.FinishWork());
        EXPECT_FALSE(h.frame.HasProgressWindow());
        EXPECT_LT(h.view().Messages().Size(), 50u);  // the check stopped early
        // What was fetched before the cancel is listed.
        EXPECT_EQ(static_cast<std::size_t>(h.view().Model()->rowCount()), h.view().Messages().Size());
    }
}

}  // namespace
}  // namespace velto
