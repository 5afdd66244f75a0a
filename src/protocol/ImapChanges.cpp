// The IMAP session's changes that the user asks for: marking read and
// moving to the Trash. Each touches exactly the UIDs it is given, in the
// folder they were found in.
#include <algorithm>

#include "protocol/ImapMail.h"

namespace velto {

namespace {

std::vector<std::uint32_t> Sorted(const std::vector<std::uint32_t>& wanted) {
    std::vector<std::uint32_t> uids = wanted;
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    std::erase(uids, 0u);
    return uids;
}

}  // namespace

bool CImapMail::Writable() {
    if (m_folder.empty()) return false;
    if (!m_state.readOnly) return true;
    // The UIDs were found in the folder as examined; reopened with another
    // UIDVALIDITY they would name other messages.
    const std::uint32_t validity = m_state.uidValidity;
    ImapFolderState state;
    if (!Select(std::string(m_folder), state)) return false;
    if (state.uidValidity != validity) {
        LogLine("The folder changed its UIDVALIDITY; nothing was changed.\r\n");
        return false;
    }
    return !state.readOnly;
}

bool CImapMail::MarkSeen(const std::vector<std::uint32_t>& wanted) {
    const std::vector<std::uint32_t> uids = Sorted(wanted);
    if (uids.empty() || !Writable()) return false;
    return Command("UID STORE " + UidSet(uids.data(), uids.size()) + " +FLAGS (\\Seen)");
}

bool CImapMail::FindTrash(std::string& trash) {
    std::vector<ImapFolder> folders;
    if (!List(folders)) return false;
    const auto marked = std::find_if(folders.begin(), folders.end(),
                                     [](const ImapFolder& f) { return f.trash && f.selectable; });
    if (marked != folders.end()) {
        trash = marked->name;
        return true;
    }
    // Servers without special-use name it so, some below INBOX.
    for (const ImapFolder& f : folders) {
        const bool below = f.delimiter && f.name == std::string("INBOX") + f.delimiter + "Trash";
        if (f.selectable && (f.name == "Trash" || below)) {
            trash = f.name;
            return true;
        }
    }
    return false;
}

bool CImapMail::MoveTo(const std::vector<std::uint32_t>& wanted, const std::string& folder, bool& gone) {
    gone = false;
    const std::vector<std::uint32_t> uids = Sorted(wanted);
    std::string wire;
    if (uids.empty() || !EncodeFolderName(folder, wire) || !ArgumentOk(wire) || !Writable()) return false;
    if (!Capability()) return false;
    const std::string set = UidSet(uids.data(), uids.size());
    if (HasCapability("MOVE")) return gone = Command("UID MOVE " + set + " " + Quote(wire));
    // Copied first: a failed copy leaves the originals untouched.
    if (!Command("UID COPY " + set + " " + Quote(wire))) return false;
    if (!Command("UID STORE " + set + " +FLAGS.SILENT (\\Deleted)")) return false;
    if (!HasCapability("UIDPLUS")) {
        LogLine("Without UIDPLUS an EXPUNGE would also remove other messages marked deleted; "
                "these stay marked until then.\r\n");
        return true;
    }
    return gone = Command("UID EXPUNGE " + set);
}

}  // namespace velto
