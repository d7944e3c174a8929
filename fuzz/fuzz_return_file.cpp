// Fuzzes the return-file and Adjustments.xml readers through a dataset's VatReturns.
// Input: byte 0 flags (see TFlags), bytes 1-16 the digits of the file name's two dates (ddmmyyyy twice), then
// the return file, optionally followed by "\n#ADJ#\n" and the return's Adjustments.xml.
#include "FuzzWorkspace.h"

#include "SampleDatasetGenerator.h"
#include "sage_datasets/SageDatasetFactory.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>

namespace fs = std::filesystem;
using namespace venturo;

namespace {

constexpr std::string_view kAdjustmentsSeparator = "\n#ADJ#\n";
constexpr std::size_t kHeaderSize = 17;

enum TFlags : std::uint8_t {
    NameWithoutDashes = 1,   // "VAT Return ddmmyyyy - ddmmyyyy.xml"
    NameWithoutDates = 2,    // a name the date pattern does not match
    LowerCaseFixedNames = 4, // "_data" and "adjustments.xml"
    // The return file's text is repeated up to the readers' limits, so that the caps on size, nesting
    // and node count are reached from short inputs.
    RepeatToSizeCap = 8,   // just under the 4 MiB cap on XML files
    RepeatPastSizeCap = 16 // one byte over it
};

constexpr std::size_t kXmlSizeCap = 4 * 1024 * 1024;

// The text repeated to exactly size bytes (empty text stays empty).
std::string Repeated(std::string_view text, std::size_t size) {
    std::string out;
    if (text.empty()) {
        return out;
    }
    out.reserve(size);
    while (out.size() < size) {
        out.append(text.substr(0, size - out.size()));
    }
    return out;
}

// A loadable dataset without returns; each input brings its own VATRTNS.
const fs::path& DatasetFolder() {
    static const fs::path folder = [] {
        sample::TSampleOptions options;
        options.OutputFolder = fuzz::ScratchRoot() / "sample";
        options.Datasets = 1;
        options.ReturnsPerDataset = 0;
        options.Versions = {27};
        options.WriteCompanyFile = false;
        return sample::GenerateSampleDatasets(options).Datasets.front().Folder;
    }();
    return folder;
}

std::string Digits(const std::uint8_t* data, std::size_t size) {
    std::string digits(16, '0');
    for (std::size_t i = 0; i < 16 && 1 + i < size; ++i) {
        const std::uint8_t b = data[1 + i];
        digits[i] = (b >= '0' && b <= '9') ? static_cast<char>(b) : static_cast<char>('0' + b % 10);
    }
    return digits;
}

std::string ReturnFileStem(std::uint8_t flags, const std::string& d) {
    if (flags & NameWithoutDates) {
        return "Return " + d.substr(0, 8);
    }
    const std::string sep = (flags & NameWithoutDashes) ? "" : "-";
    return "VAT Return " + d.substr(0, 2) + sep + d.substr(2, 2) + sep + d.substr(4, 4) + " - " +
           d.substr(8, 2) + sep + d.substr(10, 2) + sep + d.substr(12, 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& folder = DatasetFolder();
    const fs::path vatReturns = folder / "VATRTNS";
    std::error_code ec;
    fs::remove_all(vatReturns, ec);

    const std::uint8_t flags = size > 0 ? data[0] : 0;
    const std::string digits = Digits(data, size);
    const std::string year = digits.substr(12, 4);
    const std::string stem = ReturnFileStem(flags, digits);
    const std::string_view body =
        size > kHeaderSize
            ? std::string_view(reinterpret_cast<const char*>(data) + kHeaderSize, size - kHeaderSize)
            : std::string_view();
    const std::size_t split = body.find(kAdjustmentsSeparator);
    const std::string_view returnText = body.substr(0, split);
    if (flags & (RepeatToSizeCap | RepeatPastSizeCap)) {
        const std::size_t size = (flags & RepeatPastSizeCap) ? kXmlSizeCap + 1 : kXmlSizeCap - 64;
        fuzz::WriteBytes(vatReturns / year / (stem + ".xml"), Repeated(returnText, size));
    } else {
        fuzz::WriteBytes(vatReturns / year / (stem + ".xml"), returnText);
    }
    if (split != std::string_view::npos) {
        const bool lower = flags & LowerCaseFixedNames;
        fuzz::WriteBytes(vatReturns / (lower ? "_data" : "_Data") / (year + "-" + stem) /
                             (lower ? "adjustments.xml" : "Adjustments.xml"),
                         body.substr(split + kAdjustmentsSeparator.size()));
    }
    const auto before = fuzz::SnapshotTree(folder);

    sage::TSageDatasetFactory factory;
    std::unique_ptr<sage::TSageDataset> dataset(factory.MakeDatasetAndLoad(fuzz::ToRtl(folder)));
    if (!dataset) {
        std::fprintf(stderr, "the sample dataset did not load\n");
        std::abort();
    }
    fuzz::ReadEverything(*dataset);
    if (dataset->VatReturns().Count() > 1) {
        std::fprintf(stderr, "one return file gave several returns\n");
        std::abort();
    }
    fuzz::CheckTreeUnchanged(folder, before);
    return 0;
}
