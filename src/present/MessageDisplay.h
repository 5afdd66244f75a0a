#pragma once
// The question put to the user about a server's certificate.
#include <string>

#include "protocol/Transport.h"

namespace velto {

// The question put to the user about a server's certificate that could not
// be verified: what is wrong, whose it is, and its fingerprint.
std::string CertificateQuestion(const std::string& account, const PeerCertificate& certificate);
// Its key in the question queue: asked once however many want the answer.
std::string CertificateQuestionKey(const std::string& account, const std::string& fingerprint);

}  // namespace velto
