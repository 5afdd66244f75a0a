// Message bytes to everything a reader shows: header texts, the body text,
// the HTML part, the attachment list and every attachment's bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/HtmlText.h"
#include "protocol/MimeMessage.h"

namespace {

// Well-formed UTF-8 with no control characters but line breaks and tabs.
bool Shown(const std::string& s, bool multiline) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t extra = c < 0x80             ? 0
                                  : (c & 0xE0) == 0xC0 ? 1
                                  : (c & 0xF0) == 0xE0 ? 2
                                  : (c & 0xF8) == 0xF0 ? 3
                                                       : 9;
        if (extra == 9 || i + extra >= s.size() + (extra ? 0 : 1)) return false;
        if (c < 0x20 && !(multiline && (c == '\n' || c == '\t'))) return false;
        if (c == 0x7F) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += 1 + extra;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velto::MimeMessage;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!Shown(velto::DecodeHeaderText(bytes), false)) std::abort();

    const MimeMessage m(bytes);
    for (const char* field : {"Subject", "From", "To", "Date"})
        if (!Shown(m.Header(field), false)) std::abort();
    if (!Shown(m.Text(), true) || m.Text().size() > 3 * MimeMessage::kMaxTextBytes) std::abort();
    if (!Shown(m.Html(), true)) std::abort();
    if (m.Attachments().size() > MimeMessage::kMaxParts) std::abort();
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < m.Attachments().size(); ++i) {
        const auto& a = m.Attachments()[i];
        if (a.name.empty() || a.name.size() > 255 || a.name[0] == '.' || a.name[0] == ' ' ||
            a.name.find_first_of("/\\") != std::string::npos || !Shown(a.name, false) || !Shown(a.contentId, false))
            std::abort();
        if (m.AttachmentBytes(i).size() != a.size) std::abort();
        if (a.type != "message/rfc822") total += a.size;
    }
    // Transfer decodings never grow a part.
    if (total > size) std::abort();
    if (!Shown(velto::HtmlToText(velto::DecodeHeaderText(bytes)), true)) std::abort();
    return 0;
}
