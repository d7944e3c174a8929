#include "utils/framework/ORVI.Initialisation.h"

#include "rtl/AppInitialize.h"
#include "rtl/SyncObjs.h"
#include "utils/values/ORVI.LoadCounter.h"

#include <algorithm>
#include <mutex>

namespace orvi {

using TUnit = TORVIInitialisationUnit;
using TRegistry = TORVIInitialisationUnitRegistry;

namespace {

// The process's registry. Its mutex guards only this variable, and is never held while the registry's
// own lock is taken, so a run that creates units (and asks for the registry) cannot deadlock with
// FreeRegistry.
std::mutex& RegistryVariableLock() {
    static std::mutex s_mutex;
    return s_mutex;
}
TORVIReferencedPersistent* g_pRegistry = nullptr;

using rtl::TMonitorScope;

// Holds an object's monitor for a scope in which a hook may free the object: the object's monitor dies
// with it, so it is let go only while the object lives.
class TLiveMonitorScope {
public:
    explicit TLiveMonitorScope(rtl::TObject* obj) : _pin(obj) { rtl::TMonitor::Enter(obj); }
    ~TLiveMonitorScope() {
        if (rtl::TObject* obj = _pin.Get())
            rtl::TMonitor::Exit(obj);
    }
    TLiveMonitorScope(const TLiveMonitorScope&) = delete;
    TLiveMonitorScope& operator=(const TLiveMonitorScope&) = delete;

private:
    rtl::TPin<> _pin;
};

bool ListHas(const TORVIInitialisationUnits* list, const TUnit* unit) {
    return list && list->Contains(const_cast<TUnit*>(unit));
}

std::vector<TORVI_Uuid> Snapshot(TORVIPhaseList* list) {
    if (!list)
        return {};
    const TMonitorScope scope(list);
    return std::vector<TORVI_Uuid>(list->begin(), list->end());
}

} // namespace

// ---- TORVIInitialisationUnit

TUnit::TORVIInitialisationUnit(rtl::TPersistent* AOwner, PORVIInitialisationUnit APointer,
                               TORVIInitialisationUnitRegistry* ARegistry)
    : TORVIReferencedPersistent(AOwner), _ptr(APointer), _pRegistry(ARegistry) {
    if (_ptr)
        *_ptr = this;
}

void TUnit::AfterConstruction() {
    TORVIReferencedPersistent::AfterConstruction();
    _pRegPhases = rtl::Create<TORVIPhaseList>();
    _pInstPhases = rtl::Create<TORVIPhaseList>();
    if (!_pRegistry)
        _pRegistry = TRegistry::GetRegistry();
    const TMonitorScope scope(_pRegistry);
    _pRegistry->AddNotifyReference(this); // to hear when the registry goes
    _pRegistry->RegisterInitialisationUnit(this);
}

void TUnit::BeforeDestruction() {
    if (!_blLeft) {
        _blLeft = true;
        rtl::TPin<TUnit> self(this);
        // Out of the registry's lists under its lock, before anything else can reach the unit there,
        // and before its phases are undone: a unit undoing its work is no longer listed as initialised.
        if (TRegistry* registry = _pRegistry) {
            const TLiveMonitorScope scope(registry);
            registry->RemoveNotifyReference(this);
            registry->RemoveInitialisationUnit(this);
        }
        _UndoCompletedPhases();
    }
    TORVIReferencedPersistent::BeforeDestruction();
}

TUnit::~TORVIInitialisationUnit() {
    if (_ptr && *_ptr == this)
        *_ptr = nullptr;
    rtl::FreeAndNil(_pRegPhases);
    rtl::FreeAndNil(_pInstPhases);
    if (_pRegistry)
        _pRegistry->_nModuleCount.store(0, std::memory_order_relaxed);
}

void TUnit::_UndoCompletedPhases() {
    for (int i = _pInstPhases ? _pInstPhases->Count() - 1 : -1; i >= 0; --i) {
        if (i < _pInstPhases->Count())
            DestroyObjects((*_pInstPhases)[i]);
    }
    for (int i = _pRegPhases ? _pRegPhases->Count() - 1 : -1; i >= 0; --i) {
        if (i < _pRegPhases->Count())
            UnregisterClasses((*_pRegPhases)[i]);
    }
}

void TUnit::RegisterClasses(const TORVI_Uuid& uuidPhase) {
    if (!_pRegPhases || _pRegPhases->Contains(uuidPhase))
        return;
    const TORVI_Uuid phase = uuidPhase; // the caller's copy may live in a list the hook changes
    const rtl::TPin<TUnit> self(this); // the hook may free the unit
    _DoRegistration(phase);
    if (self.Freed())
        return;
    if (_pRegPhases)
        _pRegPhases->Add(phase);
}

void TUnit::UnregisterClasses(const TORVI_Uuid& uuidPhase) {
    if (!_pRegPhases || !_pRegPhases->Contains(uuidPhase))
        return;
    const TORVI_Uuid phase = uuidPhase;
    const rtl::TPin<TUnit> self(this); // the hook may free the unit
    _DoDeregistration(phase);
    if (self.Freed())
        return;
    if (_pRegPhases)
        _pRegPhases->Remove(phase);
}

void TUnit::InstantiateObjects(const TORVI_Uuid& uuidPhase) {
    if (!_pInstPhases || _pInstPhases->Contains(uuidPhase))
        return;
    const TORVI_Uuid phase = uuidPhase;
    const rtl::TPin<TUnit> self(this); // the hook may free the unit
    _DoInstantiation(phase);
    if (self.Freed())
        return;
    if (_pInstPhases)
        _pInstPhases->Add(phase);
}

void TUnit::DestroyObjects(const TORVI_Uuid& uuidPhase) {
    const TORVI_Uuid phase = uuidPhase;
    const rtl::TPin<TUnit> self(this); // the hook may free the unit
    _DoDestruction(phase);
    if (!self.Freed() && _pInstPhases)
        _pInstPhases->Remove(phase);
}

std::vector<TORVI_Uuid> TUnit::CompletedRegistrationPhases() const {
    return _pRegPhases ? std::vector<TORVI_Uuid>(_pRegPhases->begin(), _pRegPhases->end())
                       : std::vector<TORVI_Uuid>();
}

std::vector<TORVI_Uuid> TUnit::CompletedInstantiationPhases() const {
    return _pInstPhases ? std::vector<TORVI_Uuid>(_pInstPhases->begin(), _pInstPhases->end())
                        : std::vector<TORVI_Uuid>();
}

int TUnit::GetModuleCount() {
    return rtl::ModuleCount();
}

bool TUnit::IsModuleInitialisedByRTL(rtl::TModuleHandle AInstance) {
    TRegistry* registry = TRegistry::PeekRegistry();
    return registry && registry->IsModuleRecorded(AInstance);
}

void TUnit::NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op) {
    if (op == rtl::TOperation::opRemove && Other && Other == _pRegistry)
        _pRegistry = nullptr;
    TORVIReferencedPersistent::NotificationRef(Other, op);
}

