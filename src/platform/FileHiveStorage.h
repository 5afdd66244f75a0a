#pragma once
// The settings hive kept in one private file, replaced atomically.
#include <string>

#include "settings/AtomicFile.h"
#include "settings/RegistryHive.h"

namespace velto {

class FileHiveStorage : public HiveStorage {
public:
    explicit FileHiveStorage(std::string path) : m_path(std::move(path)) {}
    ReadResult Read(std::string& bytes, std::string& error) override;
    // Temporary file in the same folder, flushed, renamed over the old one.
    bool Write(const std::string& bytes, std::string& error) override;
    std::string Location() const override { return m_path; }

    // ${XDG_CONFIG_HOME:-$HOME/.config}/VeltoMail/registry.reg
    static std::string DefaultPath();

private:
    std::string m_path;
};

// A per-user base folder: the environment variable when set, else the
// fallback below $HOME (".config", ".local/share").
std::string UserFolder(const char* variable, const char* fallbackBelowHome);

}  // namespace velto
