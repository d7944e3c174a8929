#include "rtl/ObjectHooks.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace rtl;

namespace {

std::vector<std::string> g_log;

class TTraced : public TObject {
public:
    explicit TTraced(bool failAfter = false) : _blFail(failAfter) { g_log.push_back("ctor"); }
    ~TTraced() override { g_log.push_back("dtor"); }
    void AfterConstruction() override {
        g_log.push_back("after");
        if (_blFail)
            throw std::runtime_error("hook failed");
    }
    void BeforeDestruction() override { g_log.push_back("before"); }
    virtual std::string Kind() const { return "base"; }

private:
    bool _blFail;
};

class TDerived : public TTraced {
public:
    explicit TDerived(bool failAfter) : TTraced(failAfter) {}
    std::string Kind() const override { return "derived"; }
};

using TTracedClass = TClassRef<TTraced, bool>;

} // namespace

TEST(ObjectHooks, CreateAndFreeRunTheHooksInOrder) {
    g_log.clear();
    TTraced* p = Create<TTraced>();
    Free(p);
    EXPECT_EQ(g_log, (std::vector<std::string>{"ctor", "after", "before", "dtor"}));
    Free<TTraced>(nullptr); // ignored
}

TEST(ObjectHooks, FailingAfterConstructionDeletesWithoutBeforeDestruction) {
    g_log.clear();
    EXPECT_THROW(Create<TTraced>(true), std::runtime_error);
    EXPECT_EQ(g_log, (std::vector<std::string>{"ctor", "after", "dtor"}));
}

TEST(ObjectHooks, FreeAndNilClearsTheVariable) {
    g_log.clear();
    TTraced* p = Create<TTraced>();
    FreeAndNil(p);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(g_log.back(), "dtor");
}

TEST(ObjectHooks, ClassReferenceCreatesTheDerivedClass) {
    static const TClassOf<TDerived, TTraced, bool> derivedClass("TDerived");
    const TTracedClass& cls = derivedClass;
    g_log.clear();
    TTraced* p = cls.Create(false);
    EXPECT_EQ(p->Kind(), "derived");
    EXPECT_STREQ(cls.ClassName(), "TDerived");
    Free(p);
    EXPECT_EQ(g_log, (std::vector<std::string>{"ctor", "after", "before", "dtor"}));
}
