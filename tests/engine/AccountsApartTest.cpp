// Accounts told apart, and what is offered for which: two accounts on one
// server get chooser entries and MailBox texts of their own, a deleted
// account's rows leave the list, and Mark as Read is for IMAP mail only.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/ImapWorkers.h"
#include "settings/Crc32.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

using test::AccountsText;
using test::EngineHarness;

using test::Record;

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Subject and MailBox text of every row shown.
std::vector<std::string> Shown(EngineHarness& h) {
    std::vector<std::string> rows;
    for (int r = 0; r < h.view->Model()->rowCount(); ++r)
        rows.push_back(h.view->Model()->RowAt(r).subject + " @ " + h.view->Model()->RowAt(r).mailbox);
    return Sorted(rows);
}

TEST(AccountsApart, TwoAccountsOnOneServerAreChosenApartAndADeletedOnesRowsLeave) {
    EngineHarness h(AccountsText({{"A", "mail.s"}, {"B", "mail.s"}, {"C", "mail.t"}}));
    h.view->OnInitialUpdate();
    h.Drain();
    for (const auto& r : {Record("a1", "A", "mail.s"), Record("b1", "B", "mail.s"), Record("c1", "C", "mail.t")})
        h.view->Messages().Append(r);
    EXPECT_EQ(Sorted(h.ui.chooser), (std::vector<std::string>{"All MailBoxes", "mail.s (A)", "mail.s (B)", "mail.t"}));
    const struct {
        const char* entry;
        std::vector<std::string> rows;
    } choices[] = {
        {"mail.s (A)", {"a1 @ mail.s (A)"}},
        {"mail.s (B)", {"b1 @ mail.s (B)"}},
        {"mail.t", {"c1 @ mail.t"}},
        {"All MailBoxes", {"a1 @ mail.s (A)", "b1 @ mail.s (B)", "c1 @ mail.t"}},
    };
    for (const auto& choice : choices) {
        h.view->OnMailboxSelChange(choice.entry);
        h.Drain();
        EXPECT_EQ(Shown(h), choice.rows) << choice.entry;
    }

    // Delete Account B in Mailbox Setup: its rows go; A's server is A's alone now.
    h.ui.optionsResult = true;
    h.ui.onOptionsSheet = [] {
        AccountSettings b(keys::Join(keys::kAccounts, "B"));
        b.m_deleted = 1;
        b.Save(keys::kAccounts);
    };
    h.view->OnMailProperties();
    h.Drain();
    EXPECT_EQ(Shown(h), (std::vector<std::string>{"a1 @ mail.s", "c1 @ mail.t"}));
    EXPECT_EQ(Sorted(h.ui.chooser), (std::vector<std::string>{"All MailBoxes", "mail.s", "mail.t"}));
}

TEST(AccountsApart, MarkAsReadIsForImapMailOnly) {
    EngineHarness h(AccountsText({{"P", "pop.p"}, {"I", "imap.i"}},
                                 "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\I]\r\n"
                                 "\"Incoming Protocol\"=dword:00000001\r\n"));
    h.view->OnInitialUpdate();
    h.Drain();
    EXPECT_TRUE(h.view->HasImapAccount());
    // New IMAP mail only: the notice offers Mark as Read.
    h.view->Messages().AppendFresh(Record("from imap", "I", "imap.i"));
    h.view->OnWatchNews({"I", "INBOX", 1, 0});
    ASSERT_FALSE(h.notices.shown.empty());
    auto offers = [&] {
        const auto& actions = h.notices.shown.back().actions;
        return std::any_of(actions.begin(), actions.end(), [](const Notice::Action& a) {
            return a.key == "mark-read" && a.label == "Mark as Read";
        });
    };
    EXPECT_TRUE(offers());
    // A POP3 message among the new ones: not offered.
    h.view->Messages().AppendFresh(Record("from pop", "P", "pop.p"));
    h.view->OnWatchNews({"I", "INBOX", 1, 0});
    EXPECT_EQ(h.view->NewCount(), 2);
    EXPECT_FALSE(offers());
    // The command is for IMAP rows; on a POP3 row it sends nothing.
    const int pop = h.RowOf("from pop"), imap = h.RowOf("from imap");
    EXPECT_FALSE(h.view->AnyImapRow({pop}));
    EXPECT_TRUE(h.view->AnyImapRow({pop, imap}));
    h.view->OnMarkRead({pop});
    EXPECT_FALSE(h.view->IsBusy());
}

}  // namespace
}  // namespace velto
