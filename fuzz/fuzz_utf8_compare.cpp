// Fuzzes UTF8CompareStr on random bytes: the first byte splits the rest into two texts. Every call
// either answers -1, 0 or 1 or raises EORVIUTF8EncodingError; answers are antisymmetric.
#include "utils/text/ORVI.StringUtils.h"

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

template <class A, class B> std::optional<int> Compare(A a, B b) {
    try {
        const int r = orvi::UTF8CompareStr(a, b);
        if (r < -1 || r > 1)
            std::abort();
        return r;
    } catch (const orvi::EORVIUTF8EncodingError&) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t cut = std::min<std::size_t>(data[0], rest.size());
    const std::string_view a = rest.substr(0, cut), b = rest.substr(cut);
    const auto ab = Compare(a, b);
    const auto ba = Compare(b, a);
    if (ab && ba && *ab != -*ba)
        std::abort();
    // The UTF-16 side: raw units from the bytes, lone surrogates included.
    rtl::UnicodeString wide;
    for (std::size_t i = 0; i + 1 < a.size(); i += 2)
        wide.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(a[i]) | static_cast<std::uint8_t>(a[i + 1]) << 8));
    Compare(b, rtl::UnicodeStringView(wide));
    Compare(rtl::UnicodeStringView(wide), b);
    // A valid text and its UTF-16 form compare equal.
    if (rtl::IsValidUtf8(b) && Compare(b, rtl::UnicodeStringView(rtl::Utf8ToString(b))) != 0)
        std::abort();
    return 0;
}
