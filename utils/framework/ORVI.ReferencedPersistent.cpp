#include "utils/framework/ORVI.ReferencedPersistent.h"

#include "rtl/Thread.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace orvi {

using rtl::TOperation;
using TRP = TORVIReferencedPersistent;

namespace {

// Creation sequence: starts at the tick count when first used; objects are made on several threads.
std::atomic<std::uint32_t>& ClassSequence() {
    static std::atomic<std::uint32_t> s_nSequence{rtl::GetTickCount()};
    return s_nSequence;
}

// Pairs (handler, departing) whose removal handling is under way on this thread. Two objects that
// lock each other would otherwise tell each other of the removal for ever.
thread_local std::vector<std::pair<const TRP*, const TRP*>> t_removals;

bool RemovalUnderWay(const TRP* handler, const TRP* departing) {
    return std::find(t_removals.begin(), t_removals.end(), std::make_pair(handler, departing)) != t_removals.end();
}

struct TRemovalScope {
    TRemovalScope(const TRP* handler, const TRP* departing) { t_removals.emplace_back(handler, departing); }
    ~TRemovalScope() { t_removals.pop_back(); }
};

// The objects a release on this thread found unreferenced while it was already freeing one; the
// outermost release frees them in turn, so a long chain costs no native stack.
[[gnu::tls_model("initial-exec")]] thread_local bool t_blReleasing = false;
thread_local std::vector<rtl::TPin<TRP>> t_released;

TRP* AsReferenced(rtl::TObject* obj) {
    return dynamic_cast<TRP*>(obj);
}

rtl::TComponent* AsComponent(rtl::TObject* obj) {
    return dynamic_cast<rtl::TComponent*>(obj);
}

} // namespace

// ---- Creation and destruction

TRP::TORVIReferencedPersistent(rtl::TPersistent* AOwner)
    : _nCreateSequence(static_cast<std::int32_t>(ClassSequence().fetch_add(1, std::memory_order_relaxed))),
      _pOwner(AOwner), _pOwnerReferenced(dynamic_cast<TRP*>(AOwner)) {}

void TRP::AfterConstruction() {
    rtl::TPersistent::AfterConstruction();
    // Here, not in the constructor: the owner calls this object's NotificationRef, which descendants override.
    if (_pOwnerReferenced)
        _pOwnerReferenced->AddNotifyReference(this);
}

void TRP::BeforeDestruction() {
    if (_RPState & _rpFreeing)
        return;
    _RPState |= _rpFreeing;
    _NotifyConsumersOfRemoval();
    _NotifyLockersOfRemoval();
    _RunCustomNotifications();
    rtl::FreeAndNil(_pWrapper); // components hear of it through their free notification
    _RPState |= _rpReadyToFree;
    rtl::TPersistent::BeforeDestruction();
}

void TRP::_NotifyConsumersOfRemoval() {
    while (_pConsumers && _pConsumers->Count() > 0) {
        for (int i = _pConsumers->Count() - 1; i >= 0; --i) {
            if (i >= _pConsumers->Count())
                continue;
            TRP* consumer = (*_pConsumers)[i];
            if (!consumer || consumer == this || _pConsumers->ItemFreed(consumer)) {
                _pConsumers->Delete(i);
                continue;
            }
            rtl::TPin<TRP> pin(consumer);
            consumer->NotificationRef(this, TOperation::opRemove);
            // A consumer that was freed meanwhile left the list by itself; one that stayed is taken out
            // by identity, since the handler may have moved the entries.
            if (!pin.Freed()) {
                const int j = _pConsumers->IndexOf(consumer);
                if (j >= 0)
                    _pConsumers->Delete(j);
            }
        }
    }
}

void TRP::_NotifyLockersOfRemoval() {
    while (!_pLockers.empty()) {
        const TLock lock = _pLockers.back();
        if (lock.pReferenced && lock.pReferenced != this) {
            rtl::TPin<TRP> pin(lock.pReferenced);
            lock.pReferenced->NotificationRef(this, TOperation::opRemove);
        }
        const int j = _LockerIndex(lock.pLocker);
        if (j >= 0)
            _pLockers.erase(static_cast<std::size_t>(j)); // its custom notification still runs below
    }
}

