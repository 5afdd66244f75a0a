#pragma once
// Certificates a piece of work could not trust, kept until it is over and
// then put to the user, once per account, when the user started that work:
// a timed scan must not put up a window nobody is waiting for. A yes pins
// the certificate's fingerprint in the account.
#include <functional>
#include <string>
#include <vector>

#include "engine/EngineUi.h"
#include "engine/WorkOrder.h"
#include "protocol/Transport.h"
#include "settings/Settings.h"

namespace velto {

class CertificateTrust {
public:
    void Add(const WorkOrder& order, const std::string& account, const PeerCertificate& certificate) {
        m_untrusted.push_back({order, account, certificate});
    }
    // Takes what was kept and asks about it (UI thread); the questions are
    // answered later. trusted(order, account, fingerprint) runs for each yes
    // once the account's settings hold the certificate.
    void Ask(IEngineUi& ui,
             std::function<void(const WorkOrder& order, const std::string& account, const std::string& fingerprint)> trusted);

private:
    struct Untrusted {
        WorkOrder order;
        std::string account;
        PeerCertificate certificate;
    };
    std::vector<Untrusted> m_untrusted;
};

}  // namespace velto
