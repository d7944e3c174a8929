#pragma once
// Interfaces: identified by a GUID, asked for with QueryInterface, counted with _AddRef/_Release.
#include "Guid.h"

#include <cstdint>

namespace rtl {

using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);

/// The basic interface every other one extends.
class IInterface {
public:
    static constexpr TGUID IID{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    /// S_OK with *obj set when the object supports iid, else E_NOINTERFACE with *obj null.
    virtual HRESULT QueryInterface(const TGUID& iid, void** obj) = 0;
    virtual std::int32_t _AddRef() = 0;
    virtual std::int32_t _Release() = 0;

protected:
    ~IInterface() = default;
};

} // namespace rtl
