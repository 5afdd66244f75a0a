#include <gtest/gtest.h>

#include <zlib.h>

#include "settings/Crc32.h"

namespace velto {
namespace {

TEST(Crc32, KnownVectorsAndAgreementWithZlib) {
    EXPECT_EQ(Crc32::Of(""), 0x00000000u);
    EXPECT_EQ(Crc32::Of("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32::Of("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    // An account named Inbox: the five letters and the terminating zero.
    const unsigned char inbox[6] = {'I', 'n', 'b', 'o', 'x', 0};
    const auto expected = static_cast<std::uint32_t>(crc32(0L, inbox, 6));
    EXPECT_EQ(Crc32::OfNameWithTerminator("Inbox"), expected);
    EXPECT_NE(Crc32::OfNameWithTerminator("Inbox"), Crc32::Of("Inbox"));
}

TEST(Crc32, IncrementalEqualsWhole) {
    Crc32 crc;
    crc.Update("1234");
    crc.Update("56789");
    EXPECT_EQ(crc.Value(), 0xCBF43926u);
}

}  // namespace
}  // namespace velto
