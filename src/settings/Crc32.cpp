#include "settings/Crc32.h"

#include <array>

namespace velto {
namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

void Crc32::Update(const void* data, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t c = m_register;
    for (std::size_t i = 0; i < length; ++i) c = kTable[(c ^ p[i]) & 0xFFu] ^ (c >> 8);
    m_register = c;
}

std::uint32_t Crc32::Of(const void* data, std::size_t length) {
    Crc32 crc;
    crc.Update(data, length);
    return crc.Value();
}

std::uint32_t Crc32::OfNameWithTerminator(std::string_view name) {
    Crc32 crc;
    crc.Update(name);
    const char zero = 0;
    crc.Update(&zero, 1);
    return crc.Value();
}

}  // namespace velto
