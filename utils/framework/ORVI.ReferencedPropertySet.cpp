#include "utils/framework/ORVI.ReferencedPropertySet.h"

namespace orvi {

TORVIReferencedPropertySet::TORVIReferencedPropertySet(rtl::TPersistent* AOwner)
    : TORVIReferencedPersistent(AOwner), _pChange(rtl::Create<TORVISubscribedEvent>(this)) {
    // The hooks run before the held-back firing when an update ends, as they do before every other one.
    _pChange->SetOnUnblocked(rtl::TNotifyEvent(this, &TORVIReferencedPropertySet::_UnBlocked));
}

TORVIReferencedPropertySet::~TORVIReferencedPropertySet() {
    rtl::FreeAndNil(_pChange);
}

const TORVIReferencedPropertySetClass& TORVIReferencedPropertySet::ClassRef() const {
    return ORVISetClass<TORVIReferencedPropertySet, TORVIReferencedPropertySet>("TORVIReferencedPropertySet");
}

void TORVIReferencedPropertySet::AfterConstruction() {
    // Before registering with the owner: a set that would duplicate as its base is refused outright.
    rtl::RequireOwnClassRef(ClassRef().TypeInfo(), typeid(*this));
    TORVIReferencedPersistent::AfterConstruction();
}

void TORVIReferencedPropertySet::BeginUpdate() {
    if (_pChange)
        _pChange->Block();
}

void TORVIReferencedPropertySet::EndUpdate() {
    if (_pChange)
        _pChange->Unblock();
}

void TORVIReferencedPropertySet::_Change() {
    if (!_pChange)
        return;
    rtl::TPin<TORVIReferencedPropertySet> self(this);
    if (!_pChange->Blocked())
        _UnBlocked(_pChange);
    if (!self.Freed() && _pChange)
        _pChange->FireCallbacks();
}

void TORVIReferencedPropertySet::_UnBlocked(rtl::TObject*) {
    rtl::TPin<TORVIReferencedPropertySet> self(this);
    _BeforeChange();
    if (!self.Freed())
        _DoChange();
    if (!self.Freed())
        _AfterChange();
}

bool TORVIReferencedPropertySet::_GetInUpdate() {
    return _pChange && _pChange->Blocked();
}

TORVIReferencedPropertySet* TORVIReferencedPropertySet::_Duplicate(rtl::TPersistent* pNewOwner) {
    return ORVIDuplicateSet(this, pNewOwner);
}

TORVIReferencedPropertySet* TORVIReferencedPropertySet::Duplicate() {
    return _Duplicate(Owner());
}

TORVIReferencedPropertySet* TORVIReferencedPropertySet::Duplicate(rtl::TPersistent* pNewOwner) {
    return _Duplicate(pNewOwner);
}

bool TORVIReferencedPropertySet::Equals(const rtl::TObject* Obj) const {
    if (Obj == this)
        return true;
    const auto* other = dynamic_cast<const TORVIReferencedPropertySet*>(Obj);
    if (!other)
        return false;
    const TORVIReferencedPropertySetClass& mine = ClassRef();
    const TORVIReferencedPropertySetClass& theirs = other->ClassRef();
    if (&mine != &theirs && !theirs.InheritsFrom(mine))
        return false;
    return EqualTo(other);
}

bool TORVIReferencedPropertySet::EqualTo(const TORVIReferencedPropertySet*) const {
    return false;
}

} // namespace orvi
