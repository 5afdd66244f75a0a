#pragma once
// The standard reflected CRC-32 (polynomial 0xEDB88320, initial value all
// ones, final complement): account ids, template ids and message identity.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velto {

class Crc32 {
public:
    Crc32() = default;
    void Update(const void* data, std::size_t length);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    std::uint32_t Value() const { return ~m_register; }

    static std::uint32_t Of(const void* data, std::size_t length);
    static std::uint32_t Of(std::string_view text) { return Of(text.data(), text.size()); }
    // Name followed by its terminating zero byte: the id of accounts and
    // template profiles loaded from the settings.
    static std::uint32_t OfNameWithTerminator(std::string_view name);

private:
    std::uint32_t m_register = 0xFFFFFFFFu;
};

}  // namespace velto
