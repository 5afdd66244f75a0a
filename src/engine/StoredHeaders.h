#pragma once
// The message list as the data file keeps it: read once at start-up, saved
// after each check that changed the list (on a thread of its own, when
// asked for) and at the end when anything is still unsaved. Loading and
// saving show nothing; what the user must hear of is handed back.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/BackgroundSaver.h"
#include "engine/HeaderStoreFile.h"
#include "engine/MessageStore.h"

namespace velto {

class StoredHeaders {
public:
    // failed: a save after a check did not succeed (called on the saver's
    // thread).
    StoredHeaders(IHeaderStoreFile* store, std::shared_ptr<MessageStore> messages, bool saveAfterEachCheck,
                  BackgroundSaver::Failed failed);

    // Appends the file's records to the list (nothing is locked while the
    // file is read).
    HeaderStoreOutcome Load(const std::string& database);
    // After a rebuild of the list: a save on the saver's thread if the list
    // changed since the last one asked for.
    void SaveIfChanged(const std::string& database);
    // Shut-down: waits for a save that runs, then saves what is not saved
    // yet (everything, without saves after each check). An empty list is
    // never written.
    void Finish(const std::string& database);
    const HeaderStoreOutcome& FinalOutcome() const { return m_final; }

private:
    IHeaderStoreFile* m_store;
    std::shared_ptr<MessageStore> m_messages;
    bool m_saveAfterEachCheck;
    BackgroundSaver m_saver;
    std::uint64_t m_requested = 0;  // the generation of the last save asked for
    HeaderStoreOutcome m_final{true, {}, {}};
};

}  // namespace velto
