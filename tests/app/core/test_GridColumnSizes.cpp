// Saved column widths and window bounds: what a window finds again, and that an unchanged close
// writes nothing (every write is a synced replace of the whole store).
#include "app/core/GridColumnSizes.h"

#include "app/core/CoreTestSupport.h"
#include "app/core/VatBoxDescriptions.h"
#include "rtl/Registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace ven;
using namespace ven::testing;

// The store file's identity: a write replaces the file, so a new one means something was written.
ino_t StoreInode() {
    struct stat st {};
    const std::string file = rtl::StringToNative(rtl::TRegistry::StoreFolder() + u"/HKEY_CURRENT_USER.ini");
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(GridColumnSizesTest, WidthsRoundTripAndUnchangedOnesAreNotWrittenAgain) {
    TRegistryScope registry;
    EXPECT_EQ(LoadColumnWidths(kDatasetGridSection, 3), std::vector<int>({0, 0, 0}));
    ASSERT_TRUE(SaveColumnWidths(kDatasetGridSection, {120, 0, 64}));
    EXPECT_EQ(LoadColumnWidths(kDatasetGridSection, 4), std::vector<int>({120, 0, 64, 0}));
    const ino_t written = StoreInode();
    ASSERT_NE(written, 0u);
    ASSERT_TRUE(SaveColumnWidths(kDatasetGridSection, {120, 0, 64}));
    EXPECT_EQ(StoreInode(), written) << "nothing changed, nothing written";
    ASSERT_TRUE(SaveColumnWidths(kDatasetGridSection, {121, 0, 64}));
    EXPECT_NE(StoreInode(), written);
    EXPECT_EQ(LoadColumnWidths(kDatasetGridSection, 3)[0], 121);
}

TEST(GridColumnSizesTest, WindowBoundsRoundTripBesideTheWidths) {
    TRegistryScope registry;
    EXPECT_FALSE(LoadWindowBounds(kVatReturnGridSection).has_value());
    const TWindowBounds bounds{-20, 40, 900, 380, true};
    ASSERT_TRUE(SaveWindowBounds(kVatReturnGridSection, bounds));
    EXPECT_EQ(LoadWindowBounds(kVatReturnGridSection), bounds);
    EXPECT_FALSE(LoadWindowBounds(kGroupReturnGridSection).has_value()) << "one place per window";
    // A size that is no size is not a place to put a window.
    ASSERT_TRUE(SaveWindowBounds(kVatReturnGridSection, {0, 0, 0, 380, false}));
    EXPECT_FALSE(LoadWindowBounds(kVatReturnGridSection).has_value());
}

// Tests run side by side, each in a scope of its own: on Windows, where the registry is the system's,
// one scope's widths must not reach another's, even nested in one process.
TEST(GridColumnSizesTest, EachRegistryScopeStartsEmptyAndLeavesTheOuterOneAsItWas) {
    TRegistryScope outer;
    ASSERT_TRUE(SaveColumnWidths(kVatReturnGridSection, {90}));
    {
        TRegistryScope inner;
        EXPECT_EQ(LoadColumnWidths(kVatReturnGridSection, 1)[0], 0);
        ASSERT_TRUE(SaveColumnWidths(kVatReturnGridSection, {30}));
        EXPECT_EQ(LoadColumnWidths(kVatReturnGridSection, 1)[0], 30);
    }
    EXPECT_EQ(LoadColumnWidths(kVatReturnGridSection, 1)[0], 90);
}

TEST(VatBoxDescriptionsTest, NineBoxesAndNothingElse) {
    EXPECT_EQ(VatBoxDescription(1), u"VAT due on sales and other outputs");
    EXPECT_EQ(VatBoxDescription(5),
              u"Net VAT to pay to HMRC or reclaim (the difference between boxes 3 and 4)");
    EXPECT_EQ(
        VatBoxDescription(9),
        u"Total value of acquisitions of goods and related costs, excluding any VAT, from EU member states");
    EXPECT_TRUE(VatBoxDescription(0).empty());
    EXPECT_TRUE(VatBoxDescription(10).empty());
}

} // namespace
