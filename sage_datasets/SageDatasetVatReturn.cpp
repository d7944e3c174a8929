#include "sage_datasets/SageDatasetVatReturn.h"

#include "rtl/Exceptions.h"

#include <array>

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

int TSageDatasetVatReturn::CompareContent(const TSageDatasetVatReturn& other) const {
    const auto figures = [](const TSageDatasetVatReturn& r) {
        std::array<std::int64_t, BoxCount + 5> values{};
        for (std::size_t i = 0; i < r.FBox.size(); ++i) {
            values[i] = r.FBox[i].Raw();
        }
        values[BoxCount] = r.FFlatRateLiability.Raw();
        values[BoxCount + 1] = r.FStandardRateLiability.Raw();
        values[BoxCount + 2] = r.FStandardRateSales.Raw();
        values[BoxCount + 3] = r.FStandardRatePurchase.Raw();
        values[BoxCount + 4] = r.FFlatRateBeniftCost.Raw();
        return values;
    };
    if (FDateFrom != other.FDateFrom) {
        return FDateFrom < other.FDateFrom ? -1 : 1;
    }
    if (FDateTo != other.FDateTo) {
        return FDateTo < other.FDateTo ? -1 : 1;
    }
    const auto mine = figures(*this);
    const auto theirs = figures(other);
    if (mine != theirs) {
        return mine < theirs ? -1 : 1;
    }
    if (FVatNumber != other.FVatNumber) {
        return FVatNumber < other.FVatNumber ? -1 : 1;
    }
    return FCompanyName == other.FCompanyName ? 0 : (FCompanyName < other.FCompanyName ? -1 : 1);
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
