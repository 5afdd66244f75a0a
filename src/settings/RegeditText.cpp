#include "settings/RegeditText.h"

#include <algorithm>
#include <cstdio>

namespace velto::regedit {

namespace {

// ---- writing --------------------------------------------------------------

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool FitsQuotedString(const std::string& s) {
    return std::none_of(s.begin(), s.end(), [](char c) { return c == '\0' || c == '\r' || c == '\n'; });
}

void AppendHex(std::string& out, std::size_t prefixLength, const std::string& data) {
    static const char* digits = "0123456789abcdef";
    std::size_t column = prefixLength;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        column += 2;
        if (i + 1 < data.size()) {
            out += ',';
            ++column;
            if (column > 76) {  // the editor's own line width
                out += "\\\r\n  ";
                column = 2;
            }
        }
    }
}

// ---- reading --------------------------------------------------------------

// Export files of the newer editor are UTF-16LE; the settings are 8-bit text,
// so characters beyond one byte become '?'.
std::string FromUtf16(const std::string& bytes, std::size_t start) {
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        const unsigned u = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += u < 256 ? static_cast<char>(u) : '?';
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hexadecimal digits, the whole text; false for anything else.
bool HexNumber(const std::string& s, std::uint32_t& n) {
    if (s.empty() || s.size() > 8) return false;
    n = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        n = n << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
}

// Reads a quoted text starting at s[pos] == '"'; leaves pos after the quote.
bool ReadQuoted(const std::string& s, std::size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < s.size()) {
        char c = s[pos++];
        if (c == '"') return true;
        if (c == '\\' && pos < s.size()) c = s[pos++];
        out += c;
    }
    return false;
}

bool ParseHexList(const std::string& s, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ',')) ++i;
        if (i >= s.size()) break;
        if (i + 1 >= s.size()) return false;
        const int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        if (i < s.size() && s[i] != ',' && s[i] != ' ' && s[i] != '\t') return false;
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimRight(std::string s) {
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.pop_back();
    return s;
}

std::string TrimLeft(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}


// The physical lines of the text, split at line feeds, right-trimmed.
class Lines {
public:
    explicit Lines(const std::string& text) : m_text(text) {}
    bool Next(std::string& line) {
        if (m_pos >= m_text.size()) return false;
        const std::size_t end = m_text.find('\n', m_pos);
        const std::size_t stop = end == std::string::npos ? m_text.size() : end;
        line = TrimRight(m_text.substr(m_pos, stop - m_pos));
        m_pos = end == std::string::npos ? m_text.size() : end + 1;
        ++m_number;
        return true;
    }
    std::size_t Number() const { return m_number; }

private:
    const std::string& m_text;
    std::size_t m_pos = 0;
    std::size_t m_number = 0;
};

