#include "protocol/MimeMessage.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "protocol/HtmlText.h"

namespace velto {
namespace {

// Owns one GObject reference; the only holder of GMime objects here.
template <typename T>
class GRef {
public:
    GRef() = default;
    explicit GRef(T* adopted) : m_p(adopted) {}
    static GRef Share(T* p) {
        if (p) g_object_ref(p);
        return GRef(p);
    }
    ~GRef() { Reset(); }
    GRef(GRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    GRef& operator=(GRef&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    T* get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    void Reset() {
        if (m_p) g_object_unref(m_p);
        m_p = nullptr;
    }
    T* m_p = nullptr;
};

std::string TakeString(char* s) {
    std::string out = s ? s : "";
    g_free(s);
    return out;
}

// Raw 8-bit header bytes: UTF-8 when valid, else Windows-1252.
GMimeParserOptions* Options() {
    static GMimeParserOptions* options = [] {
        g_mime_init();
        GMimeParserOptions* o = g_mime_parser_options_new();
        const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(o, fallback);
        return o;
    }();
    return options;
}

// g_utf8_validate refuses NUL; a NUL is cleaned later, not a sign of another
// charset.
bool ValidUtf8(std::string_view s) {
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t nul = s.find('\0', start);
        if (nul == std::string_view::npos) nul = s.size();
        if (!g_utf8_validate(s.data() + start, static_cast<gssize>(nul - start), nullptr)) return false;
        start = nul + 1;
    }
    return true;
}

// Runs bytes through a GMime filter in one go.
bool FilterAll(GMimeFilter* filter, std::string_view in, std::string& out) {
    if (!filter) return false;
    std::string buffer(in);
    char* result = nullptr;
    std::size_t length = 0, prespace = 0;
    g_mime_filter_complete(filter, buffer.data(), buffer.size(), 0, &result, &length, &prespace);
    out.assign(result ? result : "", result ? length : 0);
    return true;
}

bool Convert(std::string_view bytes, const char* charset, std::string& out) {
    GRef<GMimeFilter> filter(g_mime_filter_charset_new(charset, "UTF-8"));
    return FilterAll(filter.get(), bytes, out);
}

std::string RawToUtf8(std::string_view bytes) {
    std::string out;
    if (ValidUtf8(bytes) || !Convert(bytes, "windows-1252", out)) out.assign(bytes);
    return out;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Body bytes in their declared charset to UTF-8. Labels that promise ASCII
// are often wrong, so they get the raw-bytes rule; Latin-1 is read as
// Windows-1252 as browsers do. An unknown charset gets the raw-bytes rule.
std::string BodyToUtf8(std::string_view bytes, const char* charset) {
    if (!charset) return RawToUtf8(bytes);
    const std::string name = Lower(g_mime_charset_canon_name(charset) ? g_mime_charset_canon_name(charset) : "");
    if (name.empty() || name == "us-ascii" || name == "ascii" || name == "utf-8") return RawToUtf8(bytes);
    std::string out;
    if (name == "iso-8859-1" && Convert(bytes, "windows-1252", out)) return out;
    if (Convert(bytes, charset, out)) return out;
    return RawToUtf8(bytes);
}

void AppendReplacement(std::string& out) { out += "\xEF\xBF\xBD"; }

// Valid UTF-8 without control characters. Multi-line text keeps "\n" and
// tabs ("\r\n" and a lone "\r" become "\n"); one-line text gets a space for
// each line break or tab.
std::string CleanText(std::string_view text, bool multiline) {
    char* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    const std::string_view s = valid;
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out += multiline ? '\n' : ' ';
        } else if (c == '\t') {
            out += multiline ? '\t' : ' ';
        } else if (c < 0x20 || c == 0x7F) {
            AppendReplacement(out);
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) {
            AppendReplacement(out);  // C1 control
            ++i;
        } else {
            out += s[i];
        }
    }
    g_free(valid);
    return out;
}

// Calls sink with the transfer-decoded content in chunks until it returns false.
template <typename Sink>
void ReadDecoded(GMimePart* part, Sink&& sink) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) return;
    GMimeStream* raw = g_mime_data_wrapper_get_stream(content);
    if (!raw) return;
    GRef<GMimeStream> filtered(g_mime_stream_filter_new(raw));
    switch (const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content)) {
    case GMIME_CONTENT_ENCODING_BASE64:
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE:
    case GMIME_CONTENT_ENCODING_UUENCODE: {
        GRef<GMimeFilter> decode(g_mime_filter_basic_new(encoding, FALSE));
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), decode.get());
        break;
    }
    default: break;
    }
    if (g_mime_stream_reset(filtered.get()) == -1) return;
    char buffer[64 * 1024];
    for (;;) {
        const gssize n = g_mime_stream_read(filtered.get(), buffer, sizeof buffer);
        if (n <= 0 || !sink(std::string_view(buffer, static_cast<std::size_t>(n)))) break;
    }
}

