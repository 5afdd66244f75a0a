#pragma once
// A fetched message as the readers show it: its header and its body.
#include <string>
#include <string_view>

namespace velto {

class CMailHeader;

class CMessageText {
public:
    // True when a blank line ends a non-empty header; otherwise nothing is
    // set and the caller takes the whole text as the body.
    bool Split(const std::string& text);

    // The stored header of record (what TOP gave when the message was
    // first seen) with the body of the fetched text; a fetched text without
    // a header end is all body.
    static CMessageText ForReading(const CMailHeader& record, const std::string& fetched);
    // A stored header as a message's header block: its lines without the
    // blank line and the "." line that end a TOP response (the protocol's,
    // not the message's).
    static std::string HeaderBlock(std::string raw);
    // Header block, blank line, body: the message as a MIME reader takes it.
    std::string Whole() const;

    std::string m_header;
    std::string m_body;
};

}  // namespace velto
