#pragma once
// A list of notify listeners for firing from any thread: one lock guards the list and each broadcast.
#include "rtl/SyncObjs.h"
#include "utils/UtilsApi.h"
#include "utils/framework/ORVI.SubscribedEvent.h"

namespace orvi {

/// Listeners in order, each once. Every operation, and each broadcast, holds the event's lock
/// (re-entrant for the holding thread): listeners run on the broadcasting thread and may register,
/// unregister or free the event; a listener that stays registered hears every broadcast. An object
/// unregisters its listeners before it is freed, and nobody frees the event while another thread uses it.
class UTILS_API TORVIBroadcastEvent : public TORVICallbackList {
public:
    void AfterConstruction() override;

    virtual void RegisterListener(const rtl::TNotifyEvent& callback);
    virtual void UnregisterListener(const rtl::TNotifyEvent& callback);
    /// Calls every listener with CallbackObject as Sender (the event itself when none is set).
    virtual void NotifyListeners();
    /// Appends unless present; answers the new last index, or the existing index when present.
    int Add(const rtl::TNotifyEvent& callback);
    /// Unless present: inserts at Index when it is below the count, else appends.
    void Insert(int Index, const rtl::TNotifyEvent& callback);
    /// Removes the listener; answers the index it had, -1 when absent.
    int Remove(const rtl::TNotifyEvent& callback);

    rtl::TObject* CallbackObject() { return _GetCallbackObject(); }
    void SetCallbackObject(rtl::TObject* value) { _SetCallbackObject(value); }

protected:
    ~TORVIBroadcastEvent() override;
    virtual rtl::TObject* _GetCallbackObject();
    virtual int _IndexOf(const rtl::TNotifyEvent& callback);
    virtual void _SetCallbackObject(rtl::TObject* value);

private:
    /// Holds the lock for a scope, and lets go only of a lock that still exists.
    class TGuard;
    rtl::TReentrantLock* _pCSLock = nullptr;
    rtl::TObject* _pObject = nullptr;
};

} // namespace orvi
