#pragma once
// Fuzz input as UTF-16 text: each pair of bytes is one 16-bit unit (low byte first), so that NULs,
// lone surrogates and units above 0xFF all reach the readers.
#include "rtl/UnicodeString.h"

#include <cstddef>
#include <cstdint>

namespace fuzz {

inline rtl::UnicodeString Utf16Units(const std::uint8_t* data, std::size_t size) {
    rtl::UnicodeString text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return text;
}

} // namespace fuzz
