#include "app/core/GroupReturnModel.h"

#include "rtl/Exceptions.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <algorithm>
#include <array>

namespace ven {

using rtl::UnicodeString;
using sage::TSageDataset;
using sage::TSageDatasetVatReturn;

namespace {

const TGroupMember* FirstWithReturn(const TGroupPeriod& period) {
    for (const TGroupMember& m : period.Members) {
        if (m.Return) {
            return &m;
        }
    }
    return nullptr;
}

// A dataset already gathered, as a copy of it would show.
struct TGathered {
    UnicodeString Company;
    UnicodeString Uuid;
    UnicodeString Folder;
};

// The folder of the first gathered dataset that dataset likely copies: the same non-empty dataset UUID
// and the same company name. A subsidiary set up from a copy keeps the UUID under its own name, and
// is a real member.
UnicodeString LikelyCopyOf(const std::vector<TGathered>& gathered, const UnicodeString& uuid,
                           const UnicodeString& company) {
    if (uuid.empty()) {
        return {};
    }
    for (const TGathered& earlier : gathered) {
        if (rtl::SameText(earlier.Uuid, uuid) && rtl::SameText(earlier.Company, company)) {
            return earlier.Folder;
        }
    }
    return {};
}

} // namespace

TGroupReturnModel::TGroupReturnModel() : _pSectionReturns(std::make_unique<rtl::TStringList>(true)) {}

TGroupReturnModel::~TGroupReturnModel() = default;

void TGroupReturnModel::Clear() {
    _periods.clear();
    _pSectionReturns->Clear();
    _szVatNumber.clear();
    _szReturnName.clear();
    _nSelected = -1;
}

bool TGroupReturnModel::Build(TSageDataset* selected, const rtl::TStringList& datasets) {
    Clear();
    if (!selected || selected->VatNumberForUrl().empty() || selected->VatReturns().Count() == 0) {
        _szVatNumber = kNoVatInfo;
        return false;
    }
    _szVatNumber = selected->VatNumber();
    _szReturnName = selected->CompanyName();
    Gather(selected, datasets);
    std::stable_sort(_periods.begin(), _periods.end(), [](const TGroupPeriod& a, const TGroupPeriod& b) {
        return ComparePeriodGroups(a, b) < 0;
    });
    _periods.erase(std::remove_if(_periods.begin(), _periods.end(),
                                  [](const TGroupPeriod& p) { return p.Members.empty(); }),
                   _periods.end());
    for (TGroupPeriod& period : _periods) {
        Combine(period);
    }
    return true;
}

void TGroupReturnModel::Gather(TSageDataset* selected, const rtl::TStringList& datasets) {
    UnicodeString vat = selected->VatNumberForUrl();
    std::vector<TGathered> gathered;
    for (int i = 0; i < datasets.Count(); ++i) {
        auto* dataset = dynamic_cast<TSageDataset*>(datasets.Objects(i));
        if (!dataset || !rtl::SameText(dataset->VatNumberForUrl(), vat)) {
            continue;
        }
        TGathered self{dataset->CompanyName(), dataset->UuidString(), dataset->DatasetFolder()};
        const UnicodeString copyOf = LikelyCopyOf(gathered, self.Uuid, self.Company);
        const TGroupMember absent{self.Company, nullptr, true, self.Folder, copyOf, {}};
        std::vector<bool> touched(_periods.size(), false);
        const rtl::TStringList& returns = dataset->VatReturns();
        for (int r = 0; r < returns.Count(); ++r) {
            auto* vatReturn = dynamic_cast<TSageDatasetVatReturn*>(returns.Objects(r));
            if (!vatReturn) {
                continue;
            }
            UnicodeString text = vatReturn->Period();
            int p = IndexOfPeriod(text);
            if (p >= 0 && touched[p]) {
                // One dataset adds at most one return to a period; a second one means its files
                // disagree (copies of one file are read once), so neither counts.
                TGroupMember& member = _periods[p].Members.back();
                member.Included = false;
                if (member.ConflictingFile.empty()) {
                    member.ConflictingFile =
                        vatReturn->Conflicting() ? vatReturn->ConflictingFile() : self.Folder;
                }
                continue;
            }
            if (p < 0) {
                // A period first seen now: the datasets gathered before have no return for it.
                TGroupPeriod period{text, {}, nullptr};
                for (const TGathered& earlier : gathered) {
                    period.Members.push_back({earlier.Company, nullptr, true, earlier.Folder, {}, {}});
                }
                _periods.push_back(std::move(period));
                touched.push_back(false);
                p = static_cast<int>(_periods.size()) - 1;
            }
            // A likely copy starts unticked, so that its boxes are not added twice unless asked for.
            _periods[p].Members.push_back({self.Company, vatReturn, copyOf.empty() && !vatReturn->Conflicting(),
                                           self.Folder, copyOf, vatReturn->ConflictingFile()});
            touched[p] = true;
        }
        gathered.push_back(std::move(self));
        for (std::size_t p = 0; p < _periods.size(); ++p) {
            if (!touched[p]) {
                _periods[p].Members.push_back(absent);
            }
        }
    }
}

void TGroupReturnModel::Combine(TGroupPeriod& period) {
    auto* combined = new TSageDatasetVatReturn();
    _pSectionReturns->AddObject(period.Period, combined);
    period.Combined = combined;
    if (const TGroupMember* first = FirstWithReturn(period)) {
        combined->SetVatNumber(first->Return->VatNumber());
        combined->SetDateFrom(first->Return->DateFrom());
        combined->SetDateTo(first->Return->DateTo());
    }
    Resum(period);
}

bool TGroupPeriod::HasConflict() const {
    return std::any_of(Members.begin(), Members.end(),
                       [](const TGroupMember& m) { return !m.ConflictingFile.empty(); });
}

int TGroupPeriod::IncludedCount() const {
    int n = 0;
    for (const TGroupMember& m : Members) {
        n += m.Return && m.Included ? 1 : 0;
    }
    return n;
}

void TGroupReturnModel::Resum(TGroupPeriod& period) {
    std::array<rtl::Currency, 9> sums{};
    period.Overflow = false;
    for (int box = 1; box <= 9 && !period.Overflow; ++box) {
        for (const TGroupMember& m : period.Members) {
            if (m.Return && m.Included && !TryAdd(sums[box - 1], m.Return->GetBox(box), sums[box - 1])) {
                period.Overflow = true;
                break;
            }
        }
    }
    for (int box = 1; box <= 9; ++box) {
        period.Combined->SetBox(box, period.Overflow ? rtl::Currency() : sums[box - 1]);
    }
}

int TGroupReturnModel::IndexOfPeriod(rtl::UnicodeStringView period) const {
    for (int i = 0; i < PeriodCount(); ++i) {
        if (_periods[i].Period == period) {
            return i;
        }
    }
    return -1;
}

void TGroupReturnModel::SetIncluded(int period, int member, bool included) {
    TGroupPeriod& p = _periods.at(period);
    TGroupMember& m = p.Members.at(member);
    if (!m.Return || (included && !m.ConflictingFile.empty())) {
        return;
    }
    m.Included = included;
    Resum(p);
}

TSageDatasetVatReturn* TGroupReturnModel::SelectedReturn() const {
    return _nSelected >= 0 && _nSelected < PeriodCount() && !_periods[_nSelected].Overflow &&
                   !_periods[_nSelected].HasConflict()
               ? _periods[_nSelected].Combined
               : nullptr;
}

void TGroupReturnModel::Select(int period) {
    _nSelected = period >= 0 && period < PeriodCount() ? period : -1;
}

int TGroupReturnModel::ComparePeriodGroups(const TGroupPeriod& a, const TGroupPeriod& b) {
    const TGroupMember* ma = FirstWithReturn(a);
    const TGroupMember* mb = FirstWithReturn(b);
    if (!ma || !mb) {
        return (ma ? -1 : 0) + (mb ? 1 : 0);
    }
    // Greater description (later period end) first.
    return -rtl::CompareStr(ma->Return->Description(), mb->Return->Description());
}

} // namespace ven