// ---- TORVIInitialisationUnitRegistry: the process's registry

TRegistry* TRegistry::GetRegistry() {
    const std::lock_guard guard(RegistryVariableLock());
    if (!g_pRegistry) {
        g_pRegistry = rtl::Create<TRegistry>(nullptr);
        g_pRegistry->RegisterSilentReference(&g_pRegistry);
    }
    return static_cast<TRegistry*>(g_pRegistry);
}

TRegistry* TRegistry::PeekRegistry() {
    const std::lock_guard guard(RegistryVariableLock());
    return static_cast<TRegistry*>(g_pRegistry);
}

void TRegistry::FreeRegistry() {
    TORVIReferencedPersistent* registry = nullptr;
    {
        const std::lock_guard guard(RegistryVariableLock());
        std::swap(registry, g_pRegistry);
        if (registry)
            registry->UnregisterSilentReference(&g_pRegistry);
    }
    rtl::Free(registry);
}

bool TRegistry::GetApplicationInitialised() {
    TRegistry* registry = PeekRegistry();
    if (!registry)
        return false;
    const TMonitorScope scope(registry);
    return !registry->_pInitedModules.empty();
}

// ---- Life of a registry

void TRegistry::AfterConstruction() {
    TORVIReferencedPersistent::AfterConstruction();
    _pUnits = rtl::Create<TORVIInitialisationUnits>(nullptr, _raMemLock);
    _pUninitialisedUnits = rtl::Create<TORVIInitialisationUnits>(nullptr, _raMemLock);
    _pRegPhases = rtl::Create<TORVIPhaseList>();
    _pInstPhases = rtl::Create<TORVIPhaseList>();
}

