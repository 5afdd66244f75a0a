#pragma once
// The little MIME a reply needs to carry text that is not plain ASCII:
// RFC 2047 encoded words for a header and quoted-printable for the body.
#include <string>

namespace velto {

bool IsAscii(const std::string& text);
// The UTF-8 text as "=?UTF-8?B?...?=" words of at most 64 characters, a
// character never split between two words; the words are joined by a folded
// line break ("\r\n ") so no header line grows past 76 characters.
std::string EncodeHeaderWords(const std::string& utf8);
// RFC 2045 quoted-printable: every line end (CR LF, LF or CR) becomes CR LF,
// lines are at most 76 characters with soft breaks, and a space or tab at a
// line's end is encoded so no mail system can drop it.
std::string EncodeQuotedPrintable(const std::string& bytes);

}  // namespace velto