// The value line's name and "=": leaves pos at the value's first character.
std::string ReadName(const std::string& line, std::size_t& pos, std::string& name) {
    pos = 0;
    name.clear();
    if (line[0] == '@') {
        pos = 1;
    } else if (!ReadQuoted(line, pos, name)) {
        return "a value name without its closing quote";
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return "a value without =";
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    return {};
}

// The value after "=": a quoted text, dword:, hex[(type)]: or - (delete).
std::string ReadValue(const std::string& rest, bool unicode, ValueLine& out) {
    if (rest == "-") {
        out.remove = true;
        return {};
    }
    RegValue& value = out.value;
    if (!rest.empty() && rest[0] == '"') {
        std::size_t q = 0;
        if (!ReadQuoted(rest, q, value.data) || !TrimLeft(rest.substr(q)).empty())
            return "a text value without its closing quote";
        value.type = kRegSz;
        return {};
    }
    if (rest.rfind("dword:", 0) == 0) {
        std::uint32_t n = 0;
        if (!HexNumber(rest.substr(6), n)) return "a dword value that is not 8 hexadecimal digits";
        value.type = kRegDword;
        value.data.resize(4);
        for (int i = 0; i < 4; ++i) value.data[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return {};
    }
    if (rest.rfind("hex", 0) == 0) {
        const std::size_t colon = rest.find(':');
        if (colon == std::string::npos) return "a hex value without :";
        const std::string kind = rest.substr(3, colon - 3);
        if (kind.empty()) {
            value.type = kRegBinary;
        } else if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' ||
                   !HexNumber(kind.substr(1, kind.size() - 2), value.type)) {
            return "an unknown hex value kind";
        }
        if (!ParseHexList(rest.substr(colon + 1), value.data)) return "a hex list with a bad byte";
        const bool textKind = value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz;
        if (unicode && textKind) value.data = FromUtf16(value.data, 0);
        // Text stored by the system itself ends in a zero; the settings
        // store texts without one.
        if (value.type == kRegSz && !value.data.empty() && value.data.back() == '\0') value.data.pop_back();
        return {};
    }
    return "a value of unknown form";
}

// "[path]" or "[-path]".
std::string ReadKey(const std::string& line, Section& section) {
    if (line.back() != ']') return "a key line without its closing ]";
    std::string path = line.substr(1, line.size() - 2);
    section.remove = !path.empty() && path[0] == '-';
    if (section.remove) path.erase(0, 1);
    section.path = SplitPath(path);
    if (section.path.empty()) return "an empty key name";
    if (section.path.size() > kMaxKeyDepth) return "a key more than 512 levels deep";
    for (const auto& part : section.path)
        if (part.size() > kMaxKeyNameBytes) return "a key name longer than 255 characters";
    return {};
}

}  // namespace

void AppendKey(std::string& out, const std::string& path) { out += "[" + path + "]\r\n"; }

void AppendValue(std::string& out, const RegValue& v) {
    std::string line = v.name.empty() ? "@" : Quoted(v.name);
    line += '=';
    if (v.type == kRegSz && FitsQuotedString(v.data)) {
        line += Quoted(v.data);
    } else if (v.type == kRegDword && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", n);
        line += buf;
    } else {
        if (v.type == kRegBinary) {
            line += "hex:";
        } else {
            // The kind in hexadecimal, as the editor writes it and Parse reads it.
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
            line += buf;
        }
        // A text that cannot stand in quotes goes with the terminating zero
        // the editor writes, which reading drops again.
        AppendHex(line, line.size(), v.type == kRegSz ? v.data + '\0' : v.data);
    }
    out += line + "\r\n";
}

std::string Parse(const std::string& raw, std::vector<Section>& sections) {
    sections.clear();
    std::string text;
    bool unicode = false;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE) {
        text = FromUtf16(raw, 2);
        unicode = true;
    } else {
        text = raw;
        if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    }

    Lines lines(text);
    bool sawHeader = false;
    std::string physical;
    while (lines.Next(physical)) {
        const std::size_t lineNo = lines.Number();
        const auto fail = [lineNo](const std::string& what) { return "line " + std::to_string(lineNo) + ": " + what; };
        std::string line = TrimLeft(physical);
        if (line.empty() || line[0] == ';') continue;
        if (!sawHeader) {
            if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00")
                return fail("the first line is not REGEDIT4");
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            Section section;
            if (std::string what = ReadKey(line, section); !what.empty()) return fail(what);
            sections.push_back(std::move(section));
            continue;
        }
        // A value line.
        if (sections.empty() || sections.back().remove) return fail("a value outside any key");
        ValueLine value;
        std::size_t pos = 0;
        if (std::string what = ReadName(line, pos, value.value.name); !what.empty()) return fail(what);
        // A hex list goes on over the lines that its backslashes continue.
        if (line.compare(pos, 3, "hex") == 0) {
            while (line.back() == '\\' && lines.Next(physical)) {
                line.pop_back();
                line += TrimLeft(physical);
            }
        }
        if (std::string what = ReadValue(line.substr(pos), unicode, value); !what.empty()) return fail(what);
        sections.back().values.push_back(std::move(value));
    }
    if (!sawHeader && !TrimLeft(TrimRight(text)).empty()) return "line 1: the first line is not REGEDIT4";
    return {};
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace velto::regedit
