#include "protocol/ImapReader.h"

#include <algorithm>
#include <cctype>

#include "protocol/SocketErrors.h"

namespace velto {

namespace {

// Literals come in pieces of at most this much per receive.
constexpr std::size_t kReceiveBlock = 64 * 1024;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The literal announced at the end of a line ("... {12}" or "{12+}"), the
// line given without its CR LF. False when there is none; size is clamped
// above limit so that an absurd count is still seen as too big.
bool AnnouncedLiteral(std::string_view line, std::size_t limit, std::size_t& size) {
    if (line.empty() || line.back() != '}') return false;
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '+') line.remove_suffix(1);
    std::size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[line.size() - 1 - digits]))) ++digits;
    if (digits == 0 || digits == line.size() || line[line.size() - 1 - digits] != '{') return false;
    size = 0;
    for (char c : line.substr(line.size() - digits)) {
        size = size * 10 + static_cast<std::size_t>(c - '0');
        if (size > limit) {
            size = limit + 1;
            break;
        }
    }
    return true;
}

// Status responses carry human text, never literals: a text that happens to
// end in "{5}" must not make us wait for five more bytes.
bool IsStatusLine(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    if (line.substr(0, space) == "+") return true;
    std::string_view rest = line.substr(space + 1);
    const std::string_view word = rest.substr(0, rest.find(' '));
    for (std::string_view status : {"OK", "NO", "BAD", "BYE", "PREAUTH"})
        if (EqualsNoCase(word, status)) return true;
    return false;
}

class Parser {
public:
    Parser(std::string_view raw, std::size_t depth) : m_in(raw), m_depthLimit(depth) {}

    bool Parse(ImapResponse& r) {
        r = {};
        const std::string_view first = Word();
        if (first == "+") {
            r.kind = ImapResponse::Continuation;
            Skip(' ');
            r.text = std::string(Rest());
            return true;
        }
        if (first == "*") {
            r.kind = ImapResponse::Untagged;
        } else {
            r.kind = ImapResponse::Tagged;
            r.tag = std::string(first);
        }
        Skip(' ');
        std::string_view name = Word();
        if (r.kind == ImapResponse::Untagged && !name.empty() &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }) && name.size() <= 10) {
            const unsigned long long n = std::stoull(std::string(name));
            if (n <= 0xFFFFFFFFull) {
                r.hasNumber = true;
                r.number = static_cast<std::uint32_t>(n);
            } else {
                r.malformed = true;
            }
            Skip(' ');
            name = Word();
        }
        r.name = Upper(name);
        if (r.IsStatus()) {
            Skip(' ');
            if (Peek() == '[') {
                const std::size_t close = m_in.find_first_of("]\r\n", m_pos);
                if (close == std::string_view::npos || m_in[close] != ']') {
                    r.malformed = true;
                    r.text = std::string(Rest());
                    return true;
                }
                r.code = std::string(m_in.substr(m_pos + 1, close - m_pos - 1));
                m_pos = close + 1;
                Skip(' ');
            }
            r.text = std::string(Rest());
            return true;
        }
        while (!AtLineEnd()) {
            Skip(' ');
            if (AtLineEnd()) break;
            ImapItem item;
            if (!Item(item, 0)) {
                if (m_tooDeep) return false;
                r.malformed = true;
                break;
            }
            r.items.push_back(std::move(item));
        }
        return true;
    }

private:
    char Peek() const { return m_pos < m_in.size() ? m_in[m_pos] : '\0'; }
    bool AtLineEnd() const { return m_pos >= m_in.size() || m_in[m_pos] == '\r' || m_in[m_pos] == '\n'; }
    void Skip(char c) {
        while (m_pos < m_in.size() && m_in[m_pos] == c) ++m_pos;
    }
    std::string_view Word() {
        const std::size_t start = m_pos;
        while (m_pos < m_in.size() && m_in[m_pos] != ' ' && m_in[m_pos] != '\r' && m_in[m_pos] != '\n') ++m_pos;
        return m_in.substr(start, m_pos - start);
    }
    // To the end of the line, without the line end.
    std::string_view Rest() {
        const std::size_t start = m_pos;
        const std::size_t end = m_in.find_first_of("\r\n", start);
        m_pos = end == std::string_view::npos ? m_in.size() : end;
        return m_in.substr(start, m_pos - start);
    }

    bool Item(ImapItem& item, std::size_t depth) {
        const char c = Peek();
        if (c == '(') {
            if (depth + 1 > m_depthLimit) {
                m_tooDeep = true;
                return false;
            }
            ++m_pos;
            item.kind = ImapItem::List;
            for (;;) {
                Skip(' ');
                if (Peek() == ')') {
                    ++m_pos;
                    return true;
                }
                if (AtLineEnd()) return false;
                ImapItem inner;
                if (!Item(inner, depth + 1)) return false;
                item.items.push_back(std::move(inner));
            }
        }
        if (c == '"') return Quoted(item);
        if (c == '{') return Literal(item);
        if (c == ')') return false;
        return Atom(item);
    }

    bool Quoted(ImapItem& item) {
        item.kind = ImapItem::String;
        for (++m_pos; m_pos < m_in.size(); ++m_pos) {
            char c = m_in[m_pos];
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c == '\r' || c == '\n') return false;
            if (c == '\\') {
                if (++m_pos >= m_in.size()) return false;
                c = m_in[m_pos];
                if (c == '\r' || c == '\n') return false;
            }
            item.text += c;
        }
        return false;
    }

    bool Literal(ImapItem& item) {
        const std::size_t close = m_in.find('}', m_pos);
        if (close == std::string_view::npos) return false;
        std::string_view count = m_in.substr(m_pos + 1, close - m_pos - 1);
        if (!count.empty() && count.back() == '+') count.remove_suffix(1);
        if (count.empty() || count.size() > 10 ||
            !std::all_of(count.begin(), count.end(), [](char d) { return d >= '0' && d <= '9'; }))
            return false;
        const unsigned long long n = std::stoull(std::string(count));
        std::size_t start = close + 1;
        if (m_in.substr(start, 2) == "\r\n") {
            start += 2;
        } else if (m_in.substr(start, 1) == "\n") {
            start += 1;
        } else {
            return false;
        }
        if (n > m_in.size() - start) return false;
        item.kind = ImapItem::String;
        item.text.assign(m_in.substr(start, static_cast<std::size_t>(n)));
        m_pos = start + static_cast<std::size_t>(n);
        return true;
    }

    bool Atom(ImapItem& item) {
        const std::size_t start = m_pos;
        while (m_pos < m_in.size()) {
            const char c = m_in[m_pos];
            if (c == '[') {
                // A section ("BODY[HEADER.FIELDS (FROM)]") is part of the atom.
                const std::size_t close = m_in.find_first_of("]\r\n", m_pos);
                if (close == std::string_view::npos || m_in[close] != ']') return false;
                m_pos = close + 1;
                continue;
            }
            if (c == ' ' || c == '(' || c == ')' || c == '"' || c == '{' || c == '\r' || c == '\n') break;
            ++m_pos;
        }
        if (m_pos == start) return false;
        item.text.assign(m_in.substr(start, m_pos - start));
        item.kind = EqualsNoCase(item.text, "NIL") ? ImapItem::Nil : ImapItem::Atom;
        if (item.kind == ImapItem::Nil) item.text.clear();
        return true;
    }

    std::string_view m_in;
    std::size_t m_pos = 0;
    std::size_t m_depthLimit;
    bool m_tooDeep = false;
};

}  // namespace

