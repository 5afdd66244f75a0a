#pragma once
// Certificates made for a test run with the openssl command: a private
// authority and server certificates it signed (valid for 127.0.0.1 and
// localhost; expired; for another name), plus two self-signed ones. Made once
// per test program, in a temporary folder.
#include <string>

namespace velto::test {

struct CertificatePair {
    std::string cert;  // PEM files
    std::string key;
};

class TestCertificates {
public:
    // Empty folder when the openssl command failed (error says why).
    static const TestCertificates& Get();

    std::string authority;  // the private authority's certificate (PEM)
    CertificatePair good, expired, otherName, selfSigned, selfSignedAgain;
    std::string error;
    bool Ready() const { return error.empty(); }
};

}  // namespace velto::test
