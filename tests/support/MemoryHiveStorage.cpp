#include "support/MemoryHiveStorage.h"

namespace velto::test {

HiveStorage::ReadResult MemoryHiveStorage::Read(std::string& bytes, std::string& error) {
    if (m_state->failReads) {
        error = "injected read failure";
        return ReadResult::Failed;
    }
    if (!m_state->exists) return ReadResult::Missing;
    bytes = m_state->bytes;
    return ReadResult::Ok;
}

bool MemoryHiveStorage::Write(const std::string& bytes, std::string& error) {
    if (m_state->failWrites) {
        error = "injected write failure";
        return false;
    }
    m_state->exists = true;
    m_state->bytes = bytes;
    ++m_state->writes;
    return true;
}

ScopedHive::ScopedHive(const std::string& initialText) : m_state(std::make_shared<MemoryHiveStorage::State>()) {
    if (!initialText.empty()) {
        m_state->exists = true;
        m_state->bytes = initialText;
    }
    m_hive = std::make_shared<RegistryHive>(std::make_unique<MemoryHiveStorage>(m_state));
    loadProblem = m_hive->Load();
    RegistryHive::SetCurrent(m_hive);
}

ScopedHive::~ScopedHive() { RegistryHive::SetCurrent(std::make_shared<RegistryHive>()); }

}  // namespace velto::test
