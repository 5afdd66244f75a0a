#include "present/MessageDisplay.h"

namespace velto {

std::string CertificateQuestion(const std::string& account, const PeerCertificate& certificate) {
    const std::string server = certificate.host.empty() ? "The mail server" : "The mail server " + certificate.host;
    return server + " of the account \"" + account + "\" showed a certificate that could not be verified:\n" +
           certificate.problem + "\n\nSubject: " + certificate.subject + "\nIssuer: " + certificate.issuer +
           "\nValid from: " + certificate.validFrom + "\nValid until: " + certificate.validUntil +
           "\nSHA-256 fingerprint:\n" + certificate.fingerprint +
           "\n\nTrust this certificate for this account from now on? Only say Yes if you know it is your server's.";
}

std::string CertificateQuestionKey(const std::string& account, const std::string& fingerprint) {
    return "trust " + account + " " + fingerprint;
}

}  // namespace velto
