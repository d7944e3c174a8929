#include "ReturnsTestSupport.h"

#include "app/core/DatasetBrowse.h"
#include "sage_datasets/SageDataset.h"

namespace ven::testing {

using venturo::sample::TSampleDataset;

void ReturnsTest::SetUp() {
    GuiApp();
}

TSampleDataset ReturnsTest::Sample(const std::string& company, const std::string& vatNumber) {
    return MakeDataset(tmp.Path() / ("dataset" + std::to_string(_nFolders++)), company, vatNumber, 0);
}

sage::TSageDataset* ReturnsTest::Load(TSampleDataset sample) {
    for (auto& r : sample.Returns) {
        if (r.CompanyName.empty()) {
            r.CompanyName = sample.CompanyName;
        }
    }
    rtl::UnicodeString folder = WriteDataset(sample);
    TBrowseResult result = AddDatasetFromSetupFile(dm, folder + u"/ACCDATA/SETUP.DTA");
    EXPECT_EQ(result.Added, 1) << ToQ(result.Message).toStdString();
    rtl::TStringList& list = *dm.DataSets();
    return list.Count() > 0 ? dynamic_cast<sage::TSageDataset*>(list.Objects(list.Count() - 1)) : nullptr;
}

void ReturnsTest::LoadGroup() {
    TSampleDataset a = Sample("Alpha Ltd", "GB 123 4567 89");
    a.Returns = {MakeQuarter(2021, 1, 10000), MakeQuarter(2021, 4, 20000)};
    TSampleDataset b = Sample("Beta Ltd", "123456789");
    b.Returns = {MakeQuarter(2021, 4, -5000)};
    TSampleDataset c = Sample("Other Ltd", "GB 999 9999 99");
    c.Returns = {MakeQuarter(2021, 4, 30000)};
    alpha = Load(a);
    beta = Load(b);
    other = Load(c);
}

} // namespace ven::testing
