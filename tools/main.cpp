// venturo_sample_datasets: writes synthetic Sage datasets for tests, benchmarks and the demo.
#include "SampleDatasetGenerator.h"

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: venturo_sample_datasets --out DIR [--datasets N] [--returns N] [--seed S] [--version V]...\n"
    "                               [--groups N] [--faults] [--mixed-case] [--decimal-separator C]\n"
    "       venturo_sample_datasets --demo PREFIX [--seed S]\n"
    "Writes DIR/Company.000 ... with a COMPANY file listing them; --demo writes a Wine-style prefix\n"
    "whose public folder holds the sample companies.\n";

[[noreturn]] void Fail(const std::string& message) {
    std::cerr << "venturo_sample_datasets: " << message << "\n" << kUsage;
    std::exit(2);
}

std::uint64_t ParseNumber(std::string_view option, const char* text, std::uint64_t max) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*text == '\0' || *text == '-' || *end != '\0' || value > max)
        Fail(std::string(option) + " needs a number from 0 to " + std::to_string(max));
    return value;
}

struct TCommand {
    venturo::sample::TSampleOptions Options;
    std::string DemoPrefix;
};

TCommand ParseArguments(int argc, char** argv) {
    TCommand command;
    auto& o = command.Options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (arg == "--faults") {
            o.Faults = {true, true, true, true};
            continue;
        }
        if (arg == "--mixed-case") {
            o.MixedCaseNames = true;
            continue;
        }
        if (i + 1 >= argc)
            Fail("unknown option or missing value: " + std::string(arg));
        const char* value = argv[++i];
        if (arg == "--out")
            o.OutputFolder = value;
        else if (arg == "--demo")
            command.DemoPrefix = value;
        else if (arg == "--datasets")
            o.Datasets = static_cast<int>(ParseNumber(arg, value, 1000000));
        else if (arg == "--returns")
            o.ReturnsPerDataset = static_cast<int>(ParseNumber(arg, value, 10000));
        else if (arg == "--seed")
            o.Seed = ParseNumber(arg, value, UINT64_MAX);
        else if (arg == "--groups")
            o.VatGroups = static_cast<int>(ParseNumber(arg, value, 1000000));
        else if (arg == "--version") {
            const auto version = static_cast<int>(ParseNumber(arg, value, 255));
            if (version < venturo::sample::kMinMajorVersion || version > venturo::sample::kMaxMajorVersion)
                Fail("--version must lie from 8 to 30");
            o.Versions.push_back(version);
        } else if (arg == "--decimal-separator") {
            if (std::string_view(value).size() != 1)
                Fail("--decimal-separator needs one character");
            o.DecimalSeparator = value[0];
        } else
            Fail("unknown option: " + std::string(arg));
    }
    if (command.DemoPrefix.empty() == o.OutputFolder.empty())
        Fail("give either --out DIR or --demo PREFIX");
    return command;
}

} // namespace

int main(int argc, char** argv) {
    const TCommand command = ParseArguments(argc, argv);
    try {
        const auto set = command.DemoPrefix.empty()
                             ? venturo::sample::GenerateSampleDatasets(command.Options)
                             : venturo::sample::WriteDemoPrefix(command.DemoPrefix, command.Options.Seed);
        std::size_t returns = 0;
        for (const auto& dataset : set.Datasets)
            returns += dataset.Returns.size();
        std::cout << "Wrote " << set.Datasets.size() << " datasets with " << returns << " VAT returns";
        if (!set.CompanyFile.empty())
            std::cout << "; company list: " << set.CompanyFile.string();
        std::cout << "\n";
    } catch (const std::exception& e) {
        std::cerr << "venturo_sample_datasets: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
