#pragma once
// Objects shared by reference: lock references counted per holder, notify references, custom
// notifications, silent references and free indicators; and the containers that reference them.
#include "rtl/Component.h"
#include "rtl/Generics.h"
#include "rtl/Interfaces.h"
#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"
#include "rtl/StringList.h"
#include "rtl/SyncObjs.h"
#include "utils/UtilsApi.h"
#include "utils/framework/ORVI.SubscribedGenerics.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvi {

class TORVIReferencedPersistent;
class TORVIPersistentWrapper;
template <class T> class TORVIReferencedList;

/// (Other, op): told when Other is inserted or removed as a reference, or destroyed.
using TORVIReferencedNotification = rtl::TMethod<void(TORVIReferencedPersistent*, rtl::TOperation)>;
/// (Sender, var blStopNightFalling): asked before an unreferenced object frees itself.
using TORVITwilightFalling = rtl::TMethod<void(rtl::TObject*, bool&)>;
/// What a referencing container takes on each item.
enum TORVIReferenceAction { _raMemLock = 0, _raNotify = 1 };
/// A variable that holds a referenced object.
using PORVIReferencedPersistent = TORVIReferencedPersistent**;
/// Creates referenced objects by class.
using TORVIReferencedPersistentClass = rtl::TClassRef<TORVIReferencedPersistent, rtl::TPersistent*>;

enum TORVIReferencedPersistentStates : std::uint8_t {
    _rpFreeOnUnref = 1 << 0,
    _rpFreeing = 1 << 1,
    _rpReadyToFree = 1 << 2,
    _rpFreed = 1 << 3,
    _rpCompOwnerLoaded = 1 << 4,
    _rpCompOwnerDesigning = 1 << 5,
    _rpCompOwnerDesignChecked = 1 << 6,
    _rpInTwilight = 1 << 7,
};
using TORVIReferencedPersistentState = std::uint8_t;

/// A short list kept inside its owner up to N entries, and on the heap beyond (holders per object are
/// few, and an object's whole life should cost one allocation).
template <class T, std::size_t N> class TORVIShortList {
public:
    bool empty() const noexcept { return _n == 0; }
    std::size_t size() const noexcept { return _n; }
    T& operator[](std::size_t i) noexcept { return Data()[i]; }
    /// The entries, wherever they are kept now (until the next change of the list).
    T* data() noexcept { return Data(); }
    const T& operator[](std::size_t i) const noexcept { return _heap.empty() ? _local[i] : _heap[i]; }
    const T& back() const noexcept { return (*this)[_n - 1]; }
    // Inline while the entries fit inside: a lock taken and given back per node comes here.
    [[gnu::always_inline]] void push_back(const T& value) {
        if (_heap.empty() && _n < N) {
            _local[_n++] = value;
            return;
        }
        _PushToHeap(value);
    }
    /// Appends an entry to be filled in place: a whole entry copied in from the stack would be read
    /// back wider than it was written there, which stalls the copy.
    [[gnu::always_inline]] T& append() {
        if (_heap.empty() && _n < N)
            return _local[_n++];
        _PushToHeap(T{});
        return _heap.back();
    }
    void erase(std::size_t i) {
        if (i + 1 == _n && _heap.empty()) {
            --_n; // the last of the inline entries: nothing moves
            return;
        }
        T* d = Data();
        std::move(d + i + 1, d + _n, d + i);
        --_n;
        if (!_heap.empty())
            _heap.pop_back();
    }
    void clear() noexcept {
        _n = 0;
        _heap.clear();
    }

private:
    [[gnu::noinline]] void _PushToHeap(const T& value) {
        if (_heap.empty())
            _heap.assign(_local, _local + _n);
        _heap.push_back(value);
        ++_n;
    }
    T* Data() noexcept { return _heap.empty() ? _local : _heap.data(); }
    T _local[N];         // entries at _n and beyond are never read
    std::vector<T> _heap; // holds every entry once they outgrow the inline ones
    std::size_t _n = 0;
};

