#include "utils/framework/ORVI.UniquePersistent.h"

#include <algorithm>
#include <vector>

namespace orvi {

using TUP = TORVIUniquePersistent;

// ---- TORVIUniquePersistent

void TUP::AfterConstruction() {
    TORVIReferencedPersistent::AfterConstruction();
    _pSwapEvent = rtl::Create<TORVISubscribed1ParamEvent<TUP*>>(this);
}

TUP::~TORVIUniquePersistent() {
    rtl::FreeAndNil(_pSwapEvent);
}

void TUP::_SwapWith(TUP* Replacement) {
    // One swap at a time: a second one started by a hook or subscriber of this one would move what the
    // first is still handing over.
    if (!Replacement || Replacement == this || _blSwapping || _Freeing() || Replacement->_Freeing())
        return;
    _blSwapping = true;
    // This frame watches both objects through pins, not free indicators: an indicator registered here
    // would travel with the references to the replacement, and on to whatever that one swaps with.
    rtl::TPin<TUP> self(this);
    _BeforeSwap(Replacement);
    if (!self.Freeing())
        _DoSwapWith(Replacement);
    if (!self.Freeing())
        _AfterSwap(Replacement);
    if (!self.Freeing())
        _blSwapping = false;
}

void TUP::_DoSwapWith(TUP* Replacement) {
    if (!Replacement || Replacement == this || _blListsGone)
        return;
    // This object as a consumer of the replacement would end up the replacement's consumer of itself.
    if (Replacement->_IsConsumer(this))
        Replacement->RemoveNotifyReference(this);
    _MoveSilentReferences(Replacement);
    _MoveFreeIndicators(Replacement);
    _MoveLocks(Replacement);
    _MoveConsumers(Replacement);
    _MoveCustomNotifications(Replacement);
    _MoveComponentNotifications(Replacement);
    _MoveTwilightHandlers(Replacement);
    _MoveHolders(Replacement);
}

void TUP::_MoveHolders(TUP* New) {
    // Last: the containers' references are on the replacement by now, so their entries just follow.
    std::vector<TORVIItemHolder*> holders;
    for (std::size_t i = 0; i < _pHolders.size(); ++i)
        holders.push_back(_pHolders[i]);
    _pHolders.clear();
    for (TORVIItemHolder* holder : holders)
        holder->_ItemSwapped(this, New);
}

void TUP::_MoveSilentReferences(TUP* New) {
    std::vector<PORVIReferencedPersistent> references;
    references.swap(_pRegPointers);
    for (PORVIReferencedPersistent p : references) {
        // A variable that was given another object meanwhile keeps it.
        if (*p == this)
            *p = New;
        New->RegisterSilentReference(p);
    }
}

void TUP::_MoveFreeIndicators(TUP* New) {
    std::vector<bool*> indicators;
    indicators.swap(_pFreeIndicators);
    for (bool* p : indicators)
        New->RegisterFreeIndicator(p);
}

void TUP::_MoveLocks(TUP* New) {
    std::vector<TLock> locks;
    for (std::size_t i = 0; i < _pLockers.size(); ++i)
        locks.push_back(_pLockers[i]);
    _pLockers.clear();
    for (const TLock& lock : locks) {
        const bool self = lock.pLocker == this;
        rtl::TObject* locker = self ? New : lock.pLocker;
        // The locker will give back every lock it took on either object, now all on the replacement:
        // its count there is the sum of both, or the replacement would free itself while still held.
        const std::int32_t target = lock.nCount + New->_GetLockCount(locker);
        TORVIReferencedNotification notify;
        const auto it = std::find_if(_dctCustomNotify.begin(), _dctCustomNotify.end(),
                                     [&](const TCustomNotify& e) { return e.pObject == lock.pLocker; });
        if (it != _dctCustomNotify.end()) {
            if (!self) // this object's handler on itself dies with it
                notify = it->fn;
            _dctCustomNotify.erase(it);
        }
        for (std::int32_t n = New->_GetLockCount(locker); n < target;) {
            if (notify)
                New->AddMemLockReference(locker, notify);
            else
                New->AddMemLockReference(locker);
            notify = {};
            const std::int32_t now = New->_GetLockCount(locker);
            if (now <= n)
                break; // the replacement refuses locks (it is being destroyed)
            n = now;
        }
        if (lock.pComponent) {
            if (_pWrapper)
                _pWrapper->RemoveFreeNotification(lock.pComponent);
        } else if (lock.pReferenced && !self && lock.pReferenced != New) {
            lock.pReferenced->RemoveNotifyReference(this);
        }
    }
}

void TUP::_MoveConsumers(TUP* New) {
    if (!_pConsumers)
        return;
    const std::vector<TORVIReferencedPersistent*> consumers(_pConsumers->begin(), _pConsumers->end());
    for (TORVIReferencedPersistent* consumer : consumers) {
        if (consumer && static_cast<rtl::TPersistent*>(consumer) != _pOwner && !_pConsumers->ItemFreed(consumer))
            New->AddNotifyReference(consumer);
    }
    _pConsumers->Clear();
}

void TUP::_MoveCustomNotifications(TUP* New) {
    std::vector<TCustomNotify> entries;
    entries.swap(_dctCustomNotify);
    for (const TCustomNotify& entry : entries) {
        const bool present = std::any_of(New->_dctCustomNotify.begin(), New->_dctCustomNotify.end(),
                                         [&](const TCustomNotify& e) { return e.pObject == entry.pObject; });
        if (!present)
            New->AddNotifyReference(entry.pObject, entry.fn);
    }
}

void TUP::_MoveComponentNotifications(TUP* New) {
    if (!_pWrapper)
        return;
    const std::vector<rtl::TComponent*> components = _pWrapper->FreeNotifies();
    for (rtl::TComponent* component : components)
        New->AddNotifyReference(component);
    _pWrapper->RemoveFreeNotifications();
}

void TUP::_MoveTwilightHandlers(TUP* New) {
    if (_fnEnterTwilight && !New->_GetOnEnterTwilight())
        New->_SetOnEnterTwilight(_fnEnterTwilight);
    _fnEnterTwilight = {};
    if (_fnLeaveTwilight && !New->_GetOnLeaveTwilight())
        New->_SetOnLeaveTwilight(_fnLeaveTwilight);
    _fnLeaveTwilight = {};
}

void TUP::_AfterSwap(TUP* Replacement) {
    rtl::TPin<TUP> self(this);
    rtl::TPin<TUP> replacement(Replacement);
    bool blFreed = false;
    RegisterFreeIndicator(&blFreed);
    // Nothing locks this object any more: a subscriber that lets go of it (a list moving its entry
    // to the replacement) must not free it in the middle of the pass. It is freed below.
    _SetFreeWhenUnreferenced(false);
    if (_pSwapEvent)
        _pSwapEvent->FireCallbacksWhileFalse(Replacement, &blFreed);
    if (self.Freeing())
        return;
    if (_pSwapEvent && !replacement.Freeing() && Replacement->_pSwapEvent)
        _pSwapEvent->TransferSubscriptions(Replacement->_pSwapEvent);
    _AfterSwapCallbacks();
    if (self.Freeing())
        return;
    UnregisterFreeIndicator(&blFreed);
    rtl::Free(this);
}

// ---- TORVIOpportunisticUniqueStringList

TORVIUniquePersistentSwapCallback TORVIOpportunisticUniqueStringList::SwapHandler() {
    return TORVIUniquePersistentSwapCallback(this, &TORVIOpportunisticUniqueStringList::_ObjectSwapped);
}

TUP* TORVIOpportunisticUniqueStringList::_SoleUnique(rtl::TObject* obj) const {
    auto* unique = dynamic_cast<TUP*>(obj);
    return unique && !unique->_Freed() && _GetCountOfObject(obj) == 1 ? unique : nullptr;
}

void TORVIOpportunisticUniqueStringList::_Subscribe(rtl::TObject* obj) {
    if (TUP* unique = _SoleUnique(obj); unique && unique->OnSwap())
        unique->OnSwap()->Subscribe(SwapHandler());
}

void TORVIOpportunisticUniqueStringList::_Unsubscribe(rtl::TObject* obj) {
    if (TUP* unique = _SoleUnique(obj); unique && unique->OnSwap())
        unique->OnSwap()->Unsubscribe(SwapHandler());
}

void TORVIOpportunisticUniqueStringList::_UnsubscribeAll() {
    std::vector<TUP*> done;
    for (int i = 0; i < Count(); ++i) {
        auto* unique = dynamic_cast<TUP*>(Objects(i));
        if (!unique || unique->_Freed() || std::find(done.begin(), done.end(), unique) != done.end())
            continue;
        done.push_back(unique);
        if (unique->OnSwap())
            unique->OnSwap()->Unsubscribe(SwapHandler());
    }
}

void TORVIOpportunisticUniqueStringList::InsertItem(int index, const rtl::UnicodeString& s,
                                                    rtl::TObject* obj) {
    BeginUpdate();
    TORVIOpportunisticReferencingStringList::InsertItem(index, s, obj);
    EndUpdate();
    _Subscribe(obj);
}

void TORVIOpportunisticUniqueStringList::PutObject(int index, rtl::TObject* obj) {
    if (index >= 0 && index < Count()) {
        rtl::TObject* old = Objects(index);
        if (old != obj)
            _Unsubscribe(old);
    }
    BeginUpdate();
    if (_blSwapping)
        rtl::TStringList::PutObject(index, obj); // the swap already moved this list's references
    else
        TORVIOpportunisticReferencingStringList::PutObject(index, obj);
    _Subscribe(obj);
    EndUpdate();
}

void TORVIOpportunisticUniqueStringList::Delete(int index) {
    if (index >= 0 && index < Count())
        _Unsubscribe(Objects(index));
    TORVIOpportunisticReferencingStringList::Delete(index);
}

void TORVIOpportunisticUniqueStringList::Clear() {
    // Subscriptions of a list whose entries are gone would call it back for objects it no longer holds.
    _UnsubscribeAll();
    TORVIOpportunisticReferencingStringList::Clear();
}

void TORVIOpportunisticUniqueStringList::BeforeDestruction() {
    _UnsubscribeAll();
    TORVIOpportunisticReferencingStringList::BeforeDestruction();
}

void TORVIOpportunisticUniqueStringList::_NotificationRef(TORVIReferencedPersistent* Other,
                                                          rtl::TOperation op) {
    if (op == rtl::TOperation::opRemove) {
        auto* unique = dynamic_cast<TUP*>(Other);
        if (unique && !unique->_Freed() && unique->OnSwap())
            unique->OnSwap()->Unsubscribe(SwapHandler());
    }
    TORVIOpportunisticReferencingStringList::_NotificationRef(Other, op);
}

void TORVIOpportunisticUniqueStringList::_ObjectSwapped(rtl::TObject* Sender, TUP* Replacement) {
    rtl::TPin<TORVIOpportunisticUniqueStringList> self(this);
    const bool swapping = _blSwapping;
    _blSwapping = true;
    for (int i = 0; !self.Freed() && i < Count(); ++i) {
        if (Objects(i) == Sender)
            PutObject(i, Replacement);
    }
    if (!self.Freed())
        _blSwapping = swapping;
}

} // namespace orvi
