#include "rtl/Variant.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

using rtl::TVarType;
using rtl::Variant;

TEST(Variant, EachKindKeepsItsValueAndTag) {
    EXPECT_EQ(Variant().VarType(), TVarType::varEmpty);
    EXPECT_TRUE(Variant::Null().IsNull());
    EXPECT_EQ(Variant::FromBoolean(true).AsBoolean(), true);
    EXPECT_EQ(Variant::FromInteger(-7).AsInteger(), -7);
    EXPECT_EQ(Variant::FromInt64(1ll << 40).VarType(), TVarType::varInt64);
    EXPECT_EQ(Variant::FromDouble(0.5).AsDouble(), 0.5);
    EXPECT_EQ(Variant::FromAnsiString("ab").AsAnsiString(), "ab");
    EXPECT_EQ(Variant::FromString(u"ab").VarType(), TVarType::varUString);
    const Variant a = Variant::FromBytes({1, 2, 3}, 5);
    EXPECT_EQ(a.AsByteArray().LowBound, 5);
    EXPECT_EQ(a.AsByteArray().Bytes.size(), 3u);
}

TEST(Variant, AnotherKindRaisesAndEqualityNeedsTheSameKind) {
    EXPECT_THROW(Variant::FromInteger(1).AsString(), rtl::EVariantTypeCastError);
    EXPECT_THROW(Variant().AsByteArray(), rtl::EVariantTypeCastError);
    EXPECT_NE(Variant::FromInteger(1), Variant::FromInt64(1));
    EXPECT_NE(Variant::FromBytes({1}, 0), Variant::FromBytes({1}, 1));
    EXPECT_EQ(Variant::Null(), Variant::Null());
}
