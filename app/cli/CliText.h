#pragma once
// How the CLI writes the core's values: UTF-8 text, ISO dates, pounds, and JSON.
#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/ObjectHooks.h"
#include "rtl/UnicodeString.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

namespace sage {
class TSageDataset;
}

namespace cli {

/// Keys in the order they were written.
using TJson = nlohmann::ordered_json;

/// Text for plain output: UTF-8, with every C0 and C1 control character (U+0000 to U+001F, U+0080 to
/// U+009F) replaced by U+FFFD, so that text read from a dataset cannot drive the terminal.
std::string Utf8(rtl::UnicodeStringView text);
/// Text for a JSON value: UTF-8, exactly; Dump escapes the control characters.
std::string JsonUtf8(rtl::UnicodeStringView text);
/// "yyyy-mm-dd" of the date-time ("no date" is 1899-12-30).
std::string IsoDate(rtl::TDateTime value);
/// "£#,##0.00".
std::string Money(rtl::Currency value);
/// Two-space indented JSON; text that is not valid Unicode shows replacement characters, and control
/// characters are escaped (C1 ones too, which some terminals obey).
std::string Dump(const TJson& json);

/// Frees a dataset the way the library's objects are freed.
struct TDatasetDeleter {
    void operator()(sage::TSageDataset* p) const;
};
using TDatasetPtr = std::unique_ptr<sage::TSageDataset, TDatasetDeleter>;

} // namespace cli
