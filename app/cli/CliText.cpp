#include "app/cli/CliText.h"

#include "sage_datasets/SageDataset.h"

namespace cli {

std::string Utf8(rtl::UnicodeStringView text) {
    return rtl::StringToUtf8(text);
}

std::string IsoDate(rtl::TDateTime value) {
    return Utf8(rtl::FormatDateTime(u"yyyy-mm-dd", value));
}

std::string Money(rtl::Currency value) {
    return Utf8(rtl::FormatCurr(u"\u00A3#,##0.00", value));
}

std::string Dump(const TJson& json) {
    return json.dump(2, ' ', false, TJson::error_handler_t::replace);
}

void TDatasetDeleter::operator()(sage::TSageDataset* p) const {
    rtl::Free(p);
}

} // namespace cli
