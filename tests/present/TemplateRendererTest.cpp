// A message rendered through an HTML template: placeholders, the body's
// escaping and links, the output file and where it is made.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "present/TemplateRenderer.h"
#include "protocol/MailHeader.h"
#include "protocol/MessageText.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

// The message as the view hands it over: the record's stored header, this body.
CMessageText Text(const CMailHeader& header, std::string body) {
    return {CMessageText::HeaderBlock(header.m_rawHeader), std::move(body)};
}

CMailHeader Header() {
    CMailHeader h;
    h.m_subject = "Lunch";
    h.m_from = "Sales <sales@example.com>";
    h.m_to = "me@example.org";
    h.m_organization = "Acme";
    h.m_size = 1234;
    return h;
}

TEST(TemplateRenderer, PlaceholdersExpandInOrderAndEscape) {
    struct Row {
        const char* templ;
        const char* subject;
        const char* expected;
    };
    const Row rows[] = {
        {"%SUBJECT%|%SUBJECT%|%subject%", "Lunch", "Lunch|Lunch|%subject%"},
        // The title is put in first, so a subject naming a later placeholder expands.
        {"%TITLE%", "from %FROM%", "from Sales &lt;sales@example.com&gt;"},
        {"%ORGANIZATION%", "x", "Acme%"},
        {"[%SIZE%]", "x", "[1234]"},
        {"<h1>%SUBJECT%</h1>", "<script>\"a\" & b</script>", "<h1>&lt;script&gt;&quot;a&quot; &amp; b&lt;/script&gt;</h1>"},
        {"%SUBJECT%", "=?UTF-8?B?R3LDvMOfZQ==?=", "Gr\xC3\xBC\xC3\x9F" "e"},
        {"no placeholders here %MESSAGE_ID", "x", "no placeholders here %MESSAGE_ID"},
        {"%MESSAGE%", "x", "%MESSAGE%"},  // left for the body, which comes last
    };
    for (const Row& r : rows) {
        CMailHeader h = Header();
        h.m_subject = r.subject;
        EXPECT_EQ(ExpandHeaderPlaceholders(r.templ, h), r.expected) << r.templ;
    }
    CMailHeader h = Header();
    h.m_size = -1;
    EXPECT_EQ(ExpandHeaderPlaceholders("%SIZE%", h), "-1");
}

TEST(TemplateRenderer, TextBodyIsEscapedAndEveryAddressLinkedOnce) {
    auto a = [](const std::string& url) { return "<a href=\"" + url + "\">" + url + "</a>"; };
    const std::string long1023 = "http://" + std::string(1023, 'x');
    const std::string long1024 = "http://" + std::string(1024, 'x');
    struct Row {
        std::string body;
        std::string expected;
    };
    const Row rows[] = {
        {"a < b, <name> & \"q\"", "a &lt; b, &lt;name&gt; &amp; &quot;q&quot;"},
        {"see http://example.com/x. ok", "see " + a("http://example.com/x.") + " ok"},  // dotted host keeps it
        {"at http://intranet.", "at " + a("http://intranet") + "."},                   // dot-free host: the sentence's
        {"http://a.b/x\r\nhttp://a.b/x", a("http://a.b/x") + "<br>" + a("http://a.b/x")},
        {"https://x.org/a https://x.org/a", a("https://x.org/a") + " " + a("https://x.org/a")},
        {"HTTP://EXAMPLE.COM/Up and HtTpS://e.org", a("HTTP://EXAMPLE.COM/Up") + " and " + a("HtTpS://e.org")},
        {"xhttpd serves http-ish words; xhttp://no", "xhttpd serves http-ish words; xhttp://no"},
        {"http://a.b/?x=1&y=2", a("http://a.b/?x=1&amp;y=2")},
        {"<http://a.b/c>", "&lt;" + a("http://a.b/c") + "&gt;"},
        {"see \"http://a.b/c\" here", "see &quot;" + a("http://a.b/c") + "&quot; here"},  // the quote ends it
        {"ends in http://a.b/c", "ends in " + a("http://a.b/c")},
        {"line\r\nnext\nlast", "line<br>next\nlast"},
        {"http:// alone", "http:// alone"},
        {long1023, a(long1023)},
        {long1024 + " x", long1024 + " x"},  // too long to be an address: text
    };
    for (const Row& r : rows) EXPECT_EQ(ConvertBody(r.body), r.expected) << r.body.substr(0, 60);
}

TEST(TemplateRenderer, HtmlBodyKeepsItsMarkupAndGetsLineBreaks) {
    EXPECT_EQ(ConvertBody("<HTML><b>x</b>\r\nhttp://a.b <i>\nend"), "<HTML><b>x</b><br>http://a.b <i>\nend");
}

