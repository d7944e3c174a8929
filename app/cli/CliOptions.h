#pragma once
// Command-line options of venturo_mtd_cli: a small parser shared by the commands.
#include "rtl/UnicodeString.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

/// One option a command accepts: "--name" alone, or "--name VALUE" / "--name=VALUE" when it takes a value.
struct TCliOptionDef {
    std::string Name;
    bool TakesValue = false;
    /// May be given more than once; every value is kept, in order.
    bool Repeatable = false;
};

/// The parsed arguments of one command.
class TCliOptions {
public:
    /// Parses args (the command's own arguments as the system gave them: bytes that are not UTF-8 are
    /// kept as file names keep them, rtl::NativeToString); false with Error() set on an unknown option,
    /// a missing value (the next argument is an option) or an option given twice. "--" ends the options.
    bool Parse(const std::vector<std::string>& args, const std::vector<TCliOptionDef>& defs);

    bool Has(const std::string& name) const { return _values.count(name) != 0; }
    /// The value of an option that takes one; empty when absent.
    rtl::UnicodeString Value(const std::string& name) const;
    /// Every value of a repeatable option, in the order given.
    std::vector<rtl::UnicodeString> Values(const std::string& name) const;
    /// Every option with a value, in the order given (repeatable ones once per use).
    const std::vector<std::pair<std::string, rtl::UnicodeString>>& Ordered() const noexcept {
        return _ordered;
    }
    const std::vector<rtl::UnicodeString>& Positionals() const noexcept { return _positionals; }
    const std::string& Error() const noexcept { return _szError; }

    /// Applies --date-separator and --decimal-separator to the process-wide regional settings; false
    /// with Error() set when a value is not exactly one character.
    bool ApplyRegionalOverrides();

private:
    std::map<std::string, rtl::UnicodeString> _values;
    std::vector<std::pair<std::string, rtl::UnicodeString>> _ordered;
    std::vector<rtl::UnicodeString> _positionals;
    std::string _szError;
};

/// The two options that override the regional settings, for commands that accept them.
std::vector<TCliOptionDef> RegionalOptionDefs();

} // namespace cli
