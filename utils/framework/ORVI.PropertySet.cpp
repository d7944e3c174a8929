#include "utils/framework/ORVI.PropertySet.h"

namespace orvi {

const TORVIPropertySetClass& TORVIPropertySet::ClassRef() const {
    return ORVISetClass<TORVIPropertySet>("TORVIPropertySet");
}

void TORVIPropertySet::BeginUpdate() {
    _nChangeDepth.fetch_add(1, std::memory_order_relaxed);
}

void TORVIPropertySet::EndUpdate() {
    std::int32_t depth = _nChangeDepth.load(std::memory_order_acquire);
    // A decrement that would go below 0 is dropped: an unmatched EndUpdate must not leave the set
    // reporting nothing until another BeginUpdate.
    while (depth > 0 && !_nChangeDepth.compare_exchange_weak(depth, depth - 1, std::memory_order_acq_rel))
        ;
    if (depth == 1 && _nChangeCount.exchange(0, std::memory_order_acq_rel) > 0)
        _Change();
}

void TORVIPropertySet::_Change() {
    if (_nChangeDepth.load(std::memory_order_acquire) > 0) {
        _nChangeCount.fetch_add(1, std::memory_order_acq_rel);
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
    return _nChangeDepth.load(std::memory_order_acquire) > 0;
}

std::int32_t TORVIPropertySet::_GetUpdateCount() {
    return _nChangeDepth.load(std::memory_order_acquire);
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