/// A container whose entries name referenced objects. While it names an object it is registered
/// with it (TORVIReferencedPersistent::_AddHolder), so that an object handing its identity to a
/// replacement can have the entries follow: no entry is ever left naming an object that is gone.
class UTILS_API TORVIItemHolder {
public:
    /// Old has swapped itself for New and every reference the container took on Old is now on New:
    /// the entries naming Old must name New (or, when New is named already, go).
    virtual void _ItemSwapped(TORVIReferencedPersistent* Old, TORVIReferencedPersistent* New) = 0;

protected:
    ~TORVIItemHolder() = default;
};

/// A persistent object shared between holders. Locks keep it alive (counted per holder); when the
/// last lock goes it frees itself (unless told otherwise or kept in twilight). Whoever referenced it
/// hears of its destruction. Make it with rtl::Create (or a class reference) and free it with
/// rtl::Free, or let it free itself: registering with the owner runs after construction, and
/// destruction tells everybody before the destructor releases anything.
///
/// Lifetime rules for callers. The calls marked "may free" can free this object (and, where said,
/// others) before they return; a caller that uses the object, or any object it reached through a
/// handler, afterwards holds an rtl::TPin on it across the call and asks the pin. Handlers (twilight,
/// NotificationRef overrides, custom notifications) run inside these calls and may free anything,
/// including the object that called them. A release that frees an object while another object of
/// this thread is being freed is finished before the outermost such call returns (objects that free
/// each other in a chain are freed one after another, not nested), so "freed" answers may be given
/// for an object whose destructor runs a moment later, still within the same call.
class UTILS_API TORVIReferencedPersistent : public rtl::TPersistent, public rtl::IInterface {
public:
    explicit TORVIReferencedPersistent(rtl::TPersistent* AOwner = nullptr);
    void AfterConstruction() override;
    void BeforeDestruction() override;

    /// One more lock for Consumer (nil ignored); with Notify, also Consumer's custom notification.
    virtual void AddMemLockReference(rtl::TObject* Consumer);
    virtual void AddMemLockReference(rtl::TObject* Consumer, const TORVIReferencedNotification& Notify);
    /// Gives back one lock of Consumer, then frees the object when unreferenced; *blDeleted (when
    /// given) tells whether it did. May free this object (and, through its handlers, others).
    virtual void RemoveMemLockReference(rtl::TObject* Consumer, bool* blDeleted = nullptr);
    bool IsLockedBy(const rtl::TObject* Other) const;
    /// Frees the object when it should free itself and nothing locks it; true when it did (or it is
    /// about to be, see the class comment). May free this object; the twilight handler runs first.
    virtual bool FreeIfUnreferenced();

    /// Other is told (NotificationRef) of this object's destruction. Nil, self and repeats ignored.
    virtual void AddNotifyReference(TORVIReferencedPersistent* Other);
    /// AComponent is told through the component free notification.
    virtual void AddNotifyReference(rtl::TComponent* AComponent);
    /// Dispatches on AObject's class to the two forms above, then records Notify when assigned.
    virtual void AddNotifyReference(rtl::TObject* AObject, const TORVIReferencedNotification& Notify);
    virtual void RemoveNotifyReference(TORVIReferencedPersistent* Other);
    virtual void RemoveNotifyReference(rtl::TComponent* AComponent);
    /// Removes the custom notification only when it is Notify (same code and object).
    virtual void RemoveNotifyReference(rtl::TObject* AObject, const TORVIReferencedNotification& Notify);

    /// *pReference is set to nil when this object is destroyed, if it still holds it.
    virtual void RegisterSilentReference(PORVIReferencedPersistent pReference);
    virtual void UnregisterSilentReference(PORVIReferencedPersistent pReference);
    /// *blIndicator is set to true when this object is destroyed.
    virtual void RegisterFreeIndicator(bool* blIndicator);
    virtual void UnregisterFreeIndicator(bool* blIndicator);