void TRP::_RunCustomNotifications() {
    const std::vector<TCustomNotify> snapshot = _dctCustomNotify;
    for (const TCustomNotify& entry : snapshot) {
        // A handler may have removed later entries (their holders went); those are not called.
        const auto it = std::find_if(_dctCustomNotify.begin(), _dctCustomNotify.end(),
                                     [&](const TCustomNotify& e) { return e.pObject == entry.pObject; });
        if (it == _dctCustomNotify.end())
            continue;
        const TORVIReferencedNotification fn = it->fn;
        _dctCustomNotify.erase(it);
        if (fn)
            fn(this, TOperation::opRemove);
    }
}

TRP::~TORVIReferencedPersistent() {
    if (_pOwnerReferenced)
        _pOwnerReferenced->RemoveNotifyReference(this);
    rtl::FreeAndNil(_pConsumers);
    _pLockers.clear();
    _dctCustomNotify.clear();
    _pHolders.clear();
    _blListsGone = true;
    _RPState |= _rpFreed;
    _blFreed = true;
    MarkFreed();
    for (auto it = _pFreeIndicators.rbegin(); it != _pFreeIndicators.rend(); ++it)
        **it = true;
    _pFreeIndicators.clear();
    for (auto it = _pRegPointers.rbegin(); it != _pRegPointers.rend(); ++it) {
        if (**it == this)
            **it = nullptr;
    }
    _pRegPointers.clear();
}

namespace {

// The block's state, read once for both questions the object asks of it.
std::uint32_t BlockState(const rtl::TControlBlock* b) {
    return b ? b->nState.load(std::memory_order_acquire) : 0;
}

// Where locker stands among lockers, -1 when it holds no lock. Locks are taken and given back on
// hot paths (a definition counting its nodes), so the scan is inlined there.
template <class TLockers> inline int IndexOfLocker(const TLockers& lockers, const rtl::TObject* locker) {
    for (std::size_t i = 0; i < lockers.size(); ++i)
        if (lockers[i].pLocker == locker)
            return static_cast<int>(i);
    return -1;
}

} // namespace

bool TRP::_Freed() const {
    return _blFreed || (BlockState(ControlBlock()) & rtl::TControlBlock::kFreed);
}

// ---- Lock references

int TRP::_LockerIndex(const rtl::TObject* locker) const {
    return IndexOfLocker(_pLockers, locker);
}

void TRP::AddMemLockReference(rtl::TObject* Consumer) {
    // A dying object cannot be kept alive: locks taken during destruction are refused.
    if (_blListsGone || !Consumer || (_RPState & _rpFreeing) || _blFreePending)
        return;
    if (_RPState & _rpInTwilight) {
        _RPState &= static_cast<TORVIReferencedPersistentState>(~_rpInTwilight);
        if (_fnLeaveTwilight)
            _fnLeaveTwilight(this);
    }
    const int i = IndexOfLocker(_pLockers, Consumer);
    if (i >= 0) {
        ++_pLockers[i].nCount;
        return;
    }
    // An object that locks itself (a definition counting its nodes' locks) is known without a cast.
    const bool self = Consumer == static_cast<rtl::TObject*>(this);
    auto* referenced = self ? this : AsReferenced(Consumer);
    auto* component = referenced ? nullptr : AsComponent(Consumer);
    _pLockers.push_back({Consumer, 1, referenced, component});
    if (referenced && referenced != this) {
        if (!referenced->_IsConsumer(this))
            referenced->AddNotifyReference(this); // to hear of the locker's destruction
    } else if (component) {
        _GetWrapper()->FreeNotification(component);
    }
}

void TRP::AddMemLockReference(rtl::TObject* Consumer, const TORVIReferencedNotification& Notify) {
    AddMemLockReference(Consumer);
    if (Notify && Consumer && !_blListsGone && !(_RPState & _rpFreeing))
        _SetCustomNotify(Consumer, Notify);
}

