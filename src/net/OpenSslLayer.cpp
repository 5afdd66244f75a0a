#include "net/OpenSslLayer.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cstdint>
#include <stdexcept>

#include "protocol/SocketErrors.h"

namespace velto {

namespace {

// ---- the inner transport as an OpenSSL BIO ----------------------------------

struct BioTarget {
    ITransport* transport = nullptr;
    bool eof = false;
};

int BioWrite(BIO* bio, const char* data, std::size_t length, std::size_t* written) {
    auto* target = static_cast<BioTarget*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const long n = target->transport->Send(data, length);
    if (n < 0) return 0;
    *written = static_cast<std::size_t>(n);
    return 1;
}

int BioRead(BIO* bio, char* data, std::size_t capacity, std::size_t* read) {
    auto* target = static_cast<BioTarget*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const long n = target->transport->Receive(data, capacity);
    if (n <= 0) {
        if (n == 0) target->eof = true;
        return 0;
    }
    *read = static_cast<std::size_t>(n);
    return 1;
}

long BioControl(BIO* bio, int command, long, void*) {
    switch (command) {
    case BIO_CTRL_FLUSH: return 1;
    case BIO_CTRL_EOF: return static_cast<BioTarget*>(BIO_get_data(bio))->eof ? 1 : 0;
    default: return 0;
    }
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* TransportBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "velto transport");
        if (!m || !BIO_meth_set_write_ex(m, BioWrite) || !BIO_meth_set_read_ex(m, BioRead) ||
            !BIO_meth_set_ctrl(m, BioControl) || !BIO_meth_set_create(m, BioCreate))
            throw std::runtime_error("OpenSSL: cannot make the transport BIO");
        return m;
    }();
    return method;
}

// ---- certificate details ----------------------------------------------------

std::string TakeBio(BIO* bio) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(n > 0 ? n : 0));
    BIO_free(bio);
    return text;
}

std::string NameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    return TakeBio(bio);
}

std::string TimeText(const ASN1_TIME* time) {
    BIO* bio = BIO_new(BIO_s_mem());
    ASN1_TIME_print(bio, time);
    return TakeBio(bio);
}

std::string Fingerprint(X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!X509_digest(cert, EVP_sha256(), digest, &length)) return {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i) text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

PeerCertificate Describe(X509* cert) {
    PeerCertificate info;
    info.subject = NameText(X509_get_subject_name(cert));
    info.issuer = NameText(X509_get_issuer_name(cert));
    info.validFrom = TimeText(X509_get0_notBefore(cert));
    info.validUntil = TimeText(X509_get0_notAfter(cert));
    info.fingerprint = Fingerprint(cert);
    return info;
}

// ---- the encrypting transport -----------------------------------------------

int FirstErrorIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// Verification goes on to the end so that the certificate can be shown and
// matched against a pin; the first failure is kept, being the most telling
// ("expired" rather than what follows from it).
int KeepFirstFailure(int ok, X509_STORE_CTX* store) {
    if (!ok) {
        auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        if (ssl && !SSL_get_ex_data(ssl, FirstErrorIndex()))
            SSL_set_ex_data(ssl, FirstErrorIndex(), reinterpret_cast<void*>(
                                                         static_cast<std::intptr_t>(X509_STORE_CTX_get_error(store))));
    }
    return 1;
}

class TlsTransport : public ITransport {
public:
    TlsTransport(std::unique_ptr<ITransport> inner, SSL* ssl) : m_inner(std::move(inner)), m_ssl(ssl) {
        m_target.transport = m_inner.get();
        BIO* bio = BIO_new(TransportBioMethod());
        BIO_set_data(bio, &m_target);
        SSL_set_bio(m_ssl, bio, bio);
    }
    ~TlsTransport() override {
        Close();
        SSL_free(m_ssl);
    }

