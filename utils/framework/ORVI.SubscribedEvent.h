#pragma once
// A blockable multicast event of notify callbacks, and the callback list it keeps them in.
#include "rtl/Generics.h"
#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"
#include "rtl/SyncObjs.h"
#include "utils/UtilsApi.h"
#include "utils/values/ORVI.CoreTypes.h"

#include <cstdint>
#include <vector>

namespace orvi {

/// Notify callbacks in firing order; two entries are the same only when object and code match.
/// Passes over the list (TPass) keep their place when entries are inserted or removed during the
/// pass, and end when a callback frees the list.
class UTILS_API TORVICallbackList : public rtl::TList<rtl::TNotifyEvent> {
public:
    /// Calls every assigned entry with Sender, from the first, re-reading the count before each.
    /// A callback may change or free the list.
    void InvokeCallbacks(rtl::TObject* Sender);

protected:
    ~TORVICallbackList() override = default;
};

/// Blockable multicast event. Firing while blocked is held back and delivered once on the Unblock
/// that leaves the event unblocked. Subscription and each firing pass hold the callback list's
/// monitor lock; callbacks run on the firing thread and may subscribe, unsubscribe, fire again or
/// free the event. The event does not watch its subscribers: an object unsubscribes its callbacks
/// before it is freed.
class UTILS_API TORVISubscribedEvent : public rtl::TObject {
public:
    TORVISubscribedEvent();
    /// ACallbackObject is the Sender callbacks receive (the event itself when null).
    explicit TORVISubscribedEvent(rtl::TObject* ACallbackObject);

    /// Appends fnCallback unless present.
    virtual void Subscribe(const rtl::TNotifyEvent& fnCallback);
    /// Puts fnCallback first unless present.
    virtual void PrioritySubscribe(const rtl::TNotifyEvent& fnCallback);
    /// Removes the entry equal to fnCallback.
    virtual void Unsubscribe(const rtl::TNotifyEvent& fnCallback);
    virtual bool IsSubscribed(const rtl::TNotifyEvent& fnCallback);
    /// Appends every subscribed callback to pTarget (nothing when null).
    virtual void PopulateCallbacks(TORVICallbackList* pTarget);
    /// Moves every subscription to pToEvent (skipping ones it has); this event ends with none.
    void TransferSubscriptions(TORVISubscribedEvent* pToEvent);

    /// Nestable; with a block checker set, only the checker decides and these do nothing to the count.
    virtual void Block();
    virtual void Unblock();
    /// Fires now, or holds one firing back while blocked.
    virtual void FireCallbacks();
    /// As FireCallbacks, stopping as soon as *pStop becomes true.
    virtual void FireCallbacksWhileFalse(bool* pStop);

    bool Blocked() { return _IsBlocked(); }
    bool CallbacksPending() { return _GetCallbacksPending(); }
    rtl::TObject* CallbackObject() { return _GetCallbackObject(); }
    void SetCallbackObject(rtl::TObject* value) { _SetCallbackObject(value); }
    TORVIBoolGetter OnIsBlocked() { return _GetOnIsBlocked(); }
    void SetOnIsBlocked(const TORVIBoolGetter& value) { _SetOnIsBlocked(value); }
    rtl::TNotifyEvent OnUnblocked() { return _GetOnUnblocked(); }
    void SetOnUnblocked(const rtl::TNotifyEvent& value) { _SetOnUnblocked(value); }
    int SubscriberCount() { return _GetSubscriberCount(); }

protected:
    ~TORVISubscribedEvent() override;

    virtual void _FireCallbacks(bool* pStop);
    virtual rtl::TObject* _GetCallbackObject();
    virtual bool _GetCallbacksPending();
    virtual TORVIBoolGetter _GetOnIsBlocked();
    virtual rtl::TNotifyEvent _GetOnUnblocked();
    virtual int _GetSubscriberCount();
    virtual bool _IsBlocked();
    virtual void _SetCallbackObject(rtl::TObject* value);
    virtual void _SetOnIsBlocked(const TORVIBoolGetter& value);
    virtual void _SetOnUnblocked(const rtl::TNotifyEvent& value);

    /// One firing pass under the list's lock: call(entry, Sender) for each entry, from the first,
    /// until *pStop (when given) is set, the list is freed or the end is reached.
    template <class Call> void _ForEachCallback(bool* pStop, Call call);
    /// Counts a held-back firing when blocked; true when the caller should fire now.
    bool _FireOrHoldBack() {
        if (!_IsBlocked())
            return true;
        ++_nChangeCount;
        return false;
    }
    /// Unblocks; true when held-back firings are due now (the count is then reset).
    bool _UnblockDue();

    std::int32_t _nChangeCount = 0;
    std::int32_t _nBlockCount = 0;
    rtl::TNotifyEvent _fnUnblocked;
    TORVIBoolGetter _fnBlockChecker;
    TORVICallbackList* _fnaCallbacks;
    rtl::TObject* _pCallbackObject = nullptr;
};

template <class Call> void TORVISubscribedEvent::_ForEachCallback(bool* pStop, Call call) {
    TORVICallbackList* list = _fnaCallbacks;
    if (!list)
        return;
    rtl::TObject* sender = _GetCallbackObject();
    rtl::TMonitor::Enter(list);
    {
        TORVICallbackList::TPass pass(list);
        for (; pass.AtItem() && !(pStop && *pStop); ++pass.nIndex) {
            const rtl::TNotifyEvent entry = (*list)[pass.nIndex];
            if (entry)
                call(entry, sender);
        }
        if (!pass.Alive())
            return; // a callback freed the event, and with it the list and its lock
    }
    rtl::TMonitor::Exit(list);
}

} // namespace orvi
