#pragma once
// Certificates a check could not trust, kept until the check is over and
// then put to the user, once per account, when the user started the check:
// a timed scan must not put up a window nobody is waiting for. A yes pins
// the certificate's fingerprint in the account.
#include <string>
#include <utility>
#include <vector>

#include "engine/EngineUi.h"
#include "protocol/Transport.h"
#include "settings/Settings.h"

namespace velto {

class CertificateTrust {
public:
    void Clear() { m_untrusted.clear(); }
    void Add(const std::string& account, const PeerCertificate& certificate) {
        m_untrusted.emplace_back(account, certificate);
    }
    // UI thread, no lock held (the question is a window). accounts: the
    // engine's copies, updated along with the settings. Returns the
    // accounts trusted now, whose work is to run again.
    std::vector<std::string> Ask(IEngineUi& ui, bool userStarted, std::vector<AccountSettings>& accounts);

private:
    std::vector<std::pair<std::string, PeerCertificate>> m_untrusted;
};

}  // namespace velto
