#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <atomic>

#include "protocol/SocketErrors.h"
#include "support/FakeTransport.h"
#include "support/LoopbackServer.h"
#include "support/Pop3Scripts.h"
#include "support/RedirectTransport.h"
#include "support/qt/EngineHarness.h"

namespace velto {
namespace {

using test::AccountsText;
using test::EngineHarness;

// A failing account is named with its reason in the tooltip and the status
// bar; its first failure notifies once, a repeat does not, and the next good
// check clears all of it.
TEST(FailedCheck, NamedUntilTheNextGoodCheckAndNotifiedOnce) {
    struct Row {
        const char* name;
        std::string failing;  // the conversation of a failed check
        int connectError;
        std::string reason;
    };
    const std::string quit = test::kPop3Quit;
    const Row rows[] = {
        {"wrong password", "S: +OK hi\nC: USER A\nS: +OK\nC: PASS pw-A\nS: -ERR [AUTH] Authentication failed.\n" + quit,
         0, "the server refused the password"},
        {"silent server", "S: +OK hi\nC: USER A\nsilence\n", 0, "the server did not answer"},
        {"server down", "", wsa::kConnectionRefused, "the server refused the connection"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto transports = std::make_shared<test::ScriptedTransportFactory>("");
        EngineHarness h(AccountsText({{"A", "pop.a"}}), transports);
        h.view->OnInitialUpdate();
        h.Drain();
        auto play = [&](const std::string& script, int connectError) {
            auto& state = transports->state();
            state.steps = test::ParseConversation(script);
            state.step = state.offset = 0;
            state.connectError = connectError;
            h.view->OnRefresh();
            ASSERT_TRUE(h.FinishWork());
        };
        const std::string line = "Could not check A: " + row.reason;
        play(row.failing, row.connectError);
        EXPECT_EQ(h.tray.tip, "VeltoMail 98\n" + line);
        EXPECT_EQ(h.ui.paneText, line);
        ASSERT_EQ(h.notices.shown.size(), 1u);
        EXPECT_EQ(h.notices.shown[0].tag, "check-failed");
        EXPECT_EQ(h.notices.shown[0].text, line);
        play(row.failing, row.connectError);  // the next tick fails the same way
        EXPECT_EQ(h.notices.shown.size(), 1u);
        EXPECT_EQ(h.tray.tip, "VeltoMail 98\n" + line);
        play(test::Pop3Login("A", 0) + quit, 0);
        EXPECT_EQ(h.tray.tip, "VeltoMail 98");
        EXPECT_EQ(h.ui.paneText, "Ready");
        EXPECT_EQ(h.journal.back(), "notice.withdraw check-failed");
        EXPECT_EQ(transports->Problems(), "");
    }
}

// Cancel against a server that accepted and then says nothing: the
// connection is closed at once (the server sees it), the engine is idle
// within a second, and Get Mail works again straight away.
TEST(CancelGetMail, CutsASilentServerAndTheNextCheckRuns) {
    std::atomic<bool> accepted = false, sawClose = false;
    test::LoopbackServer silent([&](test::ServerConnection& c) {
        accepted = true;
        std::string bytes;
        sawClose = c.ReadUntilClosed(bytes, std::chrono::seconds(20));
    });
    auto good = test::LoopbackServer::Scripted(test::Pop3Login("A", 0) + test::kPop3Quit);
    auto transports = std::make_shared<test::RedirectTransportFactory>();  // a minute's time limits
    transports->Route("pop.a", silent.port());
    EngineHarness h(AccountsText({{"A", "pop.a"}}), transports);
    h.view->OnInitialUpdate();
    h.Drain();

    h.view->OnGetMail();
    ASSERT_TRUE(h.RunUntil([&] { return accepted.load(); }));
    QElapsedTimer clock;
    clock.start();
    h.ui.progressWindow = false;  // the window closes itself
    h.view->OnProgressCancel();
    ASSERT_TRUE(h.RunUntil([&] { return !h.view->IsBusy() && !h.view->WorkerActive(); }, 1000));
    EXPECT_LT(clock.elapsed(), 1000);
    silent.Join();
    EXPECT_TRUE(sawClose);
    EXPECT_TRUE(h.notices.shown.empty());  // a cancelled check failed nothing

    transports->Route("pop.a", good->port());
    h.view->OnGetMail();
    ASSERT_TRUE(h.FinishWork());
    good->Join();
    EXPECT_EQ(good->Problems(), "");
    EXPECT_EQ(h.tray.tip, "VeltoMail 98");
}

}  // namespace
}  // namespace velto