bool IsAttachmentDisposition(GMimeObject* object) {
    const char* disposition = g_mime_object_get_disposition(object);
    return disposition && g_ascii_strcasecmp(disposition, "attachment") == 0;
}

std::string FileNameOf(GMimeObject* object) {
    const char* name = GMIME_IS_PART(object) ? g_mime_part_get_filename(GMIME_PART(object)) : nullptr;
    if (!name) name = g_mime_object_get_content_disposition_parameter(object, "filename");
    if (!name) name = g_mime_object_get_content_type_parameter(object, "name");
    return name ? name : "";
}

}  // namespace

std::string DecodeHeaderText(std::string_view raw) {
    std::string text(raw.substr(0, MimeMessage::kMaxHeaderBytes));
    std::replace(text.begin(), text.end(), '\0', ' ');
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
    // Most headers are plain ASCII without encoded words; the list shows
    // thousands of them, so skip the decoder for those.
    if (plain && text.find("=?") == std::string::npos) return text;
    return CleanText(TakeString(g_mime_utils_header_decode_text(Options(), text.c_str())), false);
}

std::string SanitizeFileName(std::string_view name) {
    if (const auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) name.remove_prefix(slash + 1);
    std::string clean = CleanText(name, false);
    // Direction overrides can make "gpj.exe" read as "exe.jpg".
    for (const char* mark : {"\u202A", "\u202B", "\u202C", "\u202D", "\u202E", "\u2066", "\u2067", "\u2068",
                             "\u2069", "\xEF\xBF\xBD"}) {
        for (auto at = clean.find(mark); at != std::string::npos; at = clean.find(mark, at))
            clean.erase(at, std::char_traits<char>::length(mark));
    }
    const auto first = clean.find_first_not_of(". ");
    clean.erase(0, first == std::string::npos ? clean.size() : first);
    while (!clean.empty() && clean.back() == ' ') clean.pop_back();
    if (clean.size() > 255) {
        std::size_t cut = 255;
        while (cut > 0 && (static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80) --cut;
        clean.resize(cut);
    }
    return clean.empty() ? "attachment" : clean;
}

struct MimeMessage::Impl {
    GRef<GMimeMessage> message;
    std::string text, html;
    std::vector<MimeAttachment> attachments;
    std::vector<GRef<GMimeObject>> attachmentParts;
    bool truncated = false;

    void Walk(GMimeObject* root);
    void Leaf(GMimeObject* object);
    std::string DecodeBody(GMimeObject* object);
};

void MimeMessage::Impl::Walk(GMimeObject* root) {
    struct Pending {
        GMimeObject* object;
        int depth;
    };
    std::vector<Pending> pending{{root, 0}};
    std::size_t leaves = 0;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (!next.object) continue;
        if (GMIME_IS_MULTIPART(next.object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(next.object);
            const int count = std::max(0, g_mime_multipart_get_count(multipart));
            const int kept = std::min(count, static_cast<int>(kMaxParts) + 1);
            if (next.depth >= kMaxDepth || kept < count) truncated = true;
            if (next.depth >= kMaxDepth) continue;
            // Reverse, so parts come off the stack in message order.
            for (int i = kept - 1; i >= 0; --i)
                pending.push_back({g_mime_multipart_get_part(multipart, i), next.depth + 1});
            continue;
        }
        if (++leaves > kMaxParts) {
            truncated = true;
            break;
        }
        Leaf(next.object);
    }
}

std::string MimeMessage::Impl::DecodeBody(GMimeObject* object) {
    std::string bytes;
    ReadDecoded(GMIME_PART(object), [&](std::string_view chunk) {
        const std::size_t room = kMaxTextBytes - bytes.size();
        bytes.append(chunk.substr(0, room));
        if (chunk.size() <= room) return true;
        truncated = true;
        return false;
    });
    return CleanText(BodyToUtf8(bytes, g_mime_object_get_content_type_parameter(object, "charset")), true);
}

void MimeMessage::Impl::Leaf(GMimeObject* object) {
    GMimeContentType* contentType = g_mime_object_get_content_type(object);
    const std::string type =
        Lower(contentType ? TakeString(g_mime_content_type_get_mime_type(contentType)) : "text/plain");
    const std::string name = FileNameOf(object);
    const bool body = GMIME_IS_PART(object) && name.empty() && !IsAttachmentDisposition(object);
    // An empty body part leaves room for the next one and is no attachment.
    if (body && type == "text/plain" && text.empty()) {
        text = DecodeBody(object);
        return;
    }
    if (body && type == "text/html" && html.empty()) {
        html = DecodeBody(object);
        return;
    }
    MimeAttachment attachment;
    attachment.name = SanitizeFileName(DecodeHeaderText(name));
    attachment.type = type;
    if (const char* id = g_mime_object_get_content_id(object)) attachment.contentId = CleanText(id, false);
    const char* disposition = g_mime_object_get_disposition(object);
    attachment.isInline = disposition && g_ascii_strcasecmp(disposition, "inline") == 0;
    if (GMIME_IS_PART(object)) {
        ReadDecoded(GMIME_PART(object), [&](std::string_view chunk) {
            attachment.size += chunk.size();
            return true;
        });
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        GRef<GMimeStream> counter(g_mime_stream_null_new());
        if (inner) g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, counter.get());
        attachment.size = GMIME_STREAM_NULL(counter.get())->written;
    }
    attachments.push_back(std::move(attachment));
    attachmentParts.push_back(GRef<GMimeObject>::Share(object));
}

