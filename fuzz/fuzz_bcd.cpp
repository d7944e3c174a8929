// Fuzzes ORVI_BcdFromString on UTF-16 input with the en-GB separators and with swapped ones (the first
// byte chooses). A number read must write and read back to an equal value, and dividing by it must
// either work or overflow.
#include "FuzzText.h"

#include "rtl/Exceptions.h"
#include "utils/values/ORVI.BcdUtils.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    rtl::TFormatSettings settings;
    if (data[0] & 1) {
        settings.DecimalSeparator = u',';
        settings.ThousandSeparator = u'.';
    }
    const rtl::UnicodeString text = fuzz::Utf16Units(data + 1, size - 1);
    rtl::TBcd value;
    try {
        if (data[0] & 2)
            orvi::ORVI_BcdFromString(text, value);
        else
            orvi::ORVI_BcdFromString(text, value, settings);
    } catch (const rtl::EConvertError&) {
        return 0;
    }
    const rtl::TBcd again = rtl::StrToBcd(rtl::BcdToStr(value, settings), settings);
    if (rtl::BcdCompare(value, again) != 0)
        std::abort();
    if (orvi::ORVI_BcdIsZero(value))
        return 0;
    rtl::TBcd quotient;
    orvi::ORVI_BcdDivide(value, value, quotient);
    if (rtl::BcdCompare(quotient, rtl::IntegerToBcd(1)) != 0)
        std::abort();
    try {
        orvi::ORVI_BcdDivide(rtl::IntegerToBcd(7), value, quotient);
        orvi::ORVI_BcdDivide(value, rtl::IntegerToBcd(-3), quotient);
    } catch (const rtl::EBcdOverflowException&) {
    }
    return 0;
}
