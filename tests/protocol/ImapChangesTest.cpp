// The IMAP changes the user asks for, as scripted conversations: marking
// read, finding the Trash, and moving there with MOVE, or with COPY and an
// expunge of exactly the moved UIDs, or flagged only without UIDPLUS.
#include <gtest/gtest.h>

#include <functional>

#include "protocol/ImapMail.h"
#include "support/FakeTransport.h"
#include "support/RecordingLogSink.h"

namespace velto {
namespace {

using test::RecordingLogSink;
using test::ScriptedTransportFactory;

// The folder as a check leaves it: examined, read-only, UIDVALIDITY 7.
const std::string kExamined =
    "C: a1 EXAMINE \"INBOX\"\nS: * OK [UIDVALIDITY 7] ok\nS: a1 OK [READ-ONLY] done\n";
const std::string kSelected = "C: a2 SELECT \"INBOX\"\nS: * OK [UIDVALIDITY 7] ok\nS: a2 OK [READ-WRITE] done\n";

std::string Move(CImapMail& imap, const std::string& to) {
    bool gone = false;
    const bool ok = imap.MoveTo({9, 5, 5}, to, gone);
    return std::string(ok ? "ok" : "failed") + (gone ? " gone" : " kept");
}

TEST(ImapChanges, MoveCopyAndMarkRead) {
    struct Row {
        const char* name;
        const char* capabilities;
        std::string script;  // after the EXAMINE
        std::function<std::string(CImapMail&)> act;
        std::string want;
    } rows[] = {
        {"MOVE where offered", "IMAP4rev1 MOVE UIDPLUS",
         kSelected + "C: a3 UID MOVE 5,9 \"Deleted Items\"\nS: a3 OK moved\n",
         [](CImapMail& m) { return Move(m, "Deleted Items"); }, "ok gone"},
        {"COPY, then exactly those UIDs flagged and expunged", "IMAP4rev1 UIDPLUS",
         kSelected +
             "C: a3 UID COPY 5,9 \"Trash\"\nS: a3 OK copied\n"
             "C: a4 UID STORE 5,9 +FLAGS.SILENT (\\\\Deleted)\nS: a4 OK done\n"
             "C: a5 UID EXPUNGE 5,9\nS: * 3 EXPUNGE\nS: * 1 EXPUNGE\nS: a5 OK done\n",
         [](CImapMail& m) { return Move(m, "Trash"); }, "ok gone"},
        {"without UIDPLUS the originals stay flagged", "IMAP4rev1",
         kSelected +
             "C: a3 UID COPY 5,9 \"Trash\"\nS: a3 OK copied\n"
             "C: a4 UID STORE 5,9 +FLAGS.SILENT (\\\\Deleted)\nS: a4 OK done\n",
         [](CImapMail& m) { return Move(m, "Trash"); }, "ok kept"},
        {"a refused copy touches nothing", "IMAP4rev1 UIDPLUS",
         kSelected + "C: a3 UID COPY 5,9 \"Trash\"\nS: a3 NO [OVERQUOTA] full\n",
         [](CImapMail& m) { return Move(m, "Trash"); }, "failed kept"},
        {"a folder recreated meanwhile is not changed", "IMAP4rev1 MOVE",
         "C: a2 SELECT \"INBOX\"\nS: * OK [UIDVALIDITY 8] ok\nS: a2 OK [READ-WRITE] done\n",
         [](CImapMail& m) { return Move(m, "Trash"); }, "failed kept"},
        {"a Trash name in modified UTF-7", "IMAP4rev1 MOVE",
         kSelected + "C: a3 UID MOVE 5,9 \"Papierkorb &AOQ-\"\nS: a3 OK moved\n",
         [](CImapMail& m) { return Move(m, "Papierkorb ä"); }, "ok gone"},
        {"marked read", "IMAP4rev1",
         kSelected + "C: a3 UID STORE 3:4,8 +FLAGS (\\\\Seen)\nS: * 1 FETCH (FLAGS (\\\\Seen))\nS: a3 OK done\n",
         [](CImapMail& m) { return std::string(m.MarkSeen({8, 4, 3}) ? "ok" : "failed"); }, "ok"},
        {"the Trash by its special use", "IMAP4rev1",
         "C: a2 LIST \"\" \"*\"\nS: * LIST (\\\\HasNoChildren) \".\" \"INBOX\"\n"
         "S: * LIST (\\\\HasNoChildren) \".\" \"Trash\"\n"
         "S: * LIST (\\\\HasNoChildren \\\\Trash) \".\" \"Deleted Items\"\nS: a2 OK done\n",
         [](CImapMail& m) {
             std::string trash;
             return m.FindTrash(trash) ? trash : "none";
         },
         "Deleted Items"},
        {"else one named Trash below INBOX", "IMAP4rev1",
         "C: a2 LIST \"\" \"*\"\nS: * LIST (\\\\HasChildren) \".\" \"INBOX\"\n"
         "S: * LIST (\\\\HasNoChildren) \".\" \"INBOX.Trash\"\nS: a2 OK done\n",
         [](CImapMail& m) {
             std::string trash;
             return m.FindTrash(trash) ? trash : "none";
         },
         "INBOX.Trash"},
        {"no Trash", "IMAP4rev1",
         "C: a2 LIST \"\" \"*\"\nS: * LIST () \".\" \"INBOX\"\nS: * LIST (\\\\Noselect \\\\Trash) \".\" \"Bin\"\n"
         "S: a2 OK done\n",
         [](CImapMail& m) {
             std::string trash;
             return m.FindTrash(trash) ? trash : "none";
         },
         "none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto server = std::make_shared<ScriptedTransportFactory>(std::string("S: * OK [CAPABILITY ") +
                                                                 row.capabilities + "] ready\n" + kExamined +
                                                                 row.script);
        RecordingLogSink log;
        CImapMail imap(&log, server);
        ASSERT_TRUE(imap.Connect("mail.example.com", 143));
        ImapFolderState state;
        ASSERT_TRUE(imap.Examine("INBOX", state));
        EXPECT_EQ(row.act(imap), row.want);
        EXPECT_EQ(server->Problems(), "");
    }
}

}  // namespace
}  // namespace velto
