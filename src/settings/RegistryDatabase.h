#pragma once
// The settings store cursor: at most one open key, the registry's primitive
// operations, and the shared load/save pattern of every settings record.
#include <cstdint>
#include <string>
#include <vector>

#include "settings/RegistryHive.h"

namespace velto {

class RegistryDatabase {
public:
    using HKEY = RegistryHive::KeyHandle;
    // The longest value data a record reads back; a longer one is passed
    // over when its key loads.
    static constexpr std::uint32_t kMaxStoredValue = 1000;

    RegistryDatabase();
    virtual ~RegistryDatabase();
    RegistryDatabase(const RegistryDatabase&);
    RegistryDatabase& operator=(const RegistryDatabase&);

    long OpenKey(const std::string& path);
    long CloseKey();
    long SetStringValue(const std::string& name, const char* text, std::uint32_t count);
    long SetNumberValue(const std::string& name, const std::uint32_t* number, std::uint32_t count);
    long SetBinaryValue(const std::string& name, const void* bytes, std::uint32_t count);
    // Name buffer in characters including room for a terminator, as the
    // registry counts it; lengths are in/out.
    long EnumKey(std::uint32_t index, char* name, std::uint32_t* nameLength, char* className,
                 std::uint32_t* classLength);
    long EnumValue(std::uint32_t index, char* name, std::uint32_t* nameLength, std::uint32_t* type,
                   unsigned char* data, std::uint32_t* dataLength);
    HKEY GetKey() const { return m_key; }

    std::uint32_t LastType() const { return m_lastType; }
    std::uint64_t LastWriteTime() const { return m_lastWriteTime; }
    std::uint32_t Disposition() const { return m_disposition; }

    // Deletes a subkey of an open key (the accounts or templates key).
    static long DeleteKey(const HKEY& parent, const std::string& subkey);
    // Subkey names of a key in enumeration order, read as the program does:
    // a 1000-character buffer, stopping at the first failure.
    static std::vector<std::string> SubkeyNames(const std::string& path);
    // Whether the key is there, without making it (opening a key makes it).
    static bool KeyExists(const std::string& path);

protected:
    // One stored setting of a record: where it lives and what it is called.
    struct Field {
        const char* name;
        enum Kind { String, Number, Bytes } kind;
        void* target;          // std::string* or std::uint32_t* or byte buffer
        std::uint32_t size;    // byte buffer size (Bytes only)
    };
    // Every field at its default is the caller's job; this reads the key
    // and tells, field by field, which ones it found.
    std::vector<bool> LoadFields(const std::string& path, const std::vector<Field>& fields);
    // absent: value names that must not be there afterwards.
    void SaveFields(const std::string& path, const std::vector<Field>& fields,
                    const std::vector<std::string>& absent = {});

private:
    std::shared_ptr<RegistryHive> m_hive;
    HKEY m_root;  // stands for HKEY_CURRENT_USER once a key was opened
    HKEY m_key;
    std::uint32_t m_disposition = 1;
    std::uint32_t m_lastType = 0;
    std::uint64_t m_lastWriteTime = 0;
    bool m_wrote = false;
};

}  // namespace velto
