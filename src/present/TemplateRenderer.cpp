#include "present/TemplateRenderer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "protocol/MailHeader.h"
#include "protocol/MessageText.h"
#include "protocol/SaslText.h"
#include "protocol/MimeMessage.h"
#include "settings/Settings.h"

namespace velto {
namespace {

void ReplaceAll(std::string& text, std::string_view token, std::string_view value) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, from)) {
        out.append(text, from, at - from);
        out.append(value);
        from = at + token.size();
    }
    if (from == 0) return;
    out.append(text, from);
    text = std::move(out);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (std::size_t i = 0; i < lowerWord.size(); ++i)
        if (Lower(text[at + i]) != lowerWord[i]) return false;
    return true;
}

std::size_t FindNoCase(std::string_view text, std::string_view lowerWord, std::size_t from = 0) {
    for (std::size_t at = from; at + lowerWord.size() <= text.size(); ++at)
        if (StartsWithNoCase(text, at, lowerWord)) return at;
    return std::string_view::npos;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'z'); }
// Where an address ends: white space, or a character that closes it in text
// ("<http://x>", "\"http://x\"").
bool EndsAddress(char c) { return IsSpace(c) || c == '<' || c == '>' || c == '"'; }

// The scheme's length when an address starts at `at`, else 0. An address
// starts at a word boundary: "xhttp://" inside a word is no address.
std::size_t SchemeAt(std::string_view text, std::size_t at) {
    if (at > 0 && IsAlnum(text[at - 1])) return 0;
    if (StartsWithNoCase(text, at, "http://")) return 7;
    if (StartsWithNoCase(text, at, "https://")) return 8;
    return 0;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
}

// Bytes of a path as a file: URL path (unreserved characters and '/' kept).
std::string PercentEncodePath(std::string_view path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (IsAlnum(static_cast<char>(c)) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// A new, empty "new%04x.html" in dir, opened for writing; -1 with errno set
// when the folder will not take one.
int CreateOutputFile(const std::string& dir, std::string& path) {
    static std::mt19937 random{std::random_device{}()};
    const unsigned start = random() & 0xFFFFu;
    for (unsigned i = 0; i < 0x10000u; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "new%04x.html", (start + i) & 0xFFFFu);
        path = dir + "/" + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The page's relative references resolve against dir although it lives
// elsewhere.
std::string WithBaseHref(std::string page, const std::string& dir) {
    const std::string base = "<base href=\"file://" + PercentEncodePath(dir + "/") + "\">";
    const std::size_t head = FindNoCase(page, "<head");
    const std::size_t close = head == std::string::npos ? head : page.find('>', head);
    page.insert(close == std::string::npos ? 0 : close + 1, base);
    return page;
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

std::string ExpandHeaderPlaceholders(std::string_view templ, const CMailHeader& h) {
    // A long subject or name is folded by nearly every mailer; the page
    // shows it whole.
    const std::string subject = h.Unfolded("Subject", h.m_subject);
    const std::string from = h.UnfoldedFrom();
    // The organisation's placeholder has no closing percent sign.
    const std::pair<const char*, const std::string*> fields[] = {
        {"%TITLE%", &subject},             {"%FROM%", &from},
        {"%SUBJECT%", &subject},           {"%TO%", &h.m_to},
        {"%DATE%", &h.m_date},             {"%REPLY_TO%", &h.m_replyTo},
        {"%MESSAGE_ID%", &h.m_messageId},  {"%ORGANIZATION", &h.m_organization},
        {"%STATUS%", &h.m_status},         {"%MIME_VERSION%", &h.m_mimeVersion},
        {"%CONTENT_TYPE%", &h.m_contentType},
    };
    std::string text(templ);
    for (const auto& [token, value] : fields) ReplaceAll(text, token, EscapeHtml(DecodeHeaderText(*value)));
    ReplaceAll(text, "%SIZE%", std::to_string(h.m_size));
    return text;
}

std::string ExpandMessage(std::string_view text, std::string_view body) {
    std::string out(text);
    ReplaceAll(out, "%MESSAGE%", body);
    return out;
}

std::string TextBodyToHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "<br>";
            i += 2;
            continue;
        }
        const std::size_t scheme = (c == 'h' || c == 'H') ? SchemeAt(text, i) : 0;
        if (scheme == 0) {
            AppendEscaped(out, text.substr(i, 1));
            ++i;
            continue;
        }
        std::size_t end = i + scheme;
        while (end < text.size() && !EndsAddress(text[end])) ++end;
        std::string_view link = text.substr(i, end - i);
        // A dot-free host name that ends a sentence: the period is the
        // sentence's, not the address's.
        if (const auto dot = link.find('.'); dot != std::string_view::npos && dot + 1 == link.size())
            link.remove_suffix(1);
        if (end - i - scheme > kMaxLinkedWord || link.size() == scheme) {
            AppendEscaped(out, text.substr(i, end - i));
        } else {
            const std::string escaped = EscapeHtml(link);
            out += "<a href=\"" + escaped + "\">" + escaped + "</a>";
            AppendEscaped(out, text.substr(i + link.size(), end - i - link.size()));
        }
        i = end;
    }
    return out;
}

std::string ConvertBody(std::string_view body) {
    if (FindNoCase(body, "<html>") == std::string_view::npos) return TextBodyToHtml(body);
    std::string html(body);
    ReplaceAll(html, "\r\n", "<br>");
    return html;
}

std::string ResolveContentIds(std::string_view html, const std::map<std::string, InlinePart>& parts) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = FindNoCase(html, "cid:"); at != std::string_view::npos; at = FindNoCase(html, "cid:", from)) {
        std::size_t end = at + 4;
        while (end < html.size() && !EndsAddress(html[end]) && html[end] != '\'') ++end;
        const auto part = parts.find(std::string(html.substr(at + 4, end - at - 4)));
        out.append(html, from, at - from);
        if (part == parts.end())
            out.append(html, at, end - at);
        else
            out += "data:" + part->second.type + ";base64," + Base64(part->second.bytes);
        from = end;
    }
    out.append(html, from);
    return out;
}

