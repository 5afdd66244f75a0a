#include "protocol/SaslText.h"

#include <cstdint>

namespace velto {

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return out;
}

std::string XOAuth2Response(std::string_view user, std::string_view token) {
    std::string text = "user=";
    text.append(user);
    text += "\x01" "auth=Bearer ";  // split: "\x01a" would be one escape
    text.append(token);
    text += "\x01\x01";
    std::string encoded = Base64(text);
    std::fill(text.begin(), text.end(), '\0');
    return encoded;
}

}  // namespace velto
