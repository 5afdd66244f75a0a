#pragma once
// GNOME Online Accounts: where the desktop already holds a Google or
// Microsoft account for the same address with mail on, its token is used and
// no browser sign-in (or client id) is needed. Any other account goes to the
// program's own token store.
#include <QDBusConnection>
#include <atomic>
#include <memory>

#include "engine/EngineServices.h"

namespace velto {

class OnlineAccountsTokens : public ITokenSource {
public:
    OnlineAccountsTokens(std::shared_ptr<ITokenSource> others, QDBusConnection bus = QDBusConnection::sessionBus());
    bool AccessToken(const AccountSettings& account, bool fresh, std::string& token, TokenProblem& problem,
                     std::stop_token stop = {}) override;
    // The desktop account for this provider ("Google", "Microsoft") and
    // address, as an object path; empty when there is none.
    QString Find(const std::string& provider, const std::string& address, std::stop_token stop = {});
    void AbortAll() override;
    void Resume() override;

private:
    QDBusMessage Call(const QString& path, const QString& iface, const QString& method, std::stop_token stop = {});

    std::shared_ptr<ITokenSource> m_others;
    QDBusConnection m_bus;
    std::atomic<bool> m_aborted = false;
};

}  // namespace velto
