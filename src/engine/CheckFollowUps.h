#pragma once
// What a check leaves for the user once it is over: certificates it could
// not trust and sign-ins that are missing or revoked, put to the user after
// a check the user started (never after a timed scan nobody waits for), and
// the work to run again after a yes, once the worker then running has ended.
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/CertificateTrust.h"
#include "engine/EngineUi.h"
#include "engine/MailWorkers.h"

namespace velto {

class CheckFollowUps {
public:
    using Again = std::pair<WorkerKind, std::vector<std::string>>;

    void UntrustedCertificate(const std::string& account, const PeerCertificate& certificate) {
        m_trust.Add(account, certificate);
    }
    void SignInExpired(const std::string& account);
    // The worker of this kind has ended: its questions go up (they return
    // at once). For each yes, again(account, fingerprint): the certificate
    // trusted (already in the settings), or signed in (no fingerprint).
    void Ask(IEngineUi& ui, WorkerKind kind,
             std::function<void(const std::string& account, const std::string& fingerprint)> again);
    // Work for once the worker now running has ended; one entry per kind.
    void Later(WorkerKind kind, const std::vector<std::string>& accounts);
    std::optional<Again> TakeLater();

private:
    CertificateTrust m_trust;
    std::vector<std::string> m_expiredSignIns;
    std::vector<Again> m_later;
};

}  // namespace velto
