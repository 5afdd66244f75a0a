#pragma once
// Mail as a person reads it: encoded header words and MIME bodies decoded to
// UTF-8 for display. Only what is shown is decoded; stored, sent, saved and
// compared text stays the raw bytes. GMime does the parsing and the charset
// work; this is the only place that sees it.
//
// Bounds against hostile mail (a cut never fails the message, it only makes
// Truncated() true):
// - multipart nesting: parts deeper than kMaxDepth levels are not looked at
//   (the parser itself stops building the tree at 1024 levels);
// - parts: at most kMaxParts leaf parts are listed, the rest are skipped;
// - body text: at most kMaxTextBytes of each shown part are decoded;
// - header values: at most kMaxHeaderBytes of a value are decoded.
// Transfer decodings never make a part larger than its encoded bytes, so an
// attachment's bytes and the sum of all decoded parts are bounded by the
// message's own size (an attached message is written out again, at about
// its own size). Memory is one copy of the message, the part tree and
// the shown texts (a charset conversion may triple kMaxTextBytes); parsing
// and decoding are linear in the message's size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velto {

// An encoded or raw header value as a person reads it, in UTF-8: RFC 2047
// words in any charset the system knows; raw 8-bit bytes as UTF-8 when they
// are valid UTF-8, else as Windows-1252. Control characters become U+FFFD,
// line breaks and tabs a space.
std::string DecodeHeaderText(std::string_view raw);

// A file name safe to suggest for saving: no directory part, no leading dots
// or blanks, no control characters, at most 255 bytes; "attachment" when
// nothing is left.
std::string SanitizeFileName(std::string_view name);

struct MimeAttachment {
    std::string name;       // sanitised, UTF-8
    std::string type;       // lower case, "application/octet-stream" form
    std::string contentId;  // without angle brackets; empty when none
    std::uint64_t size = 0; // decoded bytes
    bool isInline = false;  // Content-Disposition: inline
};

class MimeMessage {
public:
    static constexpr int kMaxDepth = 64;
    static constexpr std::size_t kMaxParts = 1000;
    static constexpr std::size_t kMaxTextBytes = 4u << 20;
    static constexpr std::size_t kMaxHeaderBytes = 64u << 10;

    // Parses the whole message (header and body). Any bytes are accepted.
    explicit MimeMessage(std::string_view bytes);
    ~MimeMessage();
    MimeMessage(MimeMessage&&) noexcept;
    MimeMessage& operator=(MimeMessage&&) noexcept;

    // A header field of the message, decoded as DecodeHeaderText does; empty
    // when the field is missing.
    std::string Header(const char* name) const;
    // The text to read, UTF-8 with "\n" line ends: the first text/plain body
    // part, else the first text/html one made readable as plain text.
    const std::string& Text() const;
    // The first text/html body part in UTF-8; empty when there is none.
    const std::string& Html() const;
    // Every other leaf part, in message order.
    const std::vector<MimeAttachment>& Attachments() const;
    // The decoded bytes of an attachment; empty for an index out of range.
    std::string AttachmentBytes(std::size_t index) const;
    bool Truncated() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace velto
