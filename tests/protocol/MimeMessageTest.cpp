#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/HtmlText.h"
#include "protocol/MimeMessage.h"

namespace velto {
namespace {

// Independent of the decoder: well-formed UTF-8 without C0 controls other
// than line breaks and tabs.
bool ShowsCleanly(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || (c < 0x20 && c != '\n' && c != '\t') || c == 0x7F || i + extra >= s.size() + (extra ? 0 : 1))
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += 1 + extra;
    }
    return true;
}

std::string Multipart(const std::string& type, const std::vector<std::string>& parts, bool close = true) {
    std::string m = "Subject: t\r\nMIME-Version: 1.0\r\nContent-Type: " + type + "; boundary=\"BB\"\r\n\r\n";
    for (const auto& p : parts) m += "--BB\r\n" + p + "\r\n";
    return close ? m + "--BB--\r\n" : m;
}

struct Case {
    const char* raw;
    const char* shown;
};

TEST(MimeHeaderText, DecodesEncodedWordsAndRawBytes) {
    const Case cases[] = {
        {"=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=", "Grüße"},
        {"=?ISO-8859-1?B?R3L832U=?=", "Grüße"},
        {"=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=", "日本語"},
        {"Re: =?utf-8?q?caf=C3=A9?= ok", "Re: café ok"},
        {"=?UTF-8?Q?a?= =?UTF-8?Q?b?=", "ab"},  // the blank between words is not text
        {"Caf\xe9 \x80 5", "Café € 5"},         // not UTF-8: Windows-1252
        {"Caf\xc3\xa9", "Café"},
        {"plain =? text", "plain =? text"},
        {"=?x-no-such-charset?Q?caf=C3=A9?=", "café"},
    };
    for (const Case& c : cases) EXPECT_EQ(DecodeHeaderText(c.raw), c.shown) << c.raw;
}

TEST(MimeHeaderText, HostileValuesShowCleanly) {
    const std::string cases[] = {
        "=?UTF-8?B?AA==?=", "=?UTF-8?B?/w==?=", "=?UTF-8?Q?a=00b=1Bc?=", std::string("a\0b", 3), "a\r\n\tb\x7f",
        "=?UTF-8?B?" + std::string(200000, 'A') + "?=", "=?UTF-8?Q?=C2=85?=",
    };
    for (const std::string& raw : cases) {
        const std::string shown = DecodeHeaderText(raw);
        EXPECT_TRUE(ShowsCleanly(shown) && shown.find('\n') == std::string::npos) << raw.substr(0, 40);
        EXPECT_LE(shown.size(), 3 * MimeMessage::kMaxHeaderBytes);
    }
}

TEST(MimeFileName, SafeToSave) {
    const Case cases[] = {
        {"../../.bashrc", "bashrc"},      {"C:\\Users\\x\\evil.exe", "evil.exe"}, {"...", "attachment"},
        {"", "attachment"},               {"a\x01z.txt", "az.txt"},            {"  .hidden ", "hidden"},
        {"résumé.pdf", "résumé.pdf"}, {"photo\u202Egpj.exe", "photogpj.exe"},
    };
    for (const Case& c : cases) EXPECT_EQ(SanitizeFileName(c.raw), c.shown) << c.raw;
    std::string longName;
    for (int i = 0; i < 300; ++i) longName += "é";
    const std::string cut = SanitizeFileName(longName);
    EXPECT_LE(cut.size(), 255u);
    EXPECT_TRUE(ShowsCleanly(cut));
}

