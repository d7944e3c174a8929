// venturo_mtd_cli: the product's reading of Sage datasets, headless, for scripts and support.
#include "app/cli/CliGroup.h"
#include "app/cli/CliScan.h"
#include "app/cli/CliShow.h"
#include "app/cli/CliUrl.h"

#include "app/core/ProductInfo.h"
#include "rtl/AppInitialize.h"
#include "rtl/FormatSettings.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct TCommand {
    const char* Name;
    int (*Run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    const char* (*Usage)();
};

// One entry per command; each command lives in its own unit.
const TCommand kCommands[] = {
    {"show", cli::RunShow, cli::ShowUsage},
    {"scan", cli::RunScan, cli::ScanUsage},
    {"url", cli::RunUrl, cli::UrlUsage},
    {"group", cli::RunGroup, cli::GroupUsage},
};

int Usage(std::ostream& out, int status) {
    out << "usage:\n";
    for (const TCommand& command : kCommands) {
        out << "  " << command.Usage() << '\n';
    }
    out << "  venturo_mtd_cli --version\n";
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // The streams buffer for themselves: kept in step with C's standard output, a long JSON document
    // went out a few bytes per system call on Windows (each a round trip to the server under Wine).
    std::ios::sync_with_stdio(false);
    rtl::ApplicationInitialize();
    if (argc < 2) {
        return Usage(std::cerr, 2);
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        return Usage(std::cout, 0);
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << rtl::StringToUtf8(ven::VersionReport());
        return 0;
    }
    for (const TCommand& command : kCommands) {
        if (std::strcmp(argv[1], command.Name) == 0) {
            rtl::LoadLocaleFormatSettings();
            const std::vector<std::string> args(argv + 2, argv + argc);
            return command.Run(args, std::cout, std::cerr);
        }
    }
    std::cerr << "venturo_mtd_cli: unknown command \"" << argv[1] << "\"\n";
    return Usage(std::cerr, 2);
}