    /// Told with opInsert when registered as a consumer of Other, with opRemove when Other goes. With
    /// opRemove it gives back Other's locks: may free this object and Other. The caller pins both.
    virtual void NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op);
    /// Component notification arriving through the wrapper. May free this object.
    virtual void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation);

    /// A container that now names this object in an entry; told of swaps until _RemoveHolder. The
    /// container removes itself before it, or its last entry naming this object, goes.
    void _AddHolder(TORVIItemHolder* pHolder);
    void _RemoveHolder(TORVIItemHolder* pHolder);

    /// The nearest referenced object up the owner chain of pCandidate, starting with its owner.
    static TORVIReferencedPersistent* ReferencedPersistentOwner(rtl::TPersistent* pCandidate);
    virtual bool ComponentOwnerIsDesigning();
    virtual bool ComponentOwnerIsDestroying();
    virtual bool ComponentOwnerIsLoading();

    rtl::HRESULT QueryInterface(const rtl::TGUID& iid, void** obj) override;
    /// Interface counts play no part in the lifetime.
    std::int32_t _AddRef() override { return -1; }
    std::int32_t _Release() override { return -1; }

    bool FreeWhenUnreferenced() { return _GetFreeWhenUnreferenced(); }
    void SetFreeWhenUnreferenced(bool value) { _SetFreeWhenUnreferenced(value); }
    TORVITwilightFalling OnEnterTwilight() { return _GetOnEnterTwilight(); }
    void SetOnEnterTwilight(const TORVITwilightFalling& value) { _SetOnEnterTwilight(value); }
    rtl::TNotifyEvent OnLeaveTwilight() { return _GetOnLeaveTwilight(); }
    void SetOnLeaveTwilight(const rtl::TNotifyEvent& value) { _SetOnLeaveTwilight(value); }
    rtl::TPersistent* Owner() { return _GetOwner(); }
    void SetOwner(rtl::TPersistent* value) { _SetOwner(value); }
    rtl::TComponent* OwningComponent() { return _GetOwningComponent(); }
    /// Number of distinct lockers.
    int MemLockReferenceCount() { return _GetMemLockReferenceCount(); }
    /// Number of consumers.
    int NotifyReferenceCount() { return _GetNotifyReferenceCount(); }
    int TotalReferenceCount() { return _GetTotalReferenceCount(); }
    TORVIPersistentWrapper* Wrapper() { return _GetWrapper(); }
    /// The destructor has done its work. Ask a pinned object, or one known to be alive.
    bool _Freed() const;
    /// Destruction has begun (or is over). Inline: asked whenever a node locks its definition.
    bool _Freeing() const {
        const rtl::TControlBlock* block = ControlBlock();
        return _blFreed || (_RPState & _rpFreeing) || _blFreePending ||
               (block && (block->nState.load(std::memory_order_acquire) &
                          (rtl::TControlBlock::kFreed | rtl::TControlBlock::kFreeing)));
    }
    std::int32_t CreateSequence() const noexcept { return _nCreateSequence; }
    /// That locker's count, 0 when it holds none.
    virtual std::int32_t _GetLockCount(const rtl::TObject* pForObject) const;
    /// AddMemLockReference(this) and RemoveMemLockReference(this), with their effects, for an object
    /// whose class overrides neither of them nor FreeIfUnreferenced: a count an object keeps of its
    /// own (a definition counting its nodes) is taken and given back without the general checks
    /// where they cannot matter. _RemoveSelfLock may free this object.
    [[gnu::always_inline]] inline void _AddSelfLock();
    [[gnu::always_inline]] inline void _RemoveSelfLock();

