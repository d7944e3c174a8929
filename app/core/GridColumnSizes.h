#pragma once
// Column widths of the grids, kept in the registry under the product's key, one section per grid.
#include "rtl/UnicodeString.h"

#include <vector>

namespace ven {

inline constexpr char16_t kGridSizesKey[] = u"Software\\Corvane\\Venturo MTD";
inline constexpr char16_t kDatasetGridSection[] = u"SageCompanyGridSizes";
inline constexpr char16_t kVatReturnGridSection[] = u"VATReturnGridSizes";
inline constexpr char16_t kGroupReturnGridSection[] = u"GroupVATReturnGridSizes";

/// The saved widths of count columns; a column without a saved positive width gets 0 (keep the
/// default). Never raises: an unreadable registry gives all zeros.
std::vector<int> LoadColumnWidths(const rtl::UnicodeString& section, int count);
/// Saves the widths; false when the registry could not be written.
bool SaveColumnWidths(const rtl::UnicodeString& section, const std::vector<int>& widths);

} // namespace ven
