#pragma once
// A small persistent object grouping related settings: it reports changes, batches those made during
// an update, duplicates itself and compares itself with another set of its kind.
#include "rtl/Interfaces.h"
#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"
#include "rtl/Persistent.h"
#include "utils/UtilsApi.h"

#include <atomic>
#include <cstdint>

namespace orvi {

class TORVIPropertySet;
/// Creates property sets by class, with their owner.
using TORVIPropertySetClass = rtl::TClassRef<TORVIPropertySet, rtl::TPersistent*>;

enum TORVIPropertySetOption : std::uint8_t {
    psoInterfaceCounted = 1 << 0,   // interface references govern the lifetime
    psoInterfaceDestroying = 1 << 1 // interface counting is suspended
};
using TORVIPropertySetOptions = std::uint8_t;

/// The class reference of property set T (one per class, named once).
template <class T, class Base = TORVIPropertySet>
const rtl::TClassRef<Base, rtl::TPersistent*>& ORVISetClass(const char* szName) {
    static const rtl::TClassOf<T, Base, rtl::TPersistent*> s_class(szName);
    return s_class;
}

/// Declares, inside property set class TThis, the class reference that Duplicate creates and Equals
/// compares. Every set class states it once; one that inherits its base's fails to be created.
#define ORVI_PROPERTY_SET_CLASS(TThis)                                                                       \
public:                                                                                                      \
    const ::orvi::TORVIPropertySetClass& ClassRef() const override {                                         \
        return ::orvi::ORVISetClass<TThis>(#TThis);                                                          \
    }

/// A copy of pSource made by its own class (ClassRef) under pNewOwner; freed again when Assign raises.
template <class TSet> TSet* ORVIDuplicateSet(TSet* pSource, rtl::TPersistent* pNewOwner) {
    TSet* copy = pSource->ClassRef().Create(pNewOwner);
    try {
        copy->Assign(pSource);
    } catch (...) {
        rtl::Free(copy);
        throw;
    }
    return copy;
}

/// Base of property sets. Descendants add properties, call _Change from their setters, override
/// Assign and EqualTo, and declare their class reference (ORVI_PROPERTY_SET_CLASS) so that Duplicate
/// makes their kind. A set is freed with rtl::Free, or by its last interface release when
/// InterfaceCounted; OnChange may free it (the change hooks stop then).
/// Changes reported from other threads during an update are counted atomically and not lost: each is
/// reported either by the EndUpdate that closes the update or at once.
class UTILS_API TORVIPropertySet : public rtl::TPersistent, public rtl::IInterface {
public:
    explicit TORVIPropertySet(rtl::TPersistent* AOwner = nullptr) : _pOwner(AOwner) {}
    /// Raises rtl::Exception when the class does not declare its own class reference.
    void AfterConstruction() override;

    /// The class Duplicate creates (see ORVI_PROPERTY_SET_CLASS).
    virtual const TORVIPropertySetClass& ClassRef() const;

    virtual void BeginUpdate();
    /// Leaves one update level (never below 0); the outermost one reports held-back changes once.
    virtual void EndUpdate();
    /// Reports a change now, or holds it back during an update.
    virtual void _Change();
    /// A new set of this class with the same owner and this set's values.
    virtual TORVIPropertySet* Duplicate();
    virtual TORVIPropertySet* Duplicate(rtl::TPersistent* pNewOwner);
    /// Same object: true; nil: false; unrelated classes: false; otherwise EqualTo.
    virtual bool Equals(const rtl::TObject* Obj) const;
    /// Whether Other holds the same values; descendants compare their properties.
    virtual bool EqualTo(const TORVIPropertySet* Other) const;

    rtl::HRESULT QueryInterface(const rtl::TGUID& iid, void** obj) override;
    /// -1 (nothing counted) unless InterfaceCounted; otherwise the new count.
    std::int32_t _AddRef() override;
    /// As _AddRef; the last release frees the set.
    std::int32_t _Release() override;

    rtl::TNotifyEvent OnChange() { return _GetOnChange(); }
    void SetOnChange(const rtl::TNotifyEvent& value) { _SetOnChange(value); }
    bool InterfaceCounted() { return _GetInterfaceCounted(); }
    void SetInterfaceCounted(bool value) { _SetInterfaceCounted(value); }
    bool InterfaceDestroying() { return _GetInterfaceDestroying(); }
    virtual bool _GetInUpdate();
    virtual std::int32_t _GetUpdateCount();

protected:
    ~TORVIPropertySet() override = default;
    rtl::TPersistent* GetOwner() override { return _GetOwner(); }

    virtual void _AfterChange() {}
    virtual void _BeforeChange() {}
    virtual void _DoChange() {}
    virtual TORVIPropertySet* _Duplicate(rtl::TPersistent* pNewOwner);
    virtual bool _GetInterfaceCounted();
    virtual bool _GetInterfaceDestroying();
    virtual rtl::TNotifyEvent _GetOnChange();
    virtual rtl::TPersistent* _GetOwner();
    virtual void _SetInterfaceCounted(bool value);
    virtual void _SetOnChange(const rtl::TNotifyEvent& value);

private:
    bool _Counting() { return _GetInterfaceCounted() && !_GetInterfaceDestroying(); }

    // The update depth (high half) and the changes held back during it (low half) in one word, so
    // that counting a change and ending the update that holds it back cannot interleave.
    static constexpr std::uint64_t kOneLevel = std::uint64_t{1} << 32;
    static constexpr std::uint64_t kCountMask = kOneLevel - 1;
    static constexpr std::uint64_t Depth(std::uint64_t state) noexcept { return state >> 32; }
    static constexpr std::uint64_t HeldBack(std::uint64_t state) noexcept { return state & kCountMask; }
    std::atomic<std::uint64_t> _nUpdateState{0};
    std::int32_t _nRefCount = 0;
    rtl::TNotifyEvent _fnChange;
    rtl::TPersistent* _pOwner;
    TORVIPropertySetOptions _PropSetOptions = 0;
};

} // namespace orvi
