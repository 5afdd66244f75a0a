#pragma once
// The SMTP client for a reply: the usual header block, plus the lines that
// thread the reply under its original (Message-ID, In-Reply-To, References)
// and, for text that is not plain ASCII, the MIME headers that declare it.
#include <memory>
#include <string>

#include "protocol/SmtpMail.h"

namespace velto {

inline constexpr int kSmtpPort = 25;

class CReplyMail : public CSmtpMail {
public:
    // originalId: the Message-Id header of the message answered (may be
    // empty); ownId: this reply's "<...>" id.
    CReplyMail(const std::string& server, int port, std::shared_ptr<ITransportFactory> transports,
               std::string originalId, std::string ownId);

    // "<local@domain>" with a fresh unique local part and the domain of the
    // sender address ("localhost" without one).
    static std::string NewMessageId(const std::string& senderAddress);
    // The "<...>" of a Message-Id header value; empty when it holds none.
    static std::string AngleId(const std::string& value);

protected:
    bool PrepareMessage(COutgoingMessage& message) override;

private:
    std::string m_originalId;
    std::string m_ownId;
};

}  // namespace velto
