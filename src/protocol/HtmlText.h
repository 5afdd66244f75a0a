#pragma once
// Readable plain text from an HTML mail body, for a reader that shows text
// only: tags dropped, block ends as line breaks, script, style and head
// contents removed, entities decoded. UTF-8 in and out; linear in the input.
#include <string>
#include <string_view>

namespace velto {

std::string HtmlToText(std::string_view html);

}  // namespace velto
