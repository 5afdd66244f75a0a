#include "engine/BackgroundSaver.h"

#include <utility>

namespace velto {

BackgroundSaver::BackgroundSaver(Snapshot snapshot, Save save, Failed failed)
    : m_snapshot(std::move(snapshot)), m_save(std::move(save)), m_failed(std::move(failed)) {}

BackgroundSaver::~BackgroundSaver() { Stop(); }

void BackgroundSaver::Request(const std::string& path) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || path.empty()) return;
        m_path = path;
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_cv.notify_one();
}

void BackgroundSaver::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_path.clear();
    }
    m_cv.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

std::uint64_t BackgroundSaver::SavedGeneration() const {
    std::lock_guard lock(m_mutex);
    return m_saved;
}

void BackgroundSaver::MarkSaved(std::uint64_t generation) {
    std::lock_guard lock(m_mutex);
    m_saved = generation;
}

void BackgroundSaver::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_stopping || !m_path.empty(); });
        if (m_stopping) return;
        const std::string path = std::exchange(m_path, {});
        lock.unlock();
        std::vector<StoredHeader> list;
        const std::uint64_t generation = m_snapshot(list);
        // An empty list is never written: the file keeps what it had.
        HeaderStoreOutcome outcome{true, {}, {}};
        if (!list.empty()) outcome = m_save(list, path);
        if (!outcome.ok && m_failed) m_failed(path, outcome);
        lock.lock();
        if (outcome.ok) m_saved = generation;
    }
}

}  // namespace velto
