#include "utils/values/ORVI.NetEncoding.h"

#include "rtl/Exceptions.h"

#include <atomic>

namespace orvi {

namespace {

constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

int Base32Value(char16_t c) noexcept {
    if (c >= u'A' && c <= u'Z')
        return c - u'A';
    if (c >= u'a' && c <= u'z')
        return c - u'a';
    if (c >= u'2' && c <= u'7')
        return c - u'2' + 26;
    return -1;
}

std::atomic<TORVIBase32Encoding*> g_pBase32{nullptr};

/// Frees the shared encoder when the library unloads.
struct TBase32Release {
    ~TBase32Release() { delete g_pBase32.exchange(nullptr); }
} g_Base32Release;

} // namespace

rtl::UnicodeString TORVIBase32Encoding::DoEncode(rtl::UnicodeStringView input) const {
    rtl::UnicodeString out;
    out.reserve((input.size() + 4) / 5 * 8);
    std::uint32_t bits = 0;
    int nBits = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const char16_t c = input[i];
        if (c > 0xFF)
            throw rtl::EConvertError(u"Base32 input character is not a byte: " + rtl::UnicodeString(1, c) +
                                     u" at offset " + rtl::IntToStr(static_cast<std::int64_t>(i)));
        bits = (bits << 8) | c;
        nBits += 8;
        while (nBits >= 5) {
            nBits -= 5;
            out.push_back(kAlphabet[(bits >> nBits) & 31]);
        }
    }
    if (nBits > 0)
        out.push_back(kAlphabet[(bits << (5 - nBits)) & 31]);
    out.append((8 - out.size() % 8) % 8, u'=');
    return out;
}

rtl::UnicodeString TORVIBase32Encoding::DoDecode(rtl::UnicodeStringView input) const {
    rtl::UnicodeString out;
    out.reserve(input.size() * 5 / 8);
    std::uint32_t bits = 0;
    int nBits = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const char16_t c = input[i];
        if (c == u'=')
            break;
        const int v = Base32Value(c);
        if (v < 0)
            throw rtl::EConvertError(u"Invalid Base32 Input character: " + rtl::UnicodeString(1, c) +
                                     u" at offset " + rtl::IntToStr(static_cast<std::int64_t>(i)) +
                                     u" of buffer");
        bits = (bits << 5) | static_cast<std::uint32_t>(v);
        nBits += 5;
        if (nBits >= 8) {
            nBits -= 8;
            out.push_back(static_cast<char16_t>((bits >> nBits) & 0xFF));
        }
    }
    return out;
}

TORVIBase32Encoding* TORVINetEncoding::Base32() {
    TORVIBase32Encoding* p = g_pBase32.load(std::memory_order_acquire);
    if (p)
        return p;
    auto* pNew = new TORVIBase32Encoding;
    if (g_pBase32.compare_exchange_strong(p, pNew, std::memory_order_acq_rel))
        return pNew;
    delete pNew; // another thread won; p now holds its instance
    return p;
}

} // namespace orvi