protected:
    ~TORVIReferencedPersistent() override;
    rtl::TPersistent* GetOwner() override { return _pOwner; }

    virtual bool _GetFreeWhenUnreferenced();
    virtual TORVITwilightFalling _GetOnEnterTwilight();
    virtual rtl::TNotifyEvent _GetOnLeaveTwilight();
    virtual rtl::TPersistent* _GetOwner();
    virtual rtl::TComponent* _GetOwningComponent();
    virtual int _GetMemLockReferenceCount();
    virtual int _GetNotifyReferenceCount();
    virtual TORVIReferencedPersistent* _GetSelf() { return this; }
    virtual int _GetTotalReferenceCount();
    virtual TORVIPersistentWrapper* _GetWrapper();
    virtual void _SetFreeWhenUnreferenced(bool value);
    virtual void _SetOnEnterTwilight(const TORVITwilightFalling& value);
    virtual void _SetOnLeaveTwilight(const rtl::TNotifyEvent& value);
    virtual void _SetOwner(rtl::TPersistent* value);

private:
    // A swap hands every reference over to the replacement, so it works on these lists directly.
    friend class TORVIUniquePersistent;

    // The locker's kind is taken when it first locks: a locker of another kind may be gone, unannounced,
    // by the time this object is destroyed, and must not be asked then.
    struct TLock {
        rtl::TObject* pLocker;
        std::int32_t nCount;
        TORVIReferencedPersistent* pReferenced; // the locker as a referenced object, or nil
        rtl::TComponent* pComponent;            // the locker as a component, or nil
    };
    struct TCustomNotify {
        rtl::TObject* pObject;
        TORVIReferencedNotification fn;
    };
    int _LockerIndex(const rtl::TObject* locker) const;
    void _SetCustomNotify(rtl::TObject* AObject, const TORVIReferencedNotification& Notify);
    void _RemoveCustomNotify(rtl::TObject* AObject);
    bool _IsConsumer(const TORVIReferencedPersistent* Other) const;
    void _NotifyConsumersOfRemoval();
    void _NotifyLockersOfRemoval();
    void _RunCustomNotifications();
    void _WrapperNotify(rtl::TComponent* AComponent, rtl::TOperation op) { Notification(AComponent, op); }
    /// Frees this object now, or, while another release on this thread is freeing objects, right
    /// after it: a chain of objects that lock each other is freed without nesting.
    void _FreeReleased();

    std::int32_t _nCreateSequence;
    // Lockers in the order they first locked, each with its count: holders per object are few, so
    // one short array serves both the locker list and the count per locker.
    TORVIShortList<TLock, 4> _pLockers;
    TORVIReferencedList<TORVIReferencedPersistent>* _pConsumers = nullptr; // made on first use
    std::vector<TCustomNotify> _dctCustomNotify;
    std::vector<bool*> _pFreeIndicators;
    std::vector<PORVIReferencedPersistent> _pRegPointers;
    rtl::TPersistent* _pOwner;
    TORVIReferencedPersistent* _pOwnerReferenced = nullptr; // _pOwner as a referenced object
    TORVIPersistentWrapper* _pWrapper = nullptr;
    TORVIReferencedPersistentState _RPState = _rpFreeOnUnref;
    bool _blFreed = false;
    bool _blListsGone = false; // the destructor released the reference lists
    bool _blFreePending = false; // unreferenced and queued to be freed by the release under way
    TORVIShortList<TORVIItemHolder*, 2> _pHolders; // containers whose entries name this object
    TORVITwilightFalling _fnEnterTwilight;
    rtl::TNotifyEvent _fnLeaveTwilight;
};

inline void TORVIReferencedPersistent::_AddSelfLock() {
    // Leaving twilight and refusing a dying object's locks are left to the general path.
    if (_blListsGone || _blFreePending || (_RPState & (_rpFreeing | _rpInTwilight))) {
        AddMemLockReference(this);
        return;
    }
    // From the back: the own entry is most often the one taken last.
    TLock* locks = _pLockers.data();
    for (std::size_t i = _pLockers.size(); i-- > 0;) {
        if (locks[i].pLocker == this) {
            ++locks[i].nCount;
            return;
        }
    }
    TLock& lock = _pLockers.append();
    lock.pLocker = this;
    lock.nCount = 1;
    lock.pReferenced = this;
    lock.pComponent = nullptr;
}

