#pragma once
// The load counter of a process-wide registry: built-in entries are registered on the library's first
// load and the registry is released on its last unload, however often the library is loaded.
#include "utils/UtilsApi.h"

namespace orvi {

/// One static instance per registry, at namespace scope in the unit that owns the registry.
class UTILS_API TORVILoadCounter {
public:
    using TRoutine = void (*)();

    /// Runs fnRegister when nCount goes from 0 to 1.
    TORVILoadCounter(int& nCount, TRoutine fnRegister, TRoutine fnRelease);
    /// Runs fnRelease when nCount comes back to 0.
    ~TORVILoadCounter();

    TORVILoadCounter(const TORVILoadCounter&) = delete;
    TORVILoadCounter& operator=(const TORVILoadCounter&) = delete;

private:
    int& _nCount;
    TRoutine _fnRelease;
};

} // namespace orvi
