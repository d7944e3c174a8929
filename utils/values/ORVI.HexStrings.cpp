#include "utils/values/ORVI.HexStrings.h"

#include "rtl/Exceptions.h"

namespace orvi {

namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEF";

void AppendByte(rtl::UnicodeString& s, std::uint8_t b) {
    s.push_back(kDigits[b >> 4]);
    s.push_back(kDigits[b & 15]);
}

bool IsWhiteSpace(char16_t c) noexcept {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

} // namespace

rtl::UnicodeString BytesToHexString(const rtl::TBytes& Bytes) {
    rtl::UnicodeString s;
    s.reserve(Bytes.size() * 2);
    for (std::uint8_t b : Bytes)
        AppendByte(s, b);
    return s;
}

rtl::UnicodeString BytesToHexString(const rtl::TBytes& Bytes, int Spacing, int GroupSize,
                                    rtl::UnicodeStringView GroupSeparator) {
    rtl::UnicodeString s;
    const std::size_t spaces = Spacing > 0 ? static_cast<std::size_t>(Spacing) : 0;
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
        if (i > 0) {
            if (GroupSize > 0 && i % static_cast<std::size_t>(GroupSize) == 0)
                s.append(GroupSeparator);
            else
                s.append(spaces, u' ');
        }
        AppendByte(s, Bytes[i]);
    }
    return s;
}

void HexStringToBytes(rtl::UnicodeStringView S, rtl::TBytes& Bytes) {
    rtl::TBytes out;
    out.reserve(S.size() / 2);
    int pending = -1; // the first digit of a pair, while waiting for the second
    for (const char16_t c : S) {
        if (IsWhiteSpace(c))
            continue;
        const int v = rtl::HexDigitValue(c);
        if (v < 0)
            throw rtl::EConvertError(u"HexStringToBytes: String contains invalid characters");
        if (pending < 0) {
            pending = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(pending * 16 + v));
            pending = -1;
        }
    }
    if (pending >= 0)
        throw rtl::EConvertError(u"HexStringToBytes: String contains invalid characters");
    if (out.empty() && !S.empty())
        throw rtl::EConvertError(u"HexStringToBytes: could not match hex characters");
    Bytes = std::move(out);
}

} // namespace orvi
