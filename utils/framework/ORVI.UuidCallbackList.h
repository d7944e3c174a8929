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

/// The passes under way over one list, innermost first. Each pass follows the list's insertions and
/// removals, so that it keeps its place, and learns when the list is freed under it.
class UTILS_API TORVIListPasses {
public:
    struct TPass {
        int nIndex = 0;
        bool blAlive = true;
        TPass* pOuter = nullptr;
    };
    void Begin(TPass& pass) noexcept;
    /// Ends the pass; nothing for a pass whose list is gone.
    void End(TPass& pass) noexcept;
    /// Items were inserted at index (delta > 0) or removed from it (delta < 0).
    void Shifted(int index, int delta) noexcept;
    /// The list is being freed: every pass under way ends after its current entry.
    void ListGone() noexcept;

private:
    TPass* _pInnermost = nullptr;
};

/// Callbacks in calling order, duplicates allowed; every operation holds the list's own monitor, and
/// callbacks run while it is held. A callback may add or remove entries, or free the list: a pass
/// keeps its place (removing the current or an earlier entry skips nobody) and ends when the list is
/// freed.
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
    ~TORVIUuidCallbackListOf() override { _passes.ListGone(); }
    void Shifted(int index, int delta) override { _passes.Shifted(index, delta); }

    /// Calls call(entry) for each assigned entry in order until *pStop (when given) turns true.
    template <class Call> void _Run(const bool* pStop, Call call) {
        rtl::TMonitor::Enter(this);
        TORVIListPasses::TPass pass;
        _passes.Begin(pass);
        for (; pass.blAlive && !(pStop && *pStop) && pass.nIndex < this->Count(); ++pass.nIndex) {
            const TCallback entry = (*this)[pass.nIndex];
            if (entry)
                call(entry);
        }
        if (!pass.blAlive)
            return; // a callback freed the list, and its lock went with it
        _passes.End(pass);
        rtl::TMonitor::Exit(this);
    }

private:
    TORVIListPasses _passes;
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
