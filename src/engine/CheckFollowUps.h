#pragma once
// What a piece of work leaves for the user once it is over: certificates it
// could not trust and sign-ins that are missing or revoked, put to the user
// after work the user started (never after a timed scan nobody waits for),
// each question with the order of the work it belongs to; and the work to
// run once the worker then running has ended.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/CertificateTrust.h"
#include "engine/EngineUi.h"
#include "engine/WorkOrder.h"

namespace velto {

class CheckFollowUps {
public:
    // For each yes: the order to run again for that account, with the
    // certificate trusted (already in the settings), or signed in (no
    // fingerprint).
    using Again = std::function<void(const WorkOrder& order, const std::string& account, const std::string& fingerprint)>;

    void UntrustedCertificate(const WorkOrder& order, const std::string& account, const PeerCertificate& certificate) {
        m_trust.Add(order, account, certificate);
    }
    void SignInExpired(const WorkOrder& order, const std::string& account);
    // A worker has ended: the questions kept go up (they return at once).
    void Ask(IEngineUi& ui, Again again);
    // Work for once the worker now running has ended. Scans of one kind fold
    // into one; reads and deletes keep their own orders, in turn.
    void Later(WorkOrder order);
    std::optional<WorkOrder> TakeLater();
    bool Waiting() const { return !m_later.empty(); }

private:
    CertificateTrust m_trust;
    std::vector<std::pair<WorkOrder, std::string>> m_expiredSignIns;
    std::deque<WorkOrder> m_later;
};

}  // namespace velto
