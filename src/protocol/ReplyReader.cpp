#include "protocol/ReplyReader.h"

#include <algorithm>

#include "protocol/SocketErrors.h"

namespace velto {

namespace {
constexpr std::string_view kEmptyBlock = ".\r\n";
constexpr std::string_view kBlockEnd = "\r\n.\r\n";
}  // namespace

void ReplyReader::Attach(ITransport* socket) {
    m_socket = socket;
    m_buffer.clear();
    m_start = 0;
    m_firstAt = m_firstLength = 0;
}

std::string_view ReplyReader::FirstReceived() const {
    return std::string_view(m_buffer).substr(std::min(m_firstAt, m_buffer.size()), m_firstLength);
}

bool ReplyReader::Fail(int code) {
    m_failure = code;
    return false;
}

bool ReplyReader::Fill(std::size_t receive) {
    if (!m_socket) return Fail(wsa::kNotConnected);
    if (m_start > 0) {
        // What was read goes; the reply in progress moves to the front.
        m_buffer.erase(0, m_start);
        m_firstAt = m_firstAt >= m_start ? m_firstAt - m_start : 0;
        m_start = 0;
    }
    const std::size_t old = m_buffer.size();
    m_buffer.resize(old + receive);
    const long n = m_socket->Receive(m_buffer.data() + old, receive);
    m_buffer.resize(old + static_cast<std::size_t>(std::max(n, 0L)));
    return n >= 1 || Fail(0);
}

bool ReplyReader::Line(std::string_view& line, std::string_view end, std::size_t limit, std::size_t receive) {
    m_failure = 0;
    const bool waiting = HasPending();
    m_firstAt = m_start;
    m_firstLength = m_buffer.size() - m_start;
    std::size_t scanned = 0;
    for (;;) {
        const std::string_view unread = std::string_view(m_buffer).substr(m_start);
        const std::size_t at = unread.find(end, scanned);
        if (at != std::string_view::npos) {
            line = unread.substr(0, at + end.size());
            m_start += line.size();
            return true;
        }
        if (unread.size() > limit) return Fail(localerr::kReplyTooLong);
        scanned = unread.size() - std::min(unread.size(), end.size() - 1);
        const std::size_t before = m_buffer.size() - m_start;
        if (!Fill(receive)) return false;
        if (!waiting && m_firstLength == 0) {
            m_firstAt = m_start + before;
            m_firstLength = m_buffer.size() - m_firstAt;
        }
    }
}

bool ReplyReader::DotBlock(std::string_view& block, std::size_t limit, std::size_t receive) {
    m_failure = 0;
    std::size_t scanned = 0;
    for (;;) {
        const std::string_view unread = std::string_view(m_buffer).substr(m_start);
        std::size_t length = 0;
        if (unread.substr(0, kEmptyBlock.size()) == kEmptyBlock) {
            length = kEmptyBlock.size();
        } else if (const std::size_t at = unread.find(kBlockEnd, scanned); at != std::string_view::npos) {
            length = at + kBlockEnd.size();
        }
        if (length) {
            block = unread.substr(0, length);
            m_start += length;
            return true;
        }
        if (unread.size() > limit) return Fail(localerr::kResponseTooLong);
        scanned = unread.size() - std::min(unread.size(), kBlockEnd.size() - 1);
        if (!Fill(receive)) return false;
    }
}

}  // namespace velto
