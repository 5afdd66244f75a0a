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

bool OAuthTokenStore::Remember(const std::string& account, const OAuthTokens& tokens, std::string* why) {
    {
        std::lock_guard lock(m_mutex);
        m_held[account] = tokens;
    }
    if (tokens.refresh.empty()) return true;
    if (!m_secrets) {
        if (why) *why = "no keyring";
        return false;
    }
    return m_secrets->Write(RefreshKey(account), tokens.refresh, why);
}

bool OAuthTokenStore::AccessToken(const AccountSettings& account, bool fresh, std::string& token, std::string& why) {
    const std::string name = account.GetAccountName();
    OAuthTokens held;
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_held.find(name); it != m_held.end()) held = it->second;
    }
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    if (!fresh && !held.access.empty() && (held.expiresAt == 0 || held.expiresAt > now + kMarginSeconds)) {
        token = held.access;
        return true;
    }
    // The keyring is asked without the lock: it may take a moment.
    if (held.refresh.empty() && m_secrets) m_secrets->Read(RefreshKey(name), held.refresh);
    if (held.refresh.empty()) {
        why = "not signed in (Mailbox Setup, Sign In...)";
        return false;
    }
    OAuthTokens renewed;
    if (!RefreshTokens(ClientOf(account), held.refresh, renewed, why, std::chrono::seconds(30), &m_aborted)) {
        if (!m_aborted) why = "the sign-in has expired: " + why;
        return false;
    }
    if (renewed.refresh != held.refresh && m_secrets) m_secrets->Write(RefreshKey(name), renewed.refresh);
    {
        std::lock_guard lock(m_mutex);
        m_held[name] = renewed;
    }
    token = renewed.access;
    return true;
}

}  // namespace velto