void TRP::RemoveMemLockReference(rtl::TObject* Consumer, bool* blDeleted) {
    const int i = _blListsGone || !Consumer ? -1 : IndexOfLocker(_pLockers, Consumer);
    if (i >= 0 && --_pLockers[i].nCount <= 0) {
        TORVIReferencedPersistent* referenced = _pLockers[i].pReferenced;
        rtl::TComponent* component = _pLockers[i].pComponent;
        _pLockers.erase(static_cast<std::size_t>(i));
        if (!_dctCustomNotify.empty())
            _RemoveCustomNotify(Consumer);
        if (referenced && referenced != this)
            referenced->RemoveNotifyReference(this);
        else if (component && _pWrapper)
            _pWrapper->RemoveFreeNotification(component);
    }
    const bool deleted = FreeIfUnreferenced();
    if (blDeleted)
        *blDeleted = deleted;
    if (!deleted && Consumer && Consumer == _pOwner) {
        _pOwner = nullptr;
        _pOwnerReferenced = nullptr;
    }
}

bool TRP::IsLockedBy(const rtl::TObject* Other) const {
    return !_blListsGone && !_blFreed && _LockerIndex(Other) >= 0;
}

std::int32_t TRP::_GetLockCount(const rtl::TObject* pForObject) const {
    const int i = _blListsGone ? -1 : _LockerIndex(pForObject);
    return i >= 0 ? _pLockers[i].nCount : 0;
}

bool TRP::FreeIfUnreferenced() {
    if (!_GetFreeWhenUnreferenced() || _blListsGone || !_pLockers.empty() || _Freeing())
        return false;
    bool stop = false;
    if (_fnEnterTwilight) {
        rtl::TPin<TRP> self(this);
        _fnEnterTwilight(this, stop);
        if (self.Freeing())
            return true; // the handler freed the object itself
    }
    if (stop) {
        _RPState |= _rpInTwilight;
        return false;
    }
    _FreeReleased();
    return true;
}

void TRP::_FreeReleased() {
    if (t_blReleasing) {
        _blFreePending = true;
        t_released.emplace_back(this);
        return;
    }
    struct TReleasing {
        TReleasing() { t_blReleasing = true; }
        ~TReleasing() { t_blReleasing = false; }
    } releasing;
    rtl::Free(this);
    while (!t_released.empty()) {
        const rtl::TPin<TRP> next = std::move(t_released.back());
        t_released.pop_back();
        if (!next.Freeing()) // unless somebody freed it meanwhile
            rtl::Free(next.Get());
    }
}

// ---- Notify references and custom notifications

bool TRP::_IsConsumer(const TRP* Other) const {
    return _pConsumers && _pConsumers->Contains(const_cast<TRP*>(Other));
}

void TRP::_SetCustomNotify(rtl::TObject* AObject, const TORVIReferencedNotification& Notify) {
    for (TCustomNotify& e : _dctCustomNotify) {
        if (e.pObject == AObject) {
            e.fn = Notify;
            return;
        }
    }
    _dctCustomNotify.push_back({AObject, Notify});
}

void TRP::_RemoveCustomNotify(rtl::TObject* AObject) {
    std::erase_if(_dctCustomNotify, [&](const TCustomNotify& e) { return e.pObject == AObject; });
}

void TRP::AddNotifyReference(TRP* Other) {
    if (_blListsGone || !Other || Other == this || (_RPState & _rpFreeing) || _IsConsumer(Other))
        return;
    if (!_pConsumers)
        _pConsumers = rtl::Create<TORVIReferencedList<TRP>>(nullptr, _raNotify);
    _pConsumers->Add(Other); // the list registers its own custom notification on Other
    Other->NotificationRef(this, TOperation::opInsert);
}

void TRP::AddNotifyReference(rtl::TComponent* AComponent) {
    if (_blListsGone || !AComponent || (_RPState & _rpFreeing))
        return;
    _GetWrapper()->FreeNotification(AComponent);
}

