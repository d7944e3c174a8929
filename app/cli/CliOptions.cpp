#include "app/cli/CliOptions.h"

#include "rtl/FormatSettings.h"

namespace cli {

namespace {

const TCliOptionDef* FindDef(const std::vector<TCliOptionDef>& defs, const std::string& name) {
    for (const TCliOptionDef& def : defs) {
        if (def.Name == name) {
            return &def;
        }
    }
    return nullptr;
}

bool SingleCharacter(const rtl::UnicodeString& value, char16_t& c) {
    if (value.size() != 1 || (value[0] >= 0xD800 && value[0] <= 0xDFFF)) {
        return false;
    }
    c = value[0];
    return true;
}

// True when the argument is an option or the end of the options ("--..."), never a value.
bool IsOptionLike(const std::string& arg) {
    return arg.compare(0, 2, "--") == 0;
}

} // namespace

bool TCliOptions::Parse(const std::vector<std::string>& args, const std::vector<TCliOptionDef>& defs) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            _positionals.push_back(rtl::NativeToString(arg));
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const TCliOptionDef* def = FindDef(defs, name);
        if (def == nullptr) {
            _szError = "unknown option " + name;
            return false;
        }
        if (Has(name) && !def->Repeatable) {
            _szError = "option " + name + " given twice";
            return false;
        }
        if (!def->TakesValue) {
            if (equals != std::string::npos) {
                _szError = "option " + name + " takes no value";
                return false;
            }
            _values[name] = {};
        } else if (equals != std::string::npos) {
            _values[name] = rtl::NativeToString(std::string_view(arg).substr(equals + 1));
            _ordered.emplace_back(name, _values[name]);
        } else if (i + 1 < args.size() && !IsOptionLike(args[i + 1])) {
            // Any other text is the value, however it looks ("#", "-"); an option is not, so a
            // forgotten value is reported instead of swallowing the next option. "--name=--x" gives such
            // a value.
            _values[name] = rtl::NativeToString(args[++i]);
            _ordered.emplace_back(name, _values[name]);
        } else {
            _szError = "option " + name + " needs a value";
            return false;
        }
    }
    return true;
}

rtl::UnicodeString TCliOptions::Value(const std::string& name) const {
    const auto it = _values.find(name);
    return it == _values.end() ? rtl::UnicodeString() : it->second;
}

std::vector<rtl::UnicodeString> TCliOptions::Values(const std::string& name) const {
    std::vector<rtl::UnicodeString> values;
    for (const auto& [optionName, value] : _ordered) {
        if (optionName == name) {
            values.push_back(value);
        }
    }
    return values;
}

bool TCliOptions::ApplyRegionalOverrides() {
    rtl::TFormatSettings settings = rtl::FormatSettings();
    const std::pair<const char*, char16_t*> overrides[] = {
        {"--date-separator", &settings.DateSeparator}, {"--decimal-separator", &settings.DecimalSeparator}};
    for (const auto& [name, target] : overrides) {
        if (Has(name) && !SingleCharacter(Value(name), *target)) {
            _szError = std::string("option ") + name + " needs exactly one character";
            return false;
        }
    }
    rtl::FormatSettings() = settings;
    return true;
}

std::vector<TCliOptionDef> RegionalOptionDefs() {
    return {{"--date-separator", true}, {"--decimal-separator", true}};
}

} // namespace cli
