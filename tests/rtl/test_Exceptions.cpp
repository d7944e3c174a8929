#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

using namespace rtl;

TEST(Exception, MessageInUtf16AndUtf8) {
    const EConvertError e(u"£ bad");
    EXPECT_EQ(e.Message(), u"£ bad");
    EXPECT_STREQ(e.what(), "\xC2\xA3 bad");
    EXPECT_EQ(e.InnerException(), nullptr);
}

TEST(Exception, InnerKeepsItsDynamicType) {
    std::shared_ptr<const Exception> inner;
    try {
        throw EListError(u"List index out of bounds (3)", 3);
    } catch (const Exception& e) {
        inner = e.Clone();
    }
    const EConvertError outer(u"Invalid format", inner);
    const auto* list = dynamic_cast<const EListError*>(outer.InnerException());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Index(), 3);
    EXPECT_EQ(list->Message(), u"List index out of bounds (3)");
}

TEST(Exception, HierarchyCatchesByBase) {
    EXPECT_THROW(throw EFOpenError(u"x"), EInOutError);
    EXPECT_THROW(throw EArgumentOutOfRangeException(u"x"), EArgumentException);
}
