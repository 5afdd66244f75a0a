#include "settings/RegistryHive.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace velto {

struct RegistryHive::Node {
    std::string name;                                      // as first written
    std::map<std::string, std::shared_ptr<Node>> children;  // by upper-cased name
    std::vector<RegValue> values;                          // creation order
    std::uint64_t lastWriteTime = 0;
    bool deleted = false;
};

namespace {

const char* const kUserRoot = "HKEY_CURRENT_USER";

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Registry time stamps count 100 ns steps since 1601-01-01.
std::uint64_t NowFileTime() {
    using namespace std::chrono;
    const auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<std::uint64_t>(since1970) * 10u + 116444736000000000ull;
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

using NodePtr = std::shared_ptr<RegistryHive::Node>;

NodePtr Child(const NodePtr& node, const std::string& name) {
    auto it = node->children.find(Upper(name));
    return it == node->children.end() ? nullptr : it->second;
}

NodePtr CreateChild(const NodePtr& node, const std::string& name, bool* created) {
    auto& slot = node->children[Upper(name)];
    if (!slot) {
        slot = std::make_shared<RegistryHive::Node>();
        slot->name = name;
        slot->lastWriteTime = NowFileTime();
        if (created) *created = true;
    }
    return slot;
}

void MarkDeleted(const NodePtr& node) {
    node->deleted = true;
    for (auto& [_, child] : node->children) MarkDeleted(child);
}

// ---- export -------------------------------------------------------------

std::string QuoteName(const std::string& s) {
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

void ExportNode(std::string& out, const NodePtr& node, const std::string& path) {
    out += "[" + path + "]\r\n";
    for (const auto& v : node->values) {
        std::string line = v.name.empty() ? "@" : QuoteName(v.name);
        line += '=';
        if (v.type == kRegSz && FitsQuotedString(v.data)) {
            line += QuoteName(v.data);
        } else if (v.type == kRegDword && v.data.size() == 4) {
            std::uint32_t n = 0;
            for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", n);
            line += buf;
        } else {
            if (v.type == kRegBinary) {
                line += "hex:";
            } else {
                line += "hex(" + std::to_string(v.type) + "):";
            }
            AppendHex(line, line.size(), v.data);
        }
        out += line + "\r\n";
    }
    out += "\r\n";
    for (const auto& [_, child] : node->children) ExportNode(out, child, path + "\\" + child->name);
}

// ---- import -------------------------------------------------------------

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

struct ParseError {
    std::size_t line;
    std::string what;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
    return s;
}

std::string TrimLeft(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return s.substr(i);
}

}  // namespace

RegistryHive::RegistryHive(std::unique_ptr<HiveStorage> storage)
    : m_storage(std::move(storage)), m_top(std::make_shared<Node>()) {
    CreateChild(m_top, kUserRoot, nullptr);
}

RegistryHive::~RegistryHive() = default;

namespace {
std::mutex g_currentMutex;
std::shared_ptr<RegistryHive> g_current;
}  // namespace

std::shared_ptr<RegistryHive> RegistryHive::Current() {
    std::lock_guard lock(g_currentMutex);
    if (!g_current) g_current = std::make_shared<RegistryHive>();
    return g_current;
}

void RegistryHive::SetCurrent(std::shared_ptr<RegistryHive> hive) {
    std::lock_guard lock(g_currentMutex);
    g_current = std::move(hive);
}

std::string RegistryHive::Load() {
    if (!m_storage) return {};
    std::string bytes, error;
    const auto result = m_storage->Read(bytes, error);
    if (result == HiveStorage::ReadResult::Missing) return {};
    if (result == HiveStorage::ReadResult::Failed) {
        std::lock_guard lock(m_mutex);
        m_readOnly = true;
        return "The settings file " + m_storage->Location() + " cannot be read: " + error;
    }
    const std::string problem = ImportText(bytes);
    std::lock_guard lock(m_mutex);
    m_dirty = false;
    if (!problem.empty()) {
        m_readOnly = true;
        return "The settings file " + m_storage->Location() + " is damaged at " + problem +
               ".\nVeltoMail starts with default settings and leaves the file as it is; "
               "changes made now are not saved until the file is fixed.";
    }
    return {};
}

bool RegistryHive::Flush() {
    std::string text;
    {
        std::lock_guard lock(m_mutex);
        if (!m_dirty || m_readOnly || !m_storage) return true;
    }
    text = ExportText();
    std::string error;
    const bool ok = m_storage->Write(text, error);
    std::function<void(const std::string&)> tell;
    {
        std::lock_guard lock(m_mutex);
        if (ok) {
            m_dirty = false;
            m_lastWriteError.clear();
        } else {
            m_lastWriteError = error;
            if (!m_toldWriteFailure && m_onWriteFailure) {
                m_toldWriteFailure = true;
                tell = m_onWriteFailure;
            }
        }
    }
    if (tell)
        tell("The settings could not be saved to " + m_storage->Location() + ":\n" + error +
             "\nChanges made now are lost when VeltoMail ends unless this is put right.");
    return ok;
}

void RegistryHive::SetWriteFailureHandler(std::function<void(const std::string& text)> handler) {
    std::lock_guard lock(m_mutex);
    m_onWriteFailure = std::move(handler);
}

bool RegistryHive::IsDirty() const {
    std::lock_guard lock(m_mutex);
    return m_dirty;
}

bool RegistryHive::IsReadOnly() const {
    std::lock_guard lock(m_mutex);
    return m_readOnly;
}

std::string RegistryHive::Location() const { return m_storage ? m_storage->Location() : std::string(); }

std::string RegistryHive::LastWriteError() const {
    std::lock_guard lock(m_mutex);
    return m_lastWriteError;
}

long RegistryHive::CreateKey(const std::string& path, KeyHandle& key, std::uint32_t* disposition) {
    std::lock_guard lock(m_mutex);
    const auto parts = SplitPath(path);
    if (parts.empty()) {
        key.reset();
        return kErrorInvalidParameter;
    }
    NodePtr node = Child(m_top, kUserRoot);
    bool created = false;
    for (const auto& part : parts) {
        if (part.size() > 255) {
            key.reset();
            return kErrorInvalidParameter;
        }
        node = CreateChild(node, part, &created);
    }
    if (created) m_dirty = true;
    if (disposition) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    key = node;
    return kErrorSuccess;
}

RegistryHive::KeyHandle RegistryHive::FindKey(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    NodePtr node = Child(m_top, kUserRoot);
    for (const auto& part : SplitPath(path)) {
        node = Child(node, part);
        if (!node) return nullptr;
    }
    return node;
}

long RegistryHive::SetValue(const KeyHandle& key, const std::string& name, std::uint32_t type,
                            const void* data, std::size_t size) {
    if (!key) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (key->deleted) return kErrorInvalidHandle;  // the key was deleted under the handle
    std::string bytes(static_cast<const char*>(data), size);
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const RegValue& v) { return v.name == name; });
    if (it != key->values.end()) {
        if (it->type == type && it->data == bytes) return kErrorSuccess;
        it->type = type;
        it->data = std::move(bytes);
    } else {
        key->values.push_back(RegValue{name, type, std::move(bytes)});
    }
    key->lastWriteTime = NowFileTime();
    m_dirty = true;
    return kErrorSuccess;
}

