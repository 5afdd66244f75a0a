// The reply prepared from a message, and the MIME encodings a reply uses.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QStringDecoder>

#include "present/MimeEncoding.h"
#include "present/ReplyText.h"

namespace velto {
namespace {

TEST(ReplyText, RecipientSubjectAndQuoteFollowTheRules) {
    struct Row {
        const char* from;
        const char* recipient;
    };
    const Row rows[] = {
        {"Ann Smith <ann@example.com>", "ann@example.com"},
        {"ann@example.com", "ann@example.com"},                          // no brackets: the whole From
        {"<ann@example.com> (Ann at work)", "ann@example.com (Ann at work)"},  // only the ">" goes
        {"A <a@x> B <b@y>", "a@x B "},                                   // up to the second "<"
        {"Odd <>", ">"},              // a ">" first is not removed, so something is left
        {"Odd <", "Odd <"},           // nothing after "<": the whole From
        {"", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(ReplyRecipient(r.from), r.recipient) << r.from;

    EXPECT_EQ(ReplySubject("Re: lunch"), "Re: Re: lunch");
    EXPECT_EQ(ReplySubject(""), "Re: ");

    EXPECT_EQ(QuoteBody("first\r\n\r\nsecond\r\n"), ">first\r\n>second\r\n");
    EXPECT_EQ(QuoteBody("lf only\nlast, no end"), ">lf only\r\n>last, no end\r\n");
    EXPECT_EQ(QuoteBody(""), "");
    EXPECT_EQ(QuoteBody("\r\n\r\n"), "");
}

// Decodes what EncodeHeaderWords wrote, checking the form of every word.
std::string DecodeWords(const std::string& encoded) {
    std::string out;
    std::size_t start = 0;
    while (start < encoded.size()) {
        std::size_t end = encoded.find("\r\n ", start);
        if (end == std::string::npos) end = encoded.size();
        const std::string word = encoded.substr(start, end - start);
        EXPECT_LE(word.size(), 64u) << word;
        EXPECT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
        EXPECT_EQ(word.substr(word.size() - 2), "?=") << word;
        const QByteArray bytes = QByteArray::fromBase64(QByteArray::fromStdString(word.substr(10, word.size() - 12)));
        // Each word holds whole characters.
        QStringDecoder utf8(QStringDecoder::Utf8);
        (void)utf8.decode(bytes);
        EXPECT_FALSE(utf8.hasError()) << word;
        out += bytes.toStdString();
        start = end + 3;
    }
    return out;
}

TEST(MimeEncoding, HeaderWordsCarryTheTextInWholeCharacters) {
    EXPECT_TRUE(IsAscii("Re: plain"));
    EXPECT_FALSE(IsAscii("Re: caf\xC3\xA9"));
    EXPECT_EQ(EncodeHeaderWords("Re: caf\xC3\xA9"), "=?UTF-8?B?UmU6IGNhZsOp?=");
    // Long text of two- and three-byte characters spreads over several words.
    std::string longText;
    for (int i = 0; i < 30; ++i) longText += "\xC3\xA9\xE2\x82\xAC";
    const std::string encoded = EncodeHeaderWords(longText);
    EXPECT_NE(encoded.find("\r\n "), std::string::npos);
    EXPECT_EQ(DecodeWords(encoded), longText);
}

TEST(MimeEncoding, QuotedPrintableRows) {
    struct Row {
        std::string in, out;
    };
    const Row rows[] = {
        {"caf\xC3\xA9\r\n", "caf=C3=A9\r\n"},
        {"a=b", "a=3Db"},
        {"space at end \r\ntab\t\nkept in middle", "space at end=20\r\ntab=09\r\nkept in middle"},
        {"lone\rcr", "lone\r\ncr"},
        {".dot line", ".dot line"},  // the SMTP client adds the transparency dot
    };
    for (const Row& r : rows) EXPECT_EQ(EncodeQuotedPrintable(r.in), r.out) << r.in;

    // A long line is broken softly within 76 characters, an escape never split.
    std::string longLine;
    for (int i = 0; i < 100; ++i) longLine += "x\xC3\xA9";
    const std::string qp = EncodeQuotedPrintable(longLine);
    std::string joined;
    std::size_t start = 0;
    while (start <= qp.size()) {
        std::size_t end = qp.find("\r\n", start);
        if (end == std::string::npos) end = qp.size();
        std::string line = qp.substr(start, end - start);
        EXPECT_LE(line.size(), 76u);
        if (end != qp.size()) {
            ASSERT_EQ(line.back(), '=');
            line.pop_back();
        }
        joined += line;
        start = end + 2;
    }
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += "x=C3=A9";
    EXPECT_EQ(joined, expected);
}

}  // namespace
}  // namespace velto
