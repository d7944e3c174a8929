#include "app/core/GridColumnSizes.h"

#include "rtl/Exceptions.h"
#include "rtl/Registry.h"

namespace ven {

using rtl::UnicodeString;

namespace {
UnicodeString SectionKey(const UnicodeString& section) {
    return UnicodeString(kGridSizesKey) + u"\\" + section;
}
UnicodeString ColumnValueName(int column) {
    return u"Col" + rtl::IntToStr(column);
}
} // namespace

std::vector<int> LoadColumnWidths(const UnicodeString& section, int count) {
    std::vector<int> widths(count > 0 ? count : 0, 0);
    try {
        rtl::TRegistry reg(true);
        reg.RootKey = rtl::TRootKey::CurrentUser;
        if (!reg.OpenKeyReadOnly(SectionKey(section))) {
            return widths;
        }
        for (int i = 0; i < count; ++i) {
            if (reg.ValueExists(ColumnValueName(i))) {
                int w = reg.ReadInteger(ColumnValueName(i));
                widths[i] = w > 0 ? w : 0;
            }
        }
    } catch (const rtl::Exception&) {
    }
    return widths;
}

bool SaveColumnWidths(const UnicodeString& section, const std::vector<int>& widths) {
    try {
        rtl::TRegistry reg;
        reg.RootKey = rtl::TRootKey::CurrentUser;
        if (!reg.OpenKey(SectionKey(section), true)) {
            return false;
        }
        for (int i = 0; i < static_cast<int>(widths.size()); ++i) {
            reg.WriteInteger(ColumnValueName(i), widths[i]);
        }
        return true;
    } catch (const rtl::Exception&) {
        return false;
    }
}

} // namespace ven
