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
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/MailHeader.h"

namespace velto {

// A message as a check knows it: its id's checksum within one account, the
// account being the server and address every record holds. Two accounts
// whose servers list the same ids each keep their own messages.
struct MessageKey {
    std::uint32_t id = 0;
    std::string server, address;
    static MessageKey Of(const StoredHeader& record) {
        return {record.Id(), record.AccountServer(), record.AccountAddress()};
    }
};

class MessageStore {
public:
    // Any thread. The list keeps records compact; FindFirst gives a full one.
    void Append(const CMailHeader& record);
    bool Contains(const MessageKey& key) const;
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
    // Keys are indexed as the id beside a small number for the account, so
    // the index holds no copy of the account's texts per record.
    std::uint64_t Intern(const std::string& server, const std::string& address);
    bool Indexed(const MessageKey& key, std::uint64_t& index) const;
    std::map<std::pair<std::string, std::string>, std::uint32_t> m_accounts;  // (server, address) -> number
    std::unordered_map<std::uint64_t, int> m_known;  // key -> records holding it
    std::uint64_t m_generation = 0;
};

}  // namespace velto
