#include "utils/values/ORVI.CoreUtils.h"

#include <gtest/gtest.h>

#include <limits>

using namespace orvi;

namespace {

template <class T> class CountersTest : public ::testing::Test {};
using IntegerWidths = ::testing::Types<std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
                                       std::uint32_t, std::int64_t, std::uint64_t>;
TYPED_TEST_SUITE(CountersTest, IntegerWidths);

TYPED_TEST(CountersTest, PreAndPostFormsReturnNewAndOldValues) {
    TypeParam v = 5;
    EXPECT_EQ(PreInc(v), TypeParam(6));
    EXPECT_EQ(PostInc(v), TypeParam(6));
    EXPECT_EQ(v, TypeParam(7));
    EXPECT_EQ(PreDec(v, 3), TypeParam(4));
    EXPECT_EQ(PostDec(v, 2), TypeParam(4));
    EXPECT_EQ(v, TypeParam(2));
    EXPECT_EQ(PostInc(v, 0), TypeParam(2));
    EXPECT_EQ(v, TypeParam(2));
}

TYPED_TEST(CountersTest, WrapsAroundAtBothEnds) {
    using L = std::numeric_limits<TypeParam>;
    TypeParam v = L::max();
    EXPECT_EQ(PreInc(v), L::min());
    EXPECT_EQ(PostDec(v), L::min());
    EXPECT_EQ(v, L::max());
}

TYPED_TEST(CountersTest, NegativeAmountStepsTheOtherWay) {
    TypeParam v = 10;
    EXPECT_EQ(PreInc(v, -4), TypeParam(6));
    EXPECT_EQ(PostDec(v, -4), TypeParam(6));
    EXPECT_EQ(v, TypeParam(10));
}

TEST(Counters, AmountIsSignExtendedForSixtyFourBits) {
    std::uint64_t u = 0;
    EXPECT_EQ(PreInc(u, -1), std::numeric_limits<std::uint64_t>::max());
    std::int64_t s = 0;
    EXPECT_EQ(PreDec(s, std::numeric_limits<std::int32_t>::min()), std::int64_t(2147483648LL));
}

TEST(Counters, NarrowWidthsTruncateTheAmount) {
    std::uint8_t b = 250;
    EXPECT_EQ(PostInc(b, 300), std::uint8_t(250)); // 300 mod 256 = 44
    EXPECT_EQ(b, std::uint8_t(38));
    std::int16_t w = 32767;
    EXPECT_EQ(PreInc(w, 2), std::int16_t(-32767));
}

TEST(Counters, PostIncSuitsIndexBookkeeping) {
    int buffer[3] = {};
    std::int32_t n = 0;
    buffer[PostInc(n)] = 7;
    buffer[PostInc(n)] = 8;
    EXPECT_EQ(n, 2);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[1], 8);
}

} // namespace
