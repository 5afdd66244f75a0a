#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "protocol/MailHeader.h"

namespace velto {
namespace {

CMailHeader Parsed(const std::string& text) {
    CMailHeader h;
    h.ParseHeader(text);
    return h;
}

MailDate DateOf(const std::string& value, bool* ok = nullptr) {
    CMailHeader h;
    h.m_date = value;
    MailDate d;
    const bool read = h.GetDate(d);
    if (ok) *ok = read;
    return d;
}

bool DateReads(const std::string& value) {
    bool ok = false;
    DateOf(value, &ok);
    return ok;
}

// Runs a test body with the process time zone set, and puts it back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) m_old = old, m_had = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_had) setenv("TZ", m_old.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

TEST(MailHeaderParse, MatchesNamesAsTheListAndReplyNeedThem) {
    const std::string text =
        "Return-Path: <a@x.org>\r\n"
        "Received: from mx.x.org by pop.y.org;\r\n"
        "\tMon, 7 Dec 1998 14:05:09 -0500\r\n"
        "From: a\r\n"
        "Sender: b\r\n"
        "subject:   Hello  \r\n"
        "TO: first@y.org\r\n"
        "Recipients: second@y.org\r\n"
        "X-Mailer: Something 1.0\r\n"
        "Content-Type: text/plain;\r\n"
        "\tcharset=us-ascii\r\n"
        "Subject : not a subject line\r\n"
        "a line without colon\r\n"
        ".\r\n";
    const CMailHeader h = Parsed(text);
    EXPECT_EQ(h.m_returnPath, "<a@x.org>");
    EXPECT_EQ(h.m_received, "from mx.x.org by pop.y.org;");  // folded tail dropped
    EXPECT_EQ(h.m_from, "b");                                // later line of the group wins
    EXPECT_EQ(h.m_subject, "Hello");                         // lower case, trimmed; "Subject :" ignored
    EXPECT_EQ(h.m_to, "second@y.org");
    EXPECT_EQ(h.m_mailer, "");                               // X-Mailer is not Mailer
    EXPECT_EQ(h.m_contentType, "text/plain;");
    EXPECT_EQ(h.m_rawHeader, text);                          // kept byte for byte
    EXPECT_EQ(Parsed("Mailer: M 2\r\n").m_mailer, "M 2");
    EXPECT_EQ(Parsed("Subject: Re: lunch\r\n").m_subject, "Re: lunch");
    EXPECT_EQ(Parsed("Content-Transfer-Encoding:\t7bit \r\n").m_transferEncoding, "7bit");
}

// The from field whole is the field the parsed record keeps the first line
// of: the last of Sender:, Originator: and From:, its folded lines joined.
TEST(MailHeaderParse, TheWholeFromFieldIsTheOneTheRecordChooses) {
    struct Row {
        const char* name;
        std::string header, whole;
    } rows[] = {
        {"From alone, folded", "From: \"Ann\r\n Smith\" <a@x.org>\r\n", "\"Ann Smith\" <a@x.org>"},
        {"Sender after From", "From: Ann <a@x.org>\r\nSender: Bob <b@x.org>\r\n", "Bob <b@x.org>"},
        {"From after Sender", "Sender: Bob <b@x.org>\r\nFrom: Ann <a@x.org>\r\n", "Ann <a@x.org>"},
        {"folded Sender after From", "From: a@x.org\r\nsender: \"Bob\r\n\tB.\" <b@x.org>\r\nSubject: s\r\n",
         "\"Bob\tB.\" <b@x.org>"},
        {"Originator last", "Sender: b@x.org\r\nFrom: a@x.org\r\nOriginator: o@x.org\r\n", "o@x.org"},
        {"X-Sender is no Sender", "From: a@x.org\r\nX-Sender: x@x.org\r\n", "a@x.org"},
        {"none", "Subject: s\r\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const CMailHeader h = Parsed(row.header);
        EXPECT_EQ(h.UnfoldedFrom(), row.whole);
        // The parsed field is its first line.
        EXPECT_EQ(row.whole.substr(0, h.m_from.size()), h.m_from);
    }
    CMailHeader noRaw;  // a record without its raw header shows the parsed field
    noRaw.m_from = "parsed@x.org";
    EXPECT_EQ(noRaw.UnfoldedFrom(), "parsed@x.org");
}

TEST(MailHeaderParse, AnyRunOfLineBreaksSplitsLines) {
    const CMailHeader h = Parsed("\n\nSubject: lf only\nDate: 1 Jan 2000\rStatus: RO\r\r\n\nUIDL: u1");
    EXPECT_EQ(h.m_subject, "lf only");
    EXPECT_EQ(h.m_date, "1 Jan 2000");
    EXPECT_EQ(h.m_status, "RO");
    EXPECT_EQ(h.m_uidl, "u1");  // last line needs no break
}

TEST(MailHeaderParse, ParsingAgainForgetsTheEarlierMessage) {
    CMailHeader h;
    h.ParseHeader("Subject: first\r\nOrganization: Org\r\n");
    h.SetAccountInfo("pop.y.org", "me@y.org", "smtp.y.org");
    h.ParseHeader("From: other\r\n");
    EXPECT_EQ(h.m_subject, "");
    EXPECT_EQ(h.m_organization, "");
    EXPECT_EQ(h.m_from, "other");
    EXPECT_EQ(h.m_accountAddress, "me@y.org");  // account values are not header fields
    // Parsing one of its own fields must not read freed text.
    h.m_subject = "Subject: self";
    h.ParseHeader(h.m_subject);
    EXPECT_EQ(h.m_subject, "self");
    EXPECT_EQ(h.m_rawHeader, "Subject: self");
}

TEST(MailHeaderRecord, ResetAndIdentity) {
    CMailHeader h = Parsed("Subject: s\r\n");
    h.SetMessageInfo(7, 0x1234u, 900);
    h.SetAccountInfo("srv", "addr", "out");
    EXPECT_EQ(h.m_accountServer, "srv");
    EXPECT_EQ(h.m_accountAddress, "addr");
    EXPECT_EQ(h.m_accountOutgoing, "out");
    EXPECT_TRUE(h.MatchesHash(0x1234u));
    EXPECT_FALSE(h.MatchesHash(0x1235u));
    h.Reset();
    EXPECT_EQ(h.m_subject, "");
    EXPECT_EQ(h.m_accountServer, "");
    EXPECT_EQ(h.m_rawHeader, "");
    EXPECT_EQ(h.m_size, -1);
    EXPECT_EQ(h.m_messageNumber, -1);
    EXPECT_EQ(h.m_uidlHash, 0xFFFFFFFFu);
}

TEST(MailHeaderDate, ReadsTheDateForms) {
    MailDate d = DateOf("Mon, 7 Dec 1998 14:05:09 -0500");
    EXPECT_EQ(d.Format(), "12/07/1998 14:05:09");
    d = DateOf("7 Dec 98 14:05");
    EXPECT_EQ(d.Format(), "12/07/1998 14:05:00");
    d = DateOf("wed, 01 jan 2003");  // any case, no time
    EXPECT_EQ(d.Format(), "01/01/2003 00:00:00");
    EXPECT_FALSE(DateReads("Monday, 07-Dec-98 14:05:09 GMT"));
    EXPECT_FALSE(DateReads("Mon,  7 Dec 1998 14:05:09"));  // two spaces: an empty day, month "7"
    EXPECT_FALSE(DateReads("7 December 1998"));
    EXPECT_FALSE(DateReads("7 Dec"));          // no year
    EXPECT_FALSE(DateReads("7 Dec nineteen"));
    EXPECT_FALSE(DateReads(""));
}

TEST(MailHeaderDate, YearsAsMailStandardsReadThem) {
    EXPECT_EQ(DateOf("1 Jan 05").year, 2005);
    EXPECT_EQ(DateOf("1 Jan 00").year, 2000);
    EXPECT_EQ(DateOf("1 Jan 49").year, 2049);
    EXPECT_EQ(DateOf("1 Jan 50").year, 1950);
    EXPECT_EQ(DateOf("1 Jan 105").year, 2005);  // three digits: + 1900
    // Outside the old 32-bit range.
    EXPECT_EQ(DateOf("1 Jan 1900 00:00:00").Format(), "01/01/1900 00:00:00");
    EXPECT_EQ(DateOf("31 Dec 1969 23:59:59").Format(), "12/31/1969 23:59:59");
    EXPECT_EQ(DateOf("1 Mar 2100 12:00:00").Format(), "03/01/2100 12:00:00");
    EXPECT_EQ(DateOf("31 Dec 9999 23:59:59").Format(), "12/31/9999 23:59:59");
    EXPECT_FALSE(DateReads("1 Jan 1899"));
    EXPECT_FALSE(DateReads("1 Jan 10000"));
    EXPECT_FALSE(DateReads("99999999 Dec 9999"));  // rolls past 9999
}

TEST(MailHeaderDate, TimeValueIsSixtyFourBitSecondsInLocalTime) {
    {
        ScopedTimeZone utc("UTC");
        EXPECT_EQ(DateOf("Mon, 7 Dec 1998 14:05:09 -0500").time, 913039509);  // the zone field is ignored
        EXPECT_EQ(DateOf("1 Jan 1900").time, -2208988800LL);
        EXPECT_EQ(DateOf("31 Dec 9999 23:59:59").time, 253402300799LL);
        // Out-of-range parts roll over as the calendar does.
        EXPECT_EQ(DateOf("0 Mar 2000 24:00:00").Format(), "03/01/2000 00:00:00");
    }
    ScopedTimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(DateOf("1 Jan 2001 12:00:00").time, 978346800);  // 11:00 UTC
    EXPECT_EQ(DateOf("1 Jul 2001 12:00:00").time, 993981600);  // summer: 10:00 UTC
}

TEST(MailHeaderDate, SafeOnManyThreadsAtOnce) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Mon, 7 Dec 1998 14:05:09 -0500", "12/07/1998 14:05:09"},
        {"2 Feb 03 01:02:03", "02/02/2003 01:02:03"},
        {"Sun, 31 Aug 1975 23:59:58 GMT", "08/31/1975 23:59:58"},
        {"15 Nov 2061 06:30", "11/15/2061 06:30:00"},
    };
    std::vector<int> wrong(cases.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < cases.size(); ++t) {
        threads.emplace_back([&, t] {
            CMailHeader h;
            h.m_date = cases[t].first;
            for (int i = 0; i < 2000; ++i) {
                MailDate d;
                if (!h.GetDate(d) || d.Format() != cases[t].second) ++wrong[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (std::size_t t = 0; t < cases.size(); ++t) EXPECT_EQ(wrong[t], 0) << cases[t].first;
}

std::string Le32(std::uint32_t v) {
    return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
}

TEST(MailHeaderRecord, EncodingIsTheLittleEndianLayout) {
    CMailHeader h;
    h.ParseHeader("Subject: Hi\r\nFrom: a@x.org\r\n");
    h.SetMessageInfo(3, 0xA1B2C3D4u, 1234);
    h.SetAccountInfo("pop.x.org", "me@x.org", "smtp.x.org");
    std::string out = "prefix";
    h.Write(out);
    const std::string expected = "prefix" + Le32(0xA1B2C3D4u) + Le32(1234) + Le32(8) + Le32(9) + Le32(10) +
                                 Le32(28) + "me@x.orgpop.x.orgsmtp.x.orgSubject: Hi\r\nFrom: a@x.org\r\n";
    EXPECT_EQ(out, expected);

    CMailHeader fresh;
    std::size_t pos = 6;
    ASSERT_TRUE(fresh.Read(out.data(), out.size(), pos));
    EXPECT_EQ(pos, out.size());
    EXPECT_EQ(fresh.m_uidlHash, 0xA1B2C3D4u);
    EXPECT_EQ(fresh.m_size, 1234);
    EXPECT_EQ(fresh.m_messageNumber, -1);  // not stored
    EXPECT_EQ(fresh.m_accountServer, "pop.x.org");
    EXPECT_EQ(fresh.m_accountAddress, "me@x.org");
    EXPECT_EQ(fresh.m_accountOutgoing, "smtp.x.org");
    EXPECT_EQ(fresh.m_rawHeader, h.m_rawHeader);
    EXPECT_EQ(fresh.m_subject, "Hi");
    EXPECT_EQ(fresh.m_from, "a@x.org");
}

TEST(MailHeaderRecord, EmptyRecordIsTwentyFourBytes) {
    std::string out;
    CMailHeader().Write(out);
    EXPECT_EQ(out, Le32(0xFFFFFFFFu) + Le32(0xFFFFFFFFu) + std::string(16, '\0'));
    CMailHeader back = Parsed("Subject: stale\r\n");
    back.m_messageNumber = 5;
    std::size_t pos = 0;
    ASSERT_TRUE(back.Read(out.data(), out.size(), pos));
    EXPECT_EQ(pos, 24u);
    EXPECT_EQ(back.m_size, -1);
    EXPECT_EQ(back.m_subject, "");  // re-parsed from the empty raw header
    EXPECT_EQ(back.m_messageNumber, 5);
}

TEST(MailHeaderRecord, LengthsThatDoNotFitAreRefused) {
    const std::string good = Le32(1) + Le32(2) + Le32(1) + Le32(1) + Le32(1) + Le32(3) + "abcxyz";
    const std::vector<std::string> bad = {
        good.substr(0, 23),                                                     // head cut short
        good.substr(0, good.size() - 1),                                        // text cut short
        Le32(1) + Le32(2) + Le32(0xFFFFFFFFu) + Le32(0) + Le32(0) + Le32(0),    // huge length
        Le32(1) + Le32(2) + Le32(0x80000000u) + Le32(0x80000000u) + Le32(0) + Le32(0) + "x",  // sums past 32 bits
        Le32(1) + Le32(2) + Le32(0) + Le32(0) + Le32(0) + Le32(CMailHeader::kMaxTextBytes + 1),
    };
    for (const auto& data : bad) {
        CMailHeader h = Parsed("Subject: kept\r\n");
        std::size_t pos = 0;
        EXPECT_FALSE(h.Read(data.data(), data.size(), pos));
        EXPECT_EQ(pos, 0u);
        EXPECT_EQ(h.m_subject, "kept");
    }
    CMailHeader h;
    std::size_t pos = 0;
    EXPECT_TRUE(h.Read(good.data(), good.size(), pos));
    EXPECT_EQ(h.m_rawHeader, "xyz");
    pos = good.size() + 1;  // a position past the end is refused too
    EXPECT_FALSE(h.Read(good.data(), good.size(), pos));
}

TEST(MailHeaderRecord, OversizedHeaderIsCutSoItStillReadsBack) {
    CMailHeader h;
    h.SetAccountInfo("s", "a", "o");
    h.m_rawHeader.assign(CMailHeader::kMaxTextBytes + 100, 'x');
    std::string out;
    h.Write(out);
    EXPECT_EQ(out.size(), CMailHeader::kHeadSize + CMailHeader::kMaxTextBytes);
    CMailHeader back;
    std::size_t pos = 0;
    ASSERT_TRUE(back.Read(out.data(), out.size(), pos));
    EXPECT_EQ(back.m_accountOutgoing, "o");
    EXPECT_EQ(back.m_rawHeader.size(), CMailHeader::kMaxTextBytes - 3);
}

}  // namespace
}  // namespace velto
