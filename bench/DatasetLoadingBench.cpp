// Dataset-loading benchmark: MakeDatasetAndLoad then VatReturns for every generated dataset, against a
// floor of parsing the same return files with pugixml alone and reading every element's text.
//   bench_dataset_loading [--datasets N] [--returns N] [--rounds N] [--seed N] [--folder DIR] [--max-ratio R]
//                         [--check] [--only library|floor|bare]
// A --folder that already holds the data is reused as it is. --only runs one side alone, for profiling.
// Library and floor take turns in every round. Prints return files per second for both and the median
// of the rounds' processor-time ratios with its spread; with --max-ratio (--check: 2.5), exits 1 when
// that median exceeds it. A third, informative figure is the bare reading: the floor plus listing the
// folders and parsing Adjustments.xml, done leanly.
#include "SampleDatasetGenerator.h"
#include "rtl/UnicodeString.h"
#include "sage_datasets/SageDatasetFactory.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct TOptions {
    int Datasets = 500;
    int Returns = 40;
    int Rounds = 5;
    std::uint64_t Seed = 1;
    fs::path Folder; // empty: a temporary folder, removed afterwards
    double MaxRatio = 0;
    std::string Only; // empty: both sides
};

// The library's processor time may be at most this multiple of the floor's under --check: it reads more
// than the return files (the folders, SETUP.DTA, Adjustments.xml) and checks what it reads.
constexpr double kCheckedRatio = 2.5;

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--check") {
            options.MaxRatio = options.MaxRatio > 0 ? options.MaxRatio : kCheckedRatio;
            continue;
        }
        if (i + 1 == argc) {
            std::fprintf(stderr, "option %s needs a value\n", name.c_str());
            std::exit(2);
        }
        const char* value = argv[++i];
        if (name == "--datasets") {
            options.Datasets = std::atoi(value);
        } else if (name == "--returns") {
            options.Returns = std::atoi(value);
        } else if (name == "--rounds") {
            options.Rounds = std::max(1, std::atoi(value));
        } else if (name == "--seed") {
            options.Seed = std::strtoull(value, nullptr, 10);
        } else if (name == "--folder") {
            options.Folder = value;
        } else if (name == "--max-ratio") {
            options.MaxRatio = std::atof(value);
        } else if (name == "--only" && (std::string(value) == "library" || std::string(value) == "floor" ||
                                        std::string(value) == "bare")) {
            options.Only = value;
        } else {
            std::fprintf(stderr, "unknown option %s\n", name.c_str());
            std::exit(2);
        }
    }
    return options;
}

// The return files of a dataset: *.xml directly inside the year folders of VATRTNS.
std::vector<fs::path> ReturnFiles(const fs::path& dataset) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& year : fs::directory_iterator(dataset / "VATRTNS")) {
        if (!year.is_directory() || year.path().filename() == "_Data") {
            continue;
        }
        for (const fs::directory_entry& file : fs::directory_iterator(year.path())) {
            if (file.is_regular_file() && file.path().extension() == ".xml") {
                files.push_back(file.path());
            }
        }
    }
    return files;
}

// Reads every file under root once, so both timed passes start from a warm page cache.
std::size_t WarmPageCache(const fs::path& root) {
    std::size_t bytes = 0;
    std::vector<char> buffer(1 << 16);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
                bytes += static_cast<std::size_t>(in.gcount());
            }
        }
    }
    return bytes;
}

std::size_t LoadDatasets(const std::vector<rtl::UnicodeString>& folders) {
    sage::TSageDatasetFactory factory;
    std::size_t returns = 0;
    for (const rtl::UnicodeString& folder : folders) {
        std::unique_ptr<sage::TSageDataset> dataset(factory.MakeDatasetAndLoad(folder));
        if (!dataset) {
            std::fprintf(stderr, "a generated dataset did not load\n");
            std::exit(1);
        }
        returns += static_cast<std::size_t>(dataset->VatReturns().Count());
    }
    return returns;
}

std::size_t ReadAllText(const pugi::xml_node& node) {
    std::size_t length = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            length += std::char_traits<char>::length(child.text().get()) + ReadAllText(child);
        }
    }
    return length;
}

