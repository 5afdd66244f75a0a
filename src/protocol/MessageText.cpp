#include "protocol/MessageText.h"

namespace velto {

bool CMessageText::Split(const std::string& text) {
    const auto p = text.find("\r\n\r\n");
    if (p == std::string::npos || p == 0) return false;
    m_header = text.substr(0, p);
    m_body = text.substr(p + 4);
    return true;
}

}  // namespace velto
