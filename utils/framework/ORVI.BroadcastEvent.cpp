#include "utils/framework/ORVI.BroadcastEvent.h"

namespace orvi {

class TORVIBroadcastEvent::TGuard {
public:
    explicit TGuard(TORVIBroadcastEvent* event) : _pin(event), _pLock(event->_pCSLock) { _pLock->Enter(); }
    ~TGuard() {
        if (!_pin.Freed())
            _pLock->Exit(); // a listener that freed the event took the lock with it
    }
    TGuard(const TGuard&) = delete;
    TGuard& operator=(const TGuard&) = delete;

private:
    rtl::TPin<TORVIBroadcastEvent> _pin;
    rtl::TReentrantLock* _pLock;
};

void TORVIBroadcastEvent::AfterConstruction() {
    TORVICallbackList::AfterConstruction();
    _pCSLock = new rtl::TReentrantLock;
}

TORVIBroadcastEvent::~TORVIBroadcastEvent() {
    delete _pCSLock;
}

int TORVIBroadcastEvent::_IndexOf(const rtl::TNotifyEvent& callback) {
    return IndexOf(callback);
}

void TORVIBroadcastEvent::RegisterListener(const rtl::TNotifyEvent& callback) {
    Add(callback);
}

void TORVIBroadcastEvent::UnregisterListener(const rtl::TNotifyEvent& callback) {
    Remove(callback);
}

int TORVIBroadcastEvent::Add(const rtl::TNotifyEvent& callback) {
    TGuard guard(this);
    const int i = _IndexOf(callback);
    return i >= 0 ? i : TORVICallbackList::Add(callback);
}

void TORVIBroadcastEvent::Insert(int Index, const rtl::TNotifyEvent& callback) {
    TGuard guard(this);
    if (_IndexOf(callback) >= 0)
        return;
    if (Index >= 0 && Index < Count())
        TORVICallbackList::Insert(Index, callback);
    else
        TORVICallbackList::Add(callback);
}

int TORVIBroadcastEvent::Remove(const rtl::TNotifyEvent& callback) {
    TGuard guard(this);
    return TORVICallbackList::Remove(callback);
}

void TORVIBroadcastEvent::NotifyListeners() {
    TGuard guard(this);
    InvokeCallbacks(_GetCallbackObject());
}

rtl::TObject* TORVIBroadcastEvent::_GetCallbackObject() {
    TGuard guard(this);
    return _pObject ? _pObject : this;
}

void TORVIBroadcastEvent::_SetCallbackObject(rtl::TObject* value) {
    TGuard guard(this);
    _pObject = value;
}

} // namespace orvi
