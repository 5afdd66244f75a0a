#include "engine/MessageStore.h"

#include <algorithm>

namespace velto {

namespace {
bool Holds(const StoredHeader& r, const MessageKey& key) {
    return r.Id() == key.id && r.AccountServer() == key.server && r.AccountAddress() == key.address;
}
}  // namespace

std::uint64_t MessageStore::Intern(const std::string& server, const std::string& address) {
    const auto [it, added] =
        m_accounts.try_emplace({server, address}, static_cast<std::uint32_t>(m_accounts.size()));
    return std::uint64_t(it->second) << 32;
}

bool MessageStore::Indexed(const MessageKey& key, std::uint64_t& index) const {
    const auto account = m_accounts.find({key.server, key.address});
    if (account == m_accounts.end()) return false;  // no record of that account
    index = (std::uint64_t(account->second) << 32) | key.id;
    return m_known.count(index) != 0;
}

void MessageStore::Append(const CMailHeader& record) {
    StoredHeader stored(record);
    std::lock_guard lock(m_mutex);
    ++m_known[Intern(stored.AccountServer(), stored.AccountAddress()) | stored.Id()];
    m_records.push_back(std::move(stored));
    ++m_generation;
}

bool MessageStore::Contains(const MessageKey& key) const {
    std::lock_guard lock(m_mutex);
    std::uint64_t index = 0;
    return Indexed(key, index);
}

bool MessageStore::FindFirst(const MessageKey& key, CMailHeader& out) const {
    std::lock_guard lock(m_mutex);
    std::uint64_t index = 0;
    if (!Indexed(key, index)) return false;
    auto it = std::find_if(m_records.begin(), m_records.end(), [&](const StoredHeader& r) { return Holds(r, key); });
    if (it == m_records.end()) return false;
    out = it->Full();
    return true;
}

bool MessageStore::RemoveFirst(const MessageKey& key) {
    std::lock_guard lock(m_mutex);
    std::uint64_t index = 0;
    if (!Indexed(key, index)) return false;
    const auto known = m_known.find(index);
    auto it = std::find_if(m_records.begin(), m_records.end(), [&](const StoredHeader& r) { return Holds(r, key); });
    if (it == m_records.end()) return false;
    m_records.erase(it);
    if (--known->second == 0) m_known.erase(known);
    ++m_generation;
    return true;
}

void MessageStore::Clear() {
    std::lock_guard lock(m_mutex);
    m_records.clear();
    m_known.clear();
    m_accounts.clear();
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
    m_known.reserve(m_records.size());
    for (const auto& r : m_records) ++m_known[Intern(r.AccountServer(), r.AccountAddress()) | r.Id()];
}

}  // namespace velto
