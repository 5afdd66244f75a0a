#include "protocol/MailSession.h"

#include <ctime>

namespace velto {

MailSession::MailSession(ILogSink* output, std::shared_ptr<ITransportFactory> transports)
    : m_output(output), m_transports(std::move(transports)), m_clock(CurrentLocalTime) {}

bool MailSession::OpenSocket(const std::string& host, int port) {
    // One client serves every account of a run; a socket left by an earlier
    // session that never got to its goodbye is released here.
    DropConnection();
    m_certificate = {};
    m_socket = std::make_unique<DeadlineTransport>(m_transports->Create(), m_exchangeLimits);
    Attach(m_socket.get());
    m_host = host;
    if (m_socket->Connect(host, port)) return true;
    ReportSocketError(SocketStage::Connect);
    DropConnection();
    return false;
}

bool MailSession::Secure(ITlsLayer& tls, const std::string& pinned) {
    int error = 0;
    m_socket = tls.Secure(std::move(m_socket), m_host, pinned, m_certificate, error);
    Attach(m_socket.get());
    m_encrypted = m_socket != nullptr;
    if (m_socket) return true;
    ReportFailure(error, SocketStage::Receive, error != localerr::kCertificateUntrusted);
    if (error == localerr::kCertificateUntrusted) {
        // The reason and the fingerprint: what the user needs to judge it.
        m_lastResponse = UntrustedCertificateLine(m_host, m_certificate);
        LogLine(m_lastResponse);
    }
    DropConnection();
    return false;
}

void MailSession::ReportSocketError(SocketStage stage) {
    ReportFailure(m_socket ? m_socket->LastError() : wsa::kNotConnected, stage);
}

void MailSession::ReportFailure(int code, SocketStage stage, bool log) {
    m_lastSocketError = code;
    Failed();
    m_lastResponse = "LOCAL ERROR: " + m_host + " - " + SocketErrorText(code, stage);
    if (log) LogLine(m_lastResponse);
}

void MailSession::DropConnection() {
    Attach(nullptr);
    m_encrypted = false;
    if (m_socket) {
        m_socket->Close();
        m_socket.reset();
    }
    m_connected = false;
    Forget();
}

void MailSession::LogLine(std::string_view text, bool banner) {
    if (!m_output) return;
    const std::tm now = m_clock();
    if (banner) m_output->AppendOutput("\r\n" + FormatBannerTime(now) + " - Connected to " + m_host + "\r\n");
    m_output->AppendOutput("[" + FormatClockTime(now) + "] " + std::string(text));
}

}  // namespace velto
