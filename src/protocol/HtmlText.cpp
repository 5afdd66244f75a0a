#include "protocol/HtmlText.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace velto {
namespace {

char LowerAscii(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view prefix) {
    if (s.size() - at < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(s[at + i]) != prefix[i]) return false;
    return true;
}

// The closing tag, searched for in one pass; npos when it never comes.
std::size_t FindClosing(std::string_view s, std::size_t from, const std::string& name) {
    const std::string closing = "</" + name;
    for (std::size_t at = s.find('<', from); at != std::string_view::npos; at = s.find('<', at + 1))
        if (StartsWithNoCase(s, at, closing)) return at;
    return std::string_view::npos;
}

void AppendCodePoint(std::string& out, std::uint32_t cp) {
    // Control characters and what is no character at all show as U+FFFD.
    const bool control = (cp < 0x20 && cp != '\t' && cp != '\n') || (cp >= 0x7F && cp < 0xA0);
    if (control || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct Entity {
    const char* name;
    std::uint32_t cp;
};
constexpr Entity kEntities[] = {
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},      {"apos", '\''},
    {"nbsp", ' '},     {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122},  {"hellip", 0x2026},
    {"mdash", 0x2014}, {"ndash", 0x2013}, {"laquo", 0xAB},   {"raquo", 0xBB},    {"euro", 0x20AC},
    {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},  {"bull", 0x2022},
    {"middot", 0xB7},  {"shy", 0},
};

// Decodes the entity at s[at] == '&'; returns the bytes used, 0 when it is
// not one (the '&' is then text).
std::size_t DecodeEntity(std::string_view s, std::size_t at, std::string& out) {
    // Entities are short; looking further would make a run of '&' quadratic.
    const std::size_t semi = s.substr(0, at + 13).find(';', at);
    if (semi == std::string_view::npos || semi == at + 1) return 0;
    const std::string_view body = s.substr(at + 1, semi - at - 1);
    if (body[0] == '#') {
        const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        const std::string digits(body.substr(hex ? 2 : 1));
        if (digits.empty() || digits.size() > 8) return 0;
        char* end = nullptr;
        const unsigned long cp = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(digits[0]))) return 0;
        AppendCodePoint(out, static_cast<std::uint32_t>(std::min(cp, 0x110000UL)));
        return semi - at + 1;
    }
    for (const Entity& e : kEntities) {
        if (body == e.name) {
            if (e.cp) AppendCodePoint(out, e.cp);
            return semi - at + 1;
        }
    }
    return 0;
}

class Writer {
public:
    void Text(char c, bool keepSpace) {
        if (!keepSpace && std::isspace(static_cast<unsigned char>(c))) {
            m_space = !m_out.empty() && m_out.back() != '\n';
            return;
        }
        Flush();
        m_out += c;
    }
    void Append(const std::string& s) {
        Flush();
        m_out += s;
    }
    void Space() { m_space = !m_out.empty() && m_out.back() != '\n'; }
    // Ends the line (a <br> always does; a block only when it is not ended
    // yet); never more than one empty line in a row.
    void Break(int wanted, bool always) {
        m_space = false;
        while (!m_out.empty() && m_out.back() == ' ') m_out.pop_back();
        if (m_out.empty()) return;
        int have = 0;
        for (auto it = m_out.rbegin(); it != m_out.rend() && *it == '\n' && have < 2; ++it) ++have;
        if (always) wanted = have + 1;
        for (; have < wanted && have < 2; ++have) m_out += '\n';
    }
    std::string Finish() {
        while (!m_out.empty() && (m_out.back() == '\n' || m_out.back() == ' ')) m_out.pop_back();
        return std::move(m_out);
    }

private:
    void Flush() {
        if (m_space) m_out += ' ';
        m_space = false;
    }
    std::string m_out;
    bool m_space = false;
};

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

}  // namespace

std::string HtmlToText(std::string_view html) {
    Writer w;
    int pre = 0;
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '&') {
            std::string decoded;
            if (const std::size_t used = DecodeEntity(html, i, decoded)) {
                w.Append(decoded);
                i += used;
                continue;
            }
        }
        const bool tagStart = c == '<' && i + 1 < html.size() &&
                              (std::isalpha(static_cast<unsigned char>(html[i + 1])) || html[i + 1] == '/' ||
                               html[i + 1] == '!' || html[i + 1] == '?');
        if (!tagStart) {
            w.Text(c, pre > 0);
            ++i;
            continue;
        }
        if (html.compare(i, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", i + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        // The tag's end, past quoted attribute values.
        std::size_t end = i + 1;
        char quote = 0;
        for (; end < html.size(); ++end) {
            if (quote) {
                if (html[end] == quote) quote = 0;
            } else if (html[end] == '"' || html[end] == '\'') {
                quote = html[end];
            } else if (html[end] == '>') {
                break;
            }
        }
        if (end >= html.size()) break;
        const bool closing = html[i + 1] == '/';
        std::string name;
        for (std::size_t k = i + (closing ? 2 : 1); k < end && std::isalnum(static_cast<unsigned char>(html[k])); ++k)
            name += LowerAscii(html[k]);
        i = end + 1;
        if (!closing && IsOneOf(name, {"script", "style", "head", "title"})) {
            const std::size_t close = FindClosing(html, i, name);
            if (close == std::string_view::npos) break;
            const std::size_t closeEnd = html.find('>', close);
            i = closeEnd == std::string_view::npos ? html.size() : closeEnd + 1;
            continue;
        }
        if (name == "pre") pre = closing ? std::max(0, pre - 1) : pre + 1;
        if (name == "br") {
            w.Break(1, true);
        } else if (IsOneOf(name, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "pre", "table", "hr"})) {
            w.Break(2, false);
        } else if (IsOneOf(name, {"div", "tr", "ul", "ol", "dl", "dt", "dd"}) || (name == "li" && closing)) {
            w.Break(1, false);
        } else if (name == "li") {
            w.Break(1, false);
            w.Append("- ");
        } else if (IsOneOf(name, {"td", "th"})) {
            w.Space();
        }
    }
    return w.Finish();
}

}  // namespace velto
