#include "engine/CertificateTrust.h"

#include <algorithm>

namespace velto {

void CertificateTrust::Ask(IEngineUi& ui, bool userStarted,
                           std::function<void(const std::string&, const std::string&)> trusted) {
    auto untrusted = std::exchange(m_untrusted, {});
    if (!userStarted) return;
    std::vector<std::string> asked;
    for (const auto& entry : untrusted) {
        const std::string& name = entry.first;
        if (std::find(asked.begin(), asked.end(), name) != asked.end()) continue;
        asked.push_back(name);
        ui.AskTrustCertificate(name, entry.second, [name, fingerprint = entry.second.fingerprint, trusted](bool yes) {
            // An account removed meanwhile is not brought back.
            if (yes && TrustCertificate(name, CertificateUse::Incoming, fingerprint)) trusted(name, fingerprint);
        });
    }
}

}  // namespace velto