    // Handshake and verification; 0 or the failure's code.
    int Handshake(const std::string& host, const std::string& pinned, PeerCertificate& certificate) {
        SSL_set_connect_state(m_ssl);
        X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
        // An address is checked against the certificate's IP entries, a name
        // against its DNS entries (and sent as SNI).
        if (!X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())) {
            SSL_set_tlsext_host_name(m_ssl, host.c_str());
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            if (!X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size())) return localerr::kTlsFailed;
        }
        ERR_clear_error();
        if (SSL_do_handshake(m_ssl) != 1) {
            const int code = FailureCode();
            ERR_clear_error();
            Close();
            return code;
        }
        X509* cert = SSL_get1_peer_certificate(m_ssl);
        if (!cert) {
            Close();
            return localerr::kTlsFailed;
        }
        certificate = Describe(cert);
        X509_free(cert);
        const auto first = static_cast<long>(reinterpret_cast<std::intptr_t>(SSL_get_ex_data(m_ssl, FirstErrorIndex())));
        const long result = first ? first : SSL_get_verify_result(m_ssl);
        if (result != X509_V_OK) {
            certificate.problem = X509_verify_cert_error_string(result);
            if (pinned.empty() || NormalizeFingerprint(pinned) != certificate.fingerprint) {
                Close();
                return localerr::kCertificateUntrusted;
            }
        }
        return 0;
    }

    bool Connect(const std::string&, int) override {
        // Made only from a connected transport; never reconnected.
        m_error = wsa::kIsConnected;
        return false;
    }

    long Send(const char* data, std::size_t length) override {
        if (m_closed) return Fail(wsa::kNotConnected);
        std::size_t sent = 0;
        while (sent < length) {
            std::size_t n = 0;
            ERR_clear_error();
            if (SSL_write_ex(m_ssl, data + sent, length - sent, &n) != 1) return Fail(FailureCode());
            sent += n;
        }
        m_error = 0;
        return static_cast<long>(length);
    }

    long Receive(char* buffer, std::size_t capacity) override {
        if (m_closed) return Fail(wsa::kNotConnected);
        std::size_t n = 0;
        ERR_clear_error();
        if (SSL_read_ex(m_ssl, buffer, capacity, &n) == 1) {
            m_error = 0;
            return static_cast<long>(n);
        }
        if (SSL_get_error(m_ssl, 0) == SSL_ERROR_ZERO_RETURN) {
            m_error = 0;  // the server ended TLS properly: like a closed socket
            return 0;
        }
        return Fail(FailureCode());
    }

    int WaitReadable(long milliseconds) override {
        if (m_closed) return static_cast<int>(Fail(wsa::kNotConnected));
        // Decrypted bytes already held count; else the socket's word.
        if (SSL_pending(m_ssl) > 0) return 1;
        return m_inner->WaitReadable(milliseconds);
    }

    void Close() override {
        if (m_closed) return;
        m_closed = true;
        // Say goodbye if the connection still works; do not wait for the
        // server's reply.
        if (SSL_is_init_finished(m_ssl) && m_error == 0) SSL_shutdown(m_ssl);
        ERR_clear_error();
        m_inner->Close();
    }

    int LastError() const override { return m_error; }

private:
    // The inner transport's code when the socket failed (time limit, reset,
    // abort); a TLS failure otherwise. A peer that closes in the middle of
    // a record is a socket failure.
    int FailureCode() {
        if (const int inner = m_inner->LastError()) return inner;
        if (m_target.eof) return wsa::kConnectionReset;
        return localerr::kTlsFailed;
    }
    long Fail(int code) {
        m_error = code;
        return -1;
    }

    std::unique_ptr<ITransport> m_inner;
    SSL* m_ssl;
    BioTarget m_target;
    bool m_closed = false;
    int m_error = 0;
};

class OpenSslLayer : public ITlsLayer {
public:
    explicit OpenSslLayer(const TlsTrust& trust) : m_ctx(SSL_CTX_new(TLS_client_method())) {
        if (!m_ctx) throw std::runtime_error("OpenSSL: no client context");
        SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
        // A renegotiation would bring a new certificate after ours was
        // checked (and pinned): refused, and a server that insists fails.
        SSL_CTX_set_options(m_ctx, SSL_OP_NO_RENEGOTIATION);
        SSL_CTX_set_default_verify_paths(m_ctx);
        if (!trust.extraAuthorities.empty())
            SSL_CTX_load_verify_locations(m_ctx, trust.extraAuthorities.c_str(), nullptr);
        SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, KeepFirstFailure);
        // Whole records per read instead of header and body apart: half the
        // system calls on a long listing.
        SSL_CTX_set_read_ahead(m_ctx, 1);
        SSL_CTX_set_mode(m_ctx, SSL_MODE_AUTO_RETRY);
        ERR_clear_error();
    }
    ~OpenSslLayer() override { SSL_CTX_free(m_ctx); }

    std::unique_ptr<ITransport> Secure(std::unique_ptr<ITransport> plain, const std::string& host,
                                       const std::string& pinned, PeerCertificate& certificate,
                                       int& error) override {
        certificate = {};
        SSL* ssl = SSL_new(m_ctx);
        if (!ssl) {
            plain->Close();
            error = localerr::kTlsFailed;
            return nullptr;
        }
        auto tls = std::make_unique<TlsTransport>(std::move(plain), ssl);
        error = tls->Handshake(host, pinned, certificate);
        certificate.host = host;
        if (error != 0) return nullptr;
        return tls;
    }

private:
    SSL_CTX* m_ctx;
};

}  // namespace

std::shared_ptr<ITlsLayer> MakeOpenSslLayer(const TlsTrust& trust) { return std::make_shared<OpenSslLayer>(trust); }

std::string NormalizeFingerprint(const std::string& text) {
    std::string hex;
    for (char c : text) {
        if (c == ':' || c == ' ') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (hex.size() != 64) return {};
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (i) out += ':';
        out += hex.substr(i, 2);
    }
    return out;
}

}  // namespace velto