TEST(MimeBody, BestTextPartDecoded) {
    const std::string plain =
        "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    const std::string html = "Content-Type: text/html; charset=utf-8\r\n\r\n";
    using namespace std::string_literals;
    const struct {
        std::string raw;
        const char* shown;
    } cases[] = {
        {"Subject: x\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
         "Gr=C3=BC=C3=9Fe=\r\n here\r\nnext\r\n",
         "Grüße here\nnext\n"},
        {"Subject: x\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1b$BF|K\\8l$N%F%9%H\x1b(B\r\n",
         "日本語のテスト\n"},
        {"Subject: x\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "3GJlcndlaXN1bmcgZvxyIENhZuk=\r\n",
         "Überweisung für Café"},
        {"Subject: x\r\nContent-Type: text/plain; charset=iso-8859-1\r\n\r\n\x80 5\r\n", "€ 5\n"},  // read as 1252
        {"Subject: x\r\n\r\nno charset caf\xe9\r\n", "no charset café\n"},
        {"Subject: x\r\nContent-Type: text/plain; charset=x-bogus\r\n\r\ncaf\xc3\xa9\r\n", "café\n"},
        {"Subject: x\r\nContent-Type: text/plain\r\n\r\na\0b\x01" "c\xff\r\n"s, "a\uFFFDb\uFFFDc\u00FF\n"},
        {Multipart("multipart/alternative", {plain + "the plain one", html + "<p>the html one</p>"}),
         "the plain one"},
        {Multipart("multipart/alternative", {html + "<p>only <b>html</b> here</p>"}), "only html here"},
        {Multipart("multipart/mixed", {plain + "never closed"}, false), "never closed\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(MimeMessage(c.raw).Text(), c.shown) << c.raw;

    const MimeMessage both(Multipart("multipart/alternative", {plain + "p", html + "<i>h</i>"}));
    EXPECT_EQ(both.Html(), "<i>h</i>");
    EXPECT_TRUE(both.Attachments().empty());
    EXPECT_EQ(MimeMessage("Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n\r\nx").Header("Subject"), "Grüße");
}

TEST(MimeAttachments, NamesTypesSizesAndBytes) {
    const MimeMessage m(Multipart(
        "multipart/mixed",
        {"Content-Type: text/plain\r\n\r\nbody",
         "Content-Type: application/pdf\r\nContent-Disposition: attachment; filename*=UTF-8''%C3%A9t%C3%A9.pdf\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK",
         "Content-Type: image/png; name=\"../../.bashrc\"\r\nContent-ID: <img1@x>\r\n"
         "Content-Disposition: inline\r\n\r\nPNG",
         "Content-Type: text/plain; name=\"notes.txt\"\r\n\r\nsecond text",
         "Content-Type: message/rfc822\r\n\r\nSubject: inner one\r\n\r\ninner body"}));
    EXPECT_EQ(m.Text(), "body");
    ASSERT_EQ(m.Attachments().size(), 4u);
    const auto& a = m.Attachments();
    EXPECT_EQ(a[0].name, "été.pdf");
    EXPECT_EQ(a[0].type, "application/pdf");
    EXPECT_EQ(a[0].size, 9u);
    EXPECT_EQ(m.AttachmentBytes(0), "%PDF-1.4\n");
    EXPECT_EQ(a[1].name, "bashrc");
    EXPECT_EQ(a[1].contentId, "img1@x");
    EXPECT_TRUE(a[1].isInline);
    EXPECT_FALSE(a[0].isInline);
    EXPECT_EQ(a[2].name, "notes.txt");
    EXPECT_EQ(m.AttachmentBytes(2), "second text");
    EXPECT_EQ(a[3].type, "message/rfc822");
    const std::string inner = m.AttachmentBytes(3);
    EXPECT_NE(inner.find("inner one"), std::string::npos);
    EXPECT_EQ(a[3].size, inner.size());
    EXPECT_EQ(m.AttachmentBytes(4), "");
    EXPECT_FALSE(m.Truncated());
}

TEST(MimeHostile, BoundedAndClean) {
    std::string deep = "Subject: deep\r\n";
    for (int i = 0; i < 5000; ++i) {
        const std::string b = "b" + std::to_string(i);
        deep += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n--" + b + "\r\n";
    }
    deep += "Content-Type: text/plain\r\n\r\nbottom\r\n";
    std::vector<std::string> many(MimeMessage::kMaxParts + 500, "Content-Type: application/x-y\r\n\r\nz");
    const std::string bigText =
        "Subject: big\r\nContent-Transfer-Encoding: base64\r\n\r\n" + std::string(2 * MimeMessage::kMaxTextBytes, 'Q');
    const struct {
        std::string bytes;
        bool truncated;
    } cases[] = {
        {deep, true},
        {Multipart("multipart/mixed", many), true},
        {bigText, true},
        {"", false},
        {std::string(100, '\0'), false},
        {"Content-Type: multipart/mixed; boundary=\"\"\r\n\r\n--\r\n--\r\n", false},
        {Multipart("multipart/mixed", {"Content-Type: text/plain; charset=\"\x01\xff\"\r\n\r\n\xc3"}, false), false},
    };
    for (const auto& c : cases) {
        const MimeMessage m(c.bytes);
        EXPECT_EQ(m.Truncated(), c.truncated) << c.bytes.substr(0, 60);
        EXPECT_TRUE(ShowsCleanly(m.Text()));
        EXPECT_LE(m.Text().size(), 3 * MimeMessage::kMaxTextBytes);
        EXPECT_LE(m.Attachments().size(), MimeMessage::kMaxParts);
    }
    // A base64 attachment: size read without keeping it, bytes on demand.
    const std::string big(6u << 20, 'A');
    const MimeMessage m(Multipart(
        "multipart/mixed", {"Content-Type: application/zip\r\nContent-Transfer-Encoding: base64\r\n\r\n" + big}));
    ASSERT_EQ(m.Attachments().size(), 1u);
    EXPECT_EQ(m.Attachments()[0].size, big.size() / 4 * 3);
    EXPECT_EQ(m.AttachmentBytes(0).size(), big.size() / 4 * 3);
}

TEST(HtmlText, ReadableText) {
    const Case cases[] = {
        {"<p>Hello&nbsp;<b>World</b></p><p>Next</p>", "Hello World\n\nNext"},
        {"a<br>b<br><br><br>c", "a\nb\n\nc"},
        {"<head><title>t</title><style>p{}</style></head><script>x<y</script>text", "text"},
        {"<ul><li>one</li><li>two</li></ul>", "- one\n- two"},
        {"&lt;tag&gt; &amp; &#233;&#xE9; &euro; &bogus; &#0;&#127;&#x85; a & b",
         "<tag> & éé € &bogus; \uFFFD\uFFFD\uFFFD a & b"},
        {"x <!-- hidden --> y   z\n\n w", "x y z w"},
        {"<pre>a  b\nc</pre>", "a  b\nc"},
        {"<a href='x>y'>link</a> 1 < 2", "link 1 < 2"},
        {"<p>cut <b", "cut"},
        {"<script>never closed", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(HtmlToText(c.raw), c.shown) << c.raw;
    // Linear on runs that never end an entity or a tag.
    for (const char* unit : {"&", "&#", "<a", "<!--", "&nbsp;<br>"}) {
        std::string run;
        for (int i = 0; i < (1 << 20); ++i) run += unit;
        EXPECT_LE(HtmlToText(run).size(), run.size()) << unit;
    }
}

}  // namespace
}  // namespace velto