long RegistryHive::EnumKey(const KeyHandle& key, std::uint32_t index, std::string& name,
                           std::uint64_t* lastWriteTime) const {
    if (!key) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (key->deleted) return kErrorInvalidHandle;
    if (index >= key->children.size()) return kErrorNoMoreItems;
    auto it = key->children.begin();
    std::advance(it, index);
    name = it->second->name;
    if (lastWriteTime) *lastWriteTime = it->second->lastWriteTime;
    return kErrorSuccess;
}

long RegistryHive::EnumValue(const KeyHandle& key, std::uint32_t index, RegValue& value) const {
    if (!key) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (key->deleted) return kErrorInvalidHandle;
    if (index >= key->values.size()) return kErrorNoMoreItems;
    value = key->values[index];
    return kErrorSuccess;
}

long RegistryHive::DeleteKey(const KeyHandle& parent, const std::string& subkey) {
    if (!parent) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (parent->deleted) return kErrorInvalidHandle;
    const auto parts = SplitPath(subkey);
    if (parts.empty()) return kErrorInvalidParameter;
    NodePtr holder = parent;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        holder = Child(holder, parts[i]);
        if (!holder) return kErrorFileNotFound;
    }
    auto it = holder->children.find(Upper(parts.back()));
    if (it == holder->children.end()) return kErrorFileNotFound;
    MarkDeleted(it->second);
    holder->children.erase(it);
    holder->lastWriteTime = NowFileTime();
    m_dirty = true;
    return kErrorSuccess;
}

std::string RegistryHive::ExportText() const {
    std::lock_guard lock(m_mutex);
    std::string out = "REGEDIT4\r\n\r\n";
    for (const auto& [_, root] : m_top->children) {
        // An untouched, empty user root is not worth a section of its own.
        if (root->values.empty() && root->children.empty()) continue;
        ExportNode(out, root, root->name);
    }
    return out;
}

