#include "engine/StoredHeaders.h"

#include <iterator>

namespace velto {

StoredHeaders::StoredHeaders(IHeaderStoreFile* store, std::shared_ptr<MessageStore> messages, bool saveAfterEachCheck,
                             BackgroundSaver::Failed failed)
    : m_store(store),
      m_messages(std::move(messages)),
      m_saveAfterEachCheck(saveAfterEachCheck),
      m_saver([messages = m_messages](std::vector<StoredHeader>& list) { return messages->Snapshot(list); },
              [store](const std::vector<StoredHeader>& list, const std::string& path) { return store->Save(list, path); },
              std::move(failed)) {}

HeaderStoreOutcome StoredHeaders::Load(const std::string& database) {
    std::vector<StoredHeader> loaded;
    HeaderStoreOutcome outcome = m_store->Load(loaded, database);
    m_messages->Modify([&](std::vector<StoredHeader>& list) {
        list.insert(list.end(), std::make_move_iterator(loaded.begin()), std::make_move_iterator(loaded.end()));
    });
    // What was loaded is what the file holds; after a fault it holds less,
    // and the next save writes a whole file again.
    m_requested = m_messages->Generation();
    if (outcome.ok) m_saver.MarkSaved(m_requested);
    return outcome;
}

void StoredHeaders::SaveIfChanged(const std::string& database) {
    if (!m_saveAfterEachCheck || !m_store) return;
    const std::uint64_t generation = m_messages->Generation();
    if (generation == m_requested) return;
    m_requested = generation;
    m_saver.Request(database);
}

void StoredHeaders::Finish(const std::string& database) {
    m_saver.Stop();
    const bool changed = !m_saveAfterEachCheck || m_messages->Generation() != m_saver.SavedGeneration();
    if (!m_store || m_messages->Empty() || !changed) return;
    m_messages->WithList([&](const std::vector<StoredHeader>& list) {
        m_final = database.empty() ? HeaderStoreOutcome{false, {}, {"Header store: no data file is set\r\n"}}
                                   : m_store->Save(list, database);
    });
}

}  // namespace velto
