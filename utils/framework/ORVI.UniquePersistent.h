#pragma once
// Referenced objects that can hand their whole identity over to a replacement, and a string list that
// follows such swaps for the objects it holds.
#include "utils/UtilsApi.h"
#include "utils/framework/ORVI.ReferencedPersistent.h"
#include "utils/framework/ORVI.SubscribedGenerics.h"

namespace orvi {

class TORVIUniquePersistent;
/// A variable that holds a unique object.
using PORVIUniquePersistent = TORVIUniquePersistent**;
/// (Sender, Replacement): told that Sender swapped itself for Replacement.
using TORVIUniquePersistentSwapCallback = TORVISubscribed1ParamCallback<TORVIUniquePersistent*>;

/// A referenced object that, when another object turns out to stand for the same thing, swaps itself
/// for it: every lock, notify reference, custom notification, silent reference and free indicator
/// moves to the replacement, OnSwap subscribers hear of it and follow it, and this object frees itself.
/// Holders that registered their variables, or subscribed, end up on the replacement.
class UTILS_API TORVIUniquePersistent : public TORVIReferencedPersistent {
public:
    using TORVIReferencedPersistent::TORVIReferencedPersistent;
    void AfterConstruction() override;

    /// Told (Sender, Replacement) when this object swaps itself; subscribers then follow the replacement.
    TORVISubscribed1ParamEvent<TORVIUniquePersistent*>* OnSwap() { return _pSwapEvent; }

    /// Swaps this object for Replacement (nil, this object, a dying one and a second swap of an object
    /// already swapping are ignored). Frees this object; hooks and OnSwap subscribers run inside and may
    /// free either object, so a caller that uses Replacement afterwards pins it first. Entries of
    /// referencing containers that named this object name Replacement afterwards.
    virtual void _SwapWith(TORVIUniquePersistent* Replacement);

protected:
    ~TORVIUniquePersistent() override;

    /// Tells OnSwap's subscribers, passes them on to Replacement, then frees this object.
    virtual void _AfterSwap(TORVIUniquePersistent* Replacement);
    /// Runs after the subscribers were passed on, before this object frees itself.
    virtual void _AfterSwapCallbacks() {}
    /// Runs before anything moves.
    virtual void _BeforeSwap(TORVIUniquePersistent* /*Replacement*/) {}
    /// Moves every reference held on this object to Replacement.
    virtual void _DoSwapWith(TORVIUniquePersistent* Replacement);

private:
    void _MoveSilentReferences(TORVIUniquePersistent* New);
    void _MoveFreeIndicators(TORVIUniquePersistent* New);
    void _MoveLocks(TORVIUniquePersistent* New);
    void _MoveConsumers(TORVIUniquePersistent* New);
    void _MoveCustomNotifications(TORVIUniquePersistent* New);
    void _MoveComponentNotifications(TORVIUniquePersistent* New);
    void _MoveTwilightHandlers(TORVIUniquePersistent* New);
    void _MoveHolders(TORVIUniquePersistent* New);

    TORVISubscribed1ParamEvent<TORVIUniquePersistent*>* _pSwapEvent = nullptr;
    bool _blSwapping = false;
};

/// An opportunistic referencing string list that follows swaps: an entry whose unique object swaps
/// itself holds the replacement afterwards. It keeps one OnSwap subscription per distinct unique
/// object it holds.
class UTILS_API TORVIOpportunisticUniqueStringList : public TORVIOpportunisticReferencingStringList {
public:
    using TORVIOpportunisticReferencingStringList::TORVIOpportunisticReferencingStringList;
    /// Drops every subscription before the entries go.
    void BeforeDestruction() override;

    void Delete(int index) override;
    void Clear() override;
    void _NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op) override;

protected:
    ~TORVIOpportunisticUniqueStringList() override = default;
    void PutObject(int index, rtl::TObject* obj) override;
    void InsertItem(int index, const rtl::UnicodeString& s, rtl::TObject* obj) override;
    /// Every entry holding Sender gets Replacement.
    virtual void _ObjectSwapped(rtl::TObject* Sender, TORVIUniquePersistent* Replacement);

private:
    TORVIUniquePersistentSwapCallback SwapHandler();
    /// obj as a unique object that is not freed and sits in exactly one entry, else nil.
    TORVIUniquePersistent* _SoleUnique(rtl::TObject* obj) const;
    void _Subscribe(rtl::TObject* obj);
    void _Unsubscribe(rtl::TObject* obj);
    void _UnsubscribeAll();

    bool _blSwapping = false; // entries are being moved to a replacement that already holds their references
};

} // namespace orvi
