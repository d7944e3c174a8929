#include "rtl/AppInitialize.h"
#include "rtl/Modules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string g_calls;
rtl::TInitProc g_fnSavedA = nullptr;
rtl::TInitProc g_fnSavedB = nullptr;

void HookA() {
    if (g_fnSavedA)
        g_fnSavedA();
    g_calls += "A";
}

void HookB() {
    if (g_fnSavedB)
        g_fnSavedB();
    g_calls += "B";
}

} // namespace

TEST(AppInitialize, HooksChainEarliestFirstAndComeOutInReverse) {
    const rtl::TInitProc original = rtl::InitProc();
    g_fnSavedA = rtl::InstallInitProc(HookA);
    EXPECT_EQ(g_fnSavedA, original);
    g_fnSavedB = rtl::InstallInitProc(HookB);
    EXPECT_EQ(g_fnSavedB, HookA);
    EXPECT_EQ(rtl::InitProc(), HookB);
    g_calls.clear();
    g_fnSavedA = nullptr; // the program's own hook, if any, is not run here
    rtl::ApplicationInitialize();
    EXPECT_EQ(g_calls, "AB");
    // Taking out a hook that is no longer the installed one changes nothing.
    rtl::UninstallInitProc(HookA, original);
    EXPECT_EQ(rtl::InitProc(), HookB);
    rtl::UninstallInitProc(HookB, HookA);
    rtl::UninstallInitProc(HookA, original);
    EXPECT_EQ(rtl::InitProc(), original);
}

TEST(Modules, EveryLoadedModuleHasOneDistinctHandle) {
    std::vector<rtl::TModuleHandle> modules = rtl::EnumModules();
    EXPECT_GE(modules.size(), 3u); // the program, the runtime library and the C library at least
    EXPECT_EQ(static_cast<int>(modules.size()), rtl::ModuleCount());
    std::sort(modules.begin(), modules.end());
    EXPECT_EQ(std::adjacent_find(modules.begin(), modules.end()), modules.end());
    EXPECT_EQ(rtl::EnumModules().size(), modules.size()); // stable while nothing loads
}
