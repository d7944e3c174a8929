#include "rtl/Exceptions.h"
#include "rtl/Persistent.h"

#include <gtest/gtest.h>

namespace {

class TPoint2 : public rtl::TPersistent {
public:
    int x = 0;

protected:
    void AssignTo(rtl::TPersistent* dest) const override {
        if (auto* p = dynamic_cast<TPoint2*>(dest))
            p->x = x;
        else
            rtl::TPersistent::AssignTo(dest);
    }
};

class TOther : public rtl::TPersistent {};

TEST(Persistent, AssignGoesThroughTheSourcesAssignTo) {
    TPoint2 a, b;
    a.x = 7;
    b.Assign(&a);
    EXPECT_EQ(b.x, 7);
}

TEST(Persistent, UnknownPairsAndNilRaiseTheAssignmentError) {
    TPoint2 a;
    TOther o;
    try {
        a.Assign(&o);
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), u"Cannot assign a TOther to a TPoint2");
    }
    try {
        o.Assign(nullptr);
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), u"Cannot assign a nil to a TOther");
    }
    EXPECT_EQ(o.Owner(), nullptr);
}

} // namespace