inline void TORVIReferencedPersistent::_RemoveSelfLock() {
    const std::size_t n = _blListsGone ? 0 : _pLockers.size();
    std::size_t i = n;
    TLock* locks = _pLockers.data();
    while (i > 0 && locks[i - 1].pLocker != this) // from the back, as _AddSelfLock
        --i;
    // While another locker remains nothing can free the object, so the general path's release
    // would do no more than count down (and drop the entry with its custom notification).
    if (i-- == 0 || _pOwner == this || (locks[i].nCount <= 1 && n == 1)) {
        RemoveMemLockReference(this);
        return;
    }
    if (--locks[i].nCount > 0)
        return;
    _pLockers.erase(i);
    for (const TCustomNotify& entry : _dctCustomNotify) {
        if (entry.pObject == this) {
            _RemoveCustomNotify(this);
            break;
        }
    }
}

/// A component standing for a referenced object in the component free notification.
class UTILS_API TORVIPersistentWrapper : public rtl::TComponent {
public:
    using TNotify = rtl::TMethod<void(rtl::TComponent*, rtl::TOperation)>;
    explicit TORVIPersistentWrapper(TORVIReferencedPersistent* pPayload)
        : rtl::TComponent(nullptr), _pPayload(pPayload) {}

    TORVIReferencedPersistent* Payload() const noexcept { return _pPayload; }
    TNotify OnNotify;
    int FreeNotificationCount() const noexcept { return static_cast<int>(FreeNotifies().size()); }
    /// Entry i of the free-notification list, nil when out of range.
    rtl::TComponent* _GetFreeNotifee(int i) const;

protected:
    ~TORVIPersistentWrapper() override = default;
    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;

private:
    TORVIReferencedPersistent* _pPayload;
};

// ---- Referencing one item for a container (shared by the containers)

/// What a container with reference action Action and referencing object R takes on Item; Self is
/// the container and fnSelf its removal handler (used when R is the container itself).
UTILS_API void ORVIReferenceItem(TORVIReferencedPersistent* Item, TORVIReferenceAction Action,
                                 rtl::TObject* R, rtl::TObject* Self,
                                 const TORVIReferencedNotification& fnSelf);
/// Gives back what ORVIReferenceItem took; true when the item freed itself.
UTILS_API bool ORVIReleaseItem(TORVIReferencedPersistent* Item, TORVIReferenceAction Action, rtl::TObject* R,
                               rtl::TObject* Self, const TORVIReferencedNotification& fnSelf);

