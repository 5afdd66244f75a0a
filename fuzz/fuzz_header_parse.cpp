// ParseHeader and GetDate on arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/MailHeader.h"

namespace {
bool Clean(const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos) return false;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    return value.empty() || (!blank(value.front()) && !blank(value.back()));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    velto::CMailHeader h;
    h.ParseHeader(text);
    if (h.m_rawHeader != text) std::abort();
    for (const std::string* field : {&h.m_returnPath, &h.m_received, &h.m_messageId, &h.m_date, &h.m_from,
                                     &h.m_replyTo, &h.m_mailer, &h.m_mimeVersion, &h.m_to, &h.m_subject,
                                     &h.m_contentType, &h.m_transferEncoding, &h.m_uidl, &h.m_status,
                                     &h.m_organization}) {
        if (!Clean(*field)) std::abort();
    }
    // The date field on its own too, so every byte reaches the date reader.
    for (const std::string& date : {h.m_date, text}) {
        h.m_date = date;
        velto::MailDate d;
        if (h.GetDate(d)) {
            if (d.year < 1900 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31 ||
                d.hour < 0 || d.hour > 23 || d.minute < 0 || d.minute > 59 || d.second < 0 || d.second > 60)
                std::abort();
            if (d.Format().size() != 19) std::abort();
        }
    }
    return 0;
}
