#include "utils/framework/ORVI.Initialisation.h"

#include "rtl/AppInitialize.h"
#include "rtl/Modules.h"
#include "rtl/SyncObjs.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace orvi;
using TRegistry = TORVIInitialisationUnitRegistry;

namespace {

std::vector<std::string> g_log;

TORVI_Uuid Phase(std::uint8_t n) {
    std::uint8_t bytes[16] = {0x5a, 0x17};
    bytes[15] = n;
    return TORVI_Uuid(bytes);
}
const TORVI_Uuid P1 = Phase(1), P2 = Phase(2), I1 = Phase(11), A = Phase(21), B = Phase(22);

std::string NameOf(const TORVI_Uuid& phase) {
    static const std::map<std::uint8_t, std::string> names{
        {1, "P1"}, {2, "P2"}, {11, "I1"}, {21, "A"}, {22, "B"}};
    const auto it = names.find(phase.AsBytes()[15]);
    return it == names.end() ? "?" : it->second;
}

class TLoggingUnit : public TORVIInitialisationUnit {
public:
    TLoggingUnit(std::string name, TRegistry* registry, TORVIInitialisationUnit** ptr = nullptr)
        : TORVIInitialisationUnit(nullptr, ptr, registry), szName(std::move(name)) {}
    void RegistrationsComplete() override { Log("registrations complete"); }
    void InstantiationComplete() override {
        Log(std::string("instantiation complete, ") +
            (pPeer && Registry()->IsInitialised(pPeer) ? "peer initialised" : "peer waiting"));
    }
    std::string szName;
    TORVIInitialisationUnit* pPeer = nullptr;

protected:
    void _DoRegistration(const TORVI_Uuid& p) override { Log("register " + NameOf(p)); }
    void _DoDeregistration(const TORVI_Uuid& p) override { Log("unregister " + NameOf(p)); }
    void _DoInstantiation(const TORVI_Uuid& p) override { Log("instantiate " + NameOf(p)); }
    void _DoDestruction(const TORVI_Uuid& p) override { Log("destroy " + NameOf(p)); }

private:
    void Log(const std::string& what) { g_log.push_back(szName + " " + what); }
};

struct TRegistryTest : ::testing::Test {
    TRegistryTest() {
        g_log.clear();
        pRegistry->RegisterRegistrationPhases({P1, P2});
        pRegistry->RegisterInstantiationPhase(I1);
    }
    ~TRegistryTest() override { rtl::Free(pRegistry); }
    TLoggingUnit* MakeUnit(const std::string& name) { return rtl::Create<TLoggingUnit>(name, pRegistry); }
    TRegistry* pRegistry = rtl::Create<TRegistry>(nullptr);
};

using TLog = std::vector<std::string>;

} // namespace

TEST_F(TRegistryTest, ARunTakesEveryPhaseInOrderOverEveryWaitingUnit) {
    TLoggingUnit* u1 = MakeUnit("u1");
    TLoggingUnit* u2 = MakeUnit("u2");
    u1->pPeer = u2;
    u2->pPeer = u1;
    EXPECT_TRUE(pRegistry->IsWaiting(u1));
    pRegistry->RunInitialisations();
    EXPECT_EQ(g_log, (TLog{"u1 register P1", "u2 register P1", "u1 register P2", "u2 register P2",
                           "u1 registrations complete", "u2 registrations complete", "u1 instantiate I1",
                           "u2 instantiate I1", "u1 instantiation complete, peer waiting",
                           "u2 instantiation complete, peer initialised"}));
    EXPECT_TRUE(pRegistry->IsInitialised(u1));
    EXPECT_TRUE(pRegistry->IsInitialised(u2));
    EXPECT_FALSE(pRegistry->IsWaiting(u2));
    EXPECT_EQ(u2->CompletedRegistrationPhases(), (std::vector<TORVI_Uuid>{P1, P2}));
}

TEST_F(TRegistryTest, ALaterRunHandlesOnlyUnitsMadeSinceTheLastOne) {
    MakeUnit("u1");
    pRegistry->RunInitialisations();
    g_log.clear();
    pRegistry->RunInitialisations();
    EXPECT_TRUE(g_log.empty());
    TLoggingUnit* u3 = MakeUnit("u3");
    EXPECT_TRUE(pRegistry->InitialisationNeeded());
    pRegistry->RunInitialisations();
    EXPECT_EQ(g_log, (TLog{"u3 register P1", "u3 register P2", "u3 registrations complete",
                           "u3 instantiate I1", "u3 instantiation complete, peer waiting"}));
    EXPECT_TRUE(pRegistry->IsInitialised(u3));
    EXPECT_FALSE(pRegistry->InitialisationNeeded());
}