void TRegistry::BeforeDestruction() {
    {
        // The process's variable is cleared here, not by the silent reference: readers take its mutex.
        const std::lock_guard guard(RegistryVariableLock());
        if (g_pRegistry == this) {
            g_pRegistry = nullptr;
            UnregisterSilentReference(&g_pRegistry);
        }
    }
    rtl::TPin<TRegistry> self(this);
    rtl::TMonitor::Enter(this);
    // Waiting units go first, each taken out of the list before it is freed.
    while (_pUninitialisedUnits && _pUninitialisedUnits->Count() > 0) {
        TUnit* unit = _pUninitialisedUnits->Last();
        rtl::TPin<TUnit> pin(unit);
        _pUninitialisedUnits->Delete(_pUninitialisedUnits->Count() - 1);
        if (!pin.Freeing())
            rtl::Free(unit);
    }
    rtl::FreeAndNil(_pUninitialisedUnits);
    if (_pUnits) {
        std::vector<rtl::TPin<TUnit>> units;
        for (TUnit* unit : *_pUnits)
            units.emplace_back(unit);
        for (int p = _PhaseCount(_pInstPhases) - 1; p >= 0; --p) {
            TORVI_Uuid phase;
            for (auto it = units.rbegin(); it != units.rend() && _PhaseAt(_pInstPhases, p, phase); ++it)
                if (TUnit* unit = it->Get())
                    unit->DestroyObjects(phase);
        }
        for (int p = _PhaseCount(_pRegPhases) - 1; p >= 0; --p) {
            TORVI_Uuid phase;
            for (auto it = units.rbegin(); it != units.rend() && _PhaseAt(_pRegPhases, p, phase); ++it)
                if (TUnit* unit = it->Get())
                    unit->UnregisterClasses(phase);
        }
    }
    rtl::FreeAndNil(_pUnits); // units that free themselves when unreferenced go with it
    rtl::FreeAndNil(_pRegPhases);
    rtl::FreeAndNil(_pInstPhases);
    _pInitedModules.clear();
    rtl::TMonitor::Exit(this);
    TORVIReferencedPersistent::BeforeDestruction(); // units still alive forget the registry
}

TRegistry::~TORVIInitialisationUnitRegistry() {
    rtl::FreeAndNil(_pUnits);
    rtl::FreeAndNil(_pUninitialisedUnits);
    rtl::FreeAndNil(_pRegPhases);
    rtl::FreeAndNil(_pInstPhases);
}

void TRegistry::NotificationRef(TORVIReferencedPersistent* Other, rtl::TOperation op) {
    TORVIReferencedPersistent::NotificationRef(Other, op);
}

// ---- Phases

bool TRegistry::_PhaseAt(TORVIPhaseList* list, int i, TORVI_Uuid& uuid) {
    if (!list)
        return false;
    const TMonitorScope scope(list);
    if (i < 0 || i >= list->Count())
        return false;
    uuid = (*list)[i];
    return true;
}

int TRegistry::_PhaseCount(TORVIPhaseList* list) {
    if (!list)
        return 0;
    const TMonitorScope scope(list);
    return list->Count();
}

namespace {

void RegisterPhase(TORVIPhaseList* list, const TORVI_Uuid& uuid) {
    if (!list)
        return;
    const TMonitorScope scope(list);
    if (!list->Contains(uuid))
        list->Add(uuid);
}

void InsertPhase(TORVIPhaseList* list, const TORVI_Uuid& uuid, const TORVI_Uuid& uuidBeforePhase) {
    if (!list)
        return;
    const TMonitorScope scope(list);
    const int i = list->IndexOf(uuidBeforePhase);
    if (i >= 0) {
        list->Insert(i, uuid);
    } else {
        list->Add(uuid);
        list->Add(uuidBeforePhase);
    }
}

void UnregisterPhase(TORVIPhaseList* list, const TORVI_Uuid& uuid) {
    if (!list)
        return;
    const TMonitorScope scope(list);
    list->Remove(uuid);
}

} // namespace

