#pragma once
// What the "Mail Folders" chooser and the MailBox column call each account's
// mail: its incoming server's name, or, where two accounts share a server,
// the server with the account's name ("mail.example.com (Ann)"), so that the
// two can be told apart and chosen apart.
#include <string>
#include <vector>

#include "engine/MessageStore.h"
#include "settings/Settings.h"

namespace velto {

class MailboxNames {
public:
    MailboxNames() = default;
    explicit MailboxNames(const std::vector<AccountSettings>& accounts);

    // One entry per account, in the accounts' order.
    std::vector<std::string> Entries() const;
    // What a record's MailBox column shows: its account's entry; a record of
    // no account shows its server.
    std::string Of(const std::string& server, const std::string& address) const;
    // Whether choosing the entry shows the record. A server of one account
    // shows every record of that server, as it always did; a shared one,
    // the records of that entry's account.
    bool Shows(const std::string& entry, const std::string& server, const std::string& address) const;

private:
    struct Entry {
        std::string name, server, address;
        bool shared = false;
    };
    bool Holds(const Entry& entry, const std::string& server, const std::string& address) const;
    std::vector<Entry> m_entries;
    MessageOwners m_owners;
};

}  // namespace velto
