#include "protocol/SmtpMail.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "protocol/SaslText.h"
#include "protocol/SocketErrors.h"

namespace velto {

namespace {

struct ExpectedReply {
    int code;
    const char* text;
};

constexpr ExpectedReply kExpected[] = {
    {250, "SMTP server error"},
    {220, "SMTP server not available"},
    {354, "SMTP server not ready for data"},
    {221, "SMTP server didn't terminate session"},
    {220, "SMTP server refused STARTTLS"},
    {334, "SMTP server refused the sign-in"},
    {235, "SMTP server refused the user name or password"},
};

// Whether an EHLO reply names the extension (a line "250-NAME ..." or
// "250 NAME ..."), and for AUTH whether the mechanism is among its words.
bool Offers(std::string_view reply, std::string_view extension, std::string_view word = {}) {
    std::size_t start = 0;
    while (start < reply.size()) {
        std::size_t eol = reply.find('\n', start);
        if (eol == std::string_view::npos) eol = reply.size();
        std::string line(reply.substr(start, eol - start));
        start = eol + 1;
        for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 4) continue;
        std::string_view rest = std::string_view(line).substr(4);
        if (rest.substr(0, extension.size()) != extension) continue;
        rest.remove_prefix(extension.size());
        if (!rest.empty() && rest.front() != ' ' && rest.front() != '=') continue;
        if (word.empty()) return true;
        rest = rest.empty() ? rest : rest.substr(1);
        while (!rest.empty()) {
            const std::size_t space = rest.find(' ');
            if (rest.substr(0, space) == word) return true;
            if (space == std::string_view::npos) break;
            rest.remove_prefix(space + 1);
        }
    }
    return false;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// More lines of the same reply follow: the code is followed by '-'.
bool IsContinued(std::string_view line) { return line.size() >= 4 && line[3] == '-'; }

std::string LocalHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace

void COutgoingMessage::AddRecipient(const std::string& address, const std::string& name) {
    m_recipients.push_back({address, name});
}

CSmtpMail::CSmtpMail(const std::string& server, int port, std::shared_ptr<ITransportFactory> transports)
    : m_port(port), m_server(server), m_transports(std::move(transports)), m_clock(CurrentLocalTime) {}

CSmtpMail::~CSmtpMail() {
    if (m_connected) Disconnect();
    CloseSocket();
}

bool CSmtpMail::Connect() {
    if (m_connected) return true;
    CloseSocket();
    m_socket = m_transports ? m_transports->Create() : nullptr;
    m_replies.Attach(m_socket.get());
    if (!m_socket) {
        m_errorText = "Unable to create the socket.";
        return false;
    }
    if (!m_socket->Connect(m_server, m_port)) {
        m_errorText = "Unable to connect to server";
        CloseSocket();
        return false;
    }
    if (m_tlsMode == SmtpTls::Implicit && !Secure()) return false;
    if (!CheckReply(kReady220)) {
        m_errorText = "Server didn't respond.";
        CloseSocket();
        return false;
    }
    if (!Greet()) return false;
    m_connected = true;
    return true;
}

void CSmtpMail::SetTls(SmtpTls mode, std::shared_ptr<ITlsLayer> tls, std::string pinned) {
    m_tlsMode = mode;
    m_tls = std::move(tls);
    m_pinned = std::move(pinned);
}

void CSmtpMail::SetSignIn(std::string user, std::string password) {
    m_user = std::move(user);
    m_password = std::move(password);
    m_token.clear();
}

void CSmtpMail::SetOAuthSignIn(std::string user, std::string token) {
    m_user = std::move(user);
    m_token = std::move(token);
    m_password.clear();
}

bool CSmtpMail::Command(const std::string& text, int index) {
    SendText(text);
    if (CheckReply(index)) return true;
    CloseSocket();
    return false;
}

bool CSmtpMail::Greet() {
    const std::string name = HeloName(LocalHostName());
    if (m_tlsMode == SmtpTls::None && m_user.empty()) return Command("HELO " + name + "\r\n", kOk250);
    if (!Command("EHLO " + name + "\r\n", kOk250)) return false;
    if (m_tlsMode == SmtpTls::StartTls) {
        if (!Offers(m_reply, "STARTTLS")) {
            m_errorText = "SMTP server does not offer STARTTLS";
            CloseSocket();
            return false;
        }
        if (!Command("STARTTLS\r\n", kTls220)) return false;
        // Anything after the go-ahead came from someone in between.
        if (m_replies.HasPending()) {
            m_errorText = "SMTP server sent data after STARTTLS";
            CloseSocket();
            return false;
        }
        if (!Secure() || !Command("EHLO " + name + "\r\n", kOk250)) return false;
    }
    return m_user.empty() || SignIn();
}

bool CSmtpMail::Secure() {
    int error = 0;
    m_socket = m_tls ? m_tls->Secure(std::move(m_socket), m_server, m_pinned, m_certificate, error) : nullptr;
    m_replies.Attach(m_socket.get());
    if (!m_socket) {
        m_errorText = error == localerr::kCertificateUntrusted
                          ? "SMTP server certificate not trusted (" + m_certificate.problem + "); SHA-256 " +
                                m_certificate.fingerprint
                          : "Unable to make a secure connection";
        CloseSocket();
        return false;
    }
    m_encrypted = true;
    return true;
}

bool CSmtpMail::SignIn() {
    if (!m_encrypted) {
        m_errorText = "Will not send the password without encryption";
        CloseSocket();
        return false;
    }
    if (!m_token.empty()) return SignInWithToken();
    if (Offers(m_reply, "AUTH", "PLAIN")) {
        std::string token = Base64(std::string(1, '\0') + m_user + '\0' + m_password);
        const bool ok = Command("AUTH PLAIN " + token + "\r\n", kAuth235);
        std::fill(token.begin(), token.end(), '\0');
        return ok;
    }
    if (Offers(m_reply, "AUTH", "LOGIN")) {
        return Command("AUTH LOGIN\r\n", kAuth334) && Command(Base64(m_user) + "\r\n", kAuth334) &&
               Command(Base64(m_password) + "\r\n", kAuth235);
    }
    m_errorText = "SMTP server offers no sign-in this client knows";
    CloseSocket();
    return false;
}

bool CSmtpMail::SignInWithToken() {
    if (!Offers(m_reply, "AUTH", "XOAUTH2")) {
        m_errorText = "SMTP server offers no OAuth2 sign-in";
        CloseSocket();
        return false;
    }
    std::string response = XOAuth2Response(m_user, m_token);
    SendText("AUTH XOAUTH2 " + response + "\r\n");
    std::fill(response.begin(), response.end(), '\0');
    if (CheckReply(kAuth235)) return true;
    // A refusal comes as a 334 challenge first; an empty line ends it.
    if (m_reply.rfind("334", 0) == 0) {
        SendText("\r\n");
        CheckReply(kAuth235);
    }
    m_tokenRefused = m_socket != nullptr;
    if (m_tokenRefused) m_errorText = "535:SMTP server refused the OAuth2 sign-in: it has expired or was revoked";
    CloseSocket();
    return false;
}

bool CSmtpMail::SendMail(COutgoingMessage& message) {
    if (!m_connected) {
        m_errorText = "Must be connected";
        return false;
    }
    if (!CheckArguments(message) || !PrepareMessage(message)) return false;

    // No space before the path: strict servers (submission services) refuse it.
    SendText("MAIL From:<" + message.m_sender + ">\r\n");
    if (!CheckReply(kOk250)) return false;
    for (int i = 0; i < message.GetRecipientCount(); ++i) {
        SendText("RCPT TO:<" + message.GetRecipient(i).address + ">\r\n");
        // A refused recipient does not stop the others; a lost connection does.
        if (!CheckReply(kOk250) && !m_connected) return false;
    }
    SendText("DATA\r\n");
    if (!CheckReply(kData354)) return false;

    std::string data = message.m_header;
    data += EscapeBody(message.m_body);
    // The terminator's leading line end is the body's last one.
    data += data.size() >= 2 && data.compare(data.size() - 2, 2, "\r\n") == 0 ? ".\r\n" : "\r\n.\r\n";
    SendText(data);
    return CheckReply(kOk250);
}

bool CSmtpMail::Disconnect() {
    if (!m_connected) return true;
    SendText("QUIT\r\n");
    const bool ok = CheckReply(kBye221);
    CloseSocket();
    return ok;
}

bool CSmtpMail::PrepareMessage(COutgoingMessage& message) {
    if (message.GetRecipientCount() <= 0) {
        m_errorText = "No Recipients";
        return false;
    }
    std::string to;
    for (int i = 0; i < message.GetRecipientCount(); ++i) {
        const MailRecipient& r = message.GetRecipient(i);
        if (i > 0) to += ",";
        to += r.name + "<" + r.address + ">";
    }
    message.m_date = m_clock();
    message.m_dateText = FormatMailDate(message.m_date);
    message.m_header = "Date: " + message.m_dateText + "\r\nFrom: " + message.m_sender + "\r\nTo: " + to +
                       "\r\nSubject: " + message.m_subject + "\r\nX-Mailer: <" + m_mailer + ">\r\n\r\n";
    const std::string& body = message.m_body;
    if (body.size() < 2 || body.compare(body.size() - 2, 2, "\r\n") != 0) message.m_body += "\r\n";
    return true;
}

std::string CSmtpMail::HeloName(const std::string& hostName) {
    if (hostName.empty() || hostName.find_first_of(" \t\r\n<>") != std::string::npos) return "localhost";
    return hostName;
}

std::string CSmtpMail::EscapeBody(const std::string& body) {
    std::string out;
    out.reserve(body.size() + body.size() / 32 + 2);
    bool lineStart = true;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r' || c == '\n') {
            // CR LF, a lone LF or a lone CR all end a line; on the wire only
            // CR LF may, or a lone LF could pass for the end of the data.
            if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
            out += "\r\n";
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = false;
    }
    return out;
}

bool CSmtpMail::CheckArguments(const COutgoingMessage& message) {
    // A line break here would end the command or header early and let the
    // rest be read as commands or headers of the sender's making.
    if (HasLineBreak(message.m_sender)) {
        m_errorText = "The sender address contains a line break";
        return false;
    }
    if (HasLineBreak(message.m_subject)) {
        m_errorText = "The subject contains a line break";
        return false;
    }
    for (int i = 0; i < message.GetRecipientCount(); ++i) {
        const MailRecipient& r = message.GetRecipient(i);
        if (HasLineBreak(r.address) || HasLineBreak(r.name)) {
            m_errorText = "A recipient contains a line break";
            return false;
        }
    }
    return true;
}

bool CSmtpMail::CheckReply(int index) {
    // A reply is its lines through the first without a '-' after the code.
    m_reply.clear();
    for (std::string_view line; m_reply.empty() || IsContinued(line);) {
        if (!m_replies.Line(line, "\n", kMaxReply - std::min(kMaxReply, m_reply.size()), 1024)) {
            // The connection is of no further use: closing it spares the
            // caller a second wait on a dead server.
            m_errorText = m_replies.Failure() == localerr::kReplyTooLong ? "Server reply too long" : "Socket Error";
            CloseSocket();
            return false;
        }
        m_reply += line;
    }
    char digits[4] = {};
    m_reply.copy(digits, 3);
    int code = 0;
    if (std::sscanf(digits, "%d", &code) != 1) code = 0;
    if (code == kExpected[index].code) return true;
    m_errorText = std::to_string(code) + ":" + kExpected[index].text;
    return false;
}

void CSmtpMail::SendText(const std::string& text) {
    // A failed send shows up as a failed reply.
    if (m_socket) m_socket->Send(text.data(), text.size());
}

void CSmtpMail::CloseSocket() {
    if (m_socket) {
        m_socket->Close();
        m_socket.reset();
    }
    m_replies.Attach(nullptr);
    m_connected = false;
    m_encrypted = false;
}

}  // namespace velto
