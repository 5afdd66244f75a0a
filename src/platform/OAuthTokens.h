#pragma once
// The tokens of the accounts that sign in with OAuth2: refresh tokens in the
// keyring (or, where none answers, for this run only), access tokens in
// memory until shortly before they expire.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "engine/EngineServices.h"
#include "platform/OAuthSignIn.h"

namespace velto {

class OAuthTokenStore : public ITokenSource {
public:
    // Seconds since 1970; tests set their own.
    using Clock = std::function<std::int64_t()>;
    // secrets may be null: nothing outlives the run.
    explicit OAuthTokenStore(std::shared_ptr<ISecretStore> secrets, Clock clock = {});

    // After a browser sign-in (user-interface thread): keeps the tokens,
    // bound to the account's provider and client (an account changed since
    // never sends them elsewhere). kept learns later whether the refresh
    // token went into the keyring (if not, the sign-in lasts for this run).
    void Remember(const AccountSettings& account, const OAuthTokens& tokens,
                  std::function<void(bool kept, const std::string& why)> kept = {});
    // The account is gone: its tokens go too.
    void Forget(const std::string& account);
    bool AccessToken(const AccountSettings& account, bool fresh, std::string& token, TokenProblem& problem,
                     std::stop_token stop = {}) override;

    void AbortAll() override { m_aborted = true; }
    void Resume() override { m_aborted = false; }

    static std::string RefreshKey(const std::string& account) { return account + "/OAuth Refresh Token"; }

private:
    std::shared_ptr<ISecretStore> m_secrets;
    Clock m_clock;
    std::atomic<bool> m_aborted = false;
    std::mutex m_mutex;
    std::mutex m_refreshing;  // one refresh at a time
    struct Held {
        std::string binding;  // the provider and client they came from
        OAuthTokens tokens;
    };
    std::map<std::string, Held> m_held;  // by account name
    // Counts each account's sign-ins and removals: a refresh that ends after
    // one of them keeps nothing.
    std::map<std::string, std::uint64_t> m_changes;
};

// The client an account signs in with: its provider's addresses, its id and secret.
OAuthClient ClientOf(const AccountSettings& account);

}  // namespace velto
