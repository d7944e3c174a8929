#include "MethodLibrary.h"

#include <algorithm>

rtl::TNotifyEvent BoundInLibrary(TLibraryHandler* handler) {
    return rtl::TNotifyEvent(handler, &TLibraryHandler::OnEvent);
}

bool UnsubscribeInLibrary(std::vector<rtl::TNotifyEvent>& subscribers, TLibraryHandler* handler) {
    const auto it = std::find(subscribers.begin(), subscribers.end(), BoundInLibrary(handler));
    if (it == subscribers.end())
        return false;
    subscribers.erase(it);
    return true;
}
