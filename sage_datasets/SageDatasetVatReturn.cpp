#include "sage_datasets/SageDatasetVatReturn.h"

#include "rtl/Exceptions.h"

namespace sage {

void TSageDatasetVatReturn::_CheckBoxIndex(std::int32_t Index) {
    if (Index < 1 || Index > BoxCount) {
        throw rtl::EArgumentOutOfRangeException(u"VAT return box index out of range: " +
                                                rtl::IntToStr(Index));
    }
}

rtl::Currency TSageDatasetVatReturn::GetBox(std::int32_t Index) const {
    _CheckBoxIndex(Index);
    return FBox[static_cast<std::size_t>(Index - 1)];
}

void TSageDatasetVatReturn::SetBox(std::int32_t Index, rtl::Currency Value) {
    _CheckBoxIndex(Index);
    FBox[static_cast<std::size_t>(Index - 1)] = Value;
}

rtl::UnicodeString TSageDatasetVatReturn::Period() const {
    return rtl::FormatDateTime(u"dd/mm/yyyy", FDateFrom) + u" - " +
           rtl::FormatDateTime(u"dd/mm/yyyy", FDateTo);
}

rtl::UnicodeString TSageDatasetVatReturn::_GetDescription() const {
    return rtl::FormatDateTime(u"yyyy-mm-dd", FDateTo) + u" " +
           rtl::FormatDateTime(u"yyyy-mm-dd", FDateFrom) + u" " + FVatNumber;
}

} // namespace sage
