#pragma once
// Lists of callbacks that take one or two UUIDs, and confirmation lists whose callbacks can veto.
#include "rtl/Generics.h"
#include "rtl/Method.h"
#include "rtl/SyncObjs.h"
#include "utils/UtilsApi.h"
#include "utils/values/ORVI.Uuid.h"

namespace orvi {

using TORVISingleUuidCallback = rtl::TMethod<void(const TORVI_Uuid&)>;
using TORVISingleUuidConfirmation = rtl::TMethod<void(const TORVI_Uuid&, bool&)>;
using TORVIDoubleUuidCallback = rtl::TMethod<void(const TORVI_Uuid&, const TORVI_Uuid&)>;
using TORVIDoubleUuidConfirmation = rtl::TMethod<void(const TORVI_Uuid&, const TORVI_Uuid&, bool&)>;

/// Callbacks in calling order, duplicates allowed; every operation holds the list's own monitor, and
/// callbacks run while it is held. A callback may add or remove entries, or free the list: a pass
/// keeps its place (removing the current or an earlier entry skips nobody) and ends when the list is
/// freed. The list does not watch the callbacks' objects: an object removes its callbacks before it
/// is freed.
template <class TCallback> class TORVIUuidCallbackListOf : public rtl::TList<TCallback> {
    using TBase = rtl::TList<TCallback>;

public:
    /// Appends, even when the same callback is already there.
    void Add(const TCallback& callback) {
        rtl::TMonitor::Enter(this);
        TBase::Add(callback);
        rtl::TMonitor::Exit(this);
    }
    /// Removes the first entry equal in code and object; nothing when absent.
    void Remove(const TCallback& callback) {
        rtl::TMonitor::Enter(this);
        TBase::Remove(callback);
        rtl::TMonitor::Exit(this);
    }

protected:
    ~TORVIUuidCallbackListOf() override = default;

    /// Calls call(entry) for each assigned entry in order until *pStop (when given) turns true.
    template <class Call> void _Run(const bool* pStop, Call call) {
        rtl::TMonitor::Enter(this);
        {
            typename TBase::TPass pass(this);
            for (; pass.AtItem() && !(pStop && *pStop); ++pass.nIndex) {
                const TCallback entry = (*this)[pass.nIndex];
                if (entry)
                    call(entry);
            }
            if (!pass.Alive())
                return; // a callback freed the list, and its lock went with it
        }
        rtl::TMonitor::Exit(this);
    }
};

class UTILS_API TORVISingleUuidCallbackList : public TORVIUuidCallbackListOf<TORVISingleUuidCallback> {
public:
    /// Calls every entry in order with a copy of uuid.
    void RunCallbacks(TORVI_Uuid uuid);
};

class UTILS_API TORVISingleUuidConfirmationList
    : public TORVIUuidCallbackListOf<TORVISingleUuidConfirmation> {
public:
    /// Asks the entries in order while each allows; true when all allowed (or there are none).
    bool RunConfirmations(TORVI_Uuid uuid);
};

class UTILS_API TORVIDoubleUuidCallbackList : public TORVIUuidCallbackListOf<TORVIDoubleUuidCallback> {
public:
    void RunCallbacks(TORVI_Uuid uuid1, TORVI_Uuid uuid2);
};

class UTILS_API TORVIDoubleUuidConfirmationList
    : public TORVIUuidCallbackListOf<TORVIDoubleUuidConfirmation> {
public:
    bool RunConfirmations(TORVI_Uuid uuid1, TORVI_Uuid uuid2);
};

} // namespace orvi
