// Fuzzes the SETUP.DTA reader: the input is a dataset's ACCDATA/SETUP.DTA; the dataset is made, loaded and
// read in full. Checks that the version and the company name follow the bytes and that nothing is written.
#include "FuzzWorkspace.h"

#include "SampleDatasetGenerator.h"
#include "sage_datasets/SageDatasetFactory.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fs = std::filesystem;
using namespace venturo;

namespace {

// A dataset folder with a Watermark.xml and one return, so a loaded dataset also reads its returns.
const fs::path& DatasetFolder() {
    static const fs::path folder = [] {
        sample::TSampleOptions options;
        options.OutputFolder = fuzz::ScratchRoot() / "sample";
        options.Datasets = 1;
        options.ReturnsPerDataset = 1;
        options.WriteCompanyFile = false;
        return sample::GenerateSampleDatasets(options).Datasets.front().Folder;
    }();
    return folder;
}

// The company name as the file holds it: bytes 3 to 62 up to the first NUL, trailing spaces dropped.
rtl::UnicodeString ExpectedCompanyName(const std::uint8_t* data, std::size_t size) {
    std::string field;
    for (std::size_t i = 3; i < 63 && i < size && data[i] != 0; ++i) {
        field += static_cast<char>(data[i]);
    }
    while (!field.empty() && field.back() == ' ') {
        field.pop_back();
    }
    return rtl::Latin1ToString(field);
}

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& folder = DatasetFolder();
    fuzz::WriteBytes(folder / "ACCDATA" / "SETUP.DTA",
                     std::string_view(reinterpret_cast<const char*>(data), size));
    const auto before = fuzz::SnapshotTree(folder);

    sage::TSageDatasetFactory factory;
    std::unique_ptr<sage::TSageDataset> dataset(factory.MakeDatasetAndLoad(fuzz::ToRtl(folder)));
    const bool knownVersion = size > 0 && data[0] >= 8 && data[0] <= 30;
    if (static_cast<bool>(dataset) != knownVersion) {
        Fail(knownVersion ? "a known version byte gave no dataset"
                          : "an unknown version byte gave a dataset");
    }
    if (dataset) {
        fuzz::ReadEverything(*dataset);
        if (dataset->MajorVersion() != data[0]) {
            Fail("MajorVersion differs from the version byte");
        }
        if (dataset->CompanyName() != ExpectedCompanyName(data, size)) {
            Fail("CompanyName differs from the bytes of its field");
        }
        dataset->Load();
        fuzz::ReadEverything(*dataset);
    }
    fuzz::CheckTreeUnchanged(folder, before);
    return 0;
}