TEST_F(TRegistryTest, AUnitMadeByAHookDuringARunWaitsForTheNextRun) {
    struct TMaker : TLoggingUnit {
        using TLoggingUnit::TLoggingUnit;
        void RegistrationsComplete() override { pMade = rtl::Create<TLoggingUnit>("made", Registry()); }
        TLoggingUnit* pMade = nullptr;
    };
    auto* maker = rtl::Create<TMaker>("maker", pRegistry);
    pRegistry->RunInitialisations();
    ASSERT_NE(maker->pMade, nullptr);
    EXPECT_TRUE(pRegistry->IsWaiting(maker->pMade)); // it missed the registration phases
    EXPECT_TRUE(maker->pMade->CompletedInstantiationPhases().empty());
    pRegistry->RunInitialisations();
    EXPECT_TRUE(pRegistry->IsInitialised(maker->pMade));
    EXPECT_EQ(maker->pMade->CompletedRegistrationPhases(), (std::vector<TORVI_Uuid>{P1, P2}));
}

TEST_F(TRegistryTest, InsertingAPhaseGoesBeforeItsAnchorOrAppendsBoth) {
    pRegistry->InsertRegistrationPhase(A, B);
    EXPECT_EQ(pRegistry->ClassPhases(), (std::vector<TORVI_Uuid>{P1, P2, A, B}));
    pRegistry->UnregisterRegistrationPhase(A);
    pRegistry->InsertRegistrationPhase(A, P2);
    EXPECT_EQ(pRegistry->ClassPhases(), (std::vector<TORVI_Uuid>{P1, A, P2, B}));
    pRegistry->InsertInstantiationPhase(A, I1);
    EXPECT_EQ(pRegistry->InstantitionPhases(), (std::vector<TORVI_Uuid>{A, I1}));
}

TEST_F(TRegistryTest, PhasesAndUnitsAreKeptOnceEach) {
    pRegistry->RegisterRegistrationPhase(P1);
    pRegistry->RegisterInstantiationPhases({I1, I1});
    EXPECT_EQ(pRegistry->ClassPhases(), (std::vector<TORVI_Uuid>{P1, P2}));
    EXPECT_EQ(pRegistry->InstantitionPhases(), (std::vector<TORVI_Uuid>{I1}));
    TLoggingUnit* u1 = MakeUnit("u1");
    pRegistry->RegisterInitialisationUnit(u1);
    pRegistry->RunInitialisations();
    pRegistry->RegisterInitialisationUnit(u1); // initialised already: not waiting again
    EXPECT_FALSE(pRegistry->IsWaiting(u1));
    EXPECT_EQ(std::count(g_log.begin(), g_log.end(), "u1 register P1"), 1);
}

TEST_F(TRegistryTest, ShutDownRunsThePhasesBackwardsAndLetsTheUnitsGo) {
    TORVIInitialisationUnit* held1 = nullptr;
    TORVIInitialisationUnit* held2 = nullptr;
    rtl::Create<TLoggingUnit>("u1", pRegistry, &held1);
    rtl::Create<TLoggingUnit>("u2", pRegistry, &held2);
    EXPECT_NE(held1, nullptr);
    pRegistry->RunInitialisations();
    g_log.clear();
    pRegistry->RunUninitialisations();
    EXPECT_EQ(g_log, (TLog{"u2 destroy I1", "u1 destroy I1", "u2 unregister P2", "u1 unregister P2",
                           "u2 unregister P1", "u1 unregister P1"}));
    // Nothing else held them: they freed themselves, and their creators' variables say so.
    EXPECT_EQ(held1, nullptr);
    EXPECT_EQ(held2, nullptr);
}

TEST_F(TRegistryTest, ADestroyedUnitUndoesItsPhasesAndReportsADynamicLoad) {
    TLoggingUnit* u1 = MakeUnit("u1");
    u1->SetFreeWhenUnreferenced(false);
    pRegistry->RunInitialisations();
    EXPECT_FALSE(pRegistry->DynamicLoadDetected());
    g_log.clear();
    rtl::Free(u1);
    EXPECT_EQ(g_log, (TLog{"u1 destroy I1", "u1 unregister P2", "u1 unregister P1"}));
    EXPECT_TRUE(pRegistry->DynamicLoadDetected());
    pRegistry->RunInitialisations();
    EXPECT_FALSE(pRegistry->DynamicLoadDetected());
}

