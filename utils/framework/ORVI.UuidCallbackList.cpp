#include "utils/framework/ORVI.UuidCallbackList.h"

namespace orvi {

void TORVIListPasses::Begin(TPass& pass) noexcept {
    pass.pOuter = _pInnermost;
    _pInnermost = &pass;
}

void TORVIListPasses::End(TPass& pass) noexcept {
    if (pass.blAlive)
        _pInnermost = pass.pOuter; // passes end in the reverse order they began
}

void TORVIListPasses::Shifted(int index, int delta) noexcept {
    for (TPass* pass = _pInnermost; pass; pass = pass->pOuter) {
        if (delta > 0) {
            if (index <= pass->nIndex)
                pass->nIndex += delta; // inserted before the current entry: not reached this pass
        } else if (index - delta <= pass->nIndex) {
            pass->nIndex += delta; // removed before the current entry
        } else if (index <= pass->nIndex) {
            pass->nIndex = index - 1; // the current entry went: the next one moved into its place
        }
    }
}

void TORVIListPasses::ListGone() noexcept {
    for (TPass* pass = _pInnermost; pass; pass = pass->pOuter)
        pass->blAlive = false;
    _pInnermost = nullptr;
}

// The UUIDs are copies: a callback that changes the caller's variable cannot change what later
// callbacks receive.

void TORVISingleUuidCallbackList::RunCallbacks(TORVI_Uuid uuid) {
    _Run(nullptr, [&](const TORVISingleUuidCallback& entry) { entry(uuid); });
}

bool TORVISingleUuidConfirmationList::RunConfirmations(TORVI_Uuid uuid) {
    bool blAllow = true;
    bool blStop = false;
    _Run(&blStop, [&](const TORVISingleUuidConfirmation& entry) {
        entry(uuid, blAllow);
        blStop = !blAllow;
    });
    return blAllow;
}

void TORVIDoubleUuidCallbackList::RunCallbacks(TORVI_Uuid uuid1, TORVI_Uuid uuid2) {
    _Run(nullptr, [&](const TORVIDoubleUuidCallback& entry) { entry(uuid1, uuid2); });
}

bool TORVIDoubleUuidConfirmationList::RunConfirmations(TORVI_Uuid uuid1, TORVI_Uuid uuid2) {
    bool blAllow = true;
    bool blStop = false;
    _Run(&blStop, [&](const TORVIDoubleUuidConfirmation& entry) {
        entry(uuid1, uuid2, blAllow);
        blStop = !blAllow;
    });
    return blAllow;
}

} // namespace orvi
