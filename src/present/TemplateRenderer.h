#pragma once
// A fetched message as a web page: the default template with the message's
// header fields and body put in place of its placeholders, written to a new
// "new….html" file next to the template so that the template's own pictures
// and style sheets resolve. No widgets; the browser window shows the file.
//
// Mail is hostile: every header value is decoded and HTML-escaped, a text
// body is escaped before its web addresses are linked, and an HTML body is
// shown by a page that runs no script and loads nothing remote.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace velto {

class CMailHeader;
class CMessageText;

// Placeholders 1 to 12 replaced in their fixed order; each value HTML-escaped.
// "%MESSAGE%" is left for ExpandMessage.
std::string ExpandHeaderPlaceholders(std::string_view templ, const CMailHeader& header);
// Every "%MESSAGE%" replaced by body (done last, so a body never expands).
std::string ExpandMessage(std::string_view text, std::string_view body);

// "<", ">", "&" and '"' as entities.
std::string EscapeHtml(std::string_view text);
// A text body as HTML: escaped, every http:// and https:// address (any
// letter case) linked once, CR LF as "<br>". One pass, linear in the body.
std::string TextBodyToHtml(std::string_view text);
// Addresses longer than this after their scheme are left as text.
constexpr std::size_t kMaxLinkedWord = 1023;
// A body that holds "<html>" (any case) counts as HTML: only CR LF becomes
// "<br>"; any other body goes through TextBodyToHtml.
std::string ConvertBody(std::string_view body);
// An HTML body's "cid:" references to the message's own parts as data:
// addresses (type, decoded bytes by content id); others are left alone.
struct InlinePart {
    std::string type;
    std::string bytes;
};
std::string ResolveContentIds(std::string_view html, const std::map<std::string, InlinePart>& parts);

// The whole page for a message (its header record and text): decoded header
// values, the message's HTML part when it has one, else its text.
std::string RenderPage(std::string_view templ, const CMailHeader& header, const CMessageText& message);

struct RenderResult {
    std::string path;       // the rendered file; empty when none was made
    std::string error;      // a box for the user ("unable to create temporary file")
    bool inFallback = false;  // written to the fallback folder, with <base href>
};

// Renders into a new file beside templatePath; when that folder cannot be
// written, into fallbackDir with a <base href> to the template's folder.
// A template that cannot be read gives an empty page.
RenderResult RenderToFile(const std::string& templatePath, const CMailHeader& header, const CMessageText& message,
                          const std::string& fallbackDir);

// The default profile's template file ("Index File" of the last profile
// flagged "Active"); empty when there is none.
std::string FindDefaultTemplate();

}  // namespace velto
