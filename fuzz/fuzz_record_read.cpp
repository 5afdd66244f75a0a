// Record Read on arbitrary bytes: every record it accepts lies inside the
// data and writes back to exactly the bytes it was read from.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/MailHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    std::size_t pos = 0;
    velto::CMailHeader h;
    while (pos < size) {
        const std::size_t start = pos;
        if (!h.Read(bytes, size, pos)) {
            if (pos != start) std::abort();
            break;
        }
        if (pos <= start || pos > size) std::abort();
        std::string again;
        h.Write(again);
        if (again != std::string(bytes + start, pos - start)) std::abort();
    }
    return 0;
}
