#include "rtl/Component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rtl;

namespace {

std::vector<std::string> g_log;

class TNamed : public TComponent {
public:
    TNamed(TComponent* owner, std::string name) : TComponent(owner), _szName(std::move(name)) {}
    using TComponent::Notification;
    TNamed* freeOnRemove = nullptr; // a partner that this one frees when told another goes

protected:
    ~TNamed() override { g_log.push_back("~" + _szName); }
    void Notification(TComponent* component, TOperation operation) override {
        const auto* other = dynamic_cast<TNamed*>(component);
        g_log.push_back(_szName + (operation == TOperation::opInsert ? "+" : "-") + (other ? other->_szName : "?"));
        TComponent::Notification(component, operation);
        if (operation == TOperation::opRemove && freeOnRemove) {
            TNamed* victim = freeOnRemove;
            freeOnRemove = nullptr;
            Free(victim);
        }
    }

private:
    std::string _szName;
};

} // namespace

TEST(TComponent, OwnerFreesItsComponentsAndTellsThemOfInsertions) {
    g_log.clear();
    TNamed* owner = Create<TNamed>(nullptr, "o");
    TNamed* a = Create<TNamed>(owner, "a");
    TNamed* b = Create<TNamed>(owner, "b");
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(b->Owner(), owner);
    EXPECT_EQ(static_cast<TPersistent*>(b)->Owner(), owner);
    // The owner hears of each insertion and passes it on to its components, the last first.
    EXPECT_EQ(g_log, (std::vector<std::string>{"o+a", "a+a", "o+b", "b+b", "a+b"}));
    g_log.clear();
    Free(owner);
    EXPECT_EQ(g_log, (std::vector<std::string>{"~b", "~a", "~o"}));
    (void)a;
}

TEST(TComponent, FreeNotificationWorksBothWaysAndSurvivesAHandlerThatFreesItsPartner) {
    g_log.clear();
    TNamed* x = Create<TNamed>(nullptr, "x");
    TNamed* y = Create<TNamed>(nullptr, "y");
    TNamed* z = Create<TNamed>(nullptr, "z");
    x->FreeNotification(y);
    x->FreeNotification(y);
    x->FreeNotification(z);
    ASSERT_EQ(x->FreeNotifies().size(), 2u);
    EXPECT_EQ(y->FreeNotifies().size(), 1u);
    z->freeOnRemove = y; // z, told that x goes, frees y, which x has yet to tell
    x->SetLoading(true);
    EXPECT_EQ(x->ComponentState(), static_cast<TComponentState>(csLoading));
    Free(x);
    EXPECT_EQ(g_log, (std::vector<std::string>{"z-x", "x-y", "~y", "~x"}));
    EXPECT_TRUE(z->FreeNotifies().empty());
    Free(z);
}
