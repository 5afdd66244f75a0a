#pragma once
// Reads an IMAP server's responses off one connection: a line, with the
// literals ({n} or {n+}) it announces taken whole, then parsed into tagged,
// untagged and continuation responses with their strings, NILs and nested
// lists. Everything a server can make us hold is bounded; a read past a
// bound fails with a code of SocketErrors.h, and the caller drops the link.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Transport.h"

namespace velto {

struct ImapLimits {
    // One line of a response, literals apart. UID SEARCH answers in one
    // line, 7 bytes or so per message of a big mailbox.
    std::size_t line = 1024 * 1024;
    // One literal; raised by the client for the command that fetches a
    // whole message.
    std::size_t literal = 1024 * 1024;
    // One response whole: its lines and its literals together.
    std::size_t response = 2 * 1024 * 1024;
    // Parentheses within parentheses.
    std::size_t depth = 16;
    // Responses of any kind (untagged, continuations, other commands' tags)
    // before the tagged end of one command.
    std::size_t untagged = 20000;
};

// One element of a response: an atom (numbers and flags too), a string
// (quoted or literal), NIL, or a parenthesised list.
struct ImapItem {
    enum Kind { Atom, String, Nil, List };
    Kind kind = Atom;
    std::string text;
    std::vector<ImapItem> items;

    // An atom equal to word, ignoring case.
    bool Is(std::string_view word) const;
    // An atom of decimal digits that fits in 32 bits.
    bool Number(std::uint32_t& out) const;
};

struct ImapResponse {
    enum Kind { Untagged, Tagged, Continuation };
    Kind kind = Untagged;
    std::string tag;
    // "* 12 EXISTS": hasNumber, number 12, name "EXISTS".
    bool hasNumber = false;
    std::uint32_t number = 0;
    // The keyword in upper case: OK, NO, BAD, BYE, PREAUTH, CAPABILITY,
    // LIST, FETCH, ...
    std::string name;
    // Status responses: the response code without its brackets, and the
    // text; a continuation's text.
    std::string code;
    std::string text;
    // What follows the keyword of a data response.
    std::vector<ImapItem> items;
    // Parts that did not parse are left out of items.
    bool malformed = false;

    bool IsStatus() const { return name == "OK" || name == "NO" || name == "BAD" || name == "BYE" || name == "PREAUTH"; }
};

// Parses the bytes of one whole response (as ImapReader::Next gathers
// them, through the last CR LF). False only when the nesting passed depth.
bool ParseImapResponse(std::string_view raw, std::size_t depth, ImapResponse& response);

class ImapReader {
public:
    // A new connection (or none): nothing received before carries over.
    void Attach(ITransport* socket);
    void SetLimits(const ImapLimits& limits) { m_limits = limits; }
    const ImapLimits& Limits() const { return m_limits; }
    bool HasPending() const { return m_start < m_buffer.size(); }

    // The next response. False when the connection failed or a bound was
    // passed (Failure() says which).
    bool Next(ImapResponse& response);
    // The bytes of the last response, as they came; valid until the next
    // read.
    std::string_view Raw() const { return m_raw; }
    // A code of SocketErrors.h, or 0 when the connection itself failed.
    int Failure() const { return m_failure; }

private:
    bool Gather(std::size_t& length);
    bool Fill(std::size_t receive);
    bool Fail(int code);

    ITransport* m_socket = nullptr;
    ImapLimits m_limits;
    std::string m_buffer;
    std::size_t m_start = 0;
    std::string_view m_raw;  // into m_buffer, until the next read
    int m_failure = 0;
};

}  // namespace velto
