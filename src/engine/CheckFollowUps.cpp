#include "engine/CheckFollowUps.h"

#include <algorithm>

namespace velto {

void CheckFollowUps::SignInExpired(const std::string& account) {
    if (std::find(m_expiredSignIns.begin(), m_expiredSignIns.end(), account) == m_expiredSignIns.end())
        m_expiredSignIns.push_back(account);
}

void CheckFollowUps::Ask(IEngineUi& ui, WorkerKind kind,
                         std::function<void(const std::string&, const std::string&)> again) {
    const bool userStarted = kind != WorkerKind::Scan;
    m_trust.Ask(ui, userStarted, again);
    const auto expired = std::exchange(m_expiredSignIns, {});
    if (!userStarted) return;
    for (const auto& account : expired)
        ui.AskSignInAgain(account, [again, account](bool signedIn) {
            if (signedIn) again(account, {});
        });
}

void CheckFollowUps::Later(WorkerKind kind, const std::vector<std::string>& accounts) {
    auto same = std::find_if(m_later.begin(), m_later.end(), [&](const Again& e) { return e.first == kind; });
    if (same == m_later.end()) {
        m_later.emplace_back(kind, accounts);
        return;
    }
    for (const auto& a : accounts)
        if (std::find(same->second.begin(), same->second.end(), a) == same->second.end()) same->second.push_back(a);
}

std::optional<CheckFollowUps::Again> CheckFollowUps::TakeLater() {
    if (m_later.empty()) return std::nullopt;
    Again first = std::move(m_later.front());
    m_later.erase(m_later.begin());
    return first;
}

}  // namespace velto
