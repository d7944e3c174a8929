#pragma once
// Small types shared across the library: an exception carrying a code location, two string pairs, a
// three-state answer and the getter, setter and confirmation method types.
#include "rtl/Exceptions.h"
#include "rtl/Interfaces.h"
#include "rtl/Method.h"
#include "rtl/Persistent.h"
#include "rtl/UnicodeString.h"
#include "utils/UtilsApi.h"

#include <cstdint>

namespace orvi {

/// An exception that names the unit file, routine and line where it was raised.
class UTILS_API EORVICodeLocatedException : public rtl::Exception {
public:
    EORVICodeLocatedException(rtl::UnicodeString szUnitFile, rtl::UnicodeString szRoutine,
                              std::int32_t nLineNumber, rtl::UnicodeString szMessage);
    const rtl::UnicodeString& UnitName() const noexcept { return _szUnit; }
    const rtl::UnicodeString& RoutineName() const noexcept { return _szRoutine; }
    std::int32_t LineNumber() const noexcept { return _nLine; }
    std::shared_ptr<const rtl::Exception> Clone() const override;

private:
    rtl::UnicodeString _szUnit;
    rtl::UnicodeString _szRoutine;
    std::int32_t _nLine;
};

/// A code and the name it stands for.
struct TORVICodeNamePair {
    rtl::UnicodeString Code;
    rtl::UnicodeString Name;
    friend bool operator==(const TORVICodeNamePair&, const TORVICodeNamePair&) = default;
};
inline TORVICodeNamePair ORVICodeNamePair(const rtl::UnicodeString& Code, const rtl::UnicodeString& Name) {
    return {Code, Name};
}

/// A key and its value.
struct TORVIKeyValuePair {
    rtl::UnicodeString _szKey;
    rtl::UnicodeString _szValue;
    friend bool operator==(const TORVIKeyValuePair&, const TORVIKeyValuePair&) = default;
};
inline TORVIKeyValuePair ORVIKeyValuePair(const rtl::UnicodeString& szKey,
                                          const rtl::UnicodeString& szValue) {
    return {szKey, szValue};
}

/// An answer that may not be known.
enum TORVITriStateResponse { trTrue, trFalse, trUnknown };

/// A method answering a 32-bit integer.
using TORVIIntGetter = rtl::TMethod<std::int32_t()>;
/// (nNewValue)
using TORVIIntSetter = rtl::TMethod<void(std::int32_t)>;
/// A method answering a Boolean; the block checker of an event.
using TORVIBoolGetter = rtl::TMethod<bool()>;
/// (blNewValue)
using TORVIBoolSetter = rtl::TMethod<void(bool)>;
/// (Sender): whether the action may go ahead.
using TConfirmAction = rtl::TMethod<bool(rtl::TObject*)>;
/// (Item): called for one item of a collection.
using TCollectionCallback = rtl::TMethod<void(rtl::TPersistent*)>;

/// An interface whose implementer hands back the object behind it.
class IORVISelfReturning : public rtl::IInterface {
public:
    static constexpr rtl::TGUID IID{
        0x5B0C3E1A, 0x7D42, 0x4F1B, {0x9A, 0x61, 0x2C, 0x8E, 0x4D, 0x17, 0xB3, 0x05}};
    virtual rtl::TObject* _GetSelf() = 0;

protected:
    ~IORVISelfReturning() = default;
};

} // namespace orvi
