#pragma once
// HMRC's descriptions of the nine boxes of a VAT return, for column hints and listings.
#include "rtl/UnicodeString.h"

namespace ven {

/// The description of box 1 to 9 ("VAT due on sales and other outputs" for box 1); empty for any
/// other number.
rtl::UnicodeString VatBoxDescription(int box);

} // namespace ven
