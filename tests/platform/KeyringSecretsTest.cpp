// Passwords and tokens in a real keyring: GNOME Keyring on a private session
// bus.
#include <gtest/gtest.h>

#include <optional>

#include "platform/KeyringSecrets.h"
#include "support/qt/EngineHarness.h"
#include "support/qt/KeyringSession.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

// Workers wait for the keyring's own thread; the user-interface thread gets
// its answers from its event loop, never inside the call.
TEST(KeyringSecrets, SecretsGoInAndComeBackWithoutTheCallerWaiting) {
    test::KeyringSession session;
    if (!session.up) GTEST_SKIP() << "no dbus-daemon or gnome-keyring-daemon";
    KeyringSecrets keyring(10s);
    std::string why;
    ASSERT_TRUE(keyring.Write("Work/User Password", "s3cret pw", &why)) << why;
    EXPECT_EQ(keyring.Read("Work/User Password").secret, "s3cret pw");
    std::optional<SecretAnswer> answer;
    keyring.ReadAsync("Work/User Password", [&](const SecretAnswer& a) { answer = a; });
    EXPECT_FALSE(answer.has_value());
    ASSERT_TRUE(test::RunEventsUntil([&] { return answer.has_value(); }, 10000));
    EXPECT_TRUE(answer->ok);
    EXPECT_EQ(answer->secret, "s3cret pw");
    std::optional<bool> written;
    keyring.WriteAsync("Work/User Password", "changed", [&](bool ok, const std::string&) { written = ok; });
    ASSERT_TRUE(test::RunEventsUntil([&] { return written.has_value(); }, 10000));
    EXPECT_TRUE(*written);
    EXPECT_EQ(keyring.Read("Work/User Password").secret, "changed");
    keyring.RemoveAsync("Work/User Password");
    const SecretAnswer gone = keyring.Read("Work/User Password");
    EXPECT_FALSE(gone.ok);
    EXPECT_TRUE(gone.missing);
    // Cut: a worker's wait ends at once, and until Resume nothing waits.
    keyring.AbortAll();
    EXPECT_EQ(keyring.Read("Work/User Password").why, "cancelled");
    keyring.Resume();
    EXPECT_TRUE(keyring.Read("Work/User Password").missing);
}

}  // namespace
}  // namespace velto
