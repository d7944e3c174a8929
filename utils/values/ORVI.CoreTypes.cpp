#include "utils/values/ORVI.CoreTypes.h"

#include <utility>

namespace orvi {

EORVICodeLocatedException::EORVICodeLocatedException(rtl::UnicodeString szUnitFile,
                                                     rtl::UnicodeString szRoutine, std::int32_t nLineNumber,
                                                     rtl::UnicodeString szMessage)
    : rtl::Exception(std::move(szMessage)), _szUnit(std::move(szUnitFile)), _szRoutine(std::move(szRoutine)),
      _nLine(nLineNumber) {}

std::shared_ptr<const rtl::Exception> EORVICodeLocatedException::Clone() const {
    return std::make_shared<EORVICodeLocatedException>(*this);
}

} // namespace orvi