/// A subscribed list of referenced objects that references each item for its referencing object
/// while the item is in the list, and drops items that are destroyed. The list pins every object it
/// names, so whether an entry's object is freed is answered by the list (ItemFreed), never by asking
/// the object; an entry whose object swaps itself names the replacement afterwards. Removing an
/// entry (Delete, Remove, Extract, Clear, SetItem) releases its object, which may free it, and runs
/// the subscribers, which may free anything including the list: a caller that uses the list or an
/// item afterwards pins it.
template <class T> class TORVIReferencedList : public TORVISubscribedList<T*>, public TORVIItemHolder {
    using TBase = TORVISubscribedList<T*>;

public:
    explicit TORVIReferencedList(rtl::TObject* ReferencingObject = nullptr,
                                 TORVIReferenceAction Action = _raMemLock)
        : _pRefObject(ReferencingObject), _RefAction(Action) {}

    rtl::TObject* ReferencingObject() { return _GetReferencingObject(); }
    /// Nil on a non-empty list does nothing; another object moves every item's reference to it.
    void SetReferencingObject(rtl::TObject* value) { _SetReferencingObject(value); }
    TORVIReferenceAction ReferenceAction() const noexcept { return _RefAction; }
    /// Deletes the items from the last to the first, releasing each one's reference.
    void Clear() override {
        rtl::TPin<TORVIReferencedList> self(this);
        while (!self.Freed() && this->Count() > 0)
            this->Delete(this->Count() - 1);
    }
    virtual void SubscribeToChangeNotification(const rtl::TCollectionNotifyEvent<T*>& callback) {
        if (this->Notifications())
            this->Notifications()->Subscribe(callback);
    }
    virtual void UnsubscribeFromChangeNotification(const rtl::TCollectionNotifyEvent<T*>& callback) {
        if (this->Notifications())
            this->Notifications()->Unsubscribe(callback);
    }
    /// Whether the object of an entry is freed, answered from the list's own pin (true for an object
    /// the list does not name).
    bool ItemFreed(const T* item) const {
        const THeld* held = _Held(item);
        return !held || held->pin.Freed();
    }
    void _ItemSwapped(TORVIReferencedPersistent* Old, TORVIReferencedPersistent* New) override {
        auto* old = dynamic_cast<T*>(Old);
        THeld* held = old ? _Held(old) : nullptr;
        if (!held)
            return;
        const int entries = held->nEntries;
        auto* replacement = dynamic_cast<T*>(New);
        if (replacement && !_Held(replacement)) {
            this->ReplaceSilently(old, replacement);
            *held = THeld{replacement, rtl::TPin<T>(replacement), entries};
            New->_AddHolder(this);
            return;
        }
        _held.erase(_held.begin() + (held - _held.data()));
        // The replacement is named already: the old entries go. Locks were summed on the replacement,
        // so the ones taken for those entries are given back; a notification was merged into one.
        this->RemoveSilently(old);
        for (int i = 0; replacement && _RefAction == _raMemLock && i < entries; ++i)
            Release(replacement, _GetReferencingObject());
    }
    /// Deletes every entry that is Other when Other goes.
    virtual void _NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op) {
        if (op != rtl::TOperation::opRemove)
            return;
        rtl::TPin<TORVIReferencedList> self(this);
        rtl::TMonitor::Enter(this);
        for (int i = 0; !self.Freed() && i < this->Count();) {
            if (static_cast<TORVIReferencedPersistent*>((*this)[i]) == Other)
                this->Delete(i);
            else
                ++i;
        }
        if (!self.Freed())
            rtl::TMonitor::Exit(this);
    }

protected:
    ~TORVIReferencedList() override {
        // Entries whose after-removal hook never ran (a callback freed the list meanwhile).
        for (THeld& held : _held)
            if (T* alive = held.pin.Get())
                alive->_RemoveHolder(this);
    }
    virtual rtl::TObject* _GetReferencingObject() { return _pRefObject ? _pRefObject : this; }
    virtual void _SetReferencingObject(rtl::TObject* value) {
        if (this->Count() == 0) {
            _pRefObject = value;
            return;
        }
        rtl::TObject* old = _GetReferencingObject();
        if (!value || value == old)
            return;
        _pRefObject = value;
        for (T* item : std::vector<T*>(this->begin(), this->end())) {
            Reference(item, value);
            Release(item, old);
        }
    }
    void _BeforeAddNotify(T* const& Item) override {
        if (THeld* held = _Held(Item)) {
            ++held->nEntries;
        } else if (Item) {
            _held.push_back(THeld{Item, rtl::TPin<T>(Item), 1});
            if (!_held.back().pin.Freed())
                Item->_AddHolder(this);
        }
        Reference(Item, _GetReferencingObject());
    }
    void _AfterRemoveNotify(T* const& Item) override {
        const T* item = Item; // Item may alias an entry that the release below lets go
        Release(Item, _GetReferencingObject());
        THeld* held = _Held(item);
        if (!held || --held->nEntries > 0)
            return;
        if (T* alive = held->pin.Get())
            alive->_RemoveHolder(this);
        _held.erase(_held.begin() + (held - _held.data()));
    }

