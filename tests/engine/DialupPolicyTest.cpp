#include <gtest/gtest.h>

#include <memory>

#include "engine/DialupPolicy.h"
#include "support/MemoryHiveStorage.h"
#include "support/qt/EngineFakes.h"

namespace velto {
namespace {

const char* const kDialupOn =
    "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Configuration]\r\n"
    "\"Enable Dialup\"=dword:00000001\r\n\"Active RAS\"=\"Work\"\r\n";

// Every call made while the dialog is open hears its outcome, the one that
// opened it and those that came meanwhile, and only one dialog opens.
TEST(DialupPolicy, CallsWhileTheDialogIsOpenShareItsOutcome) {
    for (const bool connects : {true, false}) {
        SCOPED_TRACE(connects ? "connected" : "not connected");
        test::ScopedHive hive(kDialupOn);
        test::Journal journal;
        test::FakeDialup dialup(journal);
        dialup.closesAtOnce = false;
        dialup.dialSucceeds = connects;
        DialupPolicy policy(&dialup);
        std::vector<bool> answers;
        policy.EnsureOnline(true, [&](bool online) { answers.push_back(online); });
        policy.EnsureOnline(true, [&](bool online) { answers.push_back(online); });
        // Without dialling nothing waits for the dialog.
        policy.EnsureOnline(false, [&](bool online) { answers.push_back(online); });
        EXPECT_EQ(answers, std::vector<bool>{true});
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "dialup.dial Work"), 1);
        dialup.CloseDialog();
        EXPECT_EQ(answers, (std::vector<bool>{true, connects, connects}));
        EXPECT_EQ(policy.DialledByUs(), connects);
    }
}

// The dialog outlives the engine that opened it (the program ends while it
// waits): its close reaches nothing that is gone.
TEST(DialupPolicy, ADialogThatClosesAfterThePolicyWentReachesNothing) {
    test::ScopedHive hive(kDialupOn);
    test::Journal journal;
    test::FakeDialup dialup(journal);
    dialup.closesAtOnce = false;
    auto policy = std::make_unique<DialupPolicy>(&dialup);
    bool answered = false;
    policy->EnsureOnline(true, [&](bool) { answered = true; });
    ASSERT_TRUE(dialup.DialogOpen());
    policy.reset();
    dialup.CloseDialog();
    EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace velto
