#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"

#include "rtl/MethodLibrary.h"

#include <gtest/gtest.h>

using namespace rtl;

namespace {

class THandler : public TObject {
public:
    void OnA(TObject*) { ++a; }
    void OnB(TObject*) { ++b; }
    virtual int Twice(int x) const { return 2 * x; }
    int a = 0;
    int b = 0;
};

class TOverride : public THandler {
public:
    int Twice(int x) const override { return 20 * x; }
};

} // namespace

TEST(Method, EqualOnlyWhenObjectAndCodeMatch) {
    THandler h1, h2;
    const TNotifyEvent a1(&h1, &THandler::OnA);
    EXPECT_TRUE(a1 == TNotifyEvent(&h1, &THandler::OnA));
    EXPECT_FALSE(a1 == TNotifyEvent(&h2, &THandler::OnA));
    EXPECT_FALSE(a1 == TNotifyEvent(&h1, &THandler::OnB));
    EXPECT_TRUE(TNotifyEvent() == TNotifyEvent());
    EXPECT_FALSE(a1 == TNotifyEvent());
}

TEST(Method, AssignedWhenBoundAndCallsTheObject) {
    THandler h;
    TNotifyEvent e;
    EXPECT_FALSE(e.Assigned());
    e = TNotifyEvent(&h, &THandler::OnB);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.Object(), &h);
    e(nullptr);
    e(nullptr);
    EXPECT_EQ(h.b, 2);
    EXPECT_EQ(h.a, 0);
}

TEST(Method, VirtualMethodDispatchesOnTheObject) {
    TOverride o;
    const TMethod<int(int)> m(static_cast<const THandler*>(&o), &THandler::Twice);
    EXPECT_EQ(m(3), 60);
}

TEST(Method, SameInlineMethodBoundInTwoLibrariesIsEqual) {
    TLibraryHandler h;
    std::vector<TNotifyEvent> subscribers{TNotifyEvent(&h, &TLibraryHandler::OnEvent)};
    EXPECT_TRUE(BoundInLibrary(&h) == subscribers.front());
    EXPECT_TRUE(UnsubscribeInLibrary(subscribers, &h));
    EXPECT_TRUE(subscribers.empty());
}
