#include "protocol/MessageText.h"

#include "protocol/MailHeader.h"

namespace velto {

bool CMessageText::Split(const std::string& text) {
    const auto p = text.find("\r\n\r\n");
    if (p == std::string::npos || p == 0) return false;
    m_header = text.substr(0, p);
    m_body = text.substr(p + 4);
    return true;
}

CMessageText CMessageText::ForReading(const CMailHeader& record, const std::string& fetched) {
    CMessageText message;
    if (!message.Split(fetched)) message.m_body = fetched;
    message.m_header = HeaderBlock(record.m_rawHeader);
    return message;
}

std::string CMessageText::HeaderBlock(std::string raw) {
    if (raw.ends_with("\r\n.\r\n")) raw.resize(raw.size() - 3);
    else if (raw == ".\r\n") raw.clear();
    if (raw.ends_with("\r\n\r\n")) raw.resize(raw.size() - 2);
    return raw;
}

std::string CMessageText::Whole() const {
    // A header cut short of its line end must not run into the body.
    const bool cutShort = !m_header.empty() && !m_header.ends_with('\n');
    return m_header + (cutShort ? "\r\n\r\n" : "\r\n") + m_body;
}

}  // namespace velto
