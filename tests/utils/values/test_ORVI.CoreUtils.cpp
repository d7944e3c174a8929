#include "utils/values/ORVI.CoreUtils.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

#include "rtl/KeyState.h"

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

TEST(CoreHelpers, CountOfCharInString) {
    EXPECT_EQ(orvi::CountOfCharInString(u'a', u"banana"), 3);
    EXPECT_EQ(orvi::CountOfCharInString(u'A', u"banana"), 0);
    EXPECT_EQ(orvi::CountOfCharInString(u'\0', rtl::UnicodeString(u"a\0b\0", 4)), 2);
    EXPECT_EQ(orvi::CountOfCharInString(u'x', u""), 0);
}

TEST(CoreHelpers, ByteOrderQueriesAgreeWithTheCompiler) {
    EXPECT_NE(orvi::CurrentPlatformIsBigEndian(), orvi::CurrentPlatformIsLittleEndian());
    EXPECT_EQ(orvi::CurrentPlatformIsLittleEndian(), std::endian::native == std::endian::little);
}

namespace {
struct THandler {
    void Fire(rtl::TObject*) {}
};
} // namespace

TEST(CoreHelpers, IsAssignedLooksAtTheObjectPart) {
    THandler h;
    EXPECT_FALSE(orvi::IsAssigned(rtl::TNotifyEvent()));
    EXPECT_TRUE(orvi::IsAssigned(rtl::TNotifyEvent(&h, &THandler::Fire)));
}

#if !defined(_WIN32)
TEST(CoreHelpers, IsKeyDownFallsBackToTheRightHandKey) {
    static int s_nDown = 0;
    rtl::SetKeyStateProvider([](int key) -> std::int16_t { return key == s_nDown ? -0x8000 : 0; });
    s_nDown = rtl::VK_RCONTROL;
    EXPECT_TRUE(orvi::IsKeyDown(rtl::VK_CONTROL));
    EXPECT_FALSE(orvi::IsKeyDown(rtl::VK_SHIFT));
    s_nDown = rtl::VK_LSHIFT; // only the right-hand key stands in for the generic one
    EXPECT_FALSE(orvi::IsKeyDown(rtl::VK_SHIFT));
    s_nDown = rtl::VK_MENU;
    EXPECT_TRUE(orvi::IsKeyDown(rtl::VK_MENU));
    s_nDown = 0x41;
    EXPECT_TRUE(orvi::IsKeyDown(0x41));
    EXPECT_FALSE(orvi::IsKeyDown(0x42));
    rtl::SetKeyStateProvider(nullptr);
    EXPECT_FALSE(orvi::IsKeyDown(0x41));
}
#endif

namespace {
class TChild : public orvi::TOwnedPersistent {
public:
    explicit TChild(rtl::TPersistent* pOwner) : _pOwner(pOwner) {}

protected:
    rtl::TPersistent* GetOwner() override { return _pOwner; }

private:
    rtl::TPersistent* _pOwner;
};
} // namespace

TEST(CoreHelpers, OwnedPersistentReportsItsOwner) {
    orvi::TOwnedPersistent owner;
    TChild child(&owner);
    EXPECT_EQ(child.Owner(), &owner);
    EXPECT_EQ(owner.Owner(), nullptr);
}
