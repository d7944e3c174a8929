#pragma once
// The body shared by the date-text fuzz targets: a reader either returns a date-time of years 1 to
// 9999 or raises EConvertError (any other exception escapes and counts as a crash), and whatever it
// reads is written in the same form and read back unchanged. The local-time reader runs too, in a
// zone with daylight saving far from Greenwich.
#include "rtl/Exceptions.h"
#include "rtl/TimeZone.h"
#include "utils/text/ORVI.DateUtils.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz {

using TDateReader = rtl::TDateTime (*)(const rtl::UnicodeString&);
using TDateWriter = rtl::UnicodeString (*)(rtl::TDateTime);

[[noreturn]] inline void FailDate(const char* what, const rtl::UnicodeString& text) {
    std::fprintf(stderr, "%s: %s\n", what, rtl::StringToUtf8(text).c_str());
    std::abort();
}

inline bool TryReadDate(TDateReader read, const rtl::UnicodeString& text, rtl::TDateTime& result) {
    try {
        result = read(text);
        return true;
    } catch (const rtl::EConvertError&) {
        return false;
    }
}

inline int FuzzDateReader(const std::uint8_t* data, std::size_t size, TDateReader toGMT, TDateReader toLocal,
                          TDateWriter write) {
    static const bool zoned = rtl::TTimeZone::SelectLocal(u"Pacific/Auckland");
    (void)zoned; // without the zone database the system's zone serves as well
    const rtl::UnicodeString text = rtl::Utf8ToString(std::string_view(reinterpret_cast<const char*>(data), size));
    rtl::TDateTime gmt = 0;
    if (TryReadDate(toGMT, text, gmt)) {
        if (!rtl::IsValidDateTime(gmt))
            FailDate("read a date-time outside years 1 to 9999", text);
        rtl::TDateTime again = 0;
        if (gmt != 0 && (!TryReadDate(toGMT, write(gmt), again) || rtl::CompareDateTime(again, gmt) != 0))
            FailDate("the written form does not read back", text);
    }
    rtl::TDateTime local = 0;
    if (TryReadDate(toLocal, text, local) && !rtl::IsValidDateTime(local))
        FailDate("read a local date-time outside years 1 to 9999", text);
    return 0;
}

} // namespace fuzz
