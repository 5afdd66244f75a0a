#pragma once
// SMTP client that sends one reply message: HELO, MAIL, RCPT, DATA, QUIT,
// with the header block written here and the body made transparent.
#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "protocol/LocalTime.h"
#include "protocol/ReplyReader.h"
#include "protocol/Transport.h"

namespace velto {

struct MailRecipient {
    std::string address;
    std::string name;  // display name; may be empty
};

// The message handed to the SMTP client. PrepareMessage fills the date and
// the header text.
class COutgoingMessage {
public:
    void AddRecipient(const std::string& address, const std::string& name = {});
    int GetRecipientCount() const { return static_cast<int>(m_recipients.size()); }
    const MailRecipient& GetRecipient(int index) const { return m_recipients.at(static_cast<std::size_t>(index)); }
    void ClearRecipients() { m_recipients.clear(); }

    std::string m_sender;
    std::string m_subject;
    std::string m_header;
    std::tm m_date{};
    std::string m_dateText;
    std::string m_body;

private:
    std::vector<MailRecipient> m_recipients;
};

// How the connection to the SMTP server is protected.
enum class SmtpTls { None, Implicit, StartTls };

class CSmtpMail {
public:
    // A reply (all its lines) longer than this is not from a mail server.
    static constexpr std::size_t kMaxReply = 64 * 1024;

    CSmtpMail(const std::string& server, int port, std::shared_ptr<ITransportFactory> transports);
    virtual ~CSmtpMail();
    CSmtpMail(const CSmtpMail&) = delete;
    CSmtpMail& operator=(const CSmtpMail&) = delete;

    // Before Connect. With protection or sign-in the greeting is EHLO (HELO
    // otherwise, as always); a password is only ever sent encrypted.
    void SetTls(SmtpTls mode, std::shared_ptr<ITlsLayer> tls, std::string pinned = {});
    void SetSignIn(std::string user, std::string password);
    // OAuth2 instead of a password: XOAUTH2 with the address and a token.
    void SetOAuthSignIn(std::string user, std::string token);
    // After a failed Connect: the server refused the token (worth a
    // refreshed one), as opposed to any other failure.
    bool TokenRefused() const { return m_tokenRefused; }
    const PeerCertificate& GetCertificate() const { return m_certificate; }

    bool Connect();
    bool SendMail(COutgoingMessage& message);
    bool Disconnect();
    std::string GetErrorText() const { return m_errorText; }
    bool IsConnected() const { return m_connected; }

    void SetClock(LocalClock clock) { m_clock = std::move(clock); }
    // The name HELO announces: the given host name, or "localhost" when it is
    // empty or could not pass as a name on the command line.
    static std::string HeloName(const std::string& hostName);
    // The body as it goes on the wire: every line end CR LF, and a dot added
    // in front of each line that starts with one.
    static std::string EscapeBody(const std::string& body);

protected:
    virtual bool PrepareMessage(COutgoingMessage& message);
    void SetErrorText(std::string text) { m_errorText = std::move(text); }

private:
    enum ReplyIndex { kOk250 = 0, kReady220 = 1, kData354 = 2, kBye221 = 3, kTls220 = 4, kAuth334 = 5, kAuth235 = 6 };
    bool CheckReply(int index);
    bool Greet();
    bool Secure();
    bool SignIn();
    bool SignInWithToken();
    bool Command(const std::string& text, int index);
    void SendText(const std::string& text);
    bool CheckArguments(const COutgoingMessage& message);
    void CloseSocket();

    std::string m_errorText = "OK";
    bool m_connected = false;
    int m_port;
    std::string m_mailer = "Pelmo Mail";
    std::string m_server;
    std::unique_ptr<ITransport> m_socket;
    ReplyReader m_replies;
    std::string m_reply;    // the last complete reply, all its lines
    bool m_encrypted = false;

    SmtpTls m_tlsMode = SmtpTls::None;
    std::shared_ptr<ITlsLayer> m_tls;
    std::string m_pinned;
    std::string m_user, m_password, m_token;
    bool m_tokenRefused = false;
    PeerCertificate m_certificate;

    std::shared_ptr<ITransportFactory> m_transports;
    LocalClock m_clock;
};

}  // namespace velto
