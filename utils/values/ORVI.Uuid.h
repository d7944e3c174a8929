#pragma once
// TORVI_Uuid: a 16-byte identifier held by value, bytes in RFC 4122 order (multi-byte fields big-endian),
// with its text forms, comparison and the 32-bit hash that checks the path form.
#include "utils/UtilsApi.h"

#include "rtl/Guid.h"
#include "rtl/UnicodeString.h"
#include "rtl/Variant.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace orvi {

struct TORVI_Uuid;
using PORVI_UUID = TORVI_Uuid*;

struct UTILS_API TORVI_Uuid {
    /// The zero value.
    TORVI_Uuid() noexcept = default;
    /// Parses szSource (every text form; see Parse).
    explicit TORVI_Uuid(rtl::UnicodeStringView szSource) : TORVI_Uuid(Parse(szSource)) {}
    /// Parses the text up to its first NUL.
    explicit TORVI_Uuid(const char16_t* pszSource) : TORVI_Uuid(Create(pszSource)) {}
    /// Copies 16 bytes from pBytes.
    explicit TORVI_Uuid(const std::uint8_t* pBytes) noexcept;
    /// true: the zero value; false: a new random value.
    explicit TORVI_Uuid(bool blZeroed);
    /// From the platform GUID: TimeLow = D1, TimeMid = D2, TimeHighAndVersion = D3, bytes 8..15 = D4.
    TORVI_Uuid(const rtl::TGUID& guid) noexcept { _SetAsGuid(guid); }
    // 8-bit text would otherwise convert silently to the Boolean constructor.
    TORVI_Uuid(const char*) = delete;

    static TORVI_Uuid Create(rtl::UnicodeStringView szSource) { return Parse(szSource); }
    static TORVI_Uuid Create(const char16_t* pszSource);
    static TORVI_Uuid Create(const std::uint8_t* pBytes) noexcept { return TORVI_Uuid(pBytes); }
    static TORVI_Uuid Create(bool blZeroed) { return TORVI_Uuid(blZeroed); }
    static TORVI_Uuid Create(const TORVI_Uuid& Other) noexcept { return Other; }
    static TORVI_Uuid Create(const char*) = delete;

    /// Reads any text form, chosen by length and marker characters: standard (36), empty (zero value),
    /// path (38, "\" or "/" at 2 and 5), brace (37, or 38 ending "}"), plain hex (32), Base64 (24),
    /// one byte per character (16), raw (8). Raises EConvertError naming the form; a failure leaves no
    /// value behind.
    static TORVI_Uuid Parse(rtl::UnicodeStringView szSource);
    /// As Parse, but the 16- and 8-character forms are not recognised (text forms only).
    static TORVI_Uuid ParseText(rtl::UnicodeStringView szSource);

    /// -1, 0 or 1 comparing the bytes as unsigned numbers from byte 0; the first difference decides.
    static int Compare(const TORVI_Uuid& Left, const TORVI_Uuid& Right) noexcept;
    friend bool operator==(const TORVI_Uuid& a, const TORVI_Uuid& b) noexcept { return Compare(a, b) == 0; }
    /// Orders as Compare does, so exactly one of <, ==, > holds.
    friend std::strong_ordering operator<=>(const TORVI_Uuid& a, const TORVI_Uuid& b) noexcept {
        return Compare(a, b) <=> 0;
    }

    /// To the platform GUID (the reverse of the GUID constructor).
    operator rtl::TGUID() const noexcept { return _GetAsGuid(); }

    /// The text form named by szFormat (letter case ignored): "ms"/"microsoft" brace upper case;
    /// "base64" (and "base.64", "base:64", "base::64"); "hex" (and "dbhex", "base16", "base.16",
    /// "base:16", "base::16"); "mysql"/"binary" the raw 8 characters; "jhashpath"; anything else the
    /// lower-case standard form, or "Internal Reference: " + 16 characters when the bytes begin "ORVI-".
    rtl::UnicodeString Format(rtl::UnicodeStringView szFormat) const;
    /// lookup2 hash of the 16 bytes with initial value 0.
    std::uint32_t JHash() const noexcept;
    /// Sets a new random value; a failing random source leaves the value unchanged.
    void Randomise();
    /// Sets all 16 bytes to zero.
    void Zero() noexcept;
    /// Byte arrays of 16 elements, empty and null, wide and 8-bit strings set the value and answer true;
    /// any other kind answers false and leaves the value unchanged. Unreadable wide text raises the parse
    /// error; unreadable 8-bit text raises "Unable to interpret Variant text as Uuid" around it.
    bool TrySetAsVariant(const rtl::Variant& NewValue);

