// Writes the seed corpora of the fuzz targets from the sample generator: fuzz_seeds <folder> fills
// <folder>/setup_dta, <folder>/return_file and <folder>/company. Deterministic: the same bytes every run.
#include "FuzzWorkspace.h"

#include "SampleDatasetGenerator.h"

#include <cstdio>
#include <string>

namespace fs = std::filesystem;
using namespace venturo;

namespace {

std::string TwoDigits(int n) {
    return std::string(1, static_cast<char>('0' + n / 10 % 10)) + static_cast<char>('0' + n % 10);
}

std::string DateDigits(const sample::TDate& date) {
    return TwoDigits(date.Day) + TwoDigits(date.Month) + TwoDigits(date.Year / 100) + TwoDigits(date.Year);
}

// The return-file target's input: flags, the name's date digits, the file and its adjustments.
std::string ReturnInput(char flags, const std::string& digits, const std::string& xml,
                        const std::string& adjustments) {
    std::string input = std::string(1, flags) + digits + xml;
    if (!adjustments.empty()) {
        input += "\n#ADJ#\n" + adjustments;
    }
    return input;
}

void WriteSetupSeeds(const fs::path& folder) {
    sample::TSampleOptions options;
    options.OutputFolder = folder; // described only, never written
    options.Versions = {8, 10, 17, 18, 20, 21, 27, 29, 30};
    options.Datasets = static_cast<int>(options.Versions.size());
    options.ReturnsPerDataset = 0;
    const sample::TSampleSet set = sample::MakeSampleSet(options);
    for (const sample::TSampleDataset& dataset : set.Datasets) {
        const std::string bytes = sample::SetupDtaBytes(dataset);
        const std::string version = std::to_string(dataset.MajorVersion);
        fuzz::WriteBytes(folder / ("v" + version), bytes);
        fuzz::WriteBytes(folder / ("v" + version + "-header"), bytes.substr(0, 400));
    }
    fuzz::WriteBytes(folder / "version-only", std::string(1, '\x1b'));
    fuzz::WriteBytes(folder / "unknown-version", std::string(1, '\x1f') + std::string(399, ' '));
}

void WriteGeneratedReturnSeeds(const fs::path& folder) {
    sample::TSampleOptions options;
    options.OutputFolder = folder; // described only, never written
    options.Datasets = 2;
    options.ReturnsPerDataset = 6;
    options.Seed = 7;
    options.Faults.ImpossibleDate = true;
    options.Faults.UnreadableReturn = true;
    int n = 0;
    for (const sample::TSampleDataset& dataset : sample::MakeSampleSet(options).Datasets) {
        for (const sample::TSampleReturn& r : dataset.Returns) {
            const char flags = static_cast<char>(n % 2); // with and without dashes in the name
            const std::string digits = DateDigits(r.DateFrom) + DateDigits(r.DateTo);
            const std::string adjustments = r.Adjustments.empty() ? std::string() : sample::AdjustmentsXml(r);
            fuzz::WriteBytes(folder / ("generated-" + std::to_string(n++)),
                             ReturnInput(flags, digits, sample::ReturnXml(r), adjustments));
        }
    }
}

void WriteHostileReturnSeeds(const fs::path& folder) {
    const std::string digits = "0104202130062021";
    const std::string bomb =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE VATRETURN [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n"
        "<VATRETURN><COMPANY>&c;</COMPANY></VATRETURN>";
    const std::string external = "<?xml version=\"1.0\"?>\n<!DOCTYPE VATRETURN [<!ENTITY x SYSTEM "
                                 "\"file:///etc/passwd\">]>\n<VATRETURN><COMPANY>&x;</COMPANY></VATRETURN>";
    std::string deep = "<VATRETURN>";
    for (int i = 0; i < 2000; ++i) {
        deep += "<BOX1>";
    }
    deep += "1.00</VATRETURN>";
    const std::string cp1252 =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<VATRETURN><COMPANY>Caf\xe9 \x80"
        "</COMPANY><DATEFROM>01/04/2021</DATEFROM><DATETO>30062021</DATETO><BOX1>1,234.50"
        "</BOX1><BOX6></BOX6><BOX14>9</BOX14></VATRETURN>";
    std::string utf16 = "\xff\xfe";
    for (char c : std::string("<VATRETURN><BOX1>12.34</BOX1></VATRETURN>")) {
        utf16 += c;
        utf16 += '\0';
    }
    const std::string adjustments =
        "<ns:VatReturn xmlns:ns=\"urn:x\"><ns:Box type=\"0\"><ns:Adjustment><ns:Value>100.00"
        "</ns:Value><ns:EnteredInBox>0</ns:EnteredInBox></ns:Adjustment></ns:Box>"
        "<Box type=\"99\"><Adjustment><Value>1</Value><EnteredInBox>99</EnteredInBox>"
        "</Adjustment></Box><Box type=\"-1\"/></ns:VatReturn>";
    fuzz::WriteBytes(folder / "entity-bomb", ReturnInput(0, digits, bomb, ""));
    fuzz::WriteBytes(folder / "external-entity", ReturnInput(0, digits, external, ""));
    fuzz::WriteBytes(folder / "deep", ReturnInput(0, digits, deep, ""));
    fuzz::WriteBytes(folder / "cp1252", ReturnInput(1, digits, cp1252, adjustments));
    fuzz::WriteBytes(folder / "utf16", ReturnInput(4, digits, utf16, adjustments));
    fuzz::WriteBytes(folder / "foreign-root", ReturnInput(2, digits, "<html><BOX1>1</BOX1></html>", ""));
    fuzz::WriteBytes(folder / "no-dates", ReturnInput(0, "3102202100000000", "<VATRETURN/>", ""));
    // Byte 0 flags 8 and 16 repeat the text up to and past the size cap: nesting and node limits.
    fuzz::WriteBytes(folder / "nested-to-cap", ReturnInput(8, digits, "<VATRETURN><a>", ""));
    fuzz::WriteBytes(folder / "nodes-to-cap", ReturnInput(8, digits, "<a b='1'/>", ""));
    fuzz::WriteBytes(folder / "past-cap", ReturnInput(16, digits, "<VATRETURN/>", ""));
    fuzz::WriteBytes(
        folder / "nul-reference",
        ReturnInput(0, digits, "<VATRETURN><COMPANY>A&#0;B</COMPANY><BOX1>1</BOX1></VATRETURN>", ""));
}

void WriteCompanySeeds(const fs::path& folder) {
    fuzz::WriteBytes(folder / "two", "$ROOT/Alpha\r\n$ROOT/Beta\r\n");
    fuzz::WriteBytes(folder / "mixed",
                     "$ROOT/Alpha/\r\n\r\n$ROOT/Plain\n$ROOT/Unknown\r$ROOT/Missing\r\n$ROOT/Alpha"
                     "\r\n$ROOT/Beta//\r\n$ROOT/Alpha/ACCDATA\r\n");
    fuzz::WriteBytes(folder / "utf8-bom", "\xef\xbb\xbf$ROOT/Beta\r\n$ROOT/Caf\xc3\xa9\r\n");
    fuzz::WriteBytes(folder / "cp1252", "$ROOT/Caf\xe9\r\n$ROOT/Alpha\r\n");
    std::string utf16 = "\xff\xfe";
    for (char c : std::string("$ROOT/Alpha\r\n$ROOT/Beta")) {
        utf16 += c;
        utf16 += '\0';
    }
    fuzz::WriteBytes(folder / "utf16", utf16);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 2;
    }
    const fs::path out = argv[1];
    WriteSetupSeeds(out / "setup_dta");
    WriteGeneratedReturnSeeds(out / "return_file");
    WriteHostileReturnSeeds(out / "return_file");
    WriteCompanySeeds(out / "company");
    return 0;
}
