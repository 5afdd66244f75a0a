#include "present/ReplyText.h"

namespace velto {

std::string ReplyRecipient(const std::string& from) {
    std::string part;
    const std::size_t open = from.find('<');
    if (open != std::string::npos) {
        const std::size_t next = from.find('<', open + 1);
        part = from.substr(open + 1, next == std::string::npos ? std::string::npos : next - open - 1);
        // Only the one ">" goes: a comment after the address stays.
        const std::size_t close = part.find('>');
        if (close != std::string::npos && close > 0) part.erase(close, 1);
    }
    return part.empty() ? from : part;
}

std::string ReplySubject(const std::string& subject) { return "Re: " + subject; }

std::string QuoteBody(const std::string& body) {
    std::string quote;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find_first_of("\r\n", start);
        if (end == std::string::npos) end = body.size();
        if (end > start) quote += ">" + body.substr(start, end - start) + "\r\n";
        start = end + 1;
    }
    return quote;
}

}  // namespace velto
