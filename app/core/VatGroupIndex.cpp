#include "app/core/VatGroupIndex.h"

#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

namespace ven {

namespace {

// The latest return's VAT number as a key, or empty when there is none to share.
rtl::UnicodeString KeyOf(sage::TSageDataset* dataset) {
    sage::TSageDatasetVatReturn* latest = dataset ? dataset->LatestVatReturn() : nullptr;
    return latest ? rtl::UpperCase(latest->VatNumber()) : rtl::UnicodeString();
}

} // namespace

TVatGroupIndex::TVatGroupIndex(rtl::TStringList& datasets) {
    for (int i = 0; i < datasets.Count(); ++i) {
        auto* dataset = dynamic_cast<sage::TSageDataset*>(datasets.Objects(i));
        const rtl::UnicodeString key = KeyOf(dataset);
        if (key.empty()) {
            continue;
        }
        THolders& holders = _mByVatNumber[key];
        if (holders.nCount++ == 0) {
            holders.pFirst = dataset;
        }
    }
}

bool TVatGroupIndex::IsGroupReturn(sage::TSageDataset* dataset) const {
    const rtl::UnicodeString key = KeyOf(dataset);
    if (rtl::Trim(key).empty()) {
        return false;
    }
    const auto found = _mByVatNumber.find(key);
    if (found == _mByVatNumber.end()) {
        return false;
    }
    // The dataset itself may be among those counted (it is when it is in the list).
    return found->second.nCount >= 2 || found->second.pFirst != dataset;
}

} // namespace ven
