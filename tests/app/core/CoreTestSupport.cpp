#include "app/core/CoreTestSupport.h"

#include "app/core/GridColumnSizes.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace ven::testing {

namespace fs = std::filesystem;
using namespace venturo::sample;

TRegistryScope::TRegistryScope(TUserRegistry user) {
    if (user == TUserRegistry::Private) {
        _redirection.emplace();
    }
    if (const char* old = std::getenv("VENTURO_MTD_REGISTRY")) {
        _szOld = old;
        _blHadOld = true;
    }
    ::setenv("VENTURO_MTD_REGISTRY", _folder.Path().c_str(), 1);
    if (!_redirection) {
        ResetSharedUserKey(kGridSizesKey); // the product's key: what an earlier test or run left behind
    }
}

TRegistryScope::~TRegistryScope() {
    if (!_redirection) {
        ResetSharedUserKey(kGridSizesKey);
    }
    if (_blHadOld) {
        ::setenv("VENTURO_MTD_REGISTRY", _szOld.c_str(), 1);
    } else {
        ::unsetenv("VENTURO_MTD_REGISTRY");
    }
}

void TRegistryScope::WriteRootFile(const std::string& rootName, const std::string& text) {
    std::ofstream(_folder.Path() / (rootName + ".ini"), std::ios::binary) << text;
}

std::string TRegistryScope::ReadRootFile(const std::string& rootName) const {
    std::ifstream in(_folder.Path() / (rootName + ".ini"), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TSampleReturn MakeQuarter(int year, int month, std::int64_t box1Pence) {
    TSampleReturn r;
    r.DateFrom = {year, month, 1};
    int endMonth = month + 2;
    static constexpr int lastDay[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int day = lastDay[endMonth - 1];
    if (endMonth == 2 && year % 4 == 0) {
        day = 29;
    }
    r.DateTo = {year, endMonth, day};
    r.BoxesPence[0] = box1Pence;
    r.BoxesPence[2] = box1Pence;
    r.BoxesPence[4] = box1Pence;
    return r;
}

TSampleDataset MakeDataset(const fs::path& folder, const std::string& company, const std::string& vatNumber,
                           int returns, int firstYear) {
    TSampleDataset d;
    d.Folder = folder;
    d.MajorVersion = 27;
    d.VersionByte = 27;
    d.VersionText = "27.2.0.225";
    d.CompanyName = company;
    d.VatNumber = vatNumber;
    d.Uuid = "0b7c4a83-1111-2222-3333-c1f04b8a2d37";
    d.SetupSize = static_cast<int>(SetupMinimumSize(27));
    for (int i = 0; i < returns; ++i) {
        int month = 1 + 3 * (i % 4);
        d.Returns.push_back(MakeQuarter(firstYear + i / 4, month, 10000 * (i + 1)));
        d.Returns.back().CompanyName = company;
    }
    return d;
}

rtl::UnicodeString WriteDataset(const TSampleDataset& dataset) {
    WriteSampleDataset(dataset);
    return ToText(dataset.Folder);
}

TDamagedData WriteDamagedData(const fs::path& root) {
    TDamagedData data;
    TSampleDataset incomplete =
        MakeDataset(root / "Harrogate", "Harrogate Tea Rooms Ltd", "GB 123 4567 89", 3);
    incomplete.Returns[1].Adjustments.push_back({0, 10000, 0});
    incomplete.Returns[2].Fault = venturo::sample::TReturnFault::MalformedXml;
    WriteSampleDataset(incomplete);
    auto returnFile = [&](const TSampleReturn& r) {
        return incomplete.Folder / "VATRTNS" / std::to_string(r.YearFolder()) / r.FileName();
    };
    data.Incomplete = incomplete.Folder;
    data.NewestReturn = returnFile(incomplete.Returns[2]);
    data.SecondReturn = returnFile(incomplete.Returns[1]);
    const std::string name = incomplete.Returns[1].FileName();
    data.BadAdjustments =
        incomplete.Folder / "VATRTNS" / "_Data" /
        (std::to_string(incomplete.Returns[1].YearFolder()) + "-" + name.substr(0, name.size() - 4)) /
        "Adjustments.xml";
    std::ofstream(data.BadAdjustments, std::ios::binary | std::ios::trunc) << "<VatReturn><Box type=\"0\">";

    TSampleDataset unknown = MakeDataset(root / "Broken", "Broken Version Ltd", "GB 999 9999 99", 1);
    unknown.SetupFault = venturo::sample::TSetupFault::UnknownVersion;
    unknown.VersionByte = 31;
    WriteSampleDataset(unknown);
    data.UnknownVersion = unknown.Folder;
    return data;
}

} // namespace ven::testing
