// A whole store load on arbitrary bytes. An input whose first byte is even
// is the uncompressed content (compressed here, so the record reader is
// reached); an odd one is the data file itself (the zlib side).
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/HeaderStore.h"

namespace {

struct NullReporter : velto::HeaderStoreReporter {
    void ShowMessage(const std::string&) override {}
    void LogDetail(const std::string&) override {}
};

std::string g_database;

void RemoveDatabase() { std::remove(g_database.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Files in memory where the system has such a folder: the disk is not
    // what is being tested.
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    setenv("TMPDIR", folder, 1);
    g_database = std::string(folder) + "/velto-fuzz-store-" + std::to_string(getpid()) + ".vlt";
    std::atexit(RemoveDatabase);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::string file(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] % 2 == 0) {
        uLongf packedSize = compressBound(file.size());
        std::string packed(packedSize, '\0');
        compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(file.data()),
                  file.size(), 1);
        packed.resize(packedSize);
        file = packed;
    }
    std::FILE* f = std::fopen(g_database.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);

    NullReporter reporter;
    std::vector<velto::CMailHeader> list;
    const bool whole = velto::LoadHeaderStore(list, g_database, reporter);
    if (list.size() > velto::kHeaderStoreMaxRecords) std::abort();
    // What loads whole saves and loads again to the same records.
    if (whole && !list.empty()) {
        if (!velto::SaveHeaderStore(list, g_database, reporter)) std::abort();
        std::vector<velto::CMailHeader> again;
        if (!velto::LoadHeaderStore(again, g_database, reporter) || again.size() != list.size()) std::abort();
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (again[i].m_rawHeader != list[i].m_rawHeader || again[i].m_uidlHash != list[i].m_uidlHash ||
                again[i].m_accountOutgoing != list[i].m_accountOutgoing)
                std::abort();
        }
    }
    return 0;
}
