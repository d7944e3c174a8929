// A library that the initialisation tests load and unload at run time: while loaded it has one
// initialisation unit registered with the process's registry.
#include "utils/framework/ORVI.Initialisation.h"

#define TEST_MODULE_API extern "C" __attribute__((visibility("default")))

namespace {

int g_nRegistrations = 0;
orvi::TORVIInitialisationUnit* g_pUnit = nullptr;

class TModuleUnit : public orvi::TORVIInitialisationUnit {
public:
    using orvi::TORVIInitialisationUnit::TORVIInitialisationUnit;

protected:
    void _DoRegistration(const orvi::TORVI_Uuid&) override { ++g_nRegistrations; }
};

// The unit's code goes with the library, so the unit must go first.
struct TModuleLife {
    TModuleLife() { rtl::Create<TModuleUnit>(nullptr, &g_pUnit, nullptr); }
    ~TModuleLife() { rtl::Free(g_pUnit); }
} g_life;

} // namespace

TEST_MODULE_API orvi::TORVIInitialisationUnit* OrviTestModuleUnit() {
    return g_pUnit;
}

TEST_MODULE_API int OrviTestModuleRegistrations() {
    return g_nRegistrations;
}
