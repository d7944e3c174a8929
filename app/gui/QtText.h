#pragma once
// Text between the runtime's UTF-16 strings and Qt's; both are UTF-16, so nothing is re-encoded.
#include "rtl/UnicodeString.h"

#include <QString>

namespace ven {

inline QString ToQString(rtl::UnicodeStringView s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

inline rtl::UnicodeString FromQString(const QString& s) {
    return rtl::UnicodeString(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
}

} // namespace ven
