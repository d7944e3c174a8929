#include "rtl/NetEncoding.h"

namespace rtl {

TNetEncoding::~TNetEncoding() = default;

UnicodeString TURLEncoding::EncodeWith(UnicodeStringView input, const TAnsiCharSet& unsafe,
                                       bool blSpaceAsPlus) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    const std::string utf8 = StringToUtf8(input);
    UnicodeString out;
    out.reserve(utf8.size());
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == ' ' && blSpaceAsPlus) {
            out.push_back(u'+');
        } else if (unsafe.Contains(b)) {
            out.push_back(u'%');
            out.push_back(kDigits[b >> 4]);
            out.push_back(kDigits[b & 15]);
        } else {
            out.push_back(b);
        }
    }
    return out;
}

UnicodeString TURLEncoding::DecodeWith(UnicodeStringView input, bool blPlusAsSpace) {
    std::string bytes;
    bytes.reserve(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        const char16_t c = input[i];
        if (c == u'%' && i + 2 < input.size() && HexDigitValue(input[i + 1]) >= 0 && HexDigitValue(input[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(HexDigitValue(input[i + 1]) * 16 + HexDigitValue(input[i + 2])));
            i += 2;
        } else if (c == u'+' && blPlusAsSpace) {
            bytes.push_back(' ');
        } else {
            AppendStringAsUtf8(bytes, input.substr(i, 1));
        }
    }
    return Utf8ToString(bytes);
}

} // namespace rtl
