#include "engine/CheckFollowUps.h"

#include <algorithm>

namespace velto {

void CheckFollowUps::SignInExpired(const WorkOrder& order, const std::string& account) {
    const bool known = std::any_of(m_expiredSignIns.begin(), m_expiredSignIns.end(),
                                   [&](const auto& e) { return e.second == account; });
    if (!known) m_expiredSignIns.emplace_back(order, account);
}

void CheckFollowUps::Ask(IEngineUi& ui, Again again) {
    m_trust.Ask(ui, again);
    for (auto& [order, account] : std::exchange(m_expiredSignIns, {})) {
        if (!order.UserStarted()) continue;
        ui.AskSignInAgain(account, [again, order = order, account = account](bool signedIn) {
            if (signedIn) again(order, account, {});
        });
    }
}

void CheckFollowUps::Later(WorkOrder order) {
    if (order.IsCheck()) {
        auto same = std::find_if(m_later.begin(), m_later.end(), [&](const WorkOrder& e) { return e.kind == order.kind; });
        if (same != m_later.end()) {
            // Empty means every account, which holds the others.
            if (same->accounts.empty() || order.accounts.empty()) {
                same->accounts.clear();
                return;
            }
            for (const auto& a : order.accounts)
                if (std::find(same->accounts.begin(), same->accounts.end(), a) == same->accounts.end())
                    same->accounts.push_back(a);
            return;
        }
    }
    m_later.push_back(std::move(order));
}

std::optional<WorkOrder> CheckFollowUps::TakeLater() {
    if (m_later.empty()) return std::nullopt;
    WorkOrder first = std::move(m_later.front());
    m_later.pop_front();
    return first;
}

}  // namespace velto
