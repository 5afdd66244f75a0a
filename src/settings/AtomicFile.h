#pragma once
// Replacing a file whole: the new content goes to a temporary file in the
// same folder, reaches the disk, and is renamed over the old one. A reader
// finds the old file or the new one, never a part; on any failure the old
// file is as it was and the temporary is gone.
#include <cstdio>
#include <functional>
#include <string>

namespace velto {

struct AtomicWrite {
    // For a file that did not exist (less the umask unless exact).
    unsigned mode = 0666;
    // An existing file keeps its permissions; else every write sets mode.
    bool keepMode = true;
    // A missing folder is created, private.
    bool makeFolder = false;

    AtomicWrite() = default;
    // A private file: exactly these permissions, its folder made when missing.
    AtomicWrite(unsigned exactMode) : mode(exactMode), keepMode(false), makeFolder(true) {}  // NOLINT: implicit
};

// fill writes the content into the file (unbuffered: a full disk shows at
// the write) and returns false when it could not; error then says nothing
// more than what fill failed to do, so the caller can tell.
bool WriteFileAtomically(const std::string& path, const std::function<bool(std::FILE*)>& fill,
                         const AtomicWrite& how, std::string& error);
bool WriteFileAtomically(const std::string& path, const std::string& bytes, const AtomicWrite& how,
                         std::string& error);

}  // namespace velto