void TRP::AddNotifyReference(rtl::TObject* AObject, const TORVIReferencedNotification& Notify) {
    if (!AObject || AObject == this || _blListsGone || (_RPState & _rpFreeing))
        return;
    if (auto* referenced = AsReferenced(AObject))
        AddNotifyReference(referenced);
    else if (auto* component = AsComponent(AObject))
        AddNotifyReference(component);
    if (Notify)
        _SetCustomNotify(AObject, Notify);
}

void TRP::RemoveNotifyReference(TRP* Other) {
    if (_pConsumers && Other)
        _pConsumers->Remove(Other); // releasing it drops the list's custom notification on Other
}

void TRP::RemoveNotifyReference(rtl::TComponent* AComponent) {
    if (_pWrapper && AComponent)
        _pWrapper->RemoveFreeNotification(AComponent);
}

void TRP::RemoveNotifyReference(rtl::TObject* AObject, const TORVIReferencedNotification& Notify) {
    if (!AObject || _blListsGone)
        return;
    if (auto* referenced = AsReferenced(AObject))
        RemoveNotifyReference(referenced);
    else if (auto* component = AsComponent(AObject))
        RemoveNotifyReference(component);
    std::erase_if(_dctCustomNotify,
                  [&](const TCustomNotify& e) { return e.pObject == AObject && e.fn == Notify; });
}

void TRP::NotificationRef(TRP* Other, TOperation op) {
    if (op != TOperation::opRemove || _Freed() || !Other || RemovalUnderWay(this, Other))
        return;
    if (Other == _pOwner) {
        _pOwner = nullptr;
        _pOwnerReferenced = nullptr;
    }
    const TRemovalScope scope(this, Other);
    // Both objects may go during this handler; the pins keep "is it freed?" answerable.
    rtl::TPin<TRP> self(this);
    rtl::TPin<TRP> other(Other);
    if (_IsConsumer(Other))
        RemoveNotifyReference(Other);
    if (!self.Freed() && !other.Freed() && Other != this && IsLockedBy(Other) && !RemovalUnderWay(Other, this))
        Other->NotificationRef(this, TOperation::opRemove); // the departing one drops its references to us
    while (!self.Freed() && IsLockedBy(Other)) {
        bool freed = false;
        RemoveMemLockReference(Other, &freed);
        if (freed)
            break;
    }
}

void TRP::Notification(rtl::TComponent* AComponent, TOperation Operation) {
    if (Operation != TOperation::opRemove || !AComponent)
        return;
    // Every lock of the departing component goes, however many times it locked.
    rtl::TPin<TRP> self(this);
    while (!self.Freed() && IsLockedBy(AComponent)) {
        bool freed = false;
        RemoveMemLockReference(AComponent, &freed);
        if (freed)
            break;
    }
}

// ---- Variables of holders

void TRP::_AddHolder(TORVIItemHolder* pHolder) {
    for (std::size_t i = 0; i < _pHolders.size(); ++i)
        if (_pHolders[i] == pHolder)
            return;
    if (pHolder && !_blListsGone)
        _pHolders.push_back(pHolder);
}

void TRP::_RemoveHolder(TORVIItemHolder* pHolder) {
    for (std::size_t i = 0; i < _pHolders.size(); ++i)
        if (_pHolders[i] == pHolder) {
            _pHolders.erase(i);
            return;
        }
}

void TRP::RegisterSilentReference(PORVIReferencedPersistent pReference) {
    if (pReference && !_blListsGone &&
        std::find(_pRegPointers.begin(), _pRegPointers.end(), pReference) == _pRegPointers.end())
        _pRegPointers.push_back(pReference);
}

void TRP::UnregisterSilentReference(PORVIReferencedPersistent pReference) {
    std::erase(_pRegPointers, pReference);
}

void TRP::RegisterFreeIndicator(bool* blIndicator) {
    if (blIndicator && !_blListsGone &&
        std::find(_pFreeIndicators.begin(), _pFreeIndicators.end(), blIndicator) == _pFreeIndicators.end())
        _pFreeIndicators.push_back(blIndicator);
}

