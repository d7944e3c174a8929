#pragma once
// Typed subscribed events (collection changes, one parameter) and a list that fires its changes.
#include "utils/framework/ORVI.SubscribedEvent.h"

#include <cstdint>
#include <vector>

namespace orvi {

/// A subscribed event whose callbacks receive (Sender, Item, Action), as a list reports a change.
template <class T> class TORVISubscribedCollectionNotification : public TORVISubscribedEvent {
public:
    using TCallback = rtl::TCollectionNotifyEvent<T>;
    using TORVISubscribedEvent::TORVISubscribedEvent;
    using TORVISubscribedEvent::FireCallbacks;
    using TORVISubscribedEvent::IsSubscribed;
    using TORVISubscribedEvent::PrioritySubscribe;
    using TORVISubscribedEvent::Subscribe;
    using TORVISubscribedEvent::Unblock;
    using TORVISubscribedEvent::Unsubscribe;

    /// Fires now, or holds one firing back while blocked.
    virtual void FireCallbacks(const T& Item, rtl::TCollectionNotification Action) {
        if (_FireOrHoldBack())
            _FireCallbacks(Item, Action);
    }
    virtual void Subscribe(const TCallback& fn) { Subscribe(rtl::TNotifyEvent::Cast(fn)); }
    virtual void PrioritySubscribe(const TCallback& fn) { PrioritySubscribe(rtl::TNotifyEvent::Cast(fn)); }
    virtual void Unsubscribe(const TCallback& fn) { Unsubscribe(rtl::TNotifyEvent::Cast(fn)); }
    bool IsSubscribed(const TCallback& fn) { return TORVISubscribedEvent::IsSubscribed(rtl::TNotifyEvent::Cast(fn)); }
    /// Unblocks; when held-back firings are due, fires once with Item and Action.
    virtual void Unblock(const T& Item, rtl::TCollectionNotification Action) {
        if (_UnblockDue())
            _FireCallbacks(Item, Action);
    }

protected:
    ~TORVISubscribedCollectionNotification() override = default;
    virtual void _FireCallbacks(const T& Item, rtl::TCollectionNotification Action) {
        _ForEachCallback(nullptr, [&](const rtl::TNotifyEvent& entry, rtl::TObject* sender) {
            TCallback::Cast(entry)(sender, Item, Action);
        });
    }
    // A plain firing (held back or not) of a typed event reaches typed callbacks with a default item.
    void _FireCallbacks(bool*) override { _FireCallbacks(T(), rtl::TCollectionNotification::cnAdded); }
};

/// (Sender, Param1): the callback shape of a one-parameter event.
template <class T> using TORVISubscribed1ParamCallback = rtl::TMethod<void(rtl::TObject*, T)>;

/// A subscribed event whose callbacks receive one parameter besides Sender.
template <class T> class TORVISubscribed1ParamEvent : public TORVISubscribedEvent {
public:
    using TCallback = TORVISubscribed1ParamCallback<T>;
    using TORVISubscribedEvent::TORVISubscribedEvent;
    using TORVISubscribedEvent::FireCallbacks;
    using TORVISubscribedEvent::FireCallbacksWhileFalse;
    using TORVISubscribedEvent::IsSubscribed;
    using TORVISubscribedEvent::PrioritySubscribe;
    using TORVISubscribedEvent::Subscribe;
    using TORVISubscribedEvent::Unblock;
    using TORVISubscribedEvent::Unsubscribe;

    virtual void FireCallbacks(T Param1) {
        bool stop = false;
        FireCallbacksWhileFalse(Param1, &stop);
    }
    virtual void FireCallbacksWhileFalse(T Param1, bool* pStop) {
        if (_FireOrHoldBack())
            _FireCallbacks(Param1, pStop);
    }
    virtual void Subscribe(const TCallback& fn) { Subscribe(rtl::TNotifyEvent::Cast(fn)); }
    virtual void PrioritySubscribe(const TCallback& fn) { PrioritySubscribe(rtl::TNotifyEvent::Cast(fn)); }
    virtual void Unsubscribe(const TCallback& fn) { Unsubscribe(rtl::TNotifyEvent::Cast(fn)); }
    bool IsSubscribed(const TCallback& fn) { return TORVISubscribedEvent::IsSubscribed(rtl::TNotifyEvent::Cast(fn)); }
    /// Unblocks; when held-back firings are due, fires once with Param1.
    virtual void Unblock(T Param1) {
        if (_UnblockDue()) {
            bool stop = false;
            _FireCallbacks(Param1, &stop);
        }
    }

protected:
    ~TORVISubscribed1ParamEvent() override = default;
    virtual void _FireCallbacks(T Param1, bool* pStop) {
        _ForEachCallback(pStop, [&](const rtl::TNotifyEvent& entry, rtl::TObject* sender) {
            TCallback::Cast(entry)(sender, Param1);
        });
    }
    void _FireCallbacks(bool* pStop) override { _FireCallbacks(T(), pStop); }
};

/// Flags of a subscribed list.
enum TORVISubscribedListFlags : std::uint8_t { _slfInCallbacks = 1, _slfDeleteAfterCallbacks = 2 };
using TORVISubscribedListState = std::uint8_t;

/// A list that reports each change to its subscribers, with four hooks around it in this order:
/// before-hook, the list's own OnNotify, subscribers, after-hook. A callback may ask to be called
/// back once the pass is over, or to have the list freed then.
template <class T> class TORVISubscribedList : public rtl::TList<T> {
    using TBase = rtl::TList<T>;

public:
    using TNotification = TORVISubscribedCollectionNotification<T>;
    using TBase::TBase;

    void AfterConstruction() override {
        TBase::AfterConstruction();
        _pCallbacks = rtl::Create<TNotification>(this);
    }
    void BeforeDestruction() override {
        TBase::BeforeDestruction(); // every item leaves with full notification
        rtl::FreeAndNil(_pCallbacks);
    }

    /// The change notification, for subscribing.
    TNotification* Notifications() { return _GetNotifications(); }
    rtl::TCollectionNotifyEvent<T> OnNotify() { return _GetOnNotify(); }
    /// Replaces the OnNotify subscriber.
    void SetOnNotify(const rtl::TCollectionNotifyEvent<T>& value) { _SetOnNotify(value); }
    /// During a notification pass: callback(list) runs once after it, the last registered first.
    virtual void CallMeBackWhenNotificationsComplete(const rtl::TNotifyEvent& callback) {
        if ((_SubListState & _slfInCallbacks) && callback)
            _aPostNotifies.push_back(callback);
    }
    /// During a notification pass: the list is freed right after it. Outside a pass: nothing.
    virtual void DeleteWhenNotificationsComplete() {
        if (_SubListState & _slfInCallbacks)
            _SubListState |= _slfDeleteAfterCallbacks;
    }
    /// Makes this list equal to Source with the fewest changes, each one notified.
    void SyncList(const rtl::TList<T>& Source) {
        rtl::TPin<TORVISubscribedList> self(this);
        for (int i = 0; i < Source.Count() && !self.Freed(); ++i) {
            if (i < this->Count()) {
                if (this->Comparer()((*this)[i], Source[i]) != 0)
                    this->SetItem(i, Source[i]);
            } else {
                this->Add(Source[i]);
            }
        }
        while (!self.Freed() && this->Count() > Source.Count())
            this->Delete(this->Count() - 1);
    }

protected:
    ~TORVISubscribedList() override { rtl::FreeAndNil(_pCallbacks); }

    virtual void _AfterAddNotify(const T&) {}
    virtual void _AfterRemoveNotify(const T&) {}
    virtual void _BeforeAddNotify(const T&) {}
    virtual void _BeforeRemoveNotify(const T&) {}
    virtual TNotification* _GetNotifications() { return _pCallbacks; }
    virtual rtl::TCollectionNotifyEvent<T> _GetOnNotify() { return _fnOnNotify; }
    virtual void _SetOnNotify(const rtl::TCollectionNotifyEvent<T>& value) {
        if (_pCallbacks) {
            if (_fnOnNotify)
                _pCallbacks->Unsubscribe(_fnOnNotify);
            if (value)
                _pCallbacks->Subscribe(value);
        }
        _fnOnNotify = value;
    }

    void Notify(const T& Item, rtl::TCollectionNotification Action) override {
        const bool added = Action == rtl::TCollectionNotification::cnAdded;
        rtl::TPin<TORVISubscribedList> self(this);
        _SubListState |= _slfInCallbacks;
        if (added)
            _BeforeAddNotify(Item);
        else
            _BeforeRemoveNotify(Item);
        if (self.Freed())
            return;
        TBase::Notify(Item, Action);
        if (self.Freed())
            return;
        if (TNotification* callbacks = _pCallbacks) {
            callbacks->FireCallbacks(Item, Action);
            if (self.Freed() || _pCallbacks != callbacks)
                return;
            if (added)
                _AfterAddNotify(Item);
            else
                _AfterRemoveNotify(Item);
            if (self.Freed())
                return;
        }
        _SubListState &= static_cast<TORVISubscribedListState>(~_slfInCallbacks);
        if (_SubListState & _slfDeleteAfterCallbacks) {
            rtl::Free(this);
            return;
        }
        while (!self.Freed() && !_aPostNotifies.empty() && _pCallbacks) {
            const rtl::TNotifyEvent callback = _aPostNotifies.back();
            callback(this);
            if (!self.Freed() && !_aPostNotifies.empty())
                _aPostNotifies.pop_back();
        }
    }

    TNotification* _pCallbacks = nullptr;
    rtl::TCollectionNotifyEvent<T> _fnOnNotify;
    std::vector<rtl::TNotifyEvent> _aPostNotifies;
    TORVISubscribedListState _SubListState = 0;
};

} // namespace orvi
