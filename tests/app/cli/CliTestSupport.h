#pragma once
// Runs one CLI command in-process and keeps what it printed.
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace cli::testing {

struct TCliRun {
    int Status = -1;
    std::string Out;
    std::string Err;
    nlohmann::json Json() const { return nlohmann::json::parse(Out); }
};

template <class F> TCliRun RunCommand(F command, const std::vector<std::string>& args) {
    std::ostringstream out, err;
    TCliRun run;
    run.Status = command(args, out, err);
    run.Out = out.str();
    run.Err = err.str();
    return run;
}

} // namespace cli::testing
