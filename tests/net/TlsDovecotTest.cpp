// POP3 over TLS against a private Dovecot with certificates made by the test:
// POP3S and STLS, verification of chain, name and dates, and pinning.
#include <gtest/gtest.h>

#include <algorithm>

#include "net/OpenSslLayer.h"
#include "protocol/PopMail.h"
#include "support/DovecotServer.h"
#include "support/MailTestKit.h"
#include "support/RecordingLogSink.h"
#include "support/TestCertificates.h"

namespace velto {
namespace {

using test::CertificatePair;
using test::DovecotServer;
using test::TestCertificates;

enum class Mode { Implicit, Upgrade };

class TlsDovecot : public ::testing::Test {
protected:
    // One server for the suite, restarted only to change its certificate.
    static void SetUpTestSuite() {
        if (!DovecotServer::Installed() || !TestCertificates::Get().Ready()) return;
        dovecot = new DovecotServer();
        dovecot->AddUser("tess", "pw-tess");
        dovecot->AddMessage("tess", "uid-1", "From: a@b\r\nSubject: over tls\r\n\r\nsecret body\r\n");
    }
    static void TearDownTestSuite() {
        delete dovecot;
        dovecot = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(TestCertificates::Get().Ready()) << TestCertificates::Get().error;
        ASSERT_TRUE(dovecot) << "Dovecot is not installed";
        tls = MakeOpenSslLayer({TestCertificates::Get().authority});
        pop = std::make_unique<CPopMail>(&log, MakePosixTransportFactory(test::TestTimeLimits()));
    }
    static void Serve(const CertificatePair& pair) {
        if (served == pair.cert && dovecot->Running()) return;
        dovecot->Stop();
        dovecot->UseTls(pair.cert, pair.key);
        std::string why;
        ASSERT_TRUE(dovecot->Start(&why)) << why;
        served = pair.cert;
    }
    bool Open(Mode mode, const std::string& host, const std::string& pinned = {}) {
        if (mode == Mode::Implicit) return pop->ConnectTls(host, dovecot->TlsPort(), *tls, pinned);
        return pop->Connect(host, dovecot->Port()) && pop->StartTls(*tls, pinned);
    }

    static inline DovecotServer* dovecot = nullptr;
    static inline std::string served;
    test::RecordingLogSink log;
    std::shared_ptr<ITlsLayer> tls;
    std::unique_ptr<CPopMail> pop;
};

TEST_F(TlsDovecot, TrustedServerGivesTheSameExchangeAsInClear) {
    Serve(TestCertificates::Get().good);
    for (Mode mode : {Mode::Implicit, Mode::Upgrade}) {
        for (const char* host : {"127.0.0.1", "localhost"}) {
            SCOPED_TRACE(std::string(mode == Mode::Implicit ? "POP3S " : "STLS ") + host);
            ASSERT_TRUE(Open(mode, host)) << pop->GetLastResponse();
            EXPECT_EQ(pop->GetCertificate().problem, "");
            EXPECT_NE(pop->GetCertificate().subject.find("good.test"), std::string::npos);
            EXPECT_EQ(pop->GetCertificate().fingerprint.size(), 32u * 3 - 1);
            ASSERT_TRUE(pop->Login("tess", "pw-tess")) << log.Text();
            int count = 0, size = 0;
            ASSERT_TRUE(pop->GetMailboxStatus(count, size));
            EXPECT_EQ(count, 1);
            std::string uid, text;
            EXPECT_TRUE(pop->GetUniqueId(1, uid));
            EXPECT_EQ(uid, "uid-1");
            EXPECT_TRUE(pop->GetMessage(1, text));
            EXPECT_NE(text.find("secret body"), std::string::npos);
            EXPECT_TRUE(pop->Quit());
        }
    }
    EXPECT_EQ(log.Text().find("pw-tess"), std::string::npos);
}

// Each untrusted kind: refused with its reason and fingerprint, accepted once
// pinned, refused again when the pin belongs to another certificate.
struct UntrustedRow {
    const char* name;
    CertificatePair TestCertificates::*pair;
    const char* host;
    const char* reason;
};

TEST_F(TlsDovecot, UntrustedCertificateRefusedUntilPinned) {
    const UntrustedRow rows[] = {
        {"expired", &TestCertificates::expired, "127.0.0.1", "certificate has expired"},
        {"other name", &TestCertificates::otherName, "localhost", "hostname mismatch"},
        {"other address", &TestCertificates::otherName, "127.0.0.1", "IP address mismatch"},
        {"self-signed", &TestCertificates::selfSigned, "127.0.0.1", "self-signed certificate"},
    };
    for (const UntrustedRow& row : rows) {
        Serve(TestCertificates::Get().*row.pair);
        for (Mode mode : {Mode::Implicit, Mode::Upgrade}) {
            SCOPED_TRACE(std::string(row.name) + (mode == Mode::Implicit ? " POP3S" : " STLS"));
            EXPECT_FALSE(Open(mode, row.host));
            EXPECT_FALSE(pop->IsConnected());
            EXPECT_EQ(pop->GetLastSocketError(), localerr::kCertificateUntrusted);
            const PeerCertificate seen = pop->GetCertificate();
            EXPECT_EQ(seen.problem, row.reason);
            EXPECT_NE(pop->GetLastResponse().find(row.reason), std::string::npos) << pop->GetLastResponse();
            EXPECT_NE(pop->GetLastResponse().find(seen.fingerprint), std::string::npos);
            EXPECT_NE(log.Text().find(seen.fingerprint), std::string::npos);

            // The pin in another spelling still matches.
            std::string pin = seen.fingerprint;
            std::erase(pin, ':');
            std::transform(pin.begin(), pin.end(), pin.begin(), [](unsigned char c) { return std::tolower(c); });
            ASSERT_TRUE(Open(mode, row.host, pin)) << pop->GetLastResponse();
            EXPECT_TRUE(pop->Login("tess", "pw-tess"));
            EXPECT_TRUE(pop->Quit());
        }
    }
    // A pin is for exactly one certificate.
    Serve(TestCertificates::Get().selfSigned);
    EXPECT_FALSE(Open(Mode::Implicit, "127.0.0.1"));
    const std::string pinned = pop->GetCertificate().fingerprint;
    Serve(TestCertificates::Get().selfSignedAgain);
    EXPECT_FALSE(Open(Mode::Implicit, "127.0.0.1", pinned));
    EXPECT_EQ(pop->GetLastSocketError(), localerr::kCertificateUntrusted);
    EXPECT_NE(pop->GetCertificate().fingerprint, pinned);
}

TEST_F(TlsDovecot, UnknownAuthorityRefused) {
    // Without the test's authority the good certificate is just unknown.
    Serve(TestCertificates::Get().good);
    tls = MakeOpenSslLayer();
    EXPECT_FALSE(Open(Mode::Implicit, "127.0.0.1"));
    EXPECT_EQ(pop->GetCertificate().problem, "unable to get local issuer certificate");
}

}  // namespace
}  // namespace velto
