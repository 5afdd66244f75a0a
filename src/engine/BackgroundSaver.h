#pragma once
// Keeps the data file up to date while the program runs: a save asked for
// runs on a thread of its own, so the user-interface thread never waits for
// one; saves never overlap, and requests made while one runs come to one
// more save of the newest list.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/HeaderStoreFile.h"

namespace velto {

class BackgroundSaver {
public:
    // snapshot: copies the list and tells its generation (on the saver's
    // thread). save: writes a list to a path. failed: called on the saver's
    // thread after a save that did not succeed.
    using Snapshot = std::function<std::uint64_t(std::vector<StoredHeader>&)>;
    using Save = std::function<HeaderStoreOutcome(const std::vector<StoredHeader>&, const std::string&)>;
    using Failed = std::function<void(const std::string& path, const HeaderStoreOutcome&)>;

    BackgroundSaver(Snapshot snapshot, Save save, Failed failed);
    ~BackgroundSaver();
    BackgroundSaver(const BackgroundSaver&) = delete;
    BackgroundSaver& operator=(const BackgroundSaver&) = delete;

    // Asks for a save of the list as it is when the save starts.
    void Request(const std::string& path);
    // Waits for the save that runs, if any; one asked for but not started is
    // dropped (the caller saves for itself). No save starts afterwards.
    void Stop();
    // The generation of the list last saved (or marked saved).
    std::uint64_t SavedGeneration() const;
    // What is in the file already (what was loaded at start-up).
    void MarkSaved(std::uint64_t generation);

private:
    void Run();
    Snapshot m_snapshot;
    Save m_save;
    Failed m_failed;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::string m_path;  // the save asked for; empty when none
    bool m_stopping = false;
    std::uint64_t m_saved = 0;
    std::thread m_thread;
};

}  // namespace velto
