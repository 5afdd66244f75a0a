#pragma once
// The message list shared by the user-interface thread and one network
// worker. Every access takes the lock; known ids are indexed by checksum so
// a check costs one hash lookup per message instead of a walk of the list.
//
// The rule for every lock in this program: never hold one while calling
// anything that can show a window or run an event loop (message boxes,
// dialogs, exec, processEvents). A nested loop runs queued calls, and one
// of them (a list refresh) takes this lock: the UI thread would wait for
// itself and the program freezes. Inside WithList and Modify, collect what
// must be shown; show it after they return.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/MailHeader.h"

namespace velto {

class AccountSettings;

// One stored record: its id's checksum and the server and address of the
// account it was fetched for, as the record holds them.
struct MessageKey {
    std::uint32_t id = 0;
    std::string server, address;
    static MessageKey Of(const StoredHeader& record) {
        return {record.Id(), record.AccountServer(), record.AccountAddress()};
    }
};

// Which account a stored record counts for: for a check (is this id known
// to the account?) and a delete (may this account's server delete it?).
// A record of a configured account (its server and address) is that
// account's alone, so two accounts whose servers list the same ids keep
// their own messages. A record of no configured account, left by an account
// whose address or server was edited since, is the account's on its server,
// else the one's with its address; one that matches in neither way counts
// for none.
class MessageOwners {
public:
    MessageOwners() = default;
    explicit MessageOwners(const std::vector<AccountSettings>& accounts);
    // Whether a record made with (recordServer, recordAddress) counts for the
    // account with (server, address).
    bool CountsFor(const std::string& recordServer, const std::string& recordAddress, const std::string& server,
                   const std::string& address) const;
    bool CountsFor(const MessageKey& record, const AccountSettings& account) const;

private:
    std::set<std::pair<std::string, std::string>> m_accounts;  // (server, address)
    std::set<std::string> m_servers, m_addresses;
};

class MessageStore {
public:
    // Any thread. The list keeps records compact; FindFirst gives a full one.
    void Append(const CMailHeader& record);
    // A record just fetched from its server: appended, and fresh until
    // TakeFresh (the new-mail count is made of fresh records).
    void AppendFresh(const CMailHeader& record);
    // The same, unless a record of its id already counts for its account
    // (a check and a watch that fetched the same message at once).
    bool AppendFreshUnlessKnown(const CMailHeader& record, const MessageOwners& owners);
    // The fresh records' keys since the last call, oldest first.
    std::vector<MessageKey> TakeFresh();
    bool Contains(const MessageKey& key) const;
    // Whether a record with the id counts for the account (server, address).
    bool ContainsFor(std::uint32_t id, const MessageOwners& owners, const std::string& server,
                     const std::string& address) const;
    // Copies the first record with the key; false when none.
    bool FindFirst(const MessageKey& key, CMailHeader& out) const;
    // Removes the first record with the key.
    bool RemoveFirst(const MessageKey& key);
    void Clear();
    std::size_t Size() const;
    bool Empty() const { return Size() == 0; }
    // Runs fn with the list locked (reading or bulk work such as saving).
    void WithList(const std::function<void(const std::vector<StoredHeader>&)>& fn) const;
    // Replaces the whole list through fn (loading the data file).
    void Modify(const std::function<void(std::vector<StoredHeader>&)>& fn);
    // Counts the changes: equal numbers mean an equal list.
    std::uint64_t Generation() const;
    // A copy of the list and the generation it is (any thread); the copy
    // shares the records' text.
    std::uint64_t Snapshot(std::vector<StoredHeader>& out) const;

private:
    void Reindex();
    mutable std::mutex m_mutex;
    std::vector<StoredHeader> m_records;
    // Ids are indexed with a small number for each account they were
    // fetched for, so the index holds no copy of the account's texts per
    // record.
    struct Holders {
        std::uint32_t account;  // number of (server, address)
        int records;
    };
    std::uint32_t Intern(const std::string& server, const std::string& address);
    void Index(const StoredHeader& record);
    // The entry of the key's id and account; null when no record holds it.
    const Holders* Indexed(const MessageKey& key) const;
    std::map<std::pair<std::string, std::string>, std::uint32_t> m_accounts;  // (server, address) -> number
    std::vector<const std::pair<std::string, std::string>*> m_accountOf;  // number -> its key in m_accounts
    std::unordered_map<std::uint32_t, std::vector<Holders>> m_known;  // id -> accounts whose records hold it
    std::uint64_t m_generation = 0;
    std::vector<MessageKey> m_fresh;
};

}  // namespace velto
