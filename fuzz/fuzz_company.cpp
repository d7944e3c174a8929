// Fuzzes the COMPANY file reader: the input is a COMPANY file in which "$ROOT" stands for a scratch folder
// holding loadable datasets (Alpha, Beta), a folder without ACCDATA and a dataset of an unknown version.
#include "FuzzWorkspace.h"

#include "SampleDatasetGenerator.h"
#include "rtl/Files.h"
#include "sage_datasets/SageDatasetFactory.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;
using namespace venturo;

namespace {

const fs::path& DatasetsRoot() {
    static const fs::path root = [] {
        const fs::path made = fuzz::ScratchRoot() / "company";
        sample::TSampleOptions options;
        options.OutputFolder = made / "sample";
        options.Datasets = 2;
        options.ReturnsPerDataset = 1;
        options.Versions = {27, 10};
        options.WriteCompanyFile = false;
        sample::TSampleSet set = sample::MakeSampleSet(options);
        set.Datasets[0].Folder = made / "Alpha";
        set.Datasets[1].Folder = made / "Beta";
        for (const sample::TSampleDataset& dataset : set.Datasets) {
            sample::WriteSampleDataset(dataset);
        }
        sample::TSampleDataset unknown = set.Datasets[0];
        unknown.Folder = made / "Unknown";
        unknown.VersionByte = 31;
        unknown.SetupFault = sample::TSetupFault::UnknownVersion;
        sample::WriteSampleDataset(unknown);
        fs::create_directories(made / "Plain");
        return made;
    }();
    return root;
}

std::string ExpandRoot(std::string text, const std::string& root) {
    for (std::size_t at = text.find("$ROOT"); at != std::string::npos;
         at = text.find("$ROOT", at + root.size())) {
        text.replace(at, 5, root);
    }
    return text;
}

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& root = DatasetsRoot();
    const fs::path listFolder = fuzz::ScratchRoot() / "list";
    const std::string text =
        ExpandRoot(std::string(reinterpret_cast<const char*>(data), size), root.string());
    fuzz::WriteBytes(listFolder / "COMPANY", text);
    const auto before = fuzz::SnapshotTree(root);

    sage::TSageDatasetFactory factory;
    rtl::TStringList locations;
    factory.GetCompanyDatasetLocations(locations, fuzz::ToRtl(listFolder));
    for (int i = 0; i < locations.Count(); ++i) {
        const rtl::UnicodeString& folder = locations.Strings(i);
        if (locations.IndexOf(folder) != i) {
            Fail("a folder was listed twice");
        }
        if (!rtl::DirectoryExists(folder)) {
            Fail("a listed folder does not exist");
        }
    }

    rtl::TStringList datasets(true);
    const std::int32_t added =
        factory.AddDatasetFromCompanyFile(datasets, fuzz::ToRtl(listFolder / "COMPANY"));
    if (added != datasets.Count() || added > locations.Count()) {
        Fail("the count of added datasets is wrong");
    }
    for (int i = 0; i < datasets.Count(); ++i) {
        fuzz::ReadEverything(*static_cast<sage::TSageDataset*>(datasets.Objects(i)));
    }
    fuzz::CheckTreeUnchanged(root, before);
    return 0;
}
