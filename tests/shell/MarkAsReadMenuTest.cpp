// Mark as Read in the menus: there only while an IMAP account is set up,
// and enabled only with an IMAP row among the selected ones.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "shell/FrameHarness.h"
#include "shell/MessageListView.h"
#include "settings/Crc32.h"

namespace velto::test {
namespace {

// The command in the Mail menu and its mirror in the list's pop-up.
std::vector<QAction*> MarkReadActions(CMainFrame& frame) {
    std::vector<QAction*> found;
    for (QAction* top : frame.menuBar()->actions())
        if (top->menu() && top->text() == "&Mail")
            for (QAction* a : top->menu()->actions())
                if (a->data().toInt() == ID_MARK_READ) found.push_back(a);
    for (QAction* a : frame.ListMenu()->actions())
        if (a->data().toInt() == ID_MARK_READ) found.push_back(a);
    return found;
}

TEST(MarkAsReadMenu, OfferedWithAnImapAccountForImapRows) {
    {
        FrameHarness pop(AccountsText({{"P", "pop.p"}}));
        pop.view().OnInitialUpdate();
        const auto actions = MarkReadActions(pop.frame);
        ASSERT_EQ(actions.size(), 2u);
        for (QAction* a : actions) EXPECT_FALSE(a->isVisible()) << "a POP3 user's menus stay as they were";
    }
    FrameHarness h(AccountsText({{"P", "pop.p"}, {"I", "imap.i"}},
                                "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\I]\r\n"
                                "\"Incoming Protocol\"=dword:00000001\r\n"));
    h.view().OnInitialUpdate();
    h.view().Messages().Append(Record("from pop", "P", "pop.p"));
    h.view().Messages().Append(Record("from imap", "I", "imap.i"));
    h.view().RefreshList();
    h.engine.Drain();
    const auto actions = MarkReadActions(h.frame);
    ASSERT_EQ(actions.size(), 2u);
    auto* list = h.frame.findChild<CMessageListView*>();
    auto select = [&](const std::string& subject) {
        list->clearSelection();
        if (!subject.empty())
            list->selectionModel()->select(list->model()->index(h.engine.RowOf(subject), 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    const struct {
        const char* selected;
        bool enabled;
    } rows[] = {{"", false}, {"from pop", false}, {"from imap", true}};
    for (const auto& row : rows) {
        select(row.selected);
        for (QAction* a : actions) {
            EXPECT_TRUE(a->isVisible());
            EXPECT_EQ(a->isEnabled(), row.enabled) << "selected: " << row.selected;
        }
    }
}

}  // namespace
}  // namespace velto::test