TEST_F(TRegistryTest, AFreedRegistryFreesWaitingUnitsAndUndoesInitialisedOnes) {
    TORVIInitialisationUnit* waiting = nullptr;
    TLoggingUnit* kept = MakeUnit("kept");
    kept->AddMemLockReference(kept); // its own lock keeps it past the registry
    pRegistry->RunInitialisations();
    rtl::Create<TLoggingUnit>("waiting", pRegistry, &waiting);
    g_log.clear();
    rtl::FreeAndNil(pRegistry);
    EXPECT_EQ(waiting, nullptr);
    EXPECT_EQ(g_log, (TLog{"kept destroy I1", "kept unregister P2", "kept unregister P1"}));
    EXPECT_EQ(kept->Registry(), nullptr);
    rtl::Free(kept);
}

TEST(ProcessRegistry, PeekNeverCreatesAndFreeClearsIt) {
    TRegistry::FreeRegistry();
    EXPECT_EQ(TRegistry::PeekRegistry(), nullptr);
    EXPECT_FALSE(TRegistry::GetApplicationInitialised());
    TRegistry* registry = TRegistry::GetRegistry();
    EXPECT_EQ(TRegistry::PeekRegistry(), registry);
    EXPECT_EQ(TRegistry::GetRegistry(), registry);
    rtl::Free(registry); // freed directly, the process's variable still clears
    EXPECT_EQ(TRegistry::PeekRegistry(), nullptr);
}

TEST(ProcessRegistry, TheApplicationStartRunsTheRegisteredUnits) {
    ORVIRegisterRegistrationPhase(P1);
    TORVIInitialisationUnit* unit = nullptr;
    g_log.clear();
    rtl::Create<TLoggingUnit>("app", nullptr, &unit);
    unit->SetFreeWhenUnreferenced(false);
    rtl::ApplicationInitialize();
    EXPECT_EQ(g_log, (TLog{"app register P1", "app registrations complete",
                           "app instantiation complete, peer waiting"}));
    EXPECT_TRUE(TRegistry::GetApplicationInitialised());
    EXPECT_TRUE(TORVIInitialisationUnit::IsModuleInitialisedByRTL(rtl::EnumModules().front()));
    rtl::Free(unit);
    ORVIUnregisterRegistrationPhase(P1);
}

TEST(ProcessRegistry, ALibraryLoadedAndUnloadedIsSeen) {
    TRegistry* registry = TRegistry::GetRegistry();
    ORVIRegisterRegistrationPhase(P1);
    registry->RunInitialisations();
    const int before = TORVIInitialisationUnit::GetModuleCount();
    EXPECT_FALSE(registry->DynamicLoadDetected());
    EXPECT_FALSE(registry->InitialisationNeeded());

    void* library = dlopen(ORVI_TEST_INIT_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(TORVIInitialisationUnit::GetModuleCount(), before + 1);
    EXPECT_TRUE(registry->DynamicLoadDetected());
    EXPECT_TRUE(registry->InitialisationNeeded());
    auto unitOf = reinterpret_cast<TORVIInitialisationUnit* (*)()>(dlsym(library, "OrviTestModuleUnit"));
    auto registrations = reinterpret_cast<int (*)()>(dlsym(library, "OrviTestModuleRegistrations"));
    ASSERT_TRUE(unitOf && registrations);
    EXPECT_TRUE(registry->IsWaiting(unitOf()));

    registry->RunInitialisations();
    EXPECT_EQ(registrations(), 1);
    EXPECT_TRUE(registry->IsInitialised(unitOf()));
    EXPECT_FALSE(registry->DynamicLoadDetected());
    EXPECT_FALSE(registry->InitialisationNeeded());

    dlclose(library); // the library frees its unit as it goes
    EXPECT_EQ(TORVIInitialisationUnit::GetModuleCount(), before);
    EXPECT_TRUE(registry->DynamicLoadDetected());
    EXPECT_FALSE(registry->InitialisationNeeded()); // fewer modules, none waiting
    registry->RunInitialisations();
    EXPECT_FALSE(registry->DynamicLoadDetected());
    ORVIUnregisterRegistrationPhase(P1);
}

TEST(RegistryThreads, UnitsMadeAndFreedOnSeveralThreadsWhileRunsGoOn) {
    TRegistry* registry = rtl::Create<TRegistry>(nullptr);
    registry->RegisterRegistrationPhases({P1, P2});
    registry->RegisterInstantiationPhase(I1);
    struct TCountingUnit : TORVIInitialisationUnit {
        using TORVIInitialisationUnit::TORVIInitialisationUnit;
        void _DoRegistration(const TORVI_Uuid&) override { ++nCalls; }
        void _DoInstantiation(const TORVI_Uuid&) override { ++nCalls; }
        int nCalls = 0;
    };
    constexpr int kThreads = 3, kUnits = 40;
    std::vector<std::vector<TCountingUnit*>> units(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kUnits; ++i) {
                auto* unit = rtl::Create<TCountingUnit>(nullptr, nullptr, registry);
                if (i % 4 == 3) {
                    rtl::Free(unit); // some go again at once
                } else {
                    // A unit is shared with the runs from now on: touched under the registry's lock.
                    rtl::TMonitor::Enter(registry);
                    unit->AddMemLockReference(unit);
                    rtl::TMonitor::Exit(registry);
                    units[t].push_back(unit);
                }
                registry->RegisterRegistrationPhase(P2); // present already: the list stays as it is
                EXPECT_EQ(registry->ClassPhases().size(), 2u);
            }
        });
    }
    std::thread runner([&] {
        for (int i = 0; i < 50; ++i) {
            registry->RunInitialisations();
            (void)registry->InitialisationNeeded();
            (void)registry->DynamicLoadDetected();
        }
    });
    for (std::thread& t : threads)
        t.join();
    runner.join();
    registry->RunInitialisations();
    for (const auto& list : units) {
        for (TCountingUnit* unit : list) {
            EXPECT_TRUE(registry->IsInitialised(unit));
            EXPECT_EQ(unit->nCalls, 3); // each phase once, whichever run took it
            rtl::Free(unit);
        }
    }
    rtl::Free(registry);
}

