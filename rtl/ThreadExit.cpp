#include "ThreadExit.h"

#include <utility>
#include <vector>

namespace rtl {

namespace {

struct TExitCalls {
    std::vector<std::pair<void (*)(void*), void*>> calls;
    ~TExitCalls() {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            it->first(it->second);
    }
};

} // namespace

void AtThreadExit(void (*release)(void*), void* value) {
    thread_local TExitCalls t_exitCalls;
    t_exitCalls.calls.emplace_back(release, value);
}

bool ProcessIsEnding() {
    return false;
}

} // namespace rtl
