#include "utils/framework/ORVI.SubscribedEvent.h"

#include <algorithm>

namespace orvi {

// ---- TORVICallbackList

void TORVICallbackList::InvokeCallbacks(rtl::TObject* Sender) {
    for (TPass pass(this); pass.AtItem(); ++pass.nIndex) {
        const rtl::TNotifyEvent entry = (*this)[pass.nIndex];
        if (entry)
            entry(Sender);
    }
}

// ---- TORVISubscribedEvent

TORVISubscribedEvent::TORVISubscribedEvent() : _fnaCallbacks(rtl::Create<TORVICallbackList>()) {}

TORVISubscribedEvent::TORVISubscribedEvent(rtl::TObject* ACallbackObject) : TORVISubscribedEvent() {
    _pCallbackObject = ACallbackObject;
}

TORVISubscribedEvent::~TORVISubscribedEvent() {
    rtl::FreeAndNil(_fnaCallbacks);
    _fnBlockChecker = TORVIBoolGetter();
}

void TORVISubscribedEvent::Subscribe(const rtl::TNotifyEvent& fnCallback) {
    TORVICallbackList* list = _fnaCallbacks;
    rtl::TMonitor::Enter(list);
    if (!list->Contains(fnCallback))
        list->Add(fnCallback);
    rtl::TMonitor::Exit(list);
}

void TORVISubscribedEvent::PrioritySubscribe(const rtl::TNotifyEvent& fnCallback) {
    TORVICallbackList* list = _fnaCallbacks;
    rtl::TMonitor::Enter(list);
    if (!list->Contains(fnCallback))
        list->Insert(0, fnCallback);
    rtl::TMonitor::Exit(list);
}

void TORVISubscribedEvent::Unsubscribe(const rtl::TNotifyEvent& fnCallback) {
    TORVICallbackList* list = _fnaCallbacks;
    rtl::TMonitor::Enter(list);
    list->Remove(fnCallback);
    rtl::TMonitor::Exit(list);
}

bool TORVISubscribedEvent::IsSubscribed(const rtl::TNotifyEvent& fnCallback) {
    TORVICallbackList* list = _fnaCallbacks;
    rtl::TMonitor::Enter(list);
    const bool found = list->Contains(fnCallback);
    rtl::TMonitor::Exit(list);
    return found;
}

void TORVISubscribedEvent::PopulateCallbacks(TORVICallbackList* pTarget) {
    if (!pTarget)
        return;
    TORVICallbackList* list = _fnaCallbacks;
    rtl::TMonitor::Enter(list);
    for (const rtl::TNotifyEvent& entry : std::vector<rtl::TNotifyEvent>(list->begin(), list->end()))
        pTarget->Add(entry);
    rtl::TMonitor::Exit(list);
}

void TORVISubscribedEvent::TransferSubscriptions(TORVISubscribedEvent* pToEvent) {
    if (!pToEvent || pToEvent == this)
        return;
    TORVICallbackList* list = _fnaCallbacks;
    rtl::TMonitor::Enter(list); // source first, then the target's inside Subscribe
    for (const rtl::TNotifyEvent& entry : std::vector<rtl::TNotifyEvent>(list->begin(), list->end())) {
        if (!pToEvent->IsSubscribed(entry))
            pToEvent->Subscribe(entry);
    }
    list->Clear();
    rtl::TMonitor::Exit(list);
}

void TORVISubscribedEvent::Block() {
    if (!_fnBlockChecker)
        ++_nBlockCount;
}

bool TORVISubscribedEvent::_UnblockDue() {
    if (!_fnBlockChecker && _nBlockCount > 0)
        --_nBlockCount;
    if (_IsBlocked() || _nChangeCount <= 0)
        return false;
    // Held-back firings are delivered once: a later Block/Unblock pair with no firing in between
    // must not repeat them.
    _nChangeCount = 0;
    return true;
}

void TORVISubscribedEvent::Unblock() {
    if (!_UnblockDue())
        return;
    rtl::TPin<TORVISubscribedEvent> self(this);
    if (_fnUnblocked)
        _fnUnblocked(this);
    if (self.Freed())
        return;
    bool stop = false;
    _FireCallbacks(&stop);
}

void TORVISubscribedEvent::FireCallbacks() {
    bool stop = false;
    FireCallbacksWhileFalse(&stop);
}

void TORVISubscribedEvent::FireCallbacksWhileFalse(bool* pStop) {
    if (_FireOrHoldBack())
        _FireCallbacks(pStop);
}

void TORVISubscribedEvent::_FireCallbacks(bool* pStop) {
    _ForEachCallback(pStop, [](const rtl::TNotifyEvent& entry, rtl::TObject* sender) { entry(sender); });
}

rtl::TObject* TORVISubscribedEvent::_GetCallbackObject() {
    return _pCallbackObject ? _pCallbackObject : this;
}

bool TORVISubscribedEvent::_GetCallbacksPending() {
    return _nChangeCount >= 1;
}

TORVIBoolGetter TORVISubscribedEvent::_GetOnIsBlocked() {
    return _fnBlockChecker;
}

rtl::TNotifyEvent TORVISubscribedEvent::_GetOnUnblocked() {
    return _fnUnblocked;
}

int TORVISubscribedEvent::_GetSubscriberCount() {
    return _fnaCallbacks ? _fnaCallbacks->Count() : 0;
}

bool TORVISubscribedEvent::_IsBlocked() {
    return _fnBlockChecker ? _fnBlockChecker() : _nBlockCount > 0;
}

void TORVISubscribedEvent::_SetCallbackObject(rtl::TObject* value) {
    _pCallbackObject = value;
}

void TORVISubscribedEvent::_SetOnIsBlocked(const TORVIBoolGetter& value) {
    _fnBlockChecker = value;
}

void TORVISubscribedEvent::_SetOnUnblocked(const rtl::TNotifyEvent& value) {
    _fnUnblocked = value;
}

} // namespace orvi
