#pragma once
// A small tagged variant: empty, null, 8-bit and wide strings, one-dimensional byte arrays with bounds,
// and a few scalar kinds.
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>
#include <string>
#include <variant>

namespace rtl {

enum class TVarType : std::uint8_t {
    varEmpty,
    varNull,
    varBoolean,
    varInteger, // 32-bit signed
    varInt64,
    varDouble,
    varString,   // 8-bit string
    varUString,  // wide (UTF-16) string
    varByteArray // one-dimensional array of bytes
};

/// The byte array of a variant with its lower bound; the upper bound is LowBound + size - 1.
struct TVarByteArray {
    TBytes Bytes;
    std::int32_t LowBound = 0;

    friend bool operator==(const TVarByteArray&, const TVarByteArray&) = default;
};

class RTL_API Variant {
public:
    /// The empty variant.
    Variant() noexcept = default;
    static Variant Null();
    static Variant FromBoolean(bool value);
    static Variant FromInteger(std::int32_t value);
    static Variant FromInt64(std::int64_t value);
    static Variant FromDouble(double value);
    /// An 8-bit string variant.
    static Variant FromAnsiString(std::string value);
    /// A wide string variant.
    static Variant FromString(UnicodeString value);
    /// A byte array with bounds nLowBound .. nLowBound + bytes.size() - 1.
    static Variant FromBytes(TBytes bytes, std::int32_t nLowBound = 0);

    TVarType VarType() const noexcept { return static_cast<TVarType>(_value.index()); }
    bool IsEmpty() const noexcept { return VarType() == TVarType::varEmpty; }
    bool IsNull() const noexcept { return VarType() == TVarType::varNull; }

    // Each accessor raises EVariantTypeCastError when the variant holds another kind.
    bool AsBoolean() const;
    std::int32_t AsInteger() const;
    std::int64_t AsInt64() const;
    double AsDouble() const;
    const std::string& AsAnsiString() const;
    const UnicodeString& AsString() const;
    const TVarByteArray& AsByteArray() const;

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    struct TNull {
        friend bool operator==(TNull, TNull) noexcept { return true; }
    };
    // The index of each alternative is its TVarType.
    using TValue = std::variant<std::monostate, TNull, bool, std::int32_t, std::int64_t, double, std::string,
                                UnicodeString, TVarByteArray>;
    TValue _value;

    template <class T> const T& _Get() const;
};

} // namespace rtl
