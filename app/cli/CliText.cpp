#include "app/cli/CliText.h"

#include "sage_datasets/SageDataset.h"

#include <algorithm>

namespace cli {

namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x80 && c < 0xA0);
}

} // namespace

std::string Utf8(rtl::UnicodeStringView text) {
    if (std::none_of(text.begin(), text.end(), IsControl)) {
        return rtl::StringToUtf8(text);
    }
    rtl::UnicodeString shown(text);
    std::replace_if(shown.begin(), shown.end(), IsControl, u'\uFFFD');
    return rtl::StringToUtf8(shown);
}

std::string JsonUtf8(rtl::UnicodeStringView text) {
    return rtl::StringToUtf8(text);
}

std::string IsoDate(rtl::TDateTime value) {
    return Utf8(rtl::FormatDateTime(u"yyyy-mm-dd", value));
}

std::string Money(rtl::Currency value) {
    return Utf8(rtl::FormatCurr(u"\u00A3#,##0.00", value));
}

std::string Dump(const TJson& json) {
    const std::string dumped = json.dump(2, ' ', false, TJson::error_handler_t::replace);
    // The dump escapes C0 controls; C1 ones (UTF-8 C2 80 to C2 9F) stand only inside strings, where
    // an escape means the same character.
    std::string out;
    out.reserve(dumped.size());
    for (std::size_t i = 0; i < dumped.size(); ++i) {
        const auto next = i + 1 < dumped.size() ? static_cast<unsigned char>(dumped[i + 1]) : 0u;
        if (static_cast<unsigned char>(dumped[i]) == 0xC2 && next >= 0x80 && next < 0xA0) {
            static constexpr char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[next >> 4];
            out += hex[next & 0x0F];
            ++i;
        } else {
            out += dumped[i];
        }
    }
    return out;
}

void TDatasetDeleter::operator()(sage::TSageDataset* p) const {
    rtl::Free(p);
}

} // namespace cli
