#pragma once
// Column widths and window bounds of the windows, kept in the registry under the product's key,
// one section per grid.
#include "rtl/UnicodeString.h"

#include <optional>
#include <vector>

namespace ven {

inline constexpr char16_t kGridSizesKey[] = u"Software\\Corvane\\Venturo MTD";
inline constexpr char16_t kDatasetGridSection[] = u"SageCompanyGridSizes";
inline constexpr char16_t kVatReturnGridSection[] = u"VATReturnGridSizes";
inline constexpr char16_t kGroupReturnGridSection[] = u"GroupVATReturnGridSizes";

/// The saved widths of count columns; a column without a saved positive width gets 0 (keep the
/// default). Never raises: an unreadable registry gives all zeros.
std::vector<int> LoadColumnWidths(const rtl::UnicodeString& section, int count);
/// Saves the widths that differ from the saved ones, in one registry write (none when nothing
/// changed); false when the registry could not be written.
bool SaveColumnWidths(const rtl::UnicodeString& section, const std::vector<int>& widths);

/// Where a window stood and how large it was (its normal, unmaximised frame), and whether it was
/// maximised.
struct TWindowBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Maximised = false;
    bool operator==(const TWindowBounds&) const = default;
};

/// The bounds saved beside a grid's widths; none when absent, unreadable or not positive in size.
std::optional<TWindowBounds> LoadWindowBounds(const rtl::UnicodeString& section);
/// Saves the bounds beside the grid's widths, in one registry write (none when unchanged).
bool SaveWindowBounds(const rtl::UnicodeString& section, const TWindowBounds& bounds);

} // namespace ven
