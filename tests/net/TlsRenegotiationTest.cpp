// A server that asks for a TLS 1.2 renegotiation mid-connection, offering a
// self-signed certificate the client never checked: the client refuses, and
// nothing the server sends after that reaches the mail client.
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <fcntl.h>

#include <chrono>

#include "net/OpenSslLayer.h"
#include "support/LoopbackServer.h"
#include "support/MailTestKit.h"
#include "support/TestCertificates.h"

namespace velto {
namespace {

using test::ServerConnection;
using test::TestCertificates;

// A handshake is finished when the client's Finished message arrives.
void CountHandshakes(int writing, int, int type, const void* bytes, std::size_t length, SSL* ssl, void*) {
    if (!writing && type == SSL3_RT_HANDSHAKE && length > 0 &&
        *static_cast<const unsigned char*>(bytes) == SSL3_MT_FINISHED)
        ++*static_cast<int*>(SSL_get_app_data(ssl));
}

// Serves over TLS 1.2 with the good certificate, says hello, then switches
// to the self-signed one and asks the client to renegotiate. Once a second
// handshake is done it sends "after". Non-blocking, so it can tell a
// finished renegotiation while the client is still reading.
struct RenegotiatingServer {
    int handshakes = 0;
    bool hello = false;

    void operator()(ServerConnection& c) {
        const auto& certs = TestCertificates::Get();
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
        SSL_CTX_use_certificate_chain_file(ctx, certs.good.cert.c_str());
        SSL_CTX_use_PrivateKey_file(ctx, certs.good.key.c_str(), SSL_FILETYPE_PEM);
        SSL* ssl = SSL_new(ctx);
        SSL_set_app_data(ssl, &handshakes);
        SSL_set_msg_callback(ssl, CountHandshakes);
        SSL_set_fd(ssl, c.fd());
        if (SSL_accept(ssl) == 1 && SSL_write(ssl, "hello\r\n", 7) == 7) {
            hello = true;
            SSL_use_certificate_file(ssl, certs.selfSigned.cert.c_str(), SSL_FILETYPE_PEM);
            SSL_use_PrivateKey_file(ssl, certs.selfSigned.key.c_str(), SSL_FILETYPE_PEM);
            ::fcntl(c.fd(), F_SETFL, ::fcntl(c.fd(), F_GETFL) | O_NONBLOCK);
            SSL_renegotiate(ssl);
            SSL_do_handshake(ssl);  // sends the request
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (std::chrono::steady_clock::now() < deadline) {
                char buffer[256];
                const int n = SSL_read(ssl, buffer, sizeof buffer);
                if (handshakes >= 2) {
                    ::fcntl(c.fd(), F_SETFL, ::fcntl(c.fd(), F_GETFL) & ~O_NONBLOCK);
                    SSL_write(ssl, "after\r\n", 7);
                    break;
                }
                if (n > 0) continue;
                const int error = SSL_get_error(ssl, n);
                if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) break;  // refused
                pollfd p{c.fd(), POLLIN, 0};
                ::poll(&p, 1, 100);
            }
        }
        SSL_free(ssl);
        SSL_CTX_free(ctx);
    }
};

TEST(TlsRenegotiation, RefusedAndTheConnectionEnds) {
    ASSERT_TRUE(TestCertificates::Get().Ready()) << TestCertificates::Get().error;
    auto server = std::make_shared<RenegotiatingServer>();
    test::LoopbackServer loopback([server](ServerConnection& c) { (*server)(c); });
    auto plain = MakePosixTransportFactory(test::TestTimeLimits())->Create();
    ASSERT_TRUE(plain->Connect("127.0.0.1", loopback.port()));
    PeerCertificate certificate;
    int error = 0;
    auto tls = MakeOpenSslLayer({TestCertificates::Get().authority})
                   ->Secure(std::move(plain), "127.0.0.1", {}, certificate, error);
    ASSERT_TRUE(tls) << error;

    std::string got;
    char buffer[64];
    long n = 0;
    while (got.find("\r\n") == std::string::npos && (n = tls->Receive(buffer, sizeof buffer)) > 0) got.append(buffer, n);
    EXPECT_EQ(got, "hello\r\n");
    // What follows the request: an end, never the renegotiated "after".
    std::string later;
    while ((n = tls->Receive(buffer, sizeof buffer)) > 0) later.append(buffer, n);
    EXPECT_EQ(later, "");
    tls->Close();
    loopback.Join();
    EXPECT_TRUE(server->hello);
    EXPECT_EQ(server->handshakes, 1) << "the client renegotiated";
}

}  // namespace
}  // namespace velto
