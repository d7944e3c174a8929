#include "FuzzWorkspace.h"

#include "sage_datasets/SageDatasetVatReturn.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

namespace venturo::fuzz {

namespace fs = std::filesystem;

namespace {

fs::path MakeScratchRoot() {
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    fs::path root = base / ("venturo-fuzz-" + std::to_string(::getpid()));
    fs::remove_all(root, ec);
    fs::create_directories(root);
    return root;
}

void RemoveScratchRoot() {
    std::error_code ec;
    fs::remove_all(ScratchRoot(), ec);
}

// Keeps the optimiser from dropping reads whose results are otherwise unused.
volatile std::size_t g_nSink = 0;

void Consume(const rtl::UnicodeString& text) {
    g_nSink = g_nSink + text.size();
}

} // namespace

const fs::path& ScratchRoot() {
    static const fs::path root = [] {
        fs::path made = MakeScratchRoot();
        std::atexit(RemoveScratchRoot);
        return made;
    }();
    return root;
}

void WriteBytes(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        std::abort();
    }
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<fs::path, std::string> SnapshotTree(const fs::path& root) {
    std::map<fs::path, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files.emplace(entry.path(), ReadBytes(entry.path()));
        }
    }
    return files;
}

void CheckTreeUnchanged(const fs::path& root, const std::map<fs::path, std::string>& before) {
    const std::map<fs::path, std::string> after = SnapshotTree(root);
    if (after != before) {
        std::fprintf(stderr, "reading changed the files under %s\n", root.c_str());
        std::abort();
    }
}

rtl::UnicodeString ToRtl(const fs::path& path) {
    return rtl::Utf8ToString(path.string());
}

void ReadEverything(sage::TSageDataset& dataset) {
    Consume(dataset.CompanyName());
    Consume(dataset.Address1());
    Consume(dataset.Address2());
    Consume(dataset.Town());
    Consume(dataset.County());
    Consume(dataset.PostCode());
    Consume(dataset.VatNumber());
    Consume(dataset.VatNumberForUrl());
    Consume(dataset.UuidString());
    Consume(dataset.Version());
    Consume(dataset.ODBCDriver());
    Consume(dataset.ODBCDriverFileName());
    g_nSink = g_nSink + static_cast<std::size_t>(dataset.MajorVersion());
    const rtl::TStringList& returns = dataset.VatReturns();
    for (int i = 0; i < returns.Count(); ++i) {
        Consume(returns.Strings(i));
        const auto* pReturn = static_cast<const sage::TSageDatasetVatReturn*>(returns.Objects(i));
        Consume(pReturn->Period());
        Consume(pReturn->Description());
        Consume(pReturn->CompanyName());
        for (int box = 1; box <= sage::TSageDatasetVatReturn::BoxCount; ++box) {
            g_nSink = g_nSink + static_cast<std::size_t>(pReturn->GetBox(box).Raw());
        }
    }
    if (returns.Count() > 0 && dataset.LatestVatReturn() != returns.Objects(0)) {
        std::fprintf(stderr, "LatestVatReturn is not the first return\n");
        std::abort();
    }
}

} // namespace venturo::fuzz
