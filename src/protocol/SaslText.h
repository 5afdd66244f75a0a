#pragma once
// The texts of a SASL sign-in as POP3 and SMTP send them.
#include <string>
#include <string_view>

namespace velto {

std::string Base64(std::string_view bytes);
// XOAUTH2's initial response, base64: "user=ADDRESS^Aauth=Bearer TOKEN^A^A".
std::string XOAuth2Response(std::string_view user, std::string_view token);

}  // namespace velto
