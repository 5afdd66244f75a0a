#include "engine/MessageStore.h"

#include <algorithm>
#include <utility>

#include "settings/Settings.h"

namespace velto {

namespace {
bool Holds(const StoredHeader& r, const MessageKey& key) {
    return r.Id() == key.id && r.AccountServer() == key.server && r.AccountAddress() == key.address;
}
}  // namespace

MessageOwners::MessageOwners(const std::vector<AccountSettings>& accounts) {
    for (const auto& a : accounts) {
        m_accounts.emplace(a.GetServerName(), a.GetEmailAddress());
        m_servers.insert(a.GetServerName());
        m_addresses.insert(a.GetEmailAddress());
    }
}

bool MessageOwners::CountsFor(const std::string& recordServer, const std::string& recordAddress,
                              const std::string& server, const std::string& address) const {
    if (m_accounts.count({recordServer, recordAddress})) return recordServer == server && recordAddress == address;
    if (m_servers.count(recordServer)) return recordServer == server;  // its address was edited
    if (m_addresses.count(recordAddress)) return recordAddress == address;  // its server was edited
    return false;
}

bool MessageOwners::CountsFor(const MessageKey& record, const AccountSettings& account) const {
    return CountsFor(record.server, record.address, account.GetServerName(), account.GetEmailAddress());
}

std::uint32_t MessageStore::Intern(const std::string& server, const std::string& address) {
    const auto [it, added] =
        m_accounts.try_emplace({server, address}, static_cast<std::uint32_t>(m_accounts.size()));
    if (added) m_accountOf.push_back(&it->first);
    return it->second;
}

void MessageStore::Index(const StoredHeader& record) {
    const std::uint32_t account = Intern(record.AccountServer(), record.AccountAddress());
    auto& holders = m_known[record.Id()];
    auto it = std::find_if(holders.begin(), holders.end(), [&](const Holders& h) { return h.account == account; });
    if (it == holders.end()) holders.push_back({account, 1});
    else ++it->records;
}

const MessageStore::Holders* MessageStore::Indexed(const MessageKey& key) const {
    const auto account = m_accounts.find({key.server, key.address});
    if (account == m_accounts.end()) return nullptr;  // no record of that account
    const auto known = m_known.find(key.id);
    if (known == m_known.end()) return nullptr;
    for (const Holders& h : known->second)
        if (h.account == account->second) return &h;
    return nullptr;
}

void MessageStore::Append(const CMailHeader& record) {
    StoredHeader stored(record);
    std::lock_guard lock(m_mutex);
    Index(stored);
    m_records.push_back(std::move(stored));
    ++m_generation;
}

void MessageStore::AppendFresh(const CMailHeader& record) {
    StoredHeader stored(record);
    std::lock_guard lock(m_mutex);
    Index(stored);
    m_fresh.push_back(MessageKey::Of(stored));
    m_records.push_back(std::move(stored));
    ++m_generation;
}

bool MessageStore::AppendFreshUnlessKnown(const CMailHeader& record, const MessageOwners& owners) {
    StoredHeader stored(record);
    std::lock_guard lock(m_mutex);
    // The same test as ContainsFor, under the same lock as the append.
    if (const auto known = m_known.find(stored.Id()); known != m_known.end())
        for (const Holders& h : known->second) {
            const auto& [server, address] = *m_accountOf[h.account];
            if (owners.CountsFor(server, address, stored.AccountServer(), stored.AccountAddress())) return false;
        }
    Index(stored);
    m_fresh.push_back(MessageKey::Of(stored));
    m_records.push_back(std::move(stored));
    ++m_generation;
    return true;
}

std::vector<MessageKey> MessageStore::TakeFresh() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_fresh, {});
}

bool MessageStore::Contains(const MessageKey& key) const {
    std::lock_guard lock(m_mutex);
    return Indexed(key) != nullptr;
}

bool MessageStore::ContainsFor(std::uint32_t id, const MessageOwners& owners, const std::string& server,
                               const std::string& address) const {
    std::lock_guard lock(m_mutex);
    const auto known = m_known.find(id);
    if (known == m_known.end()) return false;
    return std::any_of(known->second.begin(), known->second.end(), [&](const Holders& h) {
        const auto& [recordServer, recordAddress] = *m_accountOf[h.account];
        return owners.CountsFor(recordServer, recordAddress, server, address);
    });
}

bool MessageStore::FindFirst(const MessageKey& key, CMailHeader& out) const {
    std::lock_guard lock(m_mutex);
    if (!Indexed(key)) return false;
    auto it = std::find_if(m_records.begin(), m_records.end(), [&](const StoredHeader& r) { return Holds(r, key); });
    if (it == m_records.end()) return false;
    out = it->Full();
    return true;
}

bool MessageStore::RemoveFirst(const MessageKey& key) {
    std::lock_guard lock(m_mutex);
    if (!Indexed(key)) return false;
    auto it = std::find_if(m_records.begin(), m_records.end(), [&](const StoredHeader& r) { return Holds(r, key); });
    if (it == m_records.end()) return false;
    m_records.erase(it);
    auto& holders = m_known[key.id];
    const std::uint32_t account = m_accounts.find({key.server, key.address})->second;
    const auto h = std::find_if(holders.begin(), holders.end(), [&](const Holders& e) { return e.account == account; });
    if (--h->records == 0) holders.erase(h);
    if (holders.empty()) m_known.erase(key.id);
    ++m_generation;
    return true;
}

void MessageStore::Clear() {
    std::lock_guard lock(m_mutex);
    m_records.clear();
    m_known.clear();
    m_accounts.clear();
    m_accountOf.clear();
    m_fresh.clear();
    ++m_generation;
}

std::size_t MessageStore::Size() const {
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

void MessageStore::WithList(const std::function<void(const std::vector<StoredHeader>&)>& fn) const {
    std::lock_guard lock(m_mutex);
    fn(m_records);
}

void MessageStore::Modify(const std::function<void(std::vector<StoredHeader>&)>& fn) {
    std::lock_guard lock(m_mutex);
    fn(m_records);
    Reindex();
    ++m_generation;
}

std::uint64_t MessageStore::Generation() const {
    std::lock_guard lock(m_mutex);
    return m_generation;
}

std::uint64_t MessageStore::Snapshot(std::vector<StoredHeader>& out) const {
    std::lock_guard lock(m_mutex);
    out = m_records;
    return m_generation;
}

void MessageStore::Reindex() {
    m_known.clear();
    m_accounts.clear();
    m_accountOf.clear();
    m_known.reserve(m_records.size());
    for (const auto& r : m_records) Index(r);
}

}  // namespace velto
