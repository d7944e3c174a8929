#include "rtl/Generics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rtl;

namespace {

class TLoggedList : public TList<int> {
public:
    std::vector<std::string> log;
    TLoggedList* freeOn = nullptr; // frees this list when it hears of item 2

protected:
    void Notify(const int& item, TCollectionNotification action) override {
        static const char* const kinds[] = {"+", "-", "x"};
        log.push_back(kinds[static_cast<int>(action)] + std::to_string(item));
        TList<int>::Notify(item, action);
        if (freeOn == this && item == 2)
            Free(this);
    }
};

struct TSink : TObject {
    void OnNotify(TObject*, const int& item, TCollectionNotification) { seen.push_back(item); }
    std::vector<int> seen;
};

} // namespace

TEST(TList, NotifiesEveryChangeAfterItHappened) {
    TLoggedList* list = Create<TLoggedList>();
    TSink sink;
    list->OnNotify = TCollectionNotifyEvent<int>(&sink, &TSink::OnNotify);
    list->Add(1);
    list->Add(2);
    list->Insert(0, 3);
    EXPECT_EQ(list->Remove(2), 2);
    EXPECT_EQ(list->Remove(9), -1);
    EXPECT_EQ(list->Extract(1), 1);
    list->SetItem(0, 4);
    EXPECT_THROW(list->Delete(1), EArgumentOutOfRangeException);
    list->Add(5);
    list->Clear();
    EXPECT_EQ(list->log, (std::vector<std::string>{"+1", "+2", "+3", "-2", "x1", "-3", "+4", "+5", "-4", "-5"}));
    EXPECT_EQ(sink.seen.size(), list->log.size());
    list->Add(6);
    std::vector<std::string>* log = &list->log;
    TPin<TLoggedList> pin(list);
    Free(list); // clears with notification first
    EXPECT_TRUE(pin.Freed());
    (void)log;
}

TEST(TList, ClearStopsWhenAHandlerFreesTheList) {
    TLoggedList* list = Create<TLoggedList>();
    for (int i = 1; i <= 4; ++i)
        list->Add(i);
    list->freeOn = list;
    TPin<TLoggedList> pin(list);
    list->Clear(); // frees itself on item 2: items 3 and 4 are not reported on freed memory
    EXPECT_TRUE(pin.Freed());
}

TEST(TDictionary, AddRefusesAPresentKey) {
    TDictionary<const void*, int> d;
    int a = 0, b = 0;
    d.Add(&a, 1);
    EXPECT_THROW(d.Add(&a, 2), EDuplicateKey);
    d.AddOrSetValue(&a, 3);
    d.Add(&b, 4);
    int v = 0;
    EXPECT_TRUE(d.TryGetValue(&a, v));
    EXPECT_EQ(v, 3);
    d.Remove(&a);
    EXPECT_FALSE(d.ContainsKey(&a));
    EXPECT_THROW(d[&a], EListError);
    EXPECT_EQ(d[&b], 4);
    EXPECT_EQ(d.Count(), 1);
}
