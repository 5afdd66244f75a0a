#pragma once
// Reads a mail server's replies off one connection: lines and dot-terminated
// blocks, each with a limit. Bytes received beyond one reply wait for the
// next, so batched commands and split packets read the same.
#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/Transport.h"

namespace velto {

class ReplyReader {
public:
    // A new connection (or none): nothing received before carries over.
    void Attach(ITransport* socket);
    bool HasPending() const { return m_start < m_buffer.size(); }

    // The next line through its end ("\r\n" or "\n"). False when the
    // connection failed or the line grew beyond limit without ending.
    // line stays valid until the next read.
    bool Line(std::string_view& line, std::string_view end, std::size_t limit, std::size_t receive);
    // The rest of a dot-terminated block whose status line was just read:
    // the lines through the ".\r\n" line (".\r\n" alone when empty). False
    // when the connection failed or the block grew beyond limit.
    bool DotBlock(std::string_view& block, std::size_t limit, std::size_t receive);

    // The bytes that the first receive of the last Line brought (what was
    // waiting, when something was): what the log shows of a long response.
    std::string_view FirstReceived() const;
    // What has come but was not read: after a failed read, the part of the
    // reply that did arrive.
    std::string_view Unread() const { return std::string_view(m_buffer).substr(m_start); }
    // Why the last read failed: a code of SocketErrors.h, or 0 when the
    // connection itself failed (its LastError says why).
    int Failure() const { return m_failure; }

private:
    bool Fill(std::size_t receive);
    bool Fail(int code);

    ITransport* m_socket = nullptr;
    std::string m_buffer;
    std::size_t m_start = 0;  // where the unread bytes begin
    std::size_t m_firstAt = 0;
    std::size_t m_firstLength = 0;
    int m_failure = 0;
};

}  // namespace velto