    // Field views (RFC 4122 names); multi-byte fields are big-endian.
    std::uint32_t TimeLow() const noexcept { return _GetTimeLow(); }
    void SetTimeLow(std::uint32_t value) noexcept { _SetTimeLow(value); }
    std::uint16_t TimeMid() const noexcept { return _GetTimeMid(); }
    void SetTimeMid(std::uint16_t value) noexcept { _SetTimeMid(value); }
    std::uint16_t TimeHighAndVersion() const noexcept { return _GetTimeHighAndVersion(); }
    void SetTimeHighAndVersion(std::uint16_t value) noexcept { _SetTimeHighAndVersion(value); }
    std::uint8_t ClockSequenceHighAndVariant() const noexcept { return _baUuid[8]; }
    void SetClockSequenceHighAndVariant(std::uint8_t value) noexcept { _baUuid[8] = value; }
    std::uint8_t ClockSequenceLow() const noexcept { return _baUuid[9]; }
    void SetClockSequenceLow(std::uint8_t value) noexcept { _baUuid[9] = value; }
    /// Byte 10 + index; an index outside 0..5 raises EArgumentOutOfRangeException.
    std::uint8_t Node(int index) const { return _GetNode(index); }
    /// An index outside 0..5 is ignored.
    void SetNode(int index, std::uint8_t value) noexcept { _SetNode(index, value); }
    /// The high nibble of byte 6.
    std::uint8_t Version() const noexcept { return _GetVersion(); }
    void SetVersion(std::uint8_t value) noexcept { _SetVersion(value); }
    /// The top three bits of byte 8.
    std::uint8_t Variant() const noexcept { return _GetVariant(); }
    void SetVariant(std::uint8_t value) noexcept { _SetVariant(value); }
    bool IsZero() const noexcept;

    /// A copy of the 16 bytes.
    rtl::TBytes AsBytes() const { return rtl::TBytes(_baUuid, _baUuid + 16); }
    /// Copies the first 16 bytes; fewer than 16 raise EArgumentException and change nothing.
    void SetAsBytes(const rtl::TBytes& value) { _SetAsBytes(value); }
    rtl::TGUID AsGuid() const noexcept { return _GetAsGuid(); }
    void SetAsGuid(const rtl::TGUID& value) noexcept { _SetAsGuid(value); }
    /// 8 characters whose storage is the 16 bytes: character i = byte 2i + 256 * byte 2i+1.
    rtl::UnicodeString AsString() const { return _GetAsString(); }
    /// The first 8 characters become the bytes; a shorter string changes nothing.
    void SetAsString(rtl::UnicodeStringView value) noexcept { _SetAsString(value); }
    /// A one-dimensional byte array with bounds 0..15.
    rtl::Variant AsVariant() const { return rtl::Variant::FromBytes(AsBytes(), 0); }
    void SetAsVariant(const rtl::Variant& value) { TrySetAsVariant(value); }

    /// The 16 bytes in storage order.
    const std::uint8_t* Data() const noexcept { return _baUuid; }

private:
    std::uint8_t _baUuid[16] = {};

    std::uint32_t _GetTimeLow() const noexcept;
    void _SetTimeLow(std::uint32_t value) noexcept;
    std::uint16_t _GetTimeMid() const noexcept;
    void _SetTimeMid(std::uint16_t value) noexcept;
    std::uint16_t _GetTimeHighAndVersion() const noexcept;
    void _SetTimeHighAndVersion(std::uint16_t value) noexcept;
    std::uint8_t _GetNode(int index) const;
    void _SetNode(int index, std::uint8_t value) noexcept;
    std::uint8_t _GetVersion() const noexcept;
    void _SetVersion(std::uint8_t value) noexcept;
    std::uint8_t _GetVariant() const noexcept;
    void _SetVariant(std::uint8_t value) noexcept;
    void _SetAsBytes(const rtl::TBytes& value);
    rtl::TGUID _GetAsGuid() const noexcept;
    void _SetAsGuid(const rtl::TGUID& value) noexcept;
    rtl::UnicodeString _GetAsString() const;
    void _SetAsString(rtl::UnicodeStringView value) noexcept;
};

static_assert(sizeof(TORVI_Uuid) == 16);

} // namespace orvi

/// Hashes by JHash, so the value can key unordered containers.
template <> struct std::hash<orvi::TORVI_Uuid> {
    std::size_t operator()(const orvi::TORVI_Uuid& value) const noexcept { return value.JHash(); }
};
