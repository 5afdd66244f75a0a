#pragma once
// The per-user settings hive: a tree of keys below HKEY_CURRENT_USER with
// registry semantics (case-blind key names, values in creation order, three
// value kinds), kept in a text file in the registry editor's export format.
#include <cstdint>
#include <map>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "settings/RegeditText.h"

namespace velto {

// Registry status codes (value types: RegeditText.h), with their Win32
// numbers, so that results keep their meaning for callers written against
// the registry.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;

constexpr std::uint32_t kRegCreatedNewKey = 1;
constexpr std::uint32_t kRegOpenedExistingKey = 2;

// Where the hive's text lives. The real one is a file; tests use memory.
class HiveStorage {
public:
    enum class ReadResult { Ok, Missing, Failed };
    virtual ~HiveStorage() = default;
    virtual ReadResult Read(std::string& bytes, std::string& error) = 0;
    // Replaces the stored text as one unit: afterwards either the old or the
    // new text is there, never a mix.
    virtual bool Write(const std::string& bytes, std::string& error) = 0;
    virtual std::string Location() const = 0;
};

class RegistryHive {
public:
    struct Node;
    using KeyHandle = std::shared_ptr<Node>;

    explicit RegistryHive(std::unique_ptr<HiveStorage> storage = nullptr);
    ~RegistryHive();

    // Reads the storage. Returns an empty text on success or when there is
    // nothing stored yet; otherwise a message naming the file and the line.
    // After a failure the hive holds defaults and never writes the storage,
    // so the user's file survives until it is fixed.
    std::string Load();
    // Writes the text to the storage when something changed since the last
    // write. False when the write failed (the old file stays whole).
    bool Flush();
    bool IsDirty() const;
    bool IsReadOnly() const;
    std::string Location() const;
    std::string LastWriteError() const;
    // Called once per run, the first time a write fails, with a text for the
    // user naming the file and the reason; outside the hive's lock.
    void SetWriteFailureHandler(std::function<void(const std::string& text)> handler);

    // The hive every settings record works on (the registry is one per user).
    static std::shared_ptr<RegistryHive> Current();
    static void SetCurrent(std::shared_ptr<RegistryHive> hive);

    // Registry operations; paths are relative to HKEY_CURRENT_USER.
    long CreateKey(const std::string& path, KeyHandle& key, std::uint32_t* disposition);
    long SetValue(const KeyHandle& key, const std::string& name, std::uint32_t type,
                  const void* data, std::size_t size);
    long EnumKey(const KeyHandle& key, std::uint32_t index, std::string& name,
                 std::uint64_t* lastWriteTime) const;
    long EnumValue(const KeyHandle& key, std::uint32_t index, RegValue& value) const;
    long DeleteKey(const KeyHandle& parent, const std::string& subkey);
    // kErrorFileNotFound when the key has no value of that name.
    long DeleteValue(const KeyHandle& key, const std::string& name);
    // Looks up without creating (null when absent).
    KeyHandle FindKey(const std::string& path) const;

    // The export text ("REGEDIT4") of the whole hive.
    std::string ExportText() const;
    // Replaces the hive's content by an export text (either export format).
    // Returns an empty text on success or "line N: what" on failure, in which
    // case the hive is left as it was.
    std::string ImportText(const std::string& text);

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<HiveStorage> m_storage;
    std::shared_ptr<Node> m_top;  // holds the root keys (HKEY_CURRENT_USER, ...)
    bool m_dirty = false;
    bool m_readOnly = false;
    std::string m_lastWriteError;
    std::function<void(const std::string&)> m_onWriteFailure;
    bool m_toldWriteFailure = false;
};

}  // namespace velto
