// Message bytes through the web page a reader sees: the header as stored,
// the message split as a read splits it, the page rendered through a
// template. Header values must come out escaped, and a text body as text
// with nothing but line breaks and links for markup.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "present/TemplateRenderer.h"
#include "protocol/MailHeader.h"
#include "protocol/MessageText.h"
#include "protocol/MimeMessage.h"

namespace {

// The markup a text body may get: "<br>" and links.
std::string WithoutOwnMarkup(std::string page) {
    std::string out;
    for (std::size_t i = 0; i < page.size();) {
        if (page.compare(i, 4, "<br>") == 0) {
            i += 4;
        } else if (page.compare(i, 4, "</a>") == 0) {
            i += 4;
        } else if (page.compare(i, 9, "<a href=\"") == 0) {
            const std::size_t end = page.find("\">", i + 9);
            if (end == std::string::npos) std::abort();  // a link left open
            if (page.substr(i + 9, end - i - 9).find_first_of("<>\"") != std::string::npos) std::abort();
            i = end + 2;
        } else {
            out += page[i++];
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string fetched(reinterpret_cast<const char*>(bytes), size);
    // What TOP would have given and the record made from it.
    velto::CMessageText split;
    std::string raw = split.Split(fetched) ? split.m_header + "\r\n\r\n.\r\n" : ".\r\n";
    velto::CMailHeader record;
    record.ParseHeader(raw);
    const velto::CMessageText message = velto::CMessageText::ForReading(record, fetched);

    // Header values may name later placeholders (they expand, as designed),
    // but every value put in is escaped.
    const std::string fields =
        velto::ExpandHeaderPlaceholders("%TITLE%%FROM%%SUBJECT%%TO%%DATE%%REPLY_TO%%CONTENT_TYPE%", record);
    if (fields.find_first_of("<>\"") != std::string::npos) std::abort();

    const std::string page = velto::RenderPage("%MESSAGE%", record, message);
    if (velto::MimeMessage(message.Whole()).Html().empty() &&
        WithoutOwnMarkup(page).find_first_of("<>") != std::string::npos)
        std::abort();
    return 0;
}