void TRegistry::RegisterRegistrationPhase(const TORVI_Uuid& uuid) {
    RegisterPhase(_pRegPhases, uuid);
}

void TRegistry::RegisterRegistrationPhases(const std::vector<TORVI_Uuid>& aUuids) {
    for (const TORVI_Uuid& uuid : aUuids)
        RegisterRegistrationPhase(uuid);
}

void TRegistry::InsertRegistrationPhase(const TORVI_Uuid& uuid, const TORVI_Uuid& uuidBeforePhase) {
    InsertPhase(_pRegPhases, uuid, uuidBeforePhase);
}

void TRegistry::UnregisterRegistrationPhase(const TORVI_Uuid& uuid) {
    UnregisterPhase(_pRegPhases, uuid);
}

void TRegistry::UnregisterRegistrationPhases(const std::vector<TORVI_Uuid>& aUuids) {
    for (const TORVI_Uuid& uuid : aUuids)
        UnregisterRegistrationPhase(uuid);
}

void TRegistry::RegisterInstantiationPhase(const TORVI_Uuid& uuid) {
    RegisterPhase(_pInstPhases, uuid);
}

void TRegistry::RegisterInstantiationPhases(const std::vector<TORVI_Uuid>& aUuids) {
    for (const TORVI_Uuid& uuid : aUuids)
        RegisterInstantiationPhase(uuid);
}

void TRegistry::InsertInstantiationPhase(const TORVI_Uuid& uuid, const TORVI_Uuid& uuidBeforePhase) {
    InsertPhase(_pInstPhases, uuid, uuidBeforePhase);
}

void TRegistry::UnregisterInstantiationPhase(const TORVI_Uuid& uuid) {
    UnregisterPhase(_pInstPhases, uuid);
}

void TRegistry::UnregisterInstantiationPhases(const std::vector<TORVI_Uuid>& aUuids) {
    for (const TORVI_Uuid& uuid : aUuids)
        UnregisterInstantiationPhase(uuid);
}

std::vector<TORVI_Uuid> TRegistry::_GetClassPhases() {
    return Snapshot(_pRegPhases);
}

std::vector<TORVI_Uuid> TRegistry::_GetInstantiationPhases() {
    return Snapshot(_pInstPhases);
}

// ---- Units

void TRegistry::RegisterInitialisationUnit(TUnit* pUnit) {
    const TMonitorScope scope(this);
    if (!pUnit || pUnit->_Freeing() || !_pUninitialisedUnits || ListHas(_pUnits, pUnit) ||
        ListHas(_pUninitialisedUnits, pUnit))
        return;
    _pUninitialisedUnits->Add(pUnit);
}

void TRegistry::RemoveInitialisationUnit(TUnit* pUnit) {
    const TLiveMonitorScope scope(this);
    if (!pUnit)
        return;
    // A unit is in one list at most; a unit on its way out leaves here too, under this lock, rather
    // than later through its own list's removal handler, which only the list's lock guards.
    if (ListHas(_pUninitialisedUnits, pUnit))
        _pUninitialisedUnits->Remove(pUnit);
    else if (ListHas(_pUnits, pUnit))
        _pUnits->Remove(pUnit);
}

bool TRegistry::IsWaiting(const TUnit* pUnit) {
    const TMonitorScope scope(this);
    return ListHas(_pUninitialisedUnits, pUnit);
}

bool TRegistry::IsInitialised(const TUnit* pUnit) {
    const TMonitorScope scope(this);
    return ListHas(_pUnits, pUnit);
}

// ---- Runs