void TRP::UnregisterFreeIndicator(bool* blIndicator) {
    std::erase(_pFreeIndicators, blIndicator);
}

// ---- Owners and components

TRP* TRP::ReferencedPersistentOwner(rtl::TPersistent* pCandidate) {
    for (rtl::TPersistent* p = pCandidate ? pCandidate->Owner() : nullptr; p; p = p->Owner()) {
        if (auto* referenced = dynamic_cast<TRP*>(p))
            return referenced;
    }
    return nullptr;
}

rtl::TComponent* TRP::_GetOwningComponent() {
    for (rtl::TPersistent* p = _GetOwner(); p; p = p->Owner()) {
        if (auto* component = dynamic_cast<rtl::TComponent*>(p))
            return component;
    }
    return nullptr;
}

bool TRP::ComponentOwnerIsDesigning() {
    if (!(_RPState & _rpCompOwnerDesignChecked)) {
        bool designing = false;
        for (rtl::TComponent* c = _GetOwningComponent(); c && !designing; c = c->Owner())
            designing = c->ComponentState() & rtl::csDesigning;
        _RPState |= _rpCompOwnerDesignChecked;
        if (designing)
            _RPState |= _rpCompOwnerDesigning;
    }
    return _RPState & _rpCompOwnerDesigning;
}

bool TRP::ComponentOwnerIsDestroying() {
    rtl::TComponent* c = _GetOwningComponent();
    return c && (c->ComponentState() & rtl::csDestroying);
}

bool TRP::ComponentOwnerIsLoading() {
    if (_RPState & _rpCompOwnerLoaded)
        return false;
    for (rtl::TComponent* c = _GetOwningComponent(); c; c = c->Owner()) {
        if (c->ComponentState() & rtl::csLoading)
            return true;
    }
    _RPState |= _rpCompOwnerLoaded; // loading is over for good: never asked again
    return false;
}

rtl::HRESULT TRP::QueryInterface(const rtl::TGUID& iid, void** obj) {
    if (iid == rtl::IInterface::IID) {
        *obj = static_cast<rtl::IInterface*>(this);
        return rtl::S_OK;
    }
    *obj = nullptr;
    return rtl::E_NOINTERFACE;
}

// ---- Property accessors

bool TRP::_GetFreeWhenUnreferenced() {
    return _RPState & _rpFreeOnUnref;
}

void TRP::_SetFreeWhenUnreferenced(bool value) {
    if (value)
        _RPState |= _rpFreeOnUnref;
    else
        _RPState &= static_cast<TORVIReferencedPersistentState>(~_rpFreeOnUnref);
}

TORVITwilightFalling TRP::_GetOnEnterTwilight() {
    return _fnEnterTwilight;
}

void TRP::_SetOnEnterTwilight(const TORVITwilightFalling& value) {
    _fnEnterTwilight = value;
}

rtl::TNotifyEvent TRP::_GetOnLeaveTwilight() {
    return _fnLeaveTwilight;
}

void TRP::_SetOnLeaveTwilight(const rtl::TNotifyEvent& value) {
    _fnLeaveTwilight = value;
}

rtl::TPersistent* TRP::_GetOwner() {
    return _pOwner;
}

void TRP::_SetOwner(rtl::TPersistent* value) {
    if (value == _pOwner)
        return;
    if (_pOwnerReferenced)
        _pOwnerReferenced->RemoveNotifyReference(this);
    _pOwner = value;
    _pOwnerReferenced = dynamic_cast<TRP*>(value);
    if (_pOwnerReferenced)
        _pOwnerReferenced->AddNotifyReference(this);
}

int TRP::_GetMemLockReferenceCount() {
    return static_cast<int>(_pLockers.size());
}

int TRP::_GetNotifyReferenceCount() {
    return _pConsumers ? _pConsumers->Count() : 0;
}

int TRP::_GetTotalReferenceCount() {
    return _GetMemLockReferenceCount() + _GetNotifyReferenceCount();
}

