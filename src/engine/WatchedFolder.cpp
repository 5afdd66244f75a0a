#include "engine/WatchedFolder.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/ImapWorkers.h"
#include "protocol/ImapMail.h"

namespace velto {

WatchedFolder::WatchedFolder(AccountSettings account, std::string folder)
    : m_account(std::move(account)), m_folder(std::move(folder)) {}

WatchedFolder::Outcome WatchedFolder::Look(CImapMail& imap, std::uint32_t uidValidity, MessageStore& messages,
                                           const MessageOwners& owners) {
    Outcome out;
    std::vector<std::uint32_t> uids;
    if (!imap.SearchUnseen(uids)) return out;
    out.answered = true;
    std::unordered_set<std::uint32_t> unseen;
    for (std::uint32_t uid : uids) unseen.insert(ImapMessageHash(m_folder, uidValidity, uid));
    const bool known = m_unseen && m_validity == uidValidity;
    const auto before = std::exchange(m_unseen, unseen);
    m_validity = uidValidity;
    if (!known) {
        // Nobody watched while it was down, or the folder is another one now.
        out.checkAccount = true;
        return out;
    }
    const std::string server = m_account.GetServerName();
    const std::string address = m_account.GetEmailAddress();
    std::vector<std::uint32_t> wanted;
    for (std::uint32_t uid : uids)
        if (!messages.ContainsFor(ImapMessageHash(m_folder, uidValidity, uid), owners, server, address))
            wanted.push_back(uid);
    if (!wanted.empty()) {
        const bool all = imap.FetchHeaders(wanted, [&](std::uint32_t, CMailHeader& record) {
            record.SetAccountInfo(server, address, m_account.GetOutgoingServer());
            if (messages.AppendFreshUnlessKnown(record, owners)) ++out.added;
            return true;
        });
        // What did not come is fetched at the next look, or by a check.
        if (!all && !imap.IsConnected()) out.answered = false;
    }
    std::unordered_set<std::uint32_t> gone;
    for (std::uint32_t id : *before)
        if (!unseen.contains(id)) gone.insert(id);
    if (!gone.empty()) {
        messages.Modify([&](std::vector<StoredHeader>& list) {
            const std::size_t size = list.size();
            std::erase_if(list, [&](const StoredHeader& record) {
                return gone.contains(record.Id()) &&
                       owners.CountsFor(record.AccountServer(), record.AccountAddress(), server, address);
            });
            out.dropped = static_cast<int>(size - list.size());
        });
    }
    return out;
}

}  // namespace velto