MimeMessage::MimeMessage(std::string_view bytes) : m_impl(std::make_unique<Impl>()) {
    GMimeParserOptions* options = Options();
    // The parser keeps this stream and points the parts into it, so the
    // message's bytes are held once.
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    m_impl->message = GRef<GMimeMessage>(g_mime_parser_construct_message(parser.get(), options));
    if (!m_impl->message) {
        m_impl->text = CleanText(RawToUtf8(bytes.substr(0, kMaxTextBytes)), true);
        m_impl->truncated = bytes.size() > kMaxTextBytes;
        return;
    }
    m_impl->Walk(g_mime_message_get_mime_part(m_impl->message.get()));
    if (m_impl->text.empty() && !m_impl->html.empty()) m_impl->text = HtmlToText(m_impl->html);
}

MimeMessage::~MimeMessage() = default;
MimeMessage::MimeMessage(MimeMessage&&) noexcept = default;
MimeMessage& MimeMessage::operator=(MimeMessage&&) noexcept = default;

std::string MimeMessage::Header(const char* name) const {
    if (!m_impl->message) return {};
    const char* value = g_mime_object_get_header(GMIME_OBJECT(m_impl->message.get()), name);
    return value ? DecodeHeaderText(value) : std::string();
}

const std::string& MimeMessage::Text() const { return m_impl->text; }
const std::string& MimeMessage::Html() const { return m_impl->html; }
const std::vector<MimeAttachment>& MimeMessage::Attachments() const { return m_impl->attachments; }
bool MimeMessage::Truncated() const { return m_impl->truncated; }

std::string MimeMessage::AttachmentBytes(std::size_t index) const {
    if (index >= m_impl->attachmentParts.size()) return {};
    GMimeObject* object = m_impl->attachmentParts[index].get();
    std::string bytes;
    if (GMIME_IS_PART(object)) {
        bytes.reserve(m_impl->attachments[index].size);
        ReadDecoded(GMIME_PART(object), [&](std::string_view chunk) {
            bytes.append(chunk);
            return true;
        });
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object))) {
            GRef<GMimeStream> out(g_mime_stream_mem_new());
            g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, out.get());
            GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
            bytes.assign(reinterpret_cast<const char*>(array->data), array->len);
        }
    }
    return bytes;
}

}  // namespace velto