TORVIPersistentWrapper* TRP::_GetWrapper() {
    if (!_pWrapper && !_blListsGone) {
        _pWrapper = rtl::Create<TORVIPersistentWrapper>(this);
        _pWrapper->OnNotify = TORVIPersistentWrapper::TNotify(this, &TRP::_WrapperNotify);
    }
    return _pWrapper;
}

// ---- TORVIPersistentWrapper

rtl::TComponent* TORVIPersistentWrapper::_GetFreeNotifee(int i) const {
    return i >= 0 && i < FreeNotificationCount() ? FreeNotifies()[static_cast<std::size_t>(i)] : nullptr;
}

void TORVIPersistentWrapper::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) {
    rtl::TPin<TORVIPersistentWrapper> self(this);
    if (OnNotify)
        OnNotify(AComponent, Operation); // may free the payload, and the payload frees this wrapper
    if (!self.Freed())
        rtl::TComponent::Notification(AComponent, Operation);
}

// ---- Referencing items for containers

void ORVIReferenceItem(TRP* Item, TORVIReferenceAction Action, rtl::TObject* R, rtl::TObject* Self,
                       const TORVIReferencedNotification& fnSelf) {
    if (Action == _raMemLock) {
        if (R == Self)
            Item->AddMemLockReference(Self, fnSelf);
        else
            Item->AddMemLockReference(R);
    } else if (R == Self) {
        Item->AddNotifyReference(Self, fnSelf);
    } else if (auto* referenced = AsReferenced(R)) {
        Item->AddNotifyReference(referenced);
    } else if (auto* component = AsComponent(R)) {
        Item->AddNotifyReference(component);
    }
}

bool ORVIReleaseItem(TRP* Item, TORVIReferenceAction Action, rtl::TObject* R, rtl::TObject* Self,
                     const TORVIReferencedNotification& fnSelf) {
    if (Action == _raMemLock) {
        bool freed = false;
        Item->RemoveMemLockReference(R, &freed);
        return freed;
    }
    if (R == Self)
        Item->RemoveNotifyReference(Self, fnSelf);
    else if (auto* referenced = AsReferenced(R))
        Item->RemoveNotifyReference(referenced);
    else if (auto* component = AsComponent(R))
        Item->RemoveNotifyReference(component);
    return false;
}

// ---- TORVIReferencedPersistentSafeBox

void TORVIReferencedPersistentSafeBox::AfterConstruction() {
    TRP::AfterConstruction();
    _pKeptObjects = rtl::Create<TORVIReferencedList<TRP>>(this, _raMemLock);
}

void TORVIReferencedPersistentSafeBox::BeforeDestruction() {
    // Before the box tells its consumers it goes: they would give the box's locks back themselves.
    if (_pKeptObjects) {
        if (_blFreeOnDestroy)
            FreeAllObjects();
        rtl::FreeAndNil(_pKeptObjects);
    }
    TRP::BeforeDestruction();
}

TORVIReferencedPersistentSafeBox::~TORVIReferencedPersistentSafeBox() {
    rtl::FreeAndNil(_pKeptObjects);
}

void TORVIReferencedPersistentSafeBox::Add(TRP* Obj) {
    if (Obj && Obj != this && _pKeptObjects && !_pKeptObjects->Contains(Obj))
        _pKeptObjects->Add(Obj);
}

void TORVIReferencedPersistentSafeBox::Remove(TRP* Obj) {
    if (Obj && _pKeptObjects)
        _pKeptObjects->Remove(Obj);
}

void TORVIReferencedPersistentSafeBox::Clear() {
    if (_pKeptObjects)
        _pKeptObjects->Clear();
}

void TORVIReferencedPersistentSafeBox::FreeAllObjects() {
    rtl::TPin<TORVIReferencedPersistentSafeBox> self(this);
    while (!self.Freed() && _pKeptObjects && _pKeptObjects->Count() > 0) {
        TRP* obj = _pKeptObjects->First();
        rtl::TPin<TRP> pin(obj);
        _pKeptObjects->Remove(obj); // releasing the box's lock may let it free itself
        if (!pin.Freeing())
            rtl::Free(obj);
    }
}