std::string RegistryHive::ImportText(const std::string& raw) {
    std::string text;
    bool unicode = false;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
        static_cast<unsigned char>(raw[1]) == 0xFE) {
        text = FromUtf16(raw, 2);
        unicode = true;
    } else {
        text = raw;
        if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    }

    auto top = std::make_shared<Node>();
    CreateChild(top, kUserRoot, nullptr);
    NodePtr current;
    bool sawHeader = false;
    std::size_t lineNo = 0, pos = 0;

    try {
        while (pos <= text.size()) {
            if (pos == text.size()) break;
            // One logical line: physical lines joined where one ends in a backslash
            // (only hex lists continue that way).
            std::string line;
            const std::size_t startLine = lineNo + 1;
            for (;;) {
                std::size_t end = text.find('\n', pos);
                std::string physical = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
                pos = end == std::string::npos ? text.size() : end + 1;
                ++lineNo;
                physical = TrimRight(physical);
                if (!line.empty()) physical = TrimLeft(physical);
                line += physical;
                const bool continues = !line.empty() && line.back() == '\\' && line.find('=') != std::string::npos &&
                                       line.find("=\"") == std::string::npos;
                if (continues && pos < text.size()) {
                    line.pop_back();
                    continue;
                }
                break;
            }
            const std::string trimmed = TrimLeft(line);
            if (trimmed.empty() || trimmed[0] == ';') continue;
            if (!sawHeader) {
                if (trimmed != "REGEDIT4" && trimmed != "Windows Registry Editor Version 5.00")
                    throw ParseError{startLine, "the first line is not REGEDIT4"};
                sawHeader = true;
                continue;
            }
            if (trimmed[0] == '[') {
                if (trimmed.back() != ']') throw ParseError{startLine, "a key line without its closing ]"};
                std::string path = trimmed.substr(1, trimmed.size() - 2);
                const bool remove = !path.empty() && path[0] == '-';
                if (remove) path.erase(0, 1);
                const auto parts = SplitPath(path);
                if (parts.empty()) throw ParseError{startLine, "an empty key name"};
                NodePtr node = top;
                if (remove) {
                    for (std::size_t i = 0; node && i + 1 < parts.size(); ++i) node = Child(node, parts[i]);
                    if (node) node->children.erase(Upper(parts.back()));
                    current.reset();
                    continue;
                }
                for (const auto& part : parts) node = CreateChild(node, part, nullptr);
                current = node;
                continue;
            }
            // A value line.
            if (!current) throw ParseError{startLine, "a value outside any key"};
            std::size_t p = 0;
            std::string name;
            if (trimmed[0] == '@') {
                p = 1;
            } else if (!ReadQuoted(trimmed, p, name)) {
                throw ParseError{startLine, "a value name without its closing quote"};
            }
            while (p < trimmed.size() && (trimmed[p] == ' ' || trimmed[p] == '\t')) ++p;
            if (p >= trimmed.size() || trimmed[p] != '=') throw ParseError{startLine, "a value without ="};
            ++p;
            while (p < trimmed.size() && (trimmed[p] == ' ' || trimmed[p] == '\t')) ++p;
            const std::string rest = trimmed.substr(p);
            RegValue value;
            value.name = name;
            if (rest == "-") {
                auto& vs = current->values;
                vs.erase(std::remove_if(vs.begin(), vs.end(), [&](const RegValue& v) { return v.name == name; }),
                         vs.end());
                continue;
            }
            if (!rest.empty() && rest[0] == '"') {
                std::size_t q = 0;
                if (!ReadQuoted(rest, q, value.data) || TrimLeft(rest.substr(q)) != "")
                    throw ParseError{startLine, "a text value without its closing quote"};
                value.type = kRegSz;
            } else if (rest.rfind("dword:", 0) == 0) {
                const std::string digits = rest.substr(6);
                if (digits.empty() || digits.size() > 8 ||
                    !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; }))
                    throw ParseError{startLine, "a dword value that is not 8 hexadecimal digits"};
                const auto n = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
                value.type = kRegDword;
                value.data.resize(4);
                for (int i = 0; i < 4; ++i) value.data[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
            } else if (rest.rfind("hex", 0) == 0) {
                std::size_t colon = rest.find(':');
                if (colon == std::string::npos) throw ParseError{startLine, "a hex value without :"};
                const std::string kind = rest.substr(3, colon - 3);
                if (kind.empty()) {
                    value.type = kRegBinary;
                } else if (kind.size() >= 3 && kind.front() == '(' && kind.back() == ')' &&
                           std::all_of(kind.begin() + 1, kind.end() - 1, [](char c) { return HexDigit(c) >= 0; })) {
                    value.type = static_cast<std::uint32_t>(std::stoul(kind.substr(1, kind.size() - 2), nullptr, 16));
                } else {
                    throw ParseError{startLine, "an unknown hex value kind"};
                }
                if (!ParseHexList(rest.substr(colon + 1), value.data))
                    throw ParseError{startLine, "a hex list with a bad byte"};
                const bool textKind = value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz;
                if (unicode && textKind) value.data = FromUtf16(value.data, 0);
                // Text stored by the system itself ends in a zero; the settings
                // store texts without one.
                if (value.type == kRegSz && !value.data.empty() && value.data.back() == '\0') value.data.pop_back();
            } else {
                throw ParseError{startLine, "a value of unknown form"};
            }
            auto it = std::find_if(current->values.begin(), current->values.end(),
                                   [&](const RegValue& v) { return v.name == value.name; });
            if (it != current->values.end()) {
                *it = std::move(value);
            } else {
                current->values.push_back(std::move(value));
            }
        }
    } catch (const ParseError& e) {
        return "line " + std::to_string(e.line) + ": " + e.what;
    } catch (const std::exception& e) {
        return "line " + std::to_string(lineNo) + ": " + e.what();
    }
    if (!sawHeader && !TrimLeft(TrimRight(text)).empty()) return "line 1: the first line is not REGEDIT4";

    std::lock_guard lock(m_mutex);
    MarkDeleted(m_top);
    m_top = top;
    m_dirty = true;
    return {};
}

}  // namespace velto
