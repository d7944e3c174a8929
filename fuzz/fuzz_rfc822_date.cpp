// Fuzzes the RFC822 date-text readers (GMT and local time) with untrusted text.
#include "DateReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::FuzzDateReader(data, size, &orvi::RFC822DateToGMTime, &orvi::RFC822DateToLocalTime,
                                &orvi::GMTimeToRFC822Date);
}
