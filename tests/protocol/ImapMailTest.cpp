// IMAP client: the reader's hard cases and the session's refusals as
// scripted conversations (exact packets, in-process), and folder names
// through modified UTF-7. The run against a real Dovecot goes through the
// engine's check (tests/engine).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "protocol/ImapMail.h"
#include "support/FakeTransport.h"
#include "support/MailTestKit.h"
#include "support/RecordingLogSink.h"

namespace velto {
namespace {

using test::PassThroughTls;
using test::RecordingLogSink;
using test::ScriptedTransportFactory;

// base64 of "user=ann@example.com^Aauth=Bearer tok^A^A".
const std::string kXOAuth2 = "dXNlcj1hbm5AZXhhbXBsZS5jb20BYXV0aD1CZWFyZXIgdG9rAQE=";
const std::string kGreeting = "S: * OK [CAPABILITY IMAP4rev1 IDLE] ready\n";

struct Row {
    const char* name;
    bool tls;
    std::string script;  // after the greeting line, if it is not given
    // Runs the case; returns what it got, compared with want.
    std::function<std::string(CImapMail&)> act;
    std::string want;
    int error;       // GetLastSocketError() after it
    bool connected;  // the connection still up after it
    ImapLimits limits = {};
};

std::string Flag(bool ok) { return ok ? "ok" : "failed"; }

std::string Idle(CImapMail& imap) {
    ImapIdleNews news;
    const bool ok = imap.Idle(60'000, news);
    return Flag(ok) + (news.exists ? " exists " + std::to_string(news.count) : "") + (news.bye ? " bye" : "") +
           (news.timeUp ? " time up" : "");
}

std::string Fetch(CImapMail& imap, std::uint32_t uid) {
    std::string text;
    return imap.FetchMessage(uid, text) ? text : "failed";
}

std::string Headers(CImapMail& imap, std::vector<std::uint32_t> uids) {
    std::string got;
    const bool ok = imap.FetchHeaders(uids, [&](std::uint32_t uid, CMailHeader& record) {
        got += std::to_string(uid) + ":" + std::to_string(record.m_size) + ":" + record.m_subject + " ";
        return true;
    });
    return got + Flag(ok);
}

TEST(ImapConversation, HardCases) {
    ImapLimits small;
    small.literal = 16;
    small.untagged = 5;
    small.depth = 3;
    small.line = 200;
    // Lines within the line bound, each announcing an empty literal: only
    // lines, yet past the default bound of one response by the last.
    std::string zeroLiterals = "C: a1 NOOP\n";
    for (std::size_t length : {1'040'000, 1'040'000, 20'000})
        zeroLiterals += "S: * 1 FETCH (X " + std::string(length, 'z') + " {0}\n";
    // Over a million UIDs in SEARCH lines of a megabyte each.
    std::string searchFlood = "C: a1 UID SEARCH UNSEEN UNDELETED\n";
    for (int i = 0; i < 3; ++i) {
        searchFlood += "S: * SEARCH";
        for (int k = 0; k < 500'000; ++k) searchFlood += " 7";
        searchFlood += "\n";
    }
    searchFlood += "S: a1 OK done\n";
    const Row rows[] = {
        {"SEARCH past a million UIDs", false, searchFlood,
         [](CImapMail& m) {
             std::vector<std::uint32_t> uids;
             const bool ok = m.SearchUnseen(uids);
             return Flag(ok) + " " + std::to_string(uids.size());
         },
         "failed 0", localerr::kResponseTooLong, false},
        {"zero-length literals chained past the response bound", false, zeroLiterals,
         [](CImapMail& m) { return Flag(m.Noop()); }, "failed", localerr::kResponseTooLong, false},
        {"a flood of continuations", false, "C: a1 NOOP\nS: + a\nS: + b\nS: + c\nS: + d\nS: + e\nS: + f\n",
         [](CImapMail& m) { return Flag(m.Noop()); }, "failed", localerr::kResponseTooLong, false, small},
        {"a flood of other commands' tags", false,
         "C: a1 NOOP\nS: x1 OK a\nS: x2 OK b\nS: x3 NO c\nS: x4 OK d\nS: x5 BAD e\nS: x6 OK f\n",
         [](CImapMail& m) { return Flag(m.Noop()); }, "failed", localerr::kResponseTooLong, false, small},
        {"literal split across packets", false,
         "C: a1 UID FETCH 7 (BODY.PEEK[])\nS- * 1 FETCH (UID 7 BODY[] {11}\\r\\nHel\nS- lo \nS- world)\\r\\n\nS: a1 OK done\n",
         [](CImapMail& m) { return Fetch(m, 7); }, "Hello world", 0, true},
        {"non-synchronising literal", false,
         "C: a1 UID FETCH 7 (BODY.PEEK[])\nS- * 1 FETCH (UID 7 BODY[] {5+}\\r\\n(a)\\r\\n)\\r\\n\nS: a1 OK done\n",
         [](CImapMail& m) { return Fetch(m, 7); }, "(a)\r\n", 0, true},
        {"literal larger than the bound", false,
         "C: a1 UID FETCH 3 (UID RFC822.SIZE BODY.PEEK[HEADER])\nS: * 1 FETCH (UID 3 BODY[HEADER] {17}\n",
         [](CImapMail& m) { return Headers(m, {3}); }, "failed", localerr::kResponseTooLong, false, small},
        {"line longer than the bound", false, "C: a1 NOOP\nS: * " + std::string(300, 'x') + "\n",
         [](CImapMail& m) { return Flag(m.Noop()); }, "failed", localerr::kReplyTooLong, false, small},
        {"lists nested deeper than the bound", false, "C: a1 NOOP\nS: * 1 FETCH ((((1))))\n",
         [](CImapMail& m) { return Flag(m.Noop()); }, "failed", localerr::kResponseTooLong, false, small},
        {"an EXISTS storm", false,
         "C: a1 NOOP\nS: * 1 EXISTS\nS: * 2 EXISTS\nS: * 3 EXISTS\nS: * 4 EXISTS\nS: * 5 EXISTS\nS: * 6 EXISTS\n",
         [](CImapMail& m) { return Flag(m.Noop()); }, "failed", localerr::kResponseTooLong, false, small},
        {"tagged NO to EXAMINE", false, "C: a1 EXAMINE \"Nope\"\nS: a1 NO [NONEXISTENT] no such folder\n",
         [](CImapMail& m) {
             ImapFolderState state;
             return Flag(m.Examine("Nope", state)) + " " + m.OpenFolder();
         },
         "failed ", 0, true},
        {"EXAMINE takes its numbers", false,
         "C: a1 EXAMINE \"INBOX\"\nS: * 172 EXISTS\nS: * OK [UIDVALIDITY 3857529045] UIDs valid\n"
         "S: * OK [UIDNEXT 4392] next\nS: a1 OK [READ-ONLY] done\n",
         [](CImapMail& m) {
             ImapFolderState s;
             const bool ok = m.Examine("INBOX", s);
             return Flag(ok) + " " + std::to_string(s.uidValidity) + " " + std::to_string(s.exists) + " " +
                    std::to_string(s.uidNext) + (s.readOnly ? " ro" : " rw");
         },
         "ok 3857529045 172 4392 ro", 0, true},
        {"IDLE wakes on EXISTS", false, "C: a1 IDLE\nS: + idling\nS: * 9 EXISTS\nC: DONE\nS: a1 OK done\n", Idle,
         "ok exists 9", 0, true},
        {"BYE during IDLE", false, "C: a1 IDLE\nS: + idling\nS: * BYE shutting down\n", Idle, "failed bye", 0,
         false},
        {"no answer to DONE", false, "C: a1 IDLE\nS: + idling\nsilence\nC: DONE\nsilence\n", Idle, "failed time up",
         wsa::kTimedOut, false},
        {"LOGINDISABLED refuses LOGIN", false, "",
         [](CImapMail& m) { return Flag(m.Login("ann", "s3cret", true)); }, "failed", localerr::kLoginDisabled, true},
        {"a password in clear only when allowed", false, "",
         [](CImapMail& m) { return Flag(m.Login("ann", "s3cret")); }, "failed", localerr::kPasswordNeedsTls, true},
        // A quote in the password is escaped, so it cannot end the argument early.
        {"LOGIN in clear when allowed", false, std::string(R"(C: a1 LOGIN "ann" "s3\\\"cret")") + "\nS: a1 OK logged in\n",
         [](CImapMail& m) {
             const std::string got = Flag(m.Login("ann", "s3\"cret", true));
             return got + Flag(m.IsLoggedIn());
         },
         "okok", 0, true},
        {"XOAUTH2 refused then the error code", true,
         "C: a1 AUTHENTICATE XOAUTH2 " + kXOAuth2 +
             "\nS: + eyJzdGF0dXMiOiI0MDEifQ==\nC: \nS: a1 NO [AUTHENTICATIONFAILED] failed\n",
         [](CImapMail& m) { return Flag(m.LoginOAuth("ann@example.com", "tok")); }, "failed",
         localerr::kTokenRefused, true},
        {"a token never in clear", false, "",
         [](CImapMail& m) { return Flag(m.LoginOAuth("ann@example.com", "tok")); }, "failed",
         localerr::kTokenNeedsTls, true},
        {"STARTTLS refused drops the connection", false, "C: a1 STARTTLS\nS: a1 BAD not now\n",
         [](CImapMail& m) {
             PassThroughTls tls;
             return Flag(m.StartTls(tls, {}));
         },
         "failed", localerr::kTlsRefused, false},
        {"headers in one batched command", false,
         "C: a1 UID FETCH 3:4,9 (UID RFC822.SIZE BODY.PEEK[HEADER])\n"
         "S- * 1 FETCH (UID 3 RFC822.SIZE 120 BODY[HEADER] {16}\\r\\nSubject: one\\r\\n\\r\\n)\\r\\n\n"
         "S: * 2 FETCH (FLAGS (\\Seen))\n"
         "S- * 2 FETCH (RFC822.SIZE 80 UID 4 BODY[HEADER] {16}\\r\\nSubject: two\\r\\n\\r\\n)\\r\\n\n"
         "S: a1 OK done\n",
         [](CImapMail& m) { return Headers(m, {9, 4, 3}); }, "3:120:one 4:80:two failed", 0, true},
        {"LIST names, quoted escapes and NIL", false,
         "C: a1 LIST \"\" \"*\"\nS: * LIST (\\HasNoChildren) \"/\" \"Entw&APw-rfe\"\n"
         "S: * LIST (\\\\Noselect \\\\HasChildren) NIL \"[Gmail]\"\nS: * LIST () \"/\" \"a\\\\\\\"b\"\n"
         "S- * LIST () \"/\" {3}\\r\\nx y\\r\\n\nS: a1 OK done\n",
         [](CImapMail& m) {
             std::vector<ImapFolder> folders;
             std::string got = Flag(m.List(folders));
             for (const auto& f : folders) got += " [" + f.name + (f.selectable ? "" : " noselect") + "]";
             return got;
         },
         "ok [Entwürfe] [[Gmail] noselect] [a\"b] [x y]", 0, true},
        // Only a name that reads back as itself, and leads back to its folder,
        // is offered: a line break, NUL, control characters, raw 8-bit text
        // or another spelling of a name are left out.
        {"LIST leaves out names that cannot be kept", false,
         "C: a1 LIST \"\" \"*\"\nS- * LIST () \"/\" {9}\\r\\nevil\\r\\nfoo\\r\\n\n"
         "S: * LIST () \"/\" \"a&AA0ACg-b\"\nS- * LIST () \"/\" {4}\\r\\nn\\0ul\\r\\n\n"
         "S: * LIST () \"/\" \"caf\\xC3\\xA9\"\nS: * LIST () \"/\" \"bell\\x07\"\nS: * LIST () \"/\" \"&AGE-\"\n"
         "S: * LIST () \"/\" \"&AIU-x\"\nS: * LIST () \"/\" \"Entw&APw-rfe\"\nS: a1 OK done\n",
         [](CImapMail& m) {
             std::vector<ImapFolder> folders;
             std::string got = Flag(m.List(folders));
             for (const auto& f : folders) got += " [" + f.name + "]";
             return got;
         },
         "ok [Entwürfe]", 0, true},
        {"delete without UIDPLUS keeps the others", false,
         "C: a1 SELECT \"INBOX\"\nS: * OK [UIDVALIDITY 7] ok\nS: a1 OK [READ-WRITE] done\n"
         "C: a2 UID STORE 5 +FLAGS.SILENT (\\\\Deleted)\nS: a2 OK done\n",
         [](CImapMail& m) {
             ImapFolderState s;
             bool expunged = true;
             const std::string got = Flag(m.Select("INBOX", s) && m.Delete({5}, false, expunged));
             return got + (expunged ? " expunged" : " kept");
         },
         "ok kept", 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool loginDisabled = std::string(row.name).find("LOGINDISABLED") != std::string::npos;
        std::string greeting = kGreeting;
        if (loginDisabled) greeting = "S: * OK [CAPABILITY IMAP4rev1 LOGINDISABLED] ready\n";
        if (row.tls) greeting = "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready\n";
        if (std::string(row.name) == "XOAUTH2 not offered") greeting = kGreeting;
        auto server = std::make_shared<ScriptedTransportFactory>(greeting + row.script);
        RecordingLogSink log;
        CImapMail imap(&log, server);
        imap.SetLimits(row.limits);
        PassThroughTls tls;
        ASSERT_TRUE(row.tls ? imap.ConnectTls("mail.example.com", 993, tls, {}) : imap.Connect("mail.example.com", 143));
        EXPECT_EQ(row.act(imap), row.want);
        EXPECT_EQ(imap.GetLastSocketError(), row.error);
        EXPECT_EQ(imap.IsConnected(), row.connected);
        EXPECT_EQ(server->Problems(), "");
        const std::string text = log.Text();
        EXPECT_EQ(text.find("s3"), std::string::npos) << "a password in the log";
        EXPECT_EQ(text.find(kXOAuth2), std::string::npos) << "a token in the log";
    }
}

TEST(ImapFolderNames, RoundTripThroughModifiedUtf7) {
    const std::pair<std::string, std::string> rows[] = {
        {"INBOX", "INBOX"},
        {"Entwürfe", "Entw&APw-rfe"},
        {"Tom & Jerry", "Tom &- Jerry"},
        {"~peter/mail/台北/日本語", "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"😀 smile", "&2D3eAA- smile"},
        {"Ünïcödé", "&ANw-n&AO8-c&APY-d&AOk-"},
    };
    for (const auto& [utf8, wire] : rows) {
        std::string encoded, decoded;
        EXPECT_TRUE(CImapMail::EncodeFolderName(utf8, encoded));
        EXPECT_EQ(encoded, wire);
        EXPECT_TRUE(CImapMail::DecodeFolderName(wire, decoded));
        EXPECT_EQ(decoded, utf8);
    }
    // Not modified UTF-7: an open shift, a stray 8-bit byte, a lone
    // surrogate, padding bits left set, a character outside the alphabet.
    for (std::string bad : {"&U,BTFw", "caf\xC3\xA9", "&2D0-", "&APx-", "&A/w-"}) {
        std::string out = "kept";
        EXPECT_FALSE(CImapMail::DecodeFolderName(bad, out)) << bad;
        EXPECT_EQ(out, "kept");
    }
    std::string out;
    EXPECT_FALSE(CImapMail::EncodeFolderName("bad \xC3", out));
}

}  // namespace
}  // namespace velto
