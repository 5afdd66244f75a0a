#include "engine/MessageStore.h"

#include <algorithm>

namespace velto {

namespace {
bool Holds(const StoredHeader& r, const MessageKey& key) {
    return r.Id() == key.id && r.AccountServer() == key.server && r.AccountAddress() == key.address;
}
}  // namespace

std::size_t MessageStore::KeyHash::operator()(const MessageKey& k) const {
    const std::hash<std::string> text;
    return (text(k.server) * 31 + text(k.address)) * 31 + k.id;
}

void MessageStore::Append(const CMailHeader& record) {
    StoredHeader stored(record);
    std::lock_guard lock(m_mutex);
    ++m_known[MessageKey::Of(stored)];
    m_records.push_back(std::move(stored));
    ++m_generation;
}

bool MessageStore::Contains(const MessageKey& key) const {
    std::lock_guard lock(m_mutex);
    return m_known.count(key) != 0;
}

bool MessageStore::FindFirst(const MessageKey& key, CMailHeader& out) const {
    std::lock_guard lock(m_mutex);
    if (!m_known.count(key)) return false;
    auto it = std::find_if(m_records.begin(), m_records.end(), [&](const StoredHeader& r) { return Holds(r, key); });
    if (it == m_records.end()) return false;
    out = it->Full();
    return true;
}

bool MessageStore::RemoveFirst(const MessageKey& key) {
    std::lock_guard lock(m_mutex);
    auto known = m_known.find(key);
    if (known == m_known.end()) return false;
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
    m_known.reserve(m_records.size());
    for (const auto& r : m_records) ++m_known[MessageKey::Of(r)];
}

}  // namespace velto
