#pragma once
// A fetched message split into its header and its body.
#include <string>

namespace velto {

class CMessageText {
public:
    // True when a blank line ends a non-empty header; otherwise nothing is
    // set and the caller takes the whole text as the body.
    bool Split(const std::string& text);
    std::string m_header;
    std::string m_body;
};

}  // namespace velto