TEST(TemplateRenderer, PageTakesDecodedBodiesAndInlinePictures) {
    const std::string templ = "<p>%FROM%</p>%MESSAGE%";
    CMailHeader h = Header();

    // Without a stored header the body is all body, a first line like a header too.
    EXPECT_EQ(RenderPage("%MESSAGE%", h, Text(h, "Note: x\r\n\r\nText")), "Note: x<br><br>Text");
    // A body naming a placeholder keeps it literally.
    EXPECT_EQ(RenderPage(templ, h, Text(h, "hi %FROM%\r\n")), "<p>Sales &lt;sales@example.com&gt;</p>hi %FROM%<br>");

    h.m_rawHeader = "From: a@b\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n";
    EXPECT_EQ(RenderPage("%MESSAGE%", h, Text(h, "caf=C3=A9 <b>\r\n")), "caf\xC3\xA9 &lt;b&gt;<br>");

    // The stored header as TOP gave it, with its blank line and end.
    for (const char* raw : {"Subject: x\r\n\r\n.\r\n", "Subject: x\r\n.\r\n", ".\r\n"}) {
        h.m_rawHeader = raw;
        EXPECT_EQ(RenderPage("%MESSAGE%", h, Text(h, "Hi\r\n")), "Hi<br>") << raw;
    }

    h.m_rawHeader = "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"B\"\r\n";
    const std::string body =
        "--B\r\nContent-Type: text/html\r\n\r\n<p>pic <img src=\"cid:logo@x\"><img src=\"cid:other\"></p>\r\n"
        "--B\r\nContent-Type: image/png\r\nContent-ID: <logo@x>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "iVBORw==\r\n--B--\r\n";
    const std::string page = RenderPage("%MESSAGE%", h, Text(h, body));
    EXPECT_NE(page.find("<img src=\"data:image/png;base64,iVBORw==\">"), std::string::npos) << page;
    EXPECT_NE(page.find("cid:other"), std::string::npos) << "a reference to no part stays as it was";
    EXPECT_EQ(page.find("&lt;p&gt;"), std::string::npos) << "an HTML part is not escaped";
}

// A body that says "<html>" is markup only when nothing declares its type.
TEST(TemplateRenderer, DeclaredPlainTextStaysText) {
    struct Row {
        const char* name;
        std::string rawHeader, body, page;
    };
    const std::string mime = "MIME-Version: 1.0\r\n";
    const Row rows[] = {
        {"text/plain", mime + "Content-Type: text/plain\r\n", "<html><b>x</b>\r\n", "&lt;html&gt;&lt;b&gt;x&lt;/b&gt;<br>"},
        {"text/plain part", mime + "Content-Type: multipart/mixed; boundary=\"B\"\r\n",
         "--B\r\nContent-Type: text/plain\r\n\r\n<html><b>x</b>\r\n--B--\r\n", "&lt;html&gt;&lt;b&gt;x&lt;/b&gt;"},
        {"no MIME headers", "Subject: old\r\n", "<html><b>x</b>\r\n", "<html><b>x</b><br>"},
    };
    for (const Row& row : rows) {
        CMailHeader h = Header();
        h.m_rawHeader = row.rawHeader;
        EXPECT_EQ(RenderPage("%MESSAGE%", h, Text(h, row.body)), row.page) << row.name;
    }
}

TEST(TemplateRenderer, FilesAreMadeBesideTheTemplateElseInTheFallbackFolder) {
    namespace fs = std::filesystem;
    const std::string dir = test::MakeTempDir("tmpl");
    const std::string fallback = test::MakeTempDir("fallback") + "/run";
    const std::string templ = dir + "/index.html";
    std::ofstream(templ, std::ios::binary) << std::string("<b>%SUBJECT%</b>\0ignored", 24);

    std::set<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        const RenderResult r = RenderToFile(templ, Header(), Text(Header(), "body"), fallback);
        EXPECT_FALSE(r.inFallback);
        EXPECT_EQ(fs::path(r.path).parent_path(), fs::path(dir));
        const std::string name = fs::path(r.path).filename().string();
        EXPECT_EQ(name.substr(0, 3), "new");
        EXPECT_EQ(fs::path(name).extension(), ".html");
        EXPECT_EQ(test::ReadFile(r.path), "<b>Lunch</b>");  // the template ends at its NUL
        paths.insert(r.path);
    }
    EXPECT_EQ(paths.size(), 3u) << "every rendering makes a new file";

    // A missing template gives an empty page.
    const RenderResult missing = RenderToFile(dir + "/gone.html", Header(), Text(Header(), "body"), fallback);
    ASSERT_FALSE(missing.path.empty());
    EXPECT_TRUE(fs::exists(missing.path));
    EXPECT_EQ(test::ReadFile(missing.path), "");

    // A folder nobody can write (even root cannot make files in /proc):
    // the private folder, with the template's folder as the base.
    const RenderResult moved = RenderToFile("/proc/self/status", Header(), Text(Header(), ""), fallback);
    EXPECT_TRUE(moved.inFallback);
    EXPECT_EQ(fs::path(moved.path).parent_path(), fs::path(fallback));
    EXPECT_EQ(test::ReadFile(moved.path).rfind("<base href=\"file:///proc/self/\">Name:", 0), 0u);
    EXPECT_EQ(fs::status(fallback).permissions() & fs::perms::all, fs::perms::owner_all);

    const RenderResult none = RenderToFile("/proc/self/status", Header(), Text(Header(), ""), "/proc/self/nothing");
    EXPECT_EQ(none.path, "");
    EXPECT_EQ(none.error, "unable to create temporary file");
}

}  // namespace
}  // namespace velto
