// The VAT-group index: one pass over a list answers for each dataset what comparing it with every
// other dataset's latest return would.
#include "app/core/VatGroupIndex.h"

#include "app/core/CoreTestSupport.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace ven::testing;

class VatGroupIndexTest : public ::testing::Test {
protected:
    ~VatGroupIndexTest() override {
        for (int i = 0; i < _list.Count(); ++i) {
            rtl::Free(_list.Objects(i));
        }
        rtl::Free(_outside);
    }
    sage::TSageDataset* Load(const std::string& folder, const std::string& vat, int returns) {
        const rtl::UnicodeString path = WriteDataset(MakeDataset(_tmp.Path() / folder, folder, vat, returns));
        sage::TSageDataset* d = _factory.MakeDatasetAndLoad(path);
        EXPECT_NE(d, nullptr) << folder;
        return d;
    }
    sage::TSageDataset* Add(const std::string& folder, const std::string& vat, int returns) {
        sage::TSageDataset* d = Load(folder, vat, returns);
        _list.AddObject(rtl::U(folder), d);
        return d;
    }

    TTempFolder _tmp;
    sage::TSageDatasetFactory _factory;
    rtl::TStringList _list;
    sage::TSageDataset* _outside = nullptr;
};

TEST_F(VatGroupIndexTest, MembersShareTheLatestReturnsNumberWithAnotherListedDataset) {
    sage::TSageDataset* a = Add("a", "GB 111 222 333", 2);
    sage::TSageDataset* noReturns = Add("b", "111222333", 0);
    sage::TSageDataset* c = Add("c", "111 222 333", 1);
    sage::TSageDataset* alone = Add("d", "GB 999 9999 99", 1);
    sage::TSageDataset* blank1 = Add("e", "", 1);
    sage::TSageDataset* blank2 = Add("f", "", 1);
    _list.AddObject(u"not a dataset", nullptr);
    _outside = Load("g", "GB 999 9999 99", 1);

    const ven::TVatGroupIndex index(_list);
    EXPECT_TRUE(index.IsGroupReturn(a));
    EXPECT_TRUE(index.IsGroupReturn(c));
    EXPECT_FALSE(index.IsGroupReturn(noReturns));
    EXPECT_FALSE(index.IsGroupReturn(blank1)) << "companies that lack a number share nothing";
    EXPECT_FALSE(index.IsGroupReturn(blank2));
    EXPECT_FALSE(index.IsGroupReturn(nullptr));
    // Only listed datasets count as partners; one outside the list may still have one there.
    EXPECT_FALSE(index.IsGroupReturn(alone));
    EXPECT_TRUE(index.IsGroupReturn(_outside));
}

} // namespace
