// Passwords and tokens in a real keyring: GNOME Keyring on a private session
// bus.
#include <gtest/gtest.h>

#include "platform/KeyringSecrets.h"
#include "support/qt/KeyringSession.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

TEST(KeyringSecrets, SecretsGoInAndComeBack) {
    test::KeyringSession session;
    if (!session.up) GTEST_SKIP() << "no dbus-daemon or gnome-keyring-daemon";
    KeyringSecrets keyring(10s);
    std::string why;
    ASSERT_TRUE(keyring.Write("Work/User Password", "s3cret pw", &why)) << why;
    std::string secret;
    ASSERT_TRUE(keyring.Read("Work/User Password", secret, &why)) << why;
    EXPECT_EQ(secret, "s3cret pw");
    ASSERT_TRUE(keyring.Write("Work/User Password", "changed", &why)) << why;
    ASSERT_TRUE(keyring.Read("Work/User Password", secret, &why)) << why;
    EXPECT_EQ(secret, "changed");
    EXPECT_TRUE(keyring.Remove("Work/User Password"));
    EXPECT_FALSE(keyring.Read("Work/User Password", secret));
}

}  // namespace
}  // namespace velto
