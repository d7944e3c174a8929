#pragma once
// The VAT-group return: the returns of every dataset registered under one VAT number, arranged by
// period, with a combined return per period whose nine boxes are the sums of the ticked members.
// The group window renders this model as a tree; the CLI prints it.
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <memory>
#include <vector>

namespace sage {
class TSageDataset;
class TSageDatasetVatReturn;
} // namespace sage

namespace ven {

/// The VAT number field's text when the selected dataset cannot form a group.
inline constexpr char16_t kNoVatInfo[] = u"No VAT Info!";

struct TGroupMember {
    rtl::UnicodeString CompanyName;
    sage::TSageDatasetVatReturn* Return = nullptr; // owned by its dataset; null: no return this period
    bool Included = true;                          // only members with a return can be unticked
    rtl::UnicodeString DatasetFolder;
    /// The folder of an earlier member whose dataset this one likely copies (same dataset UUID and
    /// company name: a restored backup or a test copy); empty when none. Such a member starts unticked.
    rtl::UnicodeString LikelyCopyOf;
    /// A return file of this dataset for the period whose figures differ from those of Return's file;
    /// empty when none. Such a member is never added up, and its period cannot be sent.
    rtl::UnicodeString ConflictingFile;
};

struct TGroupPeriod {
    rtl::UnicodeString Period;
    std::vector<TGroupMember> Members;     // in DataSets order
    sage::TSageDatasetVatReturn* Combined; // owned by the model's section list
    /// The ticked members' boxes add up beyond what an amount can hold: the combined return's boxes
    /// are zero and it is never offered for sending.
    bool Overflow = false;
    /// A member's dataset holds this period in files whose figures differ: the period is never
    /// offered for sending.
    bool HasConflict() const;
    /// Members whose return is added to the combined return (ticked, with a return); when fewer
    /// than the members, the total leaves someone out.
    int IncludedCount() const;
};

class TGroupReturnModel {
public:
    TGroupReturnModel();
    ~TGroupReturnModel();
    TGroupReturnModel(const TGroupReturnModel&) = delete;
    TGroupReturnModel& operator=(const TGroupReturnModel&) = delete;

    /// Gathers the group of selected from datasets (folder -> dataset entries). False, with
    /// VatNumberText "No VAT Info!" and no periods, when selected has no URL-form VAT number or no
    /// returns.
    bool Build(sage::TSageDataset* selected, const rtl::TStringList& datasets);

    const rtl::UnicodeString& VatNumberText() const noexcept { return _szVatNumber; }
    /// The selected dataset's company name: the name sent unless the user edits it.
    const rtl::UnicodeString& ReturnName() const noexcept { return _szReturnName; }
    int PeriodCount() const noexcept { return static_cast<int>(_periods.size()); }
    const TGroupPeriod& Period(int index) const { return _periods.at(index); }
    /// Index of the period with that text, -1 when none.
    int IndexOfPeriod(rtl::UnicodeStringView period) const;

    /// Ticks or unticks a member that has a return and sums the period again (a member with a
    /// conflicting return stays unticked). Dates and VAT number of the combined return stay as they were.
    void SetIncluded(int period, int member, bool included);

    /// The combined return of the selected period, or null (also when its sums overflow or a member's
    /// files disagree).
    sage::TSageDatasetVatReturn* SelectedReturn() const;
    int SelectedPeriod() const noexcept { return _nSelected; }
    /// Selects a period (-1: none).
    void Select(int period);

    /// Period text -> combined return; owns the combined returns.
    const rtl::TStringList& SectionReturns() const noexcept { return *_pSectionReturns; }

    /// Order of the periods: the greater Description of the first member with a return first
    /// (ordinal), a period with a return before one without.
    static int ComparePeriodGroups(const TGroupPeriod& a, const TGroupPeriod& b);

private:
    void Clear();
    void Gather(sage::TSageDataset* selected, const rtl::TStringList& datasets);
    void Combine(TGroupPeriod& period);
    static void Resum(TGroupPeriod& period);

    std::unique_ptr<rtl::TStringList> _pSectionReturns;
    std::vector<TGroupPeriod> _periods;
    rtl::UnicodeString _szVatNumber;
    rtl::UnicodeString _szReturnName;
    int _nSelected = -1;
};

} // namespace ven
