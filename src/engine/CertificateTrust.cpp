#include "engine/CertificateTrust.h"

#include <algorithm>

namespace velto {

std::vector<std::string> CertificateTrust::Ask(IEngineUi& ui, bool userStarted, std::vector<AccountSettings>& accounts) {
    auto untrusted = std::exchange(m_untrusted, {});
    std::vector<std::string> asked, trusted;
    if (!userStarted) return trusted;
    for (const auto& [name, certificate] : untrusted) {
        if (std::find(asked.begin(), asked.end(), name) != asked.end()) continue;
        asked.push_back(name);
        if (!ui.AskTrustCertificate(name, certificate)) continue;
        if (!TrustCertificate(name, CertificateUse::Incoming, certificate.fingerprint)) continue;  // removed meanwhile
        for (AccountSettings& held : accounts)
            if (held.GetAccountName() == name) held.m_incomingCertificate = certificate.fingerprint;
        trusted.push_back(name);
    }
    return trusted;
}

}  // namespace velto
