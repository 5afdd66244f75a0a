#pragma once
// Certificates a check could not trust, kept until the check is over and
// then put to the user, once per account, when the user started the check:
// a timed scan must not put up a window nobody is waiting for. A yes pins
// the certificate's fingerprint in the account.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/EngineUi.h"
#include "protocol/Transport.h"
#include "settings/Settings.h"

namespace velto {

class CertificateTrust {
public:
    void Add(const std::string& account, const PeerCertificate& certificate) {
        m_untrusted.emplace_back(account, certificate);
    }
    // Takes what was kept and asks about it (UI thread); the questions are
    // answered later. trusted(account, fingerprint) runs for each yes once
    // the account's settings hold the certificate.
    void Ask(IEngineUi& ui, bool userStarted,
             std::function<void(const std::string& account, const std::string& fingerprint)> trusted);

private:
    std::vector<std::pair<std::string, PeerCertificate>> m_untrusted;
};

}  // namespace velto
