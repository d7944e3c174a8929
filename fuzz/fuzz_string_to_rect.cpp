// Fuzzes StringToRect on UTF-8 text: a rectangle or EConvertError, nothing else.
#include "utils/text/ORVI.StringUtils.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const rtl::UnicodeString text = rtl::Utf8ToString(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const orvi::TRectD r = orvi::StringToRect(text);
        (void)orvi::RectToString(r);
        (void)orvi::RectToString(r.ToRectF());
    } catch (const rtl::EConvertError&) {
    }
    return 0;
}
