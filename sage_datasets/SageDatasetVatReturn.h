#pragma once
// One VAT return as Sage stored it: period, boxes 1 to 13 and the flat-rate and standard-rate figures.
#include "SageApi.h"

#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/ObjectHooks.h"
#include "rtl/UnicodeString.h"

#include <array>
#include <cstdint>
#include <utility>

namespace sage {

/// Plain record: texts empty, dates and amounts zero on creation. Boxes 1 to 9 are HMRC's nine boxes.
class SAGE_API TSageDatasetVatReturn : public rtl::TObject {
public:
    static constexpr std::int32_t BoxCount = 13;

    TSageDatasetVatReturn() = default;

    /// Box Index (1 to 13); raises EArgumentOutOfRangeException outside that range.
    rtl::Currency GetBox(std::int32_t Index) const;
    /// Sets box Index (1 to 13); raises EArgumentOutOfRangeException outside that range.
    void SetBox(std::int32_t Index, rtl::Currency Value);

    const rtl::UnicodeString& CompanyName() const noexcept { return FCompanyName; }
    void SetCompanyName(rtl::UnicodeString value) { FCompanyName = std::move(value); }
    /// The owning dataset's VatNumberForUrl when the file was read.
    const rtl::UnicodeString& VatNumber() const noexcept { return FVatNumber; }
    void SetVatNumber(const rtl::UnicodeString& value) { FVatNumber = value; }
    /// First day of the period; 0 for none.
    rtl::TDateTime DateFrom() const noexcept { return FDateFrom; }
    void SetDateFrom(rtl::TDateTime value) noexcept { FDateFrom = value; }
    /// Last day of the period; 0 for none.
    rtl::TDateTime DateTo() const noexcept { return FDateTo; }
    void SetDateTo(rtl::TDateTime value) noexcept { FDateTo = value; }
    rtl::Currency FlatRateLiability() const noexcept { return FFlatRateLiability; }
    void SetFlatRateLiability(rtl::Currency value) noexcept { FFlatRateLiability = value; }
    rtl::Currency StandardRateLiability() const noexcept { return FStandardRateLiability; }
    void SetStandardRateLiability(rtl::Currency value) noexcept { FStandardRateLiability = value; }
    rtl::Currency StandardRateSales() const noexcept { return FStandardRateSales; }
    void SetStandardRateSales(rtl::Currency value) noexcept { FStandardRateSales = value; }
    rtl::Currency StandardRatePurchase() const noexcept { return FStandardRatePurchase; }
    void SetStandardRatePurchase(rtl::Currency value) noexcept { FStandardRatePurchase = value; }
    rtl::Currency FlatRateBeniftCost() const noexcept { return FFlatRateBeniftCost; }
    void SetFlatRateBeniftCost(rtl::Currency value) noexcept { FFlatRateBeniftCost = value; }

    /// Another return file of the same dataset that holds this period with different figures, or
    /// empty. Which of the two is right is not known, so such a return is never sent or added up.
    const rtl::UnicodeString& ConflictingFile() const noexcept { return FConflictingFile; }
    void SetConflictingFile(rtl::UnicodeString value) { FConflictingFile = std::move(value); }
    bool Conflicting() const noexcept { return !FConflictingFile.empty(); }
    /// Orders returns by period, then by every figure and the company name: 0 when other is a copy
    /// of this return as far as anything read from its file goes.
    int CompareContent(const TSageDatasetVatReturn& other) const;

    /// "yyyy-mm-dd yyyy-mm-dd vat": DateTo, DateFrom and VatNumber.
    rtl::UnicodeString Description() const { return _GetDescription(); }
    /// "dd/mm/yyyy - dd/mm/yyyy" with the regional date separator.
    rtl::UnicodeString Period() const;

protected:
    virtual rtl::UnicodeString _GetDescription() const;

private:
    static void _CheckBoxIndex(std::int32_t Index);

    rtl::UnicodeString FCompanyName;
    rtl::UnicodeString FVatNumber;
    rtl::TDateTime FDateFrom = 0;
    rtl::TDateTime FDateTo = 0;
    std::array<rtl::Currency, BoxCount> FBox{};
    rtl::Currency FFlatRateLiability;
    rtl::Currency FStandardRateLiability;
    rtl::Currency FStandardRateSales;
    rtl::Currency FStandardRatePurchase;
    rtl::Currency FFlatRateBeniftCost;
    rtl::UnicodeString FConflictingFile;
};

} // namespace sage
