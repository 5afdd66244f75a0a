// GNOME Online Accounts (a stand-in on a private bus): a Google account for
// the same address with mail on gives the token; anything else goes to the
// program's own sign-in.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <future>

#include "platform/OnlineAccounts.h"
#include "settings/Settings.h"
#include "support/qt/PrivateBus.h"

namespace velto {
namespace {

class OwnTokens : public ITokenSource {
public:
    bool AccessToken(const AccountSettings&, bool, std::string& token, TokenProblem&, std::stop_token) override {
        token = "own";
        return true;
    }
};

TEST(OnlineAccounts, TheDesktopsAccountSignsInWhereProviderAndAddressMatch) {
    test::PrivateBus bus;
    if (!bus.Up() || !bus.StartHelper({"/usr/bin/python3", VELTO_SOURCE_DIR "/tests/support/fake_online_accounts.py"},
                                      "ready"))
        GTEST_SKIP() << "no private D-Bus bus";
    OnlineAccountsTokens tokens(std::make_shared<OwnTokens>(), *bus.connection);
    struct Row {
        const char* provider;
        const char* address;
        const char* token;
    } rows[] = {
        {"Google", "Ann@Gmail.example", "goa-token-1"},
        {"Google", "bob@gmail.example", "own"},  // no such desktop account
        {"Google", "off@gmail.example", "own"},  // mail disabled there
        {"Microsoft", "ann@gmail.example", "own"},
        {"Custom", "ann@gmail.example", "own"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.provider) + " " + row.address);
        AccountSettings account;
        account.m_oauthProvider = row.provider;
        account.SetEmailAddress(row.address);
        std::string token;
        TokenProblem problem;
        EXPECT_TRUE(tokens.AccessToken(account, false, token, problem)) << problem.why;
        EXPECT_EQ(token, row.token);
    }
}

// Shut-down and Cancel cut a call to the desktop that hangs, from another
// thread, long before its own time limit (a refresh at the provider: the
// program's own end-to-end test).
TEST(OnlineAccounts, AbortAllCutsATokenCallThatHangs) {
    test::PrivateBus bus;
    if (!bus.Up() || !bus.StartHelper({"/usr/bin/python3", VELTO_SOURCE_DIR "/tests/support/fake_online_accounts.py"},
                                      "ready"))
        GTEST_SKIP() << "no private D-Bus bus";
    OnlineAccountsTokens tokens(std::make_shared<OwnTokens>(), *bus.connection);
    AccountSettings account;
    account.m_oauthProvider = "Google";
    account.SetEmailAddress("slow@gmail.example");
    std::string token;
    TokenProblem problem;
    QElapsedTimer clock;
    clock.start();
    auto call = std::async(std::launch::async, [&] { return tokens.AccessToken(account, false, token, problem); });
    EXPECT_EQ(call.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    tokens.AbortAll();
    ASSERT_EQ(call.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(call.get());
    EXPECT_LT(clock.elapsed(), 6000);
    EXPECT_NE(problem.why.find("cancelled"), std::string::npos) << problem.why;
    EXPECT_FALSE(problem.signInMends);
}

}  // namespace
}  // namespace velto
