#include "rtl/RegularExpression.h"

#include "rtl/Exceptions.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace rtl {

namespace {

UnicodeString ErrorText(int code) {
    PCRE2_UCHAR16 buffer[256] = {};
    if (pcre2_get_error_message(code, buffer, 256) < 0)
        return u"error " + IntToStr(code);
    return UnicodeString(reinterpret_cast<const char16_t*>(buffer));
}

PCRE2_SPTR16 Units(UnicodeStringView s) {
    return reinterpret_cast<PCRE2_SPTR16>(s.data());
}

} // namespace

struct TRegEx::TImpl {
    pcre2_code_16* code = nullptr;
    ~TImpl() { pcre2_code_free_16(code); }
};

UnicodeString TRegExMatch::Group(UnicodeStringView subject, int index) const {
    const auto& [offset, length] = Groups.at(static_cast<std::size_t>(index));
    if (offset < 0 || static_cast<std::size_t>(offset + length) > subject.size())
        return {};
    return UnicodeString(subject.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
}

TRegEx::TRegEx(UnicodeStringView pattern, unsigned options) : _pImpl(std::make_unique<TImpl>()) {
    // Text may hold unpaired surrogates; PCRE2 then treats them as non-matching instead of failing.
    std::uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (options & roIgnoreCase)
        flags |= PCRE2_CASELESS;
    if (options & roSingleLine)
        flags |= PCRE2_DOTALL;
    if (options & roMultiLine)
        flags |= PCRE2_MULTILINE;
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    _pImpl->code = pcre2_compile_16(Units(pattern), pattern.size(), flags, &error, &errorOffset, nullptr);
    if (_pImpl->code == nullptr)
        throw EArgumentException(ErrorText(error) + u" at offset " +
                                 IntToStr(static_cast<std::int64_t>(errorOffset)));
    // Without JIT support the interpreter is used; pcre2_match picks JIT code when present.
    pcre2_jit_compile_16(_pImpl->code, PCRE2_JIT_COMPLETE);
}

TRegEx::~TRegEx() = default;
TRegEx::TRegEx(TRegEx&&) noexcept = default;
TRegEx& TRegEx::operator=(TRegEx&&) noexcept = default;

TRegExMatch TRegEx::Match(UnicodeStringView subject, long startOffset) const {
    TRegExMatch result;
    if (startOffset < 0 || static_cast<std::size_t>(startOffset) > subject.size())
        return result;
    // Match data per call: the compiled pattern is shared read-only between threads.
    std::unique_ptr<pcre2_match_data_16, decltype(&pcre2_match_data_free_16)> data(
        pcre2_match_data_create_from_pattern_16(_pImpl->code, nullptr), &pcre2_match_data_free_16);
    if (!data)
        throw Exception(u"Out of memory for a regular expression match");
    const int rc = pcre2_match_16(_pImpl->code, Units(subject), subject.size(),
                                  static_cast<PCRE2_SIZE>(startOffset), 0, data.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH)
        return result;
    if (rc < 0)
        throw Exception(u"Regular expression match failed: " + ErrorText(rc));
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(data.get());
    const std::uint32_t pairs = pcre2_get_ovector_count_16(data.get());
    result.Success = true;
    result.Groups.reserve(pairs);
    for (std::uint32_t i = 0; i < pairs; ++i) {
        const PCRE2_SIZE start = ovector[2 * i];
        const PCRE2_SIZE end = ovector[2 * i + 1];
        if (start == PCRE2_UNSET || end < start || i >= static_cast<std::uint32_t>(rc))
            result.Groups.emplace_back(-1, 0);
        else
            result.Groups.emplace_back(static_cast<long>(start), static_cast<long>(end - start));
    }
    return result;
}

} // namespace rtl