void TORVIReferencedPersistentSafeBox::NotificationRef(TRP* Other, TOperation op) {
    rtl::TPin<TORVIReferencedPersistentSafeBox> self(this);
    if (op == TOperation::opRemove && _pKeptObjects && _pKeptObjects->Remove(Other) >= 0 && _fnObjectRemoved)
        _fnObjectRemoved(Other);
    if (!self.Freed())
        TRP::NotificationRef(Other, op);
}

// ---- TORVIOpportunisticReferencingStringList

TORVIReferencedNotification TORVIOpportunisticReferencingStringList::SelfHandler() {
    return TORVIReferencedNotification(this, &TORVIOpportunisticReferencingStringList::_NotificationRef);
}

TORVIOpportunisticReferencingStringList::~TORVIOpportunisticReferencingStringList() {
    for (auto& [obj, held] : _held)
        if (TRP* alive = held.pin.Get())
            alive->_RemoveHolder(this);
}

void TORVIOpportunisticReferencingStringList::Hold(rtl::TObject* obj) {
    TRP* item = obj ? AsReferenced(obj) : nullptr;
    if (!item)
        return;
    THeld& held = _held[obj];
    if (held.nEntries++ == 0) {
        held.pin = rtl::TPin<TRP>(item);
        if (!held.pin.Freed())
            item->_AddHolder(this);
    }
}

void TORVIOpportunisticReferencingStringList::Drop(const rtl::TObject* obj) {
    const auto it = _held.find(obj);
    if (it == _held.end() || --it->second.nEntries > 0)
        return;
    if (TRP* alive = it->second.pin.Get())
        alive->_RemoveHolder(this);
    _held.erase(it);
}

bool TORVIOpportunisticReferencingStringList::HeldFreed(const rtl::TObject* obj) const {
    const auto it = _held.find(obj);
    return it == _held.end() || it->second.pin.Freed();
}

void TORVIOpportunisticReferencingStringList::_ItemSwapped(TRP* Old, TRP* New) {
    const auto it = _held.find(Old);
    if (it == _held.end())
        return;
    const int entries = it->second.nEntries;
    _held.erase(it);
    THeld& held = _held[New];
    if (held.nEntries == 0) {
        held.pin = rtl::TPin<TRP>(New);
        New->_AddHolder(this);
    }
    held.nEntries += entries; // every entry keeps the reference it had, now on New
    BeginUpdate();
    for (int i = 0; i < Count(); ++i)
        if (Objects(i) == Old)
            rtl::TStringList::PutObject(i, New);
    EndUpdate();
}

void TORVIOpportunisticReferencingStringList::Reference(rtl::TObject* obj, rtl::TObject* r) {
    if (!HeldFreed(obj))
        ORVIReferenceItem(_held.find(obj)->second.pin.Get(), _RefAction, r, this, SelfHandler());
}

bool TORVIOpportunisticReferencingStringList::Release(rtl::TObject* obj, rtl::TObject* r) {
    if (HeldFreed(obj))
        return false;
    TRP* item = _held.find(obj)->second.pin.Get();
    return ORVIReleaseItem(item, _RefAction, r, this, SelfHandler());
}

void TORVIOpportunisticReferencingStringList::InsertItem(int index, const rtl::UnicodeString& s, rtl::TObject* obj) {
    BeginUpdate();
    rtl::TStringList::InsertItem(index, s, obj);
    Hold(obj);
    Reference(obj, ReferencingObject());
    EndUpdate();
}

void TORVIOpportunisticReferencingStringList::PutObject(int index, rtl::TObject* obj) {
    rtl::TObject* old = Objects(index); // raises the list-index error
    if (old == obj)
        return;
    BeginUpdate();
    rtl::TStringList::PutObject(index, obj);
    Hold(obj);
    Release(old, ReferencingObject()); // a replaced object is never freed here
    Drop(old);
    Reference(obj, ReferencingObject());
    EndUpdate();
}

