#include "support/Conversation.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace velto::test {

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char e = text[++i];
        switch (e) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case 'x':
            if (i + 2 >= text.size()) throw std::invalid_argument("short \\x escape");
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
            break;
        default: out += e; break;
        }
    }
    return out;
}

std::vector<ScriptStep> ParseConversation(const std::string& script) {
    std::vector<ScriptStep> steps;
    std::size_t pos = 0;
    while (pos <= script.size()) {
        std::size_t eol = script.find('\n', pos);
        if (eol == std::string::npos) eol = script.size();
        std::string line = script.substr(pos, eol - pos);
        pos = eol + 1;
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        line.erase(0, first);
        while (!line.empty() && (line.back() == '\r')) line.pop_back();
        if (line == "close") { steps.push_back({ScriptStep::Close, {}}); continue; }
        if (line == "reset") { steps.push_back({ScriptStep::Reset, {}}); continue; }
        if (line == "silence") { steps.push_back({ScriptStep::Silence, {}}); continue; }
        if (line.size() < 2 || (line[0] != 'S' && line[0] != 'C') || (line[1] != ':' && line[1] != '-'))
            throw std::invalid_argument("bad conversation line: " + line);
        std::string text = line.substr(2);
        if (!text.empty() && text[0] == ' ') text.erase(0, 1);
        text = Unescape(text);
        if (line[1] == ':') text += "\r\n";
        steps.push_back({line[0] == 'S' ? ScriptStep::ServerSends : ScriptStep::ClientSends, text});
    }
    return steps;
}

std::string Printable(const std::string& bytes, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 32 || c > 126) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else out += static_cast<char>(c);
    }
    if (bytes.size() > limit) out += "...(" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

}  // namespace velto::test
