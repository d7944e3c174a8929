#pragma once
// Program-wide start-up and shut-down work in ordered phases, across every module of the process.
// Modules declare initialisation units; the process declares registration phases (class registration)
// and instantiation phases (object creation), each known by a UUID. At the application's start the
// registry runs every phase over every waiting unit; at shut-down it runs them backwards.
#include "rtl/Generics.h"
#include "rtl/Modules.h"
#include "utils/UtilsApi.h"
#include "utils/framework/ORVI.ReferencedPersistent.h"
#include "utils/values/ORVI.Uuid.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace orvi {

class TORVIInitialisationUnit;
class TORVIInitialisationUnitRegistry;
/// A variable of a unit's creator that holds the unit.
using PORVIInitialisationUnit = TORVIInitialisationUnit**;
/// A list of units that locks every unit it holds.
using TORVIInitialisationUnits = TORVIReferencedList<TORVIInitialisationUnit>;
/// An ordered list of phases.
using TORVIPhaseList = rtl::TList<TORVI_Uuid>;

/// Start-up and shut-down work of one module. A concrete unit overrides the four _Do hooks; each runs
/// at most once per phase. The unit registers itself with its registry when made. A hook may free its
/// own unit (or the registry): the step that called it then does nothing more, and a caller that uses
/// the unit after a step pins it first. A unit being freed leaves the registry's lists, under the
/// registry's lock, before it undoes its completed phases.
class UTILS_API TORVIInitialisationUnit : public TORVIReferencedPersistent {
public:
    /// APointer (when given) is set to the unit now and to nil when it is destroyed. Without ARegistry
    /// the process's registry is used.
    explicit TORVIInitialisationUnit(rtl::TPersistent* AOwner = nullptr,
                                     PORVIInitialisationUnit APointer = nullptr,
                                     TORVIInitialisationUnitRegistry* ARegistry = nullptr);
    void AfterConstruction() override;
    /// Leaves the registry, then undoes its completed phases, last first.
    void BeforeDestruction() override;

    /// _DoRegistration once per phase.
    virtual void RegisterClasses(const TORVI_Uuid& uuidPhase);
    /// _DoDeregistration when the phase was completed.
    virtual void UnregisterClasses(const TORVI_Uuid& uuidPhase);
    /// _DoInstantiation once per phase.
    virtual void InstantiateObjects(const TORVI_Uuid& uuidPhase);
    /// _DoDestruction, whether or not the phase was completed.
    virtual void DestroyObjects(const TORVI_Uuid& uuidPhase);
    /// Every registration phase of a run is over.
    virtual void RegistrationsComplete() {}
    /// Every instantiation phase of a run is over.
    virtual void InstantiationComplete() {}

    /// The registry the unit belongs to (nil once it is gone).
    TORVIInitialisationUnitRegistry* Registry() const noexcept { return _pRegistry; }
    /// The registration and instantiation phases this unit has completed, in order.
    std::vector<TORVI_Uuid> CompletedRegistrationPhases() const;
    std::vector<TORVI_Uuid> CompletedInstantiationPhases() const;

    /// The number of modules now loaded.
    static int GetModuleCount();
    /// Whether the registry's last run saw the module AInstance.
    static bool IsModuleInitialisedByRTL(rtl::TModuleHandle AInstance);

    void NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op) override;

protected:
    ~TORVIInitialisationUnit() override;
    virtual void _DoDeregistration(const TORVI_Uuid& /*uuidPhase*/) {}
    virtual void _DoDestruction(const TORVI_Uuid& /*uuidPhase*/) {}
    virtual void _DoInstantiation(const TORVI_Uuid& /*uuidPhase*/) {}
    virtual void _DoRegistration(const TORVI_Uuid& /*uuidPhase*/) {}

private:
    friend class TORVIInitialisationUnitRegistry;
    /// Undoes every completed phase: instantiations, then registrations, each from the last.
    void _UndoCompletedPhases();

    PORVIInitialisationUnit _ptr;
    TORVIPhaseList* _pRegPhases = nullptr;
    TORVIPhaseList* _pInstPhases = nullptr;
    TORVIInitialisationUnitRegistry* _pRegistry;
    bool _blLeft = false; // the unit has left its registry on its way out
};

/// The process's units and phases. Its monitor lock guards the unit lists, every run and the module
/// records; each phase list has its own lock. Runs call the units' hooks with the lock held (it is
/// re-entrant: hooks may register phases or units on the same thread).
class UTILS_API TORVIInitialisationUnitRegistry : public TORVIReferencedPersistent {
public:
    explicit TORVIInitialisationUnitRegistry(rtl::TPersistent* AOwner = nullptr)
        : TORVIReferencedPersistent(AOwner) {}
    void AfterConstruction() override;
    /// Frees the waiting units, undoes the initialised units' phases, then lets them go.
    void BeforeDestruction() override;

    /// The process's registry, made on first use.
    static TORVIInitialisationUnitRegistry* GetRegistry();
    /// The process's registry, or nil; never makes one.
    static TORVIInitialisationUnitRegistry* PeekRegistry();
    /// Frees the process's registry when there is one.
    static void FreeRegistry();
    /// A registry exists and its last run saw at least one module.
    static bool GetApplicationInitialised();

