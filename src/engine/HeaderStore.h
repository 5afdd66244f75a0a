#pragma once
// The local header store: the message list kept across runs in one
// zlib-compressed data file (the magic, then one record per message).
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/MailHeader.h"

namespace velto {

// Where the store's messages go: ShowMessage for the user's message boxes,
// LogDetail for the zlib and file detail texts. The store itself shows nothing.
class HeaderStoreReporter {
public:
    virtual ~HeaderStoreReporter() = default;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void LogDetail(const std::string& text) = 0;
};

inline constexpr std::uint32_t kHeaderStoreMagic = 199811;
// What a load may unpack. Far above any real store (100,000 headers are
// about 150 MB and 100,000 records); anything larger is refused whole, so a
// small hostile file can neither fill the disk nor the memory.
inline constexpr std::uint64_t kHeaderStoreMaxBytes = std::uint64_t(1) << 30;
inline constexpr std::uint64_t kHeaderStoreMaxRecords = 1000000;

// Where a load keeps a copy of a file it found damaged, beside it, before
// any save writes over it (an older copy is replaced).
inline constexpr const char* kDamagedSuffix = ".damaged";

// Appends the stored records to list in file order. True when the whole file
// was read; false on any failure, with the records read before the fault
// kept in the list (none when the file is beyond the limits or not a store).
// Callers hold their own lock on the list. Records are full (CMailHeader)
// or as the message list keeps them (StoredHeader); the file is the same.
template <typename Record>
bool LoadHeaderStore(std::vector<Record>& list, const std::string& databasePath, HeaderStoreReporter& reporter);

// Writes the list in list order. The new file is written beside the old one
// and renamed over it only once it is complete and on disk, so a failed save
// leaves the previous file whole. An empty list writes nothing (the previous
// file stays) and counts as success.
template <typename Record>
bool SaveHeaderStore(const std::vector<Record>& list, const std::string& databasePath, HeaderStoreReporter& reporter);

// Whether the path (one trailing separator removed) names any directory entry.
bool HeaderStoreExists(const std::string& databasePath);

}  // namespace velto