TEST_F(TRegistryTest, AFreedUnitIsNoLongerListedWhenItUndoesItsPhases) {
    struct TProbingUnit : TLoggingUnit {
        using TLoggingUnit::TLoggingUnit;
        void _DoDestruction(const TORVI_Uuid&) override {
            blListed = Registry() && (Registry()->IsInitialised(this) || Registry()->IsWaiting(this));
        }
        bool blListed = true;
    };
    auto* unit = rtl::Create<TProbingUnit>("u", pRegistry);
    pRegistry->RunInitialisations();
    ASSERT_TRUE(pRegistry->IsInitialised(unit));
    const bool* listed = &unit->blListed;
    rtl::TPin<TProbingUnit> pin(unit);
    rtl::Free(unit);
    EXPECT_FALSE(*listed); // pinned: still readable
    EXPECT_FALSE(pRegistry->IsInitialised(unit));
}

TEST(RegistryHooks, AHookThatFreesTheRegistryOrItsOwnUnitEndsTheWorkCleanly) {
    struct TFreeingUnit : TORVIInitialisationUnit {
        using TORVIInitialisationUnit::TORVIInitialisationUnit;
        void _DoRegistration(const TORVI_Uuid&) override {
            rtl::Free(pVictim);
        }
        rtl::TObject* pVictim = nullptr;
    };
    TRegistry* registry = rtl::Create<TRegistry>(nullptr);
    rtl::TPin<TRegistry> pinRegistry(registry);
    registry->RegisterRegistrationPhases({P1, P2});
    // A unit whose own hook frees it, called directly (nobody pins it for the hook).
    auto* selfFreeing = rtl::Create<TFreeingUnit>(nullptr, nullptr, registry);
    TORVIReferencedPersistent* variable = selfFreeing; // a pin here would keep its storage readable
    selfFreeing->RegisterSilentReference(&variable);
    selfFreeing->pVictim = selfFreeing;
    selfFreeing->RegisterClasses(P1);
    EXPECT_EQ(variable, nullptr);
    // A run whose hook frees the registry, and with it the list the run goes through.
    auto* unit = rtl::Create<TFreeingUnit>(nullptr, nullptr, registry);
    rtl::TPin<TFreeingUnit> pinUnit(unit);
    unit->pVictim = registry;
    registry->RunInitialisations();
    EXPECT_TRUE(pinRegistry.Freed());
    EXPECT_TRUE(pinUnit.Freed()); // a waiting unit goes with its registry
}

TEST(RegistryThreads, InitialisedUnitsFreedOnOneThreadWhileAnotherRuns) {
    TRegistry* registry = rtl::Create<TRegistry>(nullptr);
    registry->RegisterRegistrationPhase(P1);
    registry->RegisterInstantiationPhase(I1);
    const auto work = [registry] {
        for (int i = 0; i < 200; ++i) {
            auto* unit = rtl::Create<TORVIInitialisationUnit>(nullptr, nullptr, registry);
            registry->RunInitialisations();
            rtl::Free(unit); // leaves the initialised list while the other thread's runs add to it
        }
    };
    std::thread other(work);
    work();
    other.join();
    EXPECT_FALSE(registry->InitialisationNeeded());
    rtl::Free(registry);
}