    /// Appends a phase unless present.
    virtual void RegisterRegistrationPhase(const TORVI_Uuid& uuid);
    virtual void RegisterRegistrationPhases(const std::vector<TORVI_Uuid>& aUuids);
    /// Inserts uuid right before uuidBeforePhase; when that is not registered, appends uuid and then it.
    virtual void InsertRegistrationPhase(const TORVI_Uuid& uuid, const TORVI_Uuid& uuidBeforePhase);
    /// Removes the phase's first occurrence.
    virtual void UnregisterRegistrationPhase(const TORVI_Uuid& uuid);
    virtual void UnregisterRegistrationPhases(const std::vector<TORVI_Uuid>& aUuids);
    virtual void RegisterInstantiationPhase(const TORVI_Uuid& uuid);
    virtual void RegisterInstantiationPhases(const std::vector<TORVI_Uuid>& aUuids);
    virtual void InsertInstantiationPhase(const TORVI_Uuid& uuid, const TORVI_Uuid& uuidBeforePhase);
    virtual void UnregisterInstantiationPhase(const TORVI_Uuid& uuid);
    virtual void UnregisterInstantiationPhases(const std::vector<TORVI_Uuid>& aUuids);

    /// Adds the unit to the waiting units unless it is known already.
    virtual void RegisterInitialisationUnit(TORVIInitialisationUnit* pUnit);
    /// Takes the unit out of both lists, also when it is being freed (which may let it free itself).
    virtual void RemoveInitialisationUnit(TORVIInitialisationUnit* pUnit);

    /// Runs every phase over the waiting units, then records the modules now loaded. The units' hooks
    /// run inside and may free units, pList, or the registry itself: the run then stops where it is,
    /// touching neither again. A caller that uses the registry afterwards pins it (the same holds for
    /// the three runs below).
    virtual void RunInitialisations();
    /// Runs every phase over those units of pList that are waiting, and moves them to the initialised units.
    virtual void RunInitialisationsForList(TORVIInitialisationUnits* pList);
    /// Undoes every initialised unit's phases and lets the units go; forgets the modules.
    virtual void RunUninitialisations();
    /// Undoes the phases of those units of pList that are initialised, and takes them out.
    virtual void RunUninitialisationsForList(TORVIInitialisationUnits* pList);

    std::vector<TORVI_Uuid> ClassPhases() { return _GetClassPhases(); }
    std::vector<TORVI_Uuid> InstantitionPhases() { return _GetInstantiationPhases(); }
    /// The number of modules loaded differs from the last run's (or a unit was destroyed since).
    bool DynamicLoadDetected() { return _GetDynamicLoadDetected(); }
    /// Units are waiting, or more modules are loaded than the last run recorded.
    bool InitialisationNeeded() { return _GetInitialisationNeeded(); }
    bool IsWaiting(const TORVIInitialisationUnit* pUnit);
    bool IsInitialised(const TORVIInitialisationUnit* pUnit);
    /// Whether the last run saw the module AInstance.
    bool IsModuleRecorded(rtl::TModuleHandle AInstance);

    void NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op) override;

protected:
    ~TORVIInitialisationUnitRegistry() override;
    virtual std::vector<TORVI_Uuid> _GetClassPhases();
    virtual bool _GetDynamicLoadDetected();
    virtual bool _GetInitialisationNeeded();
    virtual std::vector<TORVI_Uuid> _GetInstantiationPhases();

private:
    friend class TORVIInitialisationUnit;
    void _RecordModules();
    /// Phase i of list (taken under the list's lock); false beyond its end.
    static bool _PhaseAt(TORVIPhaseList* list, int i, TORVI_Uuid& uuid);
    static int _PhaseCount(TORVIPhaseList* list);

    TORVIPhaseList* _pRegPhases = nullptr;
    TORVIPhaseList* _pInstPhases = nullptr;
    std::vector<rtl::TModuleHandle> _pInitedModules;
    // Reset without the lock by a dying unit, so that a dynamic load is reported until the next run.
    std::atomic<std::int32_t> _nModuleCount{0};
    TORVIInitialisationUnits* _pUnits = nullptr;
    TORVIInitialisationUnits* _pUninitialisedUnits = nullptr;
};

// ---- On the process's registry (made when needed)

UTILS_API void ORVIRegisterInitialisationUnit(TORVIInitialisationUnit* pUnit);
UTILS_API void ORVIRemoveInitialisationUnit(TORVIInitialisationUnit* pUnit);
UTILS_API void ORVIRegisterRegistrationPhase(const TORVI_Uuid& uuid);
UTILS_API void ORVIRegisterRegistrationPhases(const std::vector<TORVI_Uuid>& aUuids);
UTILS_API void ORVIUnregisterRegistrationPhase(const TORVI_Uuid& uuid);
UTILS_API void ORVIUnregisterRegistrationPhases(const std::vector<TORVI_Uuid>& aUuids);
UTILS_API void ORVIRegisterInstantiationPhase(const TORVI_Uuid& uuid);
UTILS_API void ORVIRegisterInstantiationPhases(const std::vector<TORVI_Uuid>& aUuids);
UTILS_API void ORVIUnregisterInstantiationPhase(const TORVI_Uuid& uuid);
UTILS_API void ORVIUnregisterInstantiationPhases(const std::vector<TORVI_Uuid>& aUuids);
/// The application-initialisation hook this library installs when it loads: the hook it replaced,
/// then a run of the process's registry.
UTILS_API void ORVIInitialiseRegisteredUnits();

} // namespace orvi
