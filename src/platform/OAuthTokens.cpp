#include "platform/OAuthTokens.h"

#include <QDateTime>

namespace velto {

namespace {
// A token this close to its end is not used: the check may take a while.
constexpr std::int64_t kMarginSeconds = 120;
}  // namespace

OAuthClient ClientOf(const AccountSettings& account) {
    return {account.m_oauthClientId, account.m_oauthClientSecret, account.OAuth()};
}

namespace {

// Tokens are good only with the provider, client and address they came from.
std::string Binding(const AccountSettings& account) {
    return account.OAuth().tokenUrl + " " + account.m_oauthClientId + " " + account.GetEmailAddress();
}

// The keyring holds the binding, a line end, then the refresh token.
std::string Sealed(const std::string& binding, const std::string& refresh) { return binding + "\n" + refresh; }
std::string Unsealed(const std::string& binding, const std::string& stored) {
    const std::size_t end = stored.find('\n');
    return end != std::string::npos && stored.compare(0, end, binding) == 0 ? stored.substr(end + 1) : std::string();
}

}  // namespace

OAuthTokenStore::OAuthTokenStore(std::shared_ptr<ISecretStore> secrets, Clock clock)
    : m_secrets(std::move(secrets)), m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return QDateTime::currentSecsSinceEpoch(); };
}

void OAuthTokenStore::Remember(const AccountSettings& account, const OAuthTokens& tokens,
                               std::function<void(bool, const std::string&)> kept) {
    const std::string name = account.GetAccountName();
    {
        std::lock_guard lock(m_mutex);
        m_held[name] = {Binding(account), tokens};
        ++m_changes[name];
    }
    if (!kept) kept = [](bool, const std::string&) {};
    if (tokens.refresh.empty()) return kept(true, {});
    if (!m_secrets) return kept(false, "no keyring");
    m_secrets->WriteAsync(RefreshKey(name), Sealed(Binding(account), tokens.refresh), std::move(kept));
}

void OAuthTokenStore::Forget(const std::string& account) {
    {
        std::lock_guard lock(m_mutex);
        m_held.erase(account);
        ++m_changes[account];
    }
    if (m_secrets) m_secrets->RemoveAsync(RefreshKey(account));
}

bool OAuthTokenStore::AccessToken(const AccountSettings& account, bool fresh, std::string& token,
                                  TokenProblem& problem, std::stop_token stop) {
    const std::string name = account.GetAccountName();
    const std::string binding = Binding(account);
    auto held = [&] {
        std::lock_guard lock(m_mutex);
        auto it = m_held.find(name);
        return it != m_held.end() && it->second.binding == binding ? it->second.tokens : OAuthTokens{};
    };
    const std::int64_t now = m_clock();
    auto usable = [&](const OAuthTokens& t) {
        return !t.access.empty() && (t.expiresAt == 0 || t.expiresAt > now + kMarginSeconds);
    };
    OAuthTokens tokens = held();
    if (!fresh && usable(tokens)) {
        token = tokens.access;
        return true;
    }
    if (m_aborted || stop.stop_requested()) {
        problem = {"cancelled", false};
        return false;
    }
    // Read before any lock is taken: the keyring answers from a thread of
    // its own, and nothing may wait for it holding one.
    std::string stored;
    if (tokens.refresh.empty() && m_secrets)
        if (SecretAnswer answer = m_secrets->Read(RefreshKey(name), stop); answer.ok) stored = Unsealed(binding, answer.secret);
    // One refresh at a time (a check and a reply may both need one):
    // providers that turn refresh tokens over revoke a sign-in whose old one
    // comes twice. Only workers come here, never the user-interface thread.
    const std::string stale = tokens.access;
    std::lock_guard refreshing(m_refreshing);
    std::uint64_t changes = 0;
    {
        std::lock_guard lock(m_mutex);
        changes = m_changes[name];
    }
    tokens = held();
    if (usable(tokens) && tokens.access != stale) {  // renewed meanwhile
        token = tokens.access;
        return true;
    }
    if (m_aborted || stop.stop_requested()) {
        problem = {"cancelled", false};
        return false;
    }
    if (tokens.refresh.empty()) tokens.refresh = stored;
    if (tokens.refresh.empty()) {
        problem = {"not signed in (Mailbox Setup, Sign In...)", true};
        return false;
    }
    OAuthTokens renewed;
    std::string why;
    bool refused = false;
    if (!RefreshTokens(ClientOf(account), tokens.refresh, renewed, why, std::chrono::seconds(30), &m_aborted,
                       &refused, stop)) {
        problem = {refused ? "the sign-in has expired: " + why : "the sign-in could not be renewed: " + why, refused};
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        // Signed in anew or removed meanwhile: that stands.
        if (m_changes[name] != changes) {
            token = renewed.access;
            return true;
        }
        m_held[name] = {binding, renewed};
    }
    if (renewed.refresh != tokens.refresh && m_secrets)
        m_secrets->Write(RefreshKey(name), Sealed(binding, renewed.refresh));
    token = renewed.access;
    return true;
}

}  // namespace velto
