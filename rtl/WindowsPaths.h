#pragma once
// Fixed Windows paths of outside programs, in this machine's form.
#include "RtlApi.h"
#include "UnicodeString.h"

namespace rtl {

/// On Windows the path itself. Elsewhere backslashes become "/", and a drive path ("C:\...") is
/// looked for where Wine maps that drive: <prefix>/dosdevices/c:/...; without a Wine prefix the
/// drive path is kept (with "/" separators) and so names nothing that exists.
RTL_API UnicodeString WindowsPathToNative(UnicodeStringView path);

} // namespace rtl