void TRegistry::RunInitialisationsForList(TORVIInitialisationUnits* pList) {
    if (!pList)
        return;
    // A hook may free the registry (and its lists) or pList: the run then stops where it is.
    rtl::TPin<TRegistry> self(this);
    rtl::TPin<TORVIInitialisationUnits> list(pList);
    const auto stopped = [&] { return self.Freeing() || list.Freeing(); };
    const TLiveMonitorScope scope(this);
    // The units taking part are fixed at the start: a unit registered by a hook during this run has
    // done none of the earlier phases, so it waits for the next run.
    std::vector<rtl::TPin<TUnit>> units;
    for (TUnit* unit : *pList)
        if (ListHas(_pUninitialisedUnits, unit))
            units.emplace_back(unit);
    const auto each = [&](auto step) {
        for (rtl::TPin<TUnit>& pin : units)
            if (!stopped() && !pin.Freeing())
                step(pin.Get());
    };
    TORVI_Uuid phase;
    for (int p = 0; !stopped() && _PhaseAt(_pRegPhases, p, phase); ++p)
        each([&](TUnit* unit) { unit->RegisterClasses(phase); });
    each([](TUnit* unit) { unit->RegistrationsComplete(); });
    for (int p = 0; !stopped() && _PhaseAt(_pInstPhases, p, phase); ++p)
        each([&](TUnit* unit) { unit->InstantiateObjects(phase); });
    if (stopped())
        return;
    const std::vector<TUnit*> order(pList->begin(), pList->end());
    for (TUnit* candidate : order) {
        const auto it = std::find_if(units.begin(), units.end(),
                                     [&](const rtl::TPin<TUnit>& pin) { return pin.Address() == candidate; });
        if (stopped())
            return;
        if (it == units.end() || it->Freeing())
            continue;
        candidate->InstantiationComplete();
        if (stopped())
            return;
        if (it->Freeing() || !_pUnits || !_pUninitialisedUnits)
            continue;
        _pUnits->Add(candidate); // locked here before the waiting list lets go
        _pUninitialisedUnits->Remove(candidate);
    }
}

void TRegistry::RunInitialisations() {
    rtl::TPin<TRegistry> self(this);
    const TLiveMonitorScope scope(this);
    RunInitialisationsForList(_pUninitialisedUnits);
    if (!self.Freeing())
        _RecordModules();
}

void TRegistry::_RecordModules() {
    const std::vector<rtl::TModuleHandle> loaded = rtl::EnumModules();
    for (rtl::TModuleHandle module : loaded)
        if (std::find(_pInitedModules.begin(), _pInitedModules.end(), module) == _pInitedModules.end())
            _pInitedModules.push_back(module);
    std::erase_if(_pInitedModules, [&](rtl::TModuleHandle module) {
        return std::find(loaded.begin(), loaded.end(), module) == loaded.end();
    });
    _nModuleCount.store(static_cast<std::int32_t>(loaded.size()), std::memory_order_relaxed);
}

void TRegistry::RunUninitialisationsForList(TORVIInitialisationUnits* pList) {
    if (!pList)
        return;
    rtl::TPin<TRegistry> self(this);
    rtl::TPin<TORVIInitialisationUnits> list(pList);
    const auto stopped = [&] { return self.Freeing() || list.Freeing(); };
    const TLiveMonitorScope scope(this);
    std::vector<rtl::TPin<TUnit>> units;
    for (TUnit* unit : *pList)
        units.emplace_back(unit);
    const auto eachBackwards = [&](auto step) {
        for (auto it = units.rbegin(); it != units.rend(); ++it)
            if (!stopped() && !it->Freeing() && ListHas(_pUnits, it->Get()))
                step(it->Get());
    };
    TORVI_Uuid phase;
    for (int p = _PhaseCount(_pInstPhases) - 1; p >= 0 && !stopped(); --p)
        if (_PhaseAt(_pInstPhases, p, phase))
            eachBackwards([&](TUnit* unit) { unit->DestroyObjects(phase); });
    for (int p = _PhaseCount(_pRegPhases) - 1; p >= 0 && !stopped(); --p)
        if (_PhaseAt(_pRegPhases, p, phase))
            eachBackwards([&](TUnit* unit) { unit->UnregisterClasses(phase); });
    for (auto it = units.rbegin(); it != units.rend() && !self.Freeing(); ++it)
        if (!it->Freeing() && _pUnits)
            _pUnits->Remove(it->Get()); // may let the unit free itself
}

