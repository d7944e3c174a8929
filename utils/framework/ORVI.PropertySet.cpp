#include "utils/framework/ORVI.PropertySet.h"

namespace orvi {

const TORVIPropertySetClass& TORVIPropertySet::ClassRef() const {
    return ORVISetClass<TORVIPropertySet>("TORVIPropertySet");
}

void TORVIPropertySet::AfterConstruction() {
    rtl::RequireOwnClassRef(ClassRef().TypeInfo(), typeid(*this));
    rtl::TPersistent::AfterConstruction();
}

void TORVIPropertySet::BeginUpdate() {
    _nUpdateState.fetch_add(kOneLevel, std::memory_order_acq_rel);
}

void TORVIPropertySet::EndUpdate() {
    // The depth drops and the held-back count is taken in one step, so a change counted by another
    // thread belongs either to this update (reported here) or comes after it (reported at once).
    std::uint64_t state = _nUpdateState.load(std::memory_order_acquire);
    std::uint64_t next;
    do {
        // An unmatched EndUpdate must not leave the set reporting nothing until another BeginUpdate.
        if (Depth(state) == 0)
            return;
        next = Depth(state) == 1 ? 0 : state - kOneLevel;
    } while (!_nUpdateState.compare_exchange_weak(state, next, std::memory_order_acq_rel));
    if (Depth(state) == 1 && HeldBack(state) > 0)
        _Change();
}

void TORVIPropertySet::_Change() {
    std::uint64_t state = _nUpdateState.load(std::memory_order_acquire);
    while (Depth(state) > 0) {
        // Counted only while the update it is counted for is still open. A full count stays full:
        // it stands for "changed", and must not carry into the depth.
        const std::uint64_t next = HeldBack(state) == kCountMask ? state : state + 1;
        if (_nUpdateState.compare_exchange_weak(state, next, std::memory_order_acq_rel))
            return;
    }
    rtl::TPin<TORVIPropertySet> self(this);
    _BeforeChange();
    if (!self.Freed())
        _DoChange();
    if (!self.Freed())
        _AfterChange();
    if (!self.Freed() && _fnChange)
        _fnChange(this);
}

TORVIPropertySet* TORVIPropertySet::_Duplicate(rtl::TPersistent* pNewOwner) {
    return ORVIDuplicateSet(this, pNewOwner);
}

TORVIPropertySet* TORVIPropertySet::Duplicate() {
    return _Duplicate(_GetOwner());
}

TORVIPropertySet* TORVIPropertySet::Duplicate(rtl::TPersistent* pNewOwner) {
    return _Duplicate(pNewOwner);
}

bool TORVIPropertySet::Equals(const rtl::TObject* Obj) const {
    if (Obj == this)
        return true;
    const auto* other = dynamic_cast<const TORVIPropertySet*>(Obj);
    if (!other)
        return false;
    const TORVIPropertySetClass& mine = ClassRef();
    const TORVIPropertySetClass& theirs = other->ClassRef();
    if (&mine != &theirs && !theirs.InheritsFrom(mine) && !mine.InheritsFrom(theirs))
        return false;
    return EqualTo(other);
}

bool TORVIPropertySet::EqualTo(const TORVIPropertySet*) const {
    return false;
}

rtl::HRESULT TORVIPropertySet::QueryInterface(const rtl::TGUID& iid, void** obj) {
    if (iid == rtl::IInterface::IID) {
        *obj = static_cast<rtl::IInterface*>(this);
        return rtl::S_OK;
    }
    *obj = nullptr;
    return rtl::E_NOINTERFACE;
}

std::int32_t TORVIPropertySet::_AddRef() {
    if (!_Counting())
        return -1;
    return ++_nRefCount;
}

std::int32_t TORVIPropertySet::_Release() {
    if (!_Counting())
        return -1;
    const std::int32_t n = --_nRefCount;
    if (n <= 0) {
        // Interface references taken while the set goes must not free it a second time.
        _PropSetOptions |= psoInterfaceDestroying;
        rtl::Free(this);
    }
    return n;
}

bool TORVIPropertySet::_GetInUpdate() {
    return Depth(_nUpdateState.load(std::memory_order_acquire)) > 0;
}

std::int32_t TORVIPropertySet::_GetUpdateCount() {
    return static_cast<std::int32_t>(Depth(_nUpdateState.load(std::memory_order_acquire)));
}

bool TORVIPropertySet::_GetInterfaceCounted() {
    return _PropSetOptions & psoInterfaceCounted;
}

bool TORVIPropertySet::_GetInterfaceDestroying() {
    return _PropSetOptions & psoInterfaceDestroying;
}

rtl::TNotifyEvent TORVIPropertySet::_GetOnChange() {
    return _fnChange;
}

rtl::TPersistent* TORVIPropertySet::_GetOwner() {
    return _pOwner;
}

void TORVIPropertySet::_SetInterfaceCounted(bool value) {
    if (value)
        _PropSetOptions |= psoInterfaceCounted;
    else
        _PropSetOptions &= static_cast<TORVIPropertySetOptions>(~psoInterfaceCounted);
}

void TORVIPropertySet::_SetOnChange(const rtl::TNotifyEvent& value) {
    _fnChange = value;
}

} // namespace orvi
