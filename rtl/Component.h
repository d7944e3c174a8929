#pragma once
// The component base: an owner that frees what it owns, two-way free notification and state flags.
#include "Persistent.h"
#include "RtlApi.h"

#include <cstdint>
#include <vector>

namespace rtl {

enum class TOperation { opInsert, opRemove };

/// Component state flags, combined in a TComponentState.
enum TComponentStateFlag : std::uint32_t { csLoading = 1, csDestroying = 2, csDesigning = 4 };
using TComponentState = std::uint32_t;

/// A persistent object with an owner. The owner frees its components when it is freed and tells
/// them (Notification) of every component inserted into or removed from it. FreeNotification links
/// two components both ways: whichever goes first tells the other with Notification(opRemove).
/// Make components with rtl::Create and free them with rtl::Free: joining the owner runs in
/// AfterConstruction and leaving it in BeforeDestruction, where overrides of Notification are live.
class RTL_API TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner = nullptr) : _pPendingOwner(owner) {}
    void AfterConstruction() override;
    void BeforeDestruction() override;

    TComponent* Owner() const noexcept { return _pOwner; }
    int ComponentCount() const noexcept { return static_cast<int>(_components.size()); }
    TComponent* Components(int index) const { return _components.at(static_cast<std::size_t>(index)); }
    /// Makes this component the owner of component (taking it from its previous owner).
    void InsertComponent(TComponent* component);
    /// Gives up ownership of component; it stays alive.
    void RemoveComponent(TComponent* component);

    /// Asks to be told (Notification opRemove) when component is freed, and tells it the same of
    /// this one. Null and this component are ignored.
    void FreeNotification(TComponent* component);
    /// Undoes FreeNotification both ways.
    void RemoveFreeNotification(TComponent* component);
    /// Tells every linked component that this one goes, and unlinks them all.
    void RemoveFreeNotifications();
    /// The components linked with this one by free notification.
    const std::vector<TComponent*>& FreeNotifies() const noexcept { return _freeNotifies; }

    TComponentState ComponentState() const noexcept { return _state; }
    void SetLoading(bool value) { Set(csLoading, value); }
    void SetDesigning(bool value) { Set(csDesigning, value); }

protected:
    ~TComponent() override;
    TPersistent* GetOwner() override { return _pOwner; }
    /// component was inserted into or removed from the owner, or a free-notification partner goes.
    /// The base unlinks a departing partner and passes the news to the owned components.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    void Set(TComponentStateFlag flag, bool value) { _state = value ? (_state | flag) : (_state & ~flag); }
    void Unlink(TComponent* component);

    TComponent* _pPendingOwner;
    TComponent* _pOwner = nullptr;
    std::vector<TComponent*> _components;
    std::vector<TComponent*> _freeNotifies;
    TComponentState _state = 0;
};

} // namespace rtl
