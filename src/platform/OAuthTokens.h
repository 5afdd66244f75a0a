#pragma once
// The tokens of the accounts that sign in with OAuth2: refresh tokens in the
// keyring (or, where none answers, for this run only), access tokens in
// memory until shortly before they expire.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "engine/EngineServices.h"
#include "platform/OAuthSignIn.h"

namespace velto {

class OAuthTokenStore : public ITokenSource {
public:
    // secrets may be null: nothing outlives the run.
    explicit OAuthTokenStore(ISecretStore* secrets) : m_secrets(secrets) {}

    // After a browser sign-in: keeps the tokens, bound to the account's
    // provider and client (an account changed since never sends them
    // elsewhere). False when the refresh token could not go into the keyring
    // (the sign-in then lasts for this run).
    bool Remember(const AccountSettings& account, const OAuthTokens& tokens, std::string* why = nullptr);
    // The account is gone: its tokens go too.
    void Forget(const std::string& account);
    bool AccessToken(const AccountSettings& account, bool fresh, std::string& token, TokenProblem& problem) override;

    void AbortAll() override { m_aborted = true; }
    void Resume() override { m_aborted = false; }

    static std::string RefreshKey(const std::string& account) { return account + "/OAuth Refresh Token"; }

private:
    ISecretStore* m_secrets;
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
