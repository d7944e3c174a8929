#include "rtl/Guid.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

TEST(Guid, NewGuidsAreVersionFourRfcVariantAndDistinct) {
    std::set<std::tuple<std::uint32_t, std::uint16_t, std::uint16_t>> seen;
    for (int i = 0; i < 200; ++i) {
        rtl::TGUID g;
        ASSERT_TRUE(rtl::CreateGUID(g));
        EXPECT_EQ(g.D3 >> 12, 4);
        EXPECT_EQ(g.D4[0] & 0xC0, 0x80);
        seen.emplace(g.D1, g.D2, g.D3);
    }
    EXPECT_EQ(seen.size(), 200u);
}
