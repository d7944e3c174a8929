// The UUID callback and confirmation lists: order, duplicates, vetoes, and callbacks that change or
// free the list while it runs.
#include "utils/framework/ORVI.UuidCallbackList.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace orvi;

namespace {

const TORVI_Uuid kA(u"6d2f9e41-0b7c-4a83-9e56-c1f04b8a2d37");
const TORVI_Uuid kB(u"0f8fad5b-d9cb-469f-a165-70867728950e");

struct TListener : rtl::TObject {
    explicit TListener(std::string name, std::vector<std::string>& log) : Name(std::move(name)), Log(log) {}
    void Single(const TORVI_Uuid& uuid) {
        Log.push_back(Name + (uuid == kA ? ":A" : ":?"));
        if (pRemoveFrom)
            pRemoveFrom->Remove(TORVISingleUuidCallback(this, &TListener::Single));
        if (pFree)
            rtl::FreeAndNil(pFree);
    }
    void Double(const TORVI_Uuid& a, const TORVI_Uuid& b) {
        Log.push_back(Name + (a == kA && b == kB ? ":AB" : ":?"));
    }
    void Confirm(const TORVI_Uuid&, bool& blAllow) {
        Log.push_back(Name);
        blAllow = blAllow && Allow;
    }
    void ConfirmTwo(const TORVI_Uuid&, const TORVI_Uuid&, bool& blAllow) { Confirm(kA, blAllow); }
    std::string Name;
    std::vector<std::string>& Log;
    bool Allow = true;
    TORVISingleUuidCallbackList* pRemoveFrom = nullptr;
    TORVISingleUuidCallbackList* pFree = nullptr;
};

class UuidListTest : public ::testing::Test {
protected:
    std::vector<std::string> log;
    TListener a{"a", log}, b{"b", log}, c{"c", log};
};

TEST_F(UuidListTest, CallbacksRunInOrderDuplicatesIncludedAndRemoveTakesOne) {
    auto* list = rtl::Create<TORVISingleUuidCallbackList>();
    list->Add(TORVISingleUuidCallback(&a, &TListener::Single));
    list->Add(TORVISingleUuidCallback(&b, &TListener::Single));
    list->Add(TORVISingleUuidCallback(&a, &TListener::Single));
    list->RunCallbacks(kA);
    EXPECT_EQ(log, (std::vector<std::string>{"a:A", "b:A", "a:A"}));
    list->Remove(TORVISingleUuidCallback(&a, &TListener::Single));
    list->Remove(TORVISingleUuidCallback(&c, &TListener::Single)); // absent: nothing
    log.clear();
    list->RunCallbacks(kA);
    EXPECT_EQ(log, (std::vector<std::string>{"b:A", "a:A"}));
    rtl::Free(list);

    auto* two = rtl::Create<TORVIDoubleUuidCallbackList>();
    two->Add(TORVIDoubleUuidCallback(&c, &TListener::Double));
    log.clear();
    two->RunCallbacks(kA, kB);
    EXPECT_EQ(log, (std::vector<std::string>{"c:AB"}));
    rtl::Free(two);
}

TEST_F(UuidListTest, ConfirmationsStopAtTheFirstVeto) {
    auto* list = rtl::Create<TORVISingleUuidConfirmationList>();
    EXPECT_TRUE(list->RunConfirmations(kA)) << "an empty list allows";
    for (TListener* l : {&a, &b, &c})
        list->Add(TORVISingleUuidConfirmation(l, &TListener::Confirm));
    b.Allow = false;
    EXPECT_FALSE(list->RunConfirmations(kA));
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
    rtl::Free(list);

    auto* two = rtl::Create<TORVIDoubleUuidConfirmationList>();
    two->Add(TORVIDoubleUuidConfirmation(&a, &TListener::ConfirmTwo));
    EXPECT_TRUE(two->RunConfirmations(kA, kB));
    rtl::Free(two);
}

TEST_F(UuidListTest, ACallbackThatRemovesItselfOrFreesTheListSkipsNobody) {
    auto* list = rtl::Create<TORVISingleUuidCallbackList>();
    a.pRemoveFrom = list;
    for (TListener* l : {&a, &b, &c})
        list->Add(TORVISingleUuidCallback(l, &TListener::Single));
    list->RunCallbacks(kA);
    EXPECT_EQ(log, (std::vector<std::string>{"a:A", "b:A", "c:A"}));
    a.pRemoveFrom = nullptr;

    b.pFree = list;
    log.clear();
    list->RunCallbacks(kA);
    EXPECT_EQ(log, (std::vector<std::string>{"b:A"})) << "the pass ends with the list";
    EXPECT_EQ(b.pFree, nullptr);
}

TEST_F(UuidListTest, ThreadsAddAndRunUnderTheListsLock) {
    auto* list = rtl::Create<TORVISingleUuidCallbackList>();
    std::vector<std::thread> threads;
    std::vector<std::string> logs[4];
    std::vector<std::unique_ptr<TListener>> listeners;
    for (int t = 0; t < 4; ++t)
        listeners.push_back(std::make_unique<TListener>("t", logs[t]));
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                list->Add(TORVISingleUuidCallback(listeners[t].get(), &TListener::Single));
                list->RunCallbacks(kA);
                list->Remove(TORVISingleUuidCallback(listeners[t].get(), &TListener::Single));
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(list->Count(), 0);
    rtl::Free(list);
}

} // namespace
