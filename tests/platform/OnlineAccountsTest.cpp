// GNOME Online Accounts (a stand-in on a private bus): a Google account for
// the same address with mail on gives the token; anything else goes to the
// program's own sign-in.
#include <gtest/gtest.h>

#include "platform/OnlineAccounts.h"
#include "settings/Settings.h"
#include "support/qt/PrivateBus.h"

namespace velto {
namespace {

class OwnTokens : public ITokenSource {
public:
    bool AccessToken(const AccountSettings&, bool, std::string& token, std::string&) override {
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
        std::string token, why;
        EXPECT_TRUE(tokens.AccessToken(account, false, token, why)) << why;
        EXPECT_EQ(token, row.token);
    }
}

}  // namespace
}  // namespace velto
