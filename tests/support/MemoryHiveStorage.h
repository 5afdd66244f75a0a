#pragma once
// Settings hive storage in memory, with failures on demand.
#include <memory>
#include <string>

#include "settings/RegistryHive.h"

namespace velto::test {

class MemoryHiveStorage : public HiveStorage {
public:
    struct State {
        bool exists = false;
        std::string bytes;
        bool failReads = false;
        bool failWrites = false;
        int writes = 0;
    };
    explicit MemoryHiveStorage(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    ReadResult Read(std::string& bytes, std::string& error) override;
    bool Write(const std::string& bytes, std::string& error) override;
    std::string Location() const override { return "memory:registry.reg"; }

private:
    std::shared_ptr<State> m_state;
};

// Installs a fresh hive over memory storage for one test; restores an empty
// hive afterwards.
class ScopedHive {
public:
    explicit ScopedHive(const std::string& initialText = {});
    ~ScopedHive();
    RegistryHive& hive() { return *m_hive; }
    MemoryHiveStorage::State& storage() { return *m_state; }
    std::string loadProblem;

private:
    std::shared_ptr<MemoryHiveStorage::State> m_state;
    std::shared_ptr<RegistryHive> m_hive;
};

}  // namespace velto::test