void TORVIOpportunisticReferencingStringList::Delete(int index) {
    rtl::TObject* obj = Extract(index); // raises the list-index error
    if (!obj)
        return;
    if (const auto it = _held.find(obj); it != _held.end()) {
        const rtl::TPin<TRP> pin = it->second.pin;
        Release(obj, ReferencingObject());
        Drop(obj);
        if (OwnsObjects() && !pin.Freeing())
            rtl::Free(pin.Get());
        return;
    }
    rtl::TPin<> pin(obj);
    if (_blOwnsNonRefd)
        rtl::Free(obj);
    if (OwnsObjects() && !pin.Freeing())
        rtl::Free(obj);
}

void TORVIOpportunisticReferencingStringList::ReleaseTakenObjects(const std::vector<rtl::TObject*>& objects,
                                                                  bool blOwned) {
    // Pinned first: an object may sit in several entries, and a release may free it. A referenced
    // object is pinned already; the list's pin answers for it (it may be gone).
    std::vector<rtl::TPin<>> pins;
    pins.reserve(objects.size());
    for (rtl::TObject* obj : objects) {
        const auto it = _held.find(obj);
        TRP* referenced = it == _held.end() ? nullptr : it->second.pin.Get();
        pins.emplace_back(it == _held.end() ? obj : static_cast<rtl::TObject*>(referenced));
    }
    rtl::TObject* r = ReferencingObject();
    for (rtl::TObject* obj : objects) {
        Release(obj, r);
        Drop(obj);
    }
    for (std::size_t i = 0; blOwned && i < objects.size(); ++i) {
        if (objects[i] && pins[i].Get() && !pins[i].Freeing())
            rtl::Free(objects[i]);
    }
}

void TORVIOpportunisticReferencingStringList::Clear() {
    if (Count() == 0)
        return;
    BeginUpdate();
    std::vector<rtl::TObject*> objects;
    for (int i = 0; i < Count(); ++i)
        objects.push_back(Objects(i));
    const bool owned = OwnsObjects();
    SetOwnsObjects(false);
    rtl::TStringList::Clear();
    SetOwnsObjects(owned);
    ReleaseTakenObjects(objects, owned);
    EndUpdate();
}

void TORVIOpportunisticReferencingStringList::BeforeDestruction() {
    OnChange = {};
    OnChanging = {};
    std::vector<rtl::TObject*> objects;
    for (int i = 0; i < Count(); ++i)
        objects.push_back(Objects(i));
    const bool owned = OwnsObjects();
    SetOwnsObjects(false);
    rtl::TStringList::Clear();
    ReleaseTakenObjects(objects, owned);
    rtl::TStringList::BeforeDestruction();
}

int TORVIOpportunisticReferencingStringList::_GetCountOfObject(const rtl::TObject* AObject) const {
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        n += Objects(i) == AObject ? 1 : 0;
    return n;
}

void TORVIOpportunisticReferencingStringList::_NotificationRef(TRP* Other, TOperation op) {
    if (op != TOperation::opRemove)
        return;
    rtl::TPin<TORVIOpportunisticReferencingStringList> self(this);
    for (int i = 0; !self.Freed() && i < Count(); ++i) {
        if (Objects(i) == Other)
            PutObject(i, nullptr);
    }
}

void TORVIOpportunisticReferencingStringList::SetReferencingObject(rtl::TObject* value) {
    std::vector<rtl::TObject*> referenced;
    for (int i = 0; i < Count(); ++i)
        if (_held.contains(Objects(i)))
            referenced.push_back(Objects(i));
    if (referenced.empty()) {
        _pRefObject = value;
        return;
    }
    rtl::TObject* old = ReferencingObject();
    if (!value || value == old)
        return;
    _pRefObject = value;
    for (rtl::TObject* obj : referenced) {
        Reference(obj, value);
        Release(obj, old);
    }
}

void TORVIOpportunisticReferencingStringList::SetReferenceAction(TORVIReferenceAction value) {
    if (!_held.empty())
        return; // the references already taken must be given back the way they were taken
    _RefAction = value;
}

} // namespace orvi