std::size_t ParseFloor(const std::vector<std::string>& files) {
    std::size_t text = 0;
    for (const std::string& file : files) {
        pugi::xml_document document;
        if (!document.load_file(file.c_str())) {
            std::fprintf(stderr, "%s does not parse\n", file.c_str());
            std::exit(1);
        }
        text += ReadAllText(document);
    }
    return text;
}

// The lean bare reading of one dataset, as a program that needed nothing but the XML would do it:
// VATRTNS, its year folders and _Data listed once each, every file opened through its open folder
// and parsed in place from one reused buffer, every element's text read. Returns that text's length.
class TBareReader {
public:
    std::size_t ReadDataset(const fs::path& dataset) {
        std::size_t text = 0;
        const int vatReturns = ::open((dataset / "VATRTNS").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (const std::string& year : List(vatReturns, DT_DIR)) {
            if (year == "_Data") {
                continue;
            }
            const int folder = ::openat(vatReturns, year.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            for (const std::string& file : List(folder, DT_REG)) {
                text += Parse(folder, file, true);
            }
            ::close(folder);
        }
        const int data = ::openat(vatReturns, "_Data", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (const std::string& folder : List(data, DT_DIR)) {
            text += Parse(data, folder + "/Adjustments.xml", false);
        }
        ::close(data);
        ::close(vatReturns);
        return text;
    }

private:
    // The names of the entries of one type in the open folder (closing nothing).
    static std::vector<std::string> List(int folder, unsigned char type) {
        std::vector<std::string> names;
        DIR* dir = folder >= 0 ? ::fdopendir(::dup(folder)) : nullptr;
        while (const dirent* e = dir ? ::readdir(dir) : nullptr) {
            if (e->d_type == type && e->d_name[0] != '.') {
                names.emplace_back(e->d_name);
            }
        }
        if (dir) {
            ::closedir(dir);
        }
        return names;
    }

    std::size_t Parse(int folder, const std::string& name, bool required) {
        const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            if (required) {
                std::fprintf(stderr, "%s cannot be read\n", name.c_str());
                std::exit(1);
            }
            return 0;
        }
        _buffer.resize(static_cast<std::size_t>(st.st_size));
        const bool read = ::read(fd, _buffer.data(), _buffer.size()) == static_cast<ssize_t>(_buffer.size());
        ::close(fd);
        pugi::xml_document document;
        if (!read || !document.load_buffer_inplace(_buffer.data(), _buffer.size())) {
            std::fprintf(stderr, "%s does not parse\n", name.c_str());
            std::exit(1);
        }
        return ReadAllText(document);
    }

    std::string _buffer;
};

// The floor plus the rest of the reading a dataset needs, done leanly with the same parser: not a
// target, it shows how much of the library's time goes to that reading rather than to the library.
std::size_t ReadBare(const std::vector<fs::path>& datasets) {
    TBareReader reader;
    std::size_t text = 0;
    for (const fs::path& dataset : datasets) {
        text += reader.ReadDataset(dataset);
    }
    return text;
}

struct TTimes {
    double Wall = 0;
    double Cpu = 0; // this thread's processor time, user and system: stable on a busy machine
};

double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

template <class F> TTimes Measure(F&& run, std::size_t& result) {
    const double cpuStart = ThreadCpuSeconds();
    const Clock::time_point start = Clock::now();
    result = run();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return {wall, ThreadCpuSeconds() - cpuStart};
}

} // namespace

int main(int argc, char** argv) {
    TOptions options = ParseOptions(argc, argv);
    const bool temporary = options.Folder.empty();
    if (temporary) {
        options.Folder = fs::temp_directory_path() / ("venturo-bench-" + std::to_string(::getpid()));
    }

    venturo::sample::TSampleOptions sampleOptions;
    sampleOptions.OutputFolder = options.Folder;
    sampleOptions.Datasets = options.Datasets;
    sampleOptions.ReturnsPerDataset = options.Returns;
    sampleOptions.Seed = options.Seed;
    const Clock::time_point generateStart = Clock::now();
    // A folder given again is taken as generated: the same options describe the same files.
    const bool reuse = !temporary && fs::exists(options.Folder / "COMPANY");
    const venturo::sample::TSampleSet set = reuse ? venturo::sample::MakeSampleSet(sampleOptions)
                                                  : venturo::sample::GenerateSampleDatasets(sampleOptions);
    const double generateSeconds = std::chrono::duration<double>(Clock::now() - generateStart).count();

    std::vector<rtl::UnicodeString> folders;
    std::vector<fs::path> datasetPaths;
    std::vector<std::string> files;
    for (const venturo::sample::TSampleDataset& dataset : set.Datasets) {
        folders.push_back(rtl::Utf8ToString(dataset.Folder.string()));
        datasetPaths.push_back(dataset.Folder);
        for (const fs::path& file : ReturnFiles(dataset.Folder)) {
            files.push_back(file.string());
        }
    }
    const std::size_t bytes = WarmPageCache(options.Folder);
    std::printf("%zu datasets, %zu return files, %.1f MB on disk (generated in %.1f s) in %s\n",
                folders.size(), files.size(), static_cast<double>(bytes) / 1e6, generateSeconds,
                options.Folder.c_str());

    // Alternating rounds (each side first in turn) share whatever the machine is doing; the best round of
    // each gives the throughputs, the rounds' own ratios give the ratio and its spread.
    const auto runs = [&](const char* side) { return options.Only.empty() || options.Only == side; };
    TTimes libraryBest{1e300, 1e300};
    TTimes floorBest{1e300, 1e300};
    TTimes bareBest{1e300, 1e300};
    std::vector<double> libraryRatios;
    std::vector<double> bareRatios;
    for (int round = 0; round < options.Rounds; ++round) {
        std::size_t returns = files.size();
        std::size_t text = 0;
        TTimes library;
        TTimes floor;
        TTimes bare;
        const auto measureLibrary = [&] {
            if (runs("library"))
                library = Measure([&] { return LoadDatasets(folders); }, returns);
        };
        const auto measureFloor = [&] {
            if (runs("floor"))
                floor = Measure([&] { return ParseFloor(files); }, text);
        };
        if (round % 2 == 0) {
            measureLibrary();
            measureFloor();
        } else {
            measureFloor();
            measureLibrary();
        }
        if (runs("bare")) {
            bare = Measure([&] { return ReadBare(datasetPaths); }, text);
        }
        if (floor.Cpu > 0) {
            libraryRatios.push_back(library.Cpu / floor.Cpu);
            bareRatios.push_back(bare.Cpu / floor.Cpu);
        }
        if (returns != files.size()) {
            std::fprintf(stderr, "the library read %zu returns of %zu files\n", returns, files.size());
            return 1;
        }
        std::printf("round %d: processor seconds: library %.3f, floor %.3f, bare reading %.3f\n", round + 1,
                    library.Cpu, floor.Cpu, bare.Cpu);
        const auto best = [](TTimes& a, const TTimes& b) {
            a = {std::min(a.Wall, b.Wall), std::min(a.Cpu, b.Cpu)};
        };
        best(libraryBest, library);
        best(floorBest, floor);
        best(bareBest, bare);
    }

    const double count = static_cast<double>(files.size());
    const auto report = [&](const char* what, const TTimes& t) {
        std::printf("%s: %.0f return files/s wall, %.0f per processor second\n", what, count / t.Wall,
                    count / t.Cpu);
    };
    report("library (MakeDatasetAndLoad + VatReturns)", libraryBest);
    report("floor (pugixml load_file + every element's text)", floorBest);
    report("bare reading (the floor, also listing the folders and parsing Adjustments.xml)", bareBest);
    const auto spread = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? std::array<double, 3>{0, 0, 0}
                         : std::array<double, 3>{v[v.size() / 2], v.front(), v.back()};
    };
    const std::array<double, 3> libraryRatio = spread(libraryRatios);
    const std::array<double, 3> bareRatio = spread(bareRatios);
    const double ratio = libraryRatio[0];
    std::printf("ratio library/floor: %.2f wall (best rounds); processor time %.2f, median of %zu rounds "
                "(%.2f-%.2f)\n",
                libraryBest.Wall / floorBest.Wall, ratio, libraryRatios.size(), libraryRatio[1],
                libraryRatio[2]);
    std::printf("ratio bare reading/floor, processor time: %.2f median (%.2f-%.2f)\n", bareRatio[0],
                bareRatio[1], bareRatio[2]);

    if (temporary) {
        std::error_code ec;
        fs::remove_all(options.Folder, ec);
    }
    return options.MaxRatio > 0 && ratio > options.MaxRatio ? 1 : 0;
}
