// Fuzzes the RFC5322 date-text readers (GMT and local time) with untrusted text.
#include "DateReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::FuzzDateReader(data, size, &orvi::RFC5322DateToGMTime, &orvi::RFC5322DateToLocalTime,
                                &orvi::GMTimeToRFC5322Date);
}
