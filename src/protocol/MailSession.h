#pragma once
// What the POP3 and IMAP clients share: one connection to a server, made
// secure in place, a failure told as the last response, and the
// conversation written to the output window with its times.
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "protocol/DeadlineTransport.h"
#include "protocol/LocalTime.h"
#include "protocol/LogSink.h"
#include "protocol/SocketErrors.h"
#include "protocol/Transport.h"

namespace velto {

class MailSession {
public:
    MailSession(const MailSession&) = delete;
    MailSession& operator=(const MailSession&) = delete;

    void SetOutputWindow(ILogSink* output) { m_output = output; }
    void SetClock(LocalClock clock) { m_clock = std::move(clock); }
    // How long the server may take over one answer (connections made after).
    void SetExchangeLimits(ExchangeLimits limits) { m_exchangeLimits = std::move(limits); }
    // What the last TLS handshake saw of the server's certificate.
    const PeerCertificate& GetCertificate() const { return m_certificate; }
    const std::string& GetLastResponse() const { return m_lastResponse; }
    int GetLastSocketError() const { return m_lastSocketError; }
    bool IsConnected() const { return m_connected; }
    bool IsLoggedIn() const { return m_loggedIn; }
    bool IsEncrypted() const { return m_encrypted; }

protected:
    MailSession(ILogSink* output, std::shared_ptr<ITransportFactory> transports);
    ~MailSession() = default;

    // The protocol's reader takes each new stream (null: none).
    virtual void Attach(ITransport* stream) = 0;
    // What else goes with a failure, and with the connection.
    virtual void Failed() {}
    virtual void Forget() {}

    // A new connection to host, the reader attached; a failure is reported
    // and leaves nothing open.
    bool OpenSocket(const std::string& host, int port);
    // TLS over the connection as it stands; a failure (handshake,
    // certificate) drops it.
    bool Secure(ITlsLayer& tls, const std::string& pinned);
    void ReportSocketError(SocketStage stage);
    void ReportFailure(int code, SocketStage stage, bool log = true);
    void DropConnection();
    void LogLine(std::string_view text, bool banner = false);

    std::unique_ptr<ITransport> m_socket;
    ILogSink* m_output;
    std::shared_ptr<ITransportFactory> m_transports;
    LocalClock m_clock;
    ExchangeLimits m_exchangeLimits;
    std::string m_host;
    PeerCertificate m_certificate;
    std::string m_lastResponse;
    int m_lastSocketError = 0;
    bool m_connected = false;
    bool m_loggedIn = false;
    bool m_encrypted = false;
};

}  // namespace velto
