#include "engine/MailboxNames.h"

#include <algorithm>

namespace velto {

MailboxNames::MailboxNames(const std::vector<AccountSettings>& accounts) : m_owners(accounts) {
    for (const AccountSettings& account : accounts) {
        const std::string server = account.GetServerName();
        Entry entry{server, server, account.GetEmailAddress(), false};
        entry.shared = std::count_if(accounts.begin(), accounts.end(), [&](const AccountSettings& other) {
                           return other.GetServerName() == server;
                       }) > 1;
        if (entry.shared) entry.name = server + " (" + account.GetAccountName() + ")";
        m_entries.push_back(std::move(entry));
    }
}

std::vector<std::string> MailboxNames::Entries() const {
    std::vector<std::string> names;
    for (const Entry& entry : m_entries) names.push_back(entry.name);
    return names;
}

bool MailboxNames::Holds(const Entry& entry, const std::string& server, const std::string& address) const {
    if (!entry.shared) return server == entry.server;
    return m_owners.CountsFor(server, address, entry.server, entry.address);
}

std::string MailboxNames::Of(const std::string& server, const std::string& address) const {
    for (const Entry& entry : m_entries)
        if (Holds(entry, server, address)) return entry.name;
    return server;
}

bool MailboxNames::Shows(const std::string& name, const std::string& server, const std::string& address) const {
    bool named = false;
    for (const Entry& entry : m_entries) {
        if (entry.name != name) continue;
        named = true;
        if (Holds(entry, server, address)) return true;
    }
    // A name of no account now (the accounts changed since it was chosen).
    return !named && server == name;
}

}  // namespace velto
