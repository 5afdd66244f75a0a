#include "engine/CertificateTrust.h"

#include <algorithm>
#include <utility>

namespace velto {

void CertificateTrust::Ask(
    IEngineUi& ui,
    std::function<void(const WorkOrder& order, const std::string& account, const std::string& fingerprint)> trusted) {
    auto untrusted = std::exchange(m_untrusted, {});
    std::vector<std::string> asked;
    for (auto& entry : untrusted) {
        if (!entry.order.UserStarted()) continue;
        const std::string& name = entry.account;
        if (std::find(asked.begin(), asked.end(), name) != asked.end()) continue;
        asked.push_back(name);
        ui.AskTrustCertificate(name, entry.certificate,
                               [name, order = entry.order, fingerprint = entry.certificate.fingerprint, trusted](bool yes) {
                                   // An account removed meanwhile is not brought back.
                                   if (yes && TrustCertificate(name, CertificateUse::Incoming, fingerprint))
                                       trusted(order, name, fingerprint);
                               });
    }
}

}  // namespace velto
