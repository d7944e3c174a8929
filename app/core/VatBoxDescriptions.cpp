#include "app/core/VatBoxDescriptions.h"

namespace ven {

namespace {

constexpr const char16_t* kBoxDescriptions[] = {
    u"VAT due on sales and other outputs",
    u"VAT due on acquisitions of goods and related costs from EU member states",
    u"Total VAT due (the sum of boxes 1 and 2)",
    u"VAT reclaimed on purchases and other inputs (including acquisitions from the EU)",
    u"Net VAT to pay to HMRC or reclaim (the difference between boxes 3 and 4)",
    u"Total value of sales and all other outputs excluding any VAT",
    u"Total value of purchases and all other inputs excluding any VAT",
    u"Total value of all supplies of goods and related costs, excluding any VAT, to EU member states",
    u"Total value of acquisitions of goods and related costs, excluding any VAT, from EU member states",
};

} // namespace

rtl::UnicodeString VatBoxDescription(int box) {
    if (box < 1 || box > 9) {
        return {};
    }
    return kBoxDescriptions[box - 1];
}

} // namespace ven