private:
    struct THeld {
        const T* pItem;
        rtl::TPin<T> pin;
        int nEntries;
    };
    // Searched linearly, as the list's own entries are.
    THeld* _Held(const T* item) {
        for (THeld& held : _held)
            if (held.pItem == item)
                return &held;
        return nullptr;
    }
    const THeld* _Held(const T* item) const { return const_cast<TORVIReferencedList*>(this)->_Held(item); }

    TORVIReferencedNotification SelfHandler() {
        return TORVIReferencedNotification(this, &TORVIReferencedList::_NotificationRef);
    }
    void Reference(T* item, rtl::TObject* r) {
        if (item && !ItemFreed(item))
            ORVIReferenceItem(item, _RefAction, r, this, SelfHandler());
    }
    void Release(T* item, rtl::TObject* r) {
        if (item && !ItemFreed(item))
            ORVIReleaseItem(item, _RefAction, r, this, SelfHandler());
    }

    rtl::TObject* _pRefObject;
    TORVIReferenceAction _RefAction;
    std::vector<THeld> _held; // one pin per object named, with its number of entries
};

/// A referenced object that keeps other referenced objects alive by locking them, and can free them all.
/// Remove, Clear and FreeAllObjects may free kept objects, and through their handlers the box itself.
class UTILS_API TORVIReferencedPersistentSafeBox : public TORVIReferencedPersistent {
public:
    explicit TORVIReferencedPersistentSafeBox(rtl::TPersistent* AOwner = nullptr,
                                              bool blFreeObjectsOnDestroy = false)
        : TORVIReferencedPersistent(AOwner), _blFreeOnDestroy(blFreeObjectsOnDestroy) {}
    void AfterConstruction() override;
    /// Frees the kept objects first when asked to at creation, then releases the remaining locks.
    void BeforeDestruction() override;

    /// Locks Obj for the box; nil, the box itself and objects already kept are ignored.
    virtual void Add(TORVIReferencedPersistent* Obj);
    /// Releases the box's lock on Obj (which may then free itself).
    virtual void Remove(TORVIReferencedPersistent* Obj);
    /// Releases every kept object.
    virtual void Clear();
    /// Frees every kept object exactly once, also those that free themselves when released.
    virtual void FreeAllObjects();
    int Count() const { return _pKeptObjects ? _pKeptObjects->Count() : 0; }
    bool Contains(TORVIReferencedPersistent* Obj) const {
        return _pKeptObjects && _pKeptObjects->Contains(Obj);
    }
    /// Drops a kept object that is destroyed, telling OnObjectRemoved.
    void NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op) override;

    rtl::TNotifyEvent OnObjectRemoved() { return _GetOnObjectRemoved(); }
    void SetOnObjectRemoved(const rtl::TNotifyEvent& value) { _SetOnObjectRemoved(value); }

protected:
    ~TORVIReferencedPersistentSafeBox() override;
    virtual rtl::TNotifyEvent _GetOnObjectRemoved() { return _fnObjectRemoved; }
    virtual void _SetOnObjectRemoved(const rtl::TNotifyEvent& value) { _fnObjectRemoved = value; }

private:
    TORVIReferencedList<TORVIReferencedPersistent>* _pKeptObjects = nullptr;
    rtl::TNotifyEvent _fnObjectRemoved;
    bool _blFreeOnDestroy;
};

/// A string list that references those attached objects that are referenced objects (by its
/// reference action, for its referencing object) and stores the others plainly. A referenced object
/// that is destroyed leaves its entries with their strings and a nil object. Delete, Clear and putting
/// another object release (and may free) the objects they let go, whose handlers may free the list.
class UTILS_API TORVIOpportunisticReferencingStringList : public rtl::TStringList, public TORVIItemHolder {
public:
    explicit TORVIOpportunisticReferencingStringList(bool ownsObjects = false)
        : rtl::TStringList(ownsObjects) {}
    /// Releases the objects once the entries are gone, and frees owned ones the release left alive.
    void BeforeDestruction() override;

    /// EListError for an index outside 0..Count-1. Releases a referenced object; frees another one
    /// when OwnsNonReferencedObjects; frees an owned object unless that already happened.
    void Delete(int index) override;
    /// Empties the list, then releases the referenced objects and frees owned ones left alive.
    void Clear() override;

