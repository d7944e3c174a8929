#pragma once
// A shared library that binds and removes handlers, to check that a method bound in one library
// equals the same method bound in another.
#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"

#include <vector>

#define METHOD_LIBRARY_API __attribute__((visibility("default")))

class METHOD_LIBRARY_API TLibraryHandler : public rtl::TObject {
public:
    // Inline on purpose: each library that takes its address has its own copy unless the
    // dynamic linker makes them one.
    void OnEvent(rtl::TObject*) { ++nCalls; }
    int nCalls = 0;
};

/// handler->OnEvent, bound inside the library.
METHOD_LIBRARY_API rtl::TNotifyEvent BoundInLibrary(TLibraryHandler* handler);
/// Removes handler->OnEvent from subscribers inside the library; true when it was found.
METHOD_LIBRARY_API bool UnsubscribeInLibrary(std::vector<rtl::TNotifyEvent>& subscribers, TLibraryHandler* handler);