bool ImapItem::Is(std::string_view word) const { return kind == Atom && EqualsNoCase(text, word); }

bool ImapItem::Number(std::uint32_t& out) const {
    if (kind != Atom || text.empty() || text.size() > 10) return false;
    unsigned long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > 0xFFFFFFFFull) return false;
    out = static_cast<std::uint32_t>(n);
    return true;
}

bool ParseImapResponse(std::string_view raw, std::size_t depth, ImapResponse& response) {
    return Parser(raw, depth).Parse(response);
}

void ImapReader::Attach(ITransport* socket) {
    m_socket = socket;
    m_buffer.clear();
    m_start = 0;
    m_raw = {};
}

bool ImapReader::Fail(int code) {
    m_failure = code;
    return false;
}

bool ImapReader::Fill(std::size_t receive) {
    if (!m_socket) return Fail(wsa::kNotConnected);
    if (m_start > 0) {
        m_buffer.erase(0, m_start);
        m_start = 0;
    }
    const std::size_t old = m_buffer.size();
    m_buffer.resize(old + receive);
    const long n = m_socket->Receive(m_buffer.data() + old, receive);
    m_buffer.resize(old + static_cast<std::size_t>(std::max(n, 0L)));
    return n >= 1 || Fail(0);
}

bool ImapReader::Gather(std::size_t& length) {
    // Offsets are kept from m_start, which Fill may move. Every byte of the
    // response counts against its bound, lines as much as literals: a chain
    // of lines that each announce an empty literal is no cheaper to hold.
    std::size_t segment = 0;  // where the current line begins
    std::size_t scanned = 0;
    bool first = true;
    for (;;) {
        const std::string_view unread = std::string_view(m_buffer).substr(m_start);
        const std::size_t eol = unread.find('\n', scanned);
        if (eol == std::string_view::npos) {
            if (unread.size() - segment > m_limits.line) return Fail(localerr::kReplyTooLong);
            if (unread.size() > m_limits.response) return Fail(localerr::kResponseTooLong);
            scanned = unread.size();
            if (!Fill(kReceiveBlock)) return false;
            continue;
        }
        std::string_view line = unread.substr(segment, eol - segment);
        if (line.size() > m_limits.line) return Fail(localerr::kReplyTooLong);
        if (eol + 1 > m_limits.response) return Fail(localerr::kResponseTooLong);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t size = 0;
        if ((first && IsStatusLine(line)) || !AnnouncedLiteral(line, m_limits.literal, size)) {
            length = eol + 1;
            return true;
        }
        first = false;
        if (size > m_limits.literal || size > m_limits.response - (eol + 1)) return Fail(localerr::kResponseTooLong);
        segment = eol + 1 + size;
        while (m_buffer.size() - m_start < segment) {
            const std::size_t missing = segment - (m_buffer.size() - m_start);
            if (!Fill(std::min(std::max(missing, std::size_t{1024}), kReceiveBlock))) return false;
        }
        scanned = segment;
    }
}

bool ImapReader::Next(ImapResponse& response) {
    m_failure = 0;
    m_raw = {};
    std::size_t length = 0;
    if (!Gather(length)) return false;
    m_raw = std::string_view(m_buffer).substr(m_start, length);
    m_start += length;
    if (!ParseImapResponse(m_raw, m_limits.depth, response)) return Fail(localerr::kResponseTooLong);
    return true;
}

}  // namespace velto