void TRegistry::RunUninitialisations() {
    rtl::TPin<TRegistry> self(this);
    const TLiveMonitorScope scope(this);
    RunUninitialisationsForList(_pUnits);
    if (self.Freeing())
        return;
    _pInitedModules.clear();
    _nModuleCount.store(0, std::memory_order_relaxed);
}

// ---- Modules

bool TRegistry::_GetDynamicLoadDetected() {
    return rtl::ModuleCount() != _nModuleCount.load(std::memory_order_relaxed);
}

bool TRegistry::_GetInitialisationNeeded() {
    const TMonitorScope scope(this);
    if (_pUninitialisedUnits && _pUninitialisedUnits->Count() > 0)
        return true;
    return rtl::ModuleCount() > static_cast<int>(_pInitedModules.size());
}

bool TRegistry::IsModuleRecorded(rtl::TModuleHandle AInstance) {
    const TMonitorScope scope(this);
    return std::find(_pInitedModules.begin(), _pInitedModules.end(), AInstance) != _pInitedModules.end();
}

// ---- On the process's registry

void ORVIRegisterInitialisationUnit(TUnit* pUnit) {
    TRegistry::GetRegistry()->RegisterInitialisationUnit(pUnit);
}
void ORVIRemoveInitialisationUnit(TUnit* pUnit) {
    TRegistry::GetRegistry()->RemoveInitialisationUnit(pUnit);
}
void ORVIRegisterRegistrationPhase(const TORVI_Uuid& uuid) {
    TRegistry::GetRegistry()->RegisterRegistrationPhase(uuid);
}
void ORVIRegisterRegistrationPhases(const std::vector<TORVI_Uuid>& aUuids) {
    TRegistry::GetRegistry()->RegisterRegistrationPhases(aUuids);
}
void ORVIUnregisterRegistrationPhase(const TORVI_Uuid& uuid) {
    TRegistry::GetRegistry()->UnregisterRegistrationPhase(uuid);
}
void ORVIUnregisterRegistrationPhases(const std::vector<TORVI_Uuid>& aUuids) {
    TRegistry::GetRegistry()->UnregisterRegistrationPhases(aUuids);
}
void ORVIRegisterInstantiationPhase(const TORVI_Uuid& uuid) {
    TRegistry::GetRegistry()->RegisterInstantiationPhase(uuid);
}
void ORVIRegisterInstantiationPhases(const std::vector<TORVI_Uuid>& aUuids) {
    TRegistry::GetRegistry()->RegisterInstantiationPhases(aUuids);
}
void ORVIUnregisterInstantiationPhase(const TORVI_Uuid& uuid) {
    TRegistry::GetRegistry()->UnregisterInstantiationPhase(uuid);
}
void ORVIUnregisterInstantiationPhases(const std::vector<TORVI_Uuid>& aUuids) {
    TRegistry::GetRegistry()->UnregisterInstantiationPhases(aUuids);
}

// ---- The start-up hook

namespace {

rtl::TInitProc g_fnSavedInitProc = nullptr;

void InstallStartUpHook() {
    g_fnSavedInitProc = rtl::InstallInitProc(ORVIInitialiseRegisteredUnits);
    TRegistry::GetRegistry();
}

void RemoveStartUpHook() {
    rtl::UninstallInitProc(ORVIInitialiseRegisteredUnits, g_fnSavedInitProc);
    TRegistry::FreeRegistry();
}

int g_nLoadCount = 0;
// The library is shared by every module of the process, so its registry is the process's; the hook
// is installed when the library loads and taken out when it unloads.
TORVILoadCounter g_loadCounter(g_nLoadCount, InstallStartUpHook, RemoveStartUpHook);

} // namespace

void ORVIInitialiseRegisteredUnits() {
    if (g_fnSavedInitProc)
        g_fnSavedInitProc();
    if (TRegistry* registry = TRegistry::PeekRegistry())
        registry->RunInitialisations();
}

} // namespace orvi
