#include "app/core/GridColumnSizes.h"

#include "rtl/Exceptions.h"
#include "rtl/Registry.h"

#include <utility>

namespace ven {

using rtl::UnicodeString;

namespace {

using TValues = std::vector<std::pair<UnicodeString, int>>;

UnicodeString SectionKey(const UnicodeString& section) {
    return UnicodeString(kGridSizesKey) + u"\\" + section;
}
UnicodeString ColumnValueName(int column) {
    return u"Col" + rtl::IntToStr(column);
}

const char16_t* const kBoundsNames[] = {u"WindowLeft", u"WindowTop", u"WindowWidth", u"WindowHeight",
                                        u"WindowMaximised"};

// The named integers of a section as saved; a value absent or not an integer is left out.
std::vector<std::optional<int>> LoadValues(const UnicodeString& section,
                                           const std::vector<UnicodeString>& names) {
    std::vector<std::optional<int>> values(names.size());
    try {
        rtl::TRegistry reg(true);
        reg.RootKey = rtl::TRootKey::CurrentUser;
        if (!reg.OpenKeyReadOnly(SectionKey(section))) {
            return values;
        }
        for (size_t i = 0; i < names.size(); ++i) {
            if (reg.ValueExists(names[i])) {
                try {
                    values[i] = reg.ReadInteger(names[i]);
                } catch (const rtl::Exception&) {
                }
            }
        }
    } catch (const rtl::Exception&) {
    }
    return values;
}

// Every store write is synced to disk, which a closing window would otherwise wait for once per
// value: only the values that changed are written, all in one write.
bool SaveValues(const UnicodeString& section, const TValues& values) {
    std::vector<UnicodeString> names;
    for (const auto& value : values) {
        names.push_back(value.first);
    }
    std::vector<std::optional<int>> saved = LoadValues(section, names);
    std::vector<std::pair<UnicodeString, UnicodeString>> changed;
    for (size_t i = 0; i < values.size(); ++i) {
        if (saved[i] != values[i].second) {
            changed.emplace_back(values[i].first, rtl::IntToStr(values[i].second));
        }
    }
    if (changed.empty()) {
        return true;
    }
    try {
        rtl::TRegistry reg;
        reg.RootKey = rtl::TRootKey::CurrentUser;
        if (!reg.OpenKey(SectionKey(section), true)) {
            return false;
        }
        reg.WriteValues(changed);
        return true;
    } catch (const rtl::Exception&) {
        return false;
    }
}

} // namespace

std::vector<int> LoadColumnWidths(const UnicodeString& section, int count) {
    std::vector<UnicodeString> names;
    for (int i = 0; i < count; ++i) {
        names.push_back(ColumnValueName(i));
    }
    std::vector<int> widths;
    for (const std::optional<int>& w : LoadValues(section, names)) {
        widths.push_back(w && *w > 0 ? *w : 0);
    }
    return widths;
}

bool SaveColumnWidths(const UnicodeString& section, const std::vector<int>& widths) {
    TValues values;
    for (int i = 0; i < static_cast<int>(widths.size()); ++i) {
        values.emplace_back(ColumnValueName(i), widths[static_cast<size_t>(i)]);
    }
    return SaveValues(section, values);
}

std::optional<TWindowBounds> LoadWindowBounds(const UnicodeString& section) {
    std::vector<std::optional<int>> v = LoadValues(
        section, {kBoundsNames[0], kBoundsNames[1], kBoundsNames[2], kBoundsNames[3], kBoundsNames[4]});
    if (!v[0] || !v[1] || !v[2] || !v[3] || *v[2] <= 0 || *v[3] <= 0) {
        return std::nullopt;
    }
    return TWindowBounds{*v[0], *v[1], *v[2], *v[3], v[4].value_or(0) != 0};
}

bool SaveWindowBounds(const UnicodeString& section, const TWindowBounds& bounds) {
    return SaveValues(section, {{kBoundsNames[0], bounds.Left},
                                {kBoundsNames[1], bounds.Top},
                                {kBoundsNames[2], bounds.Width},
                                {kBoundsNames[3], bounds.Height},
                                {kBoundsNames[4], bounds.Maximised ? 1 : 0}});
}

} // namespace ven
