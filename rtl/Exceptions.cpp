#include "rtl/Exceptions.h"

namespace rtl {

Exception::Exception(UnicodeString message)
    : _szMessage(std::move(message)), _szUtf8(StringToUtf8(_szMessage)) {}

Exception::Exception(UnicodeString message, std::shared_ptr<const Exception> inner)
    : _szMessage(std::move(message)), _pInner(std::move(inner)), _szUtf8(StringToUtf8(_szMessage)) {}

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
    return _szUtf8.c_str();
}

std::shared_ptr<const Exception> Exception::Clone() const {
    return std::make_shared<Exception>(*this);
}

EListError::EListError(UnicodeString message, std::int64_t index)
    : Exception(std::move(message)), _nIndex(index) {}

} // namespace rtl
