#pragma once
// Which datasets of a list are members of a VAT group: their latest returns carry the same VAT number
// as another dataset's latest return (compared as SameText does).
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <unordered_map>

namespace sage {
class TSageDataset;
}

namespace ven {

/// The VAT numbers of a list's latest returns, counted once, so that asking for every dataset of a
/// list costs one pass over it rather than one per dataset. Made for the list as it stands; the
/// datasets must outlive the index.
class TVatGroupIndex {
public:
    explicit TVatGroupIndex(rtl::TStringList& datasets);
    /// Whether another dataset of the list has a latest return with dataset's latest VAT number; false
    /// without a return or with a blank number (companies that lack one share nothing).
    bool IsGroupReturn(sage::TSageDataset* dataset) const;

private:
    struct THolders {
        int nCount = 0;
        const sage::TSageDataset* pFirst = nullptr;
    };
    std::unordered_map<rtl::UnicodeString, THolders> _mByVatNumber; // by the number upper-cased
};

} // namespace ven
