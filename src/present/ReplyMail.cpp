#include "present/ReplyMail.h"

#include <QUuid>

#include "present/MimeEncoding.h"

namespace velto {

CReplyMail::CReplyMail(const std::string& server, int port, std::shared_ptr<ITransportFactory> transports,
                       std::string originalId, std::string ownId)
    : CSmtpMail(server, port, std::move(transports)), m_originalId(AngleId(originalId)), m_ownId(std::move(ownId)) {}

std::string CReplyMail::NewMessageId(const std::string& senderAddress) {
    const std::size_t at = senderAddress.rfind('@');
    std::string domain = at == std::string::npos ? std::string() : senderAddress.substr(at + 1);
    if (domain.empty() || domain.find_first_of("<> \t\r\n") != std::string::npos) domain = "localhost";
    return "<" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString() + "@" + domain + ">";
}

std::string CReplyMail::AngleId(const std::string& value) {
    const std::size_t open = value.find('<');
    if (open == std::string::npos) return {};
    const std::size_t close = value.find('>', open);
    if (close == std::string::npos || close == open + 1) return {};
    std::string id = value.substr(open, close - open + 1);
    // It goes into a header line of ours: nothing that could end the line.
    if (id.find_first_of("\r\n") != std::string::npos) return {};
    return id;
}

bool CReplyMail::PrepareMessage(COutgoingMessage& message) {
    for (int i = 0; i < message.GetRecipientCount(); ++i) {
        if (!IsAscii(message.GetRecipient(i).address) || !IsAscii(message.GetRecipient(i).name)) {
            SetErrorText("The recipient address is not plain ASCII");
            return false;
        }
    }
    if (!IsAscii(message.m_sender)) {
        SetErrorText("The sender address is not plain ASCII");
        return false;
    }
    const bool mime = !IsAscii(message.m_subject) || !IsAscii(message.m_body);
    if (mime) {
        if (!IsAscii(message.m_subject)) message.m_subject = EncodeHeaderWords(message.m_subject);
        message.m_body = EncodeQuotedPrintable(message.m_body);
    }
    if (!CSmtpMail::PrepareMessage(message)) return false;

    std::string extra = "Message-ID: " + m_ownId + "\r\n";
    if (!m_originalId.empty()) extra += "In-Reply-To: " + m_originalId + "\r\nReferences: " + m_originalId + "\r\n";
    if (mime)
        extra += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                 "Content-Transfer-Encoding: quoted-printable\r\n";
    // Before the blank line that ends the header block.
    message.m_header.insert(message.m_header.size() - 2, extra);
    return true;
}

}  // namespace velto
