#include "utils/framework/ORVI.UuidCallbackList.h"

namespace orvi {

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