    rtl::TObject* ReferencingObject() { return _pRefObject ? _pRefObject : this; }
    /// As for a referenced list: nil on a non-empty list does nothing; another object moves the references.
    void SetReferencingObject(rtl::TObject* value);
    TORVIReferenceAction ReferenceAction() const noexcept { return _RefAction; }
    /// Only while the list holds no referenced object.
    void SetReferenceAction(TORVIReferenceAction value);
    bool OwnsNonReferencedObjects() const noexcept { return _blOwnsNonRefd; }
    void SetOwnsNonReferencedObjects(bool value) { _blOwnsNonRefd = value; }
    /// Number of entries whose object is AObject.
    int _GetCountOfObject(const rtl::TObject* AObject) const;
    /// Entries whose object is Other lose their object when Other goes.
    virtual void _NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op);
    /// Entries holding Old hold New; the references already moved with the swap.
    void _ItemSwapped(TORVIReferencedPersistent* Old, TORVIReferencedPersistent* New) override;

protected:
    ~TORVIOpportunisticReferencingStringList() override;
    /// EListError at or beyond the count; the same object again changes nothing.
    void PutObject(int index, rtl::TObject* obj) override;
    void InsertItem(int index, const rtl::UnicodeString& s, rtl::TObject* obj) override;

private:
    TORVIReferencedNotification SelfHandler();
    void Reference(rtl::TObject* obj, rtl::TObject* r);
    /// True when the release freed the object.
    bool Release(rtl::TObject* obj, rtl::TObject* r);
    /// Releases the objects of entries already taken out, and frees those the list owned.
    void ReleaseTakenObjects(const std::vector<rtl::TObject*>& objects, bool blOwned);
    /// An entry now holds obj / no longer holds it: the list's pin on each referenced object it holds.
    void Hold(rtl::TObject* obj);
    void Drop(const rtl::TObject* obj);
    /// Whether obj, held by an entry, is freed (answered from the list's pin).
    bool HeldFreed(const rtl::TObject* obj) const;

    struct THeld {
        rtl::TPin<TORVIReferencedPersistent> pin;
        int nEntries = 0;
    };
    std::unordered_map<const rtl::TObject*, THeld> _held; // referenced objects only

    rtl::TObject* _pRefObject = nullptr;
    TORVIReferenceAction _RefAction = _raMemLock;
    bool _blOwnsNonRefd = false;
};

/// Sets Obj to nil, then lets the object it held free itself when unreferenced.
template <class T> void DiscardAndNil(T*& Obj) {
    TORVIReferencedPersistent* p = Obj;
    Obj = nullptr;
    if (p)
        p->FreeIfUnreferenced();
}

/// Sets Obj to nil, then removes Other's notify reference from the object it held.
template <class T> void RemoveNotifyAndNil(T*& Obj, TORVIReferencedPersistent* Other) {
    TORVIReferencedPersistent* p = Obj;
    Obj = nullptr;
    if (p && Other)
        p->RemoveNotifyReference(Other);
}
template <class T> void RemoveNotifyAndNil(T*& Obj, rtl::TComponent* Other) {
    TORVIReferencedPersistent* p = Obj;
    Obj = nullptr;
    if (p && Other)
        p->RemoveNotifyReference(Other);
}
template <class T>
void RemoveNotifyAndNil(T*& Obj, rtl::TObject* Other, const TORVIReferencedNotification& Notify) {
    TORVIReferencedPersistent* p = Obj;
    Obj = nullptr;
    if (p && Other)
        p->RemoveNotifyReference(Other, Notify);
}

/// Sets Obj to nil, then gives back one lock of Consumer on the object it held.
template <class T> void UnlockAndNil(T*& Obj, rtl::TObject* Consumer) {
    TORVIReferencedPersistent* p = Obj;
    Obj = nullptr;
    if (p && Consumer)
        p->RemoveMemLockReference(Consumer, nullptr);
}

} // namespace orvi
