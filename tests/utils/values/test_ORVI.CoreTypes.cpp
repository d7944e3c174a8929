#include "utils/values/ORVI.CoreTypes.h"

#include <gtest/gtest.h>

using namespace orvi;

TEST(CoreTypes, CodeLocatedExceptionKeepsItsLocationAndMessage) {
    try {
        throw EORVICodeLocatedException(u"ORVI.Sample.cpp", u"LoadThing", 42, u"Thing not found");
    } catch (const rtl::Exception& e) {
        const auto* located = dynamic_cast<const EORVICodeLocatedException*>(&e);
        ASSERT_NE(located, nullptr);
        EXPECT_EQ(located->UnitName(), u"ORVI.Sample.cpp");
        EXPECT_EQ(located->RoutineName(), u"LoadThing");
        EXPECT_EQ(located->LineNumber(), 42);
        EXPECT_EQ(e.Message(), u"Thing not found");
        // An inner copy keeps the location too.
        const auto copy = std::dynamic_pointer_cast<const EORVICodeLocatedException>(e.Clone());
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->LineNumber(), 42);
        EXPECT_EQ(copy->Message(), u"Thing not found");
    }
}

TEST(CoreTypes, PairMakersFillTheirFields) {
    const TORVICodeNamePair pair = ORVICodeNamePair(u"GB", u"United Kingdom");
    EXPECT_EQ(pair.Code, u"GB");
    EXPECT_EQ(pair.Name, u"United Kingdom");
    const TORVIKeyValuePair kv = ORVIKeyValuePair(u"Key", u"Value");
    EXPECT_EQ(kv._szKey, u"Key");
    EXPECT_EQ(kv._szValue, u"Value");
}
