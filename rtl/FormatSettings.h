#pragma once
// Regional settings: separators read from the user's locale, overridable by tests and the CLI.
#include "RtlApi.h"

namespace rtl {

struct TFormatSettings {
    char16_t DateSeparator = u'/';
    char16_t TimeSeparator = u':';
    char16_t DecimalSeparator = u'.';
    char16_t ThousandSeparator = u',';
};

/// The process-wide settings; set once at start-up (from the locale) and read afterwards.
RTL_API TFormatSettings& FormatSettings();
/// Settings of the user's locale: LC_TIME and LC_NUMERIC on POSIX, the user locale on Windows.
RTL_API TFormatSettings LocaleFormatSettings();
/// FormatSettings() := LocaleFormatSettings().
RTL_API void LoadLocaleFormatSettings();

} // namespace rtl
