#include "rtl/Variant.h"

#include "rtl/Exceptions.h"

namespace rtl {

Variant Variant::Null() {
    Variant v;
    v._value = TNull{};
    return v;
}

Variant Variant::FromBoolean(bool value) {
    Variant v;
    v._value = value;
    return v;
}

Variant Variant::FromInteger(std::int32_t value) {
    Variant v;
    v._value = value;
    return v;
}

Variant Variant::FromInt64(std::int64_t value) {
    Variant v;
    v._value = value;
    return v;
}

Variant Variant::FromDouble(double value) {
    Variant v;
    v._value = value;
    return v;
}

Variant Variant::FromAnsiString(std::string value) {
    Variant v;
    v._value.emplace<std::string>(std::move(value));
    return v;
}

Variant Variant::FromString(UnicodeString value) {
    Variant v;
    v._value.emplace<UnicodeString>(std::move(value));
    return v;
}

Variant Variant::FromBytes(TBytes bytes, std::int32_t nLowBound) {
    Variant v;
    v._value.emplace<TVarByteArray>(TVarByteArray{std::move(bytes), nLowBound});
    return v;
}

template <class T> const T& Variant::_Get() const {
    if (const T* p = std::get_if<T>(&_value))
        return *p;
    throw EVariantTypeCastError(u"Invalid variant type conversion");
}

bool Variant::AsBoolean() const {
    return _Get<bool>();
}
std::int32_t Variant::AsInteger() const {
    return _Get<std::int32_t>();
}
std::int64_t Variant::AsInt64() const {
    return _Get<std::int64_t>();
}
double Variant::AsDouble() const {
    return _Get<double>();
}
const std::string& Variant::AsAnsiString() const {
    return _Get<std::string>();
}
const UnicodeString& Variant::AsString() const {
    return _Get<UnicodeString>();
}
const TVarByteArray& Variant::AsByteArray() const {
    return _Get<TVarByteArray>();
}

} // namespace rtl