std::string RenderPage(std::string_view templ, const CMailHeader& header, const CMessageText& message) {
    const MimeMessage mime(message.Whole());
    std::string converted;
    if (!mime.Html().empty()) {
        std::map<std::string, InlinePart> inlineParts;
        const auto& attachments = mime.Attachments();
        for (std::size_t i = 0; i < attachments.size(); ++i)
            if (!attachments[i].contentId.empty())
                inlineParts[attachments[i].contentId] = {attachments[i].type, mime.AttachmentBytes(i)};
        // The message's own HTML part is HTML whether or not it says "<html>".
        converted = ResolveContentIds(mime.Html(), inlineParts);
        ReplaceAll(converted, "\r\n", "<br>");
    } else {
        std::string text = mime.Text();
        ReplaceAll(text, "\n", "\r\n");
        // A declared type decides; the "<html>" test is for mail from before
        // messages declared one.
        bool declared = false;
        CMailHeader::UnfoldedField(message.m_header, "Content-Type", declared);
        converted = declared ? TextBodyToHtml(text) : ConvertBody(text);
    }
    return ExpandMessage(ExpandHeaderPlaceholders(templ, header), converted);
}

RenderResult RenderToFile(const std::string& templatePath, const CMailHeader& header, const CMessageText& message,
                          const std::string& fallbackDir) {
    namespace fs = std::filesystem;
    RenderResult result;
    const std::string templateDir = fs::path(templatePath).parent_path().string();
    int fd = templateDir.empty() ? -1 : CreateOutputFile(templateDir, result.path);
    if (fd < 0) {
        std::error_code ec;
        fs::create_directories(fallbackDir, ec);
        fs::permissions(fallbackDir, fs::perms::owner_all, ec);
        fd = CreateOutputFile(fallbackDir, result.path);
        result.inFallback = true;
    }
    if (fd < 0) {
        result.path.clear();
        result.error = "unable to create temporary file";
        return result;
    }
    std::string templ;
    if (std::ifstream in(templatePath, std::ios::binary); in)
        templ.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    // The template ends at its first NUL.
    if (const auto nul = templ.find('\0'); nul != std::string::npos) templ.resize(nul);
    if (!templ.empty()) {
        std::string page = RenderPage(templ, header, message);
        if (result.inFallback && !templateDir.empty()) page = WithBaseHref(std::move(page), templateDir);
        WriteAll(fd, page);  // a failed write leaves a short page, as a full disk would
    }
    ::close(fd);
    return result;
}

std::string FindDefaultTemplate() {
    std::string path;
    for (const auto& profile : LoadAllTemplates())
        if (profile.m_active != 0) path = profile.GetIndexFile();
    return path;
}

}  // namespace velto
