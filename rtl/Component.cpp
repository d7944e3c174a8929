#include "rtl/Component.h"

#include <algorithm>

namespace rtl {

namespace {

void Erase(std::vector<TComponent*>& list, TComponent* item) {
    const auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end())
        list.erase(it);
}

} // namespace

void TComponent::AfterConstruction() {
    TPersistent::AfterConstruction();
    if (_pPendingOwner)
        _pPendingOwner->InsertComponent(this);
}

void TComponent::BeforeDestruction() {
    _state |= csDestroying;
    RemoveFreeNotifications();
    // The last first, as they were made; each one leaves this owner as it goes.
    while (!_components.empty()) {
        TComponent* child = _components.back();
        child->_pOwner = nullptr;
        _components.pop_back();
        Free(child);
    }
    if (_pOwner)
        _pOwner->RemoveComponent(this);
    TPersistent::BeforeDestruction();
}

TComponent::~TComponent() {
    // Made on the stack or deleted without Free: still leave nobody pointing here.
    for (TComponent* partner : _freeNotifies)
        Erase(partner->_freeNotifies, this);
    if (_pOwner)
        Erase(_pOwner->_components, this);
}

void TComponent::InsertComponent(TComponent* component) {
    if (!component || component == this || component->_pOwner == this)
        return;
    if (component->_pOwner)
        component->_pOwner->RemoveComponent(component);
    _components.push_back(component);
    component->_pOwner = this;
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    if (!component || component->_pOwner != this)
        return;
    Notification(component, TOperation::opRemove);
    Erase(_components, component);
    component->_pOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this)
        return;
    if (std::find(_freeNotifies.begin(), _freeNotifies.end(), component) == _freeNotifies.end())
        _freeNotifies.push_back(component);
    if (std::find(component->_freeNotifies.begin(), component->_freeNotifies.end(), this) ==
        component->_freeNotifies.end())
        component->_freeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component)
        return;
    Unlink(component);
}

void TComponent::Unlink(TComponent* component) {
    Erase(_freeNotifies, component);
    Erase(component->_freeNotifies, this);
}

void TComponent::RemoveFreeNotifications() {
    TPin<TComponent> self(this);
    while (!self.Freed() && !_freeNotifies.empty()) {
        TComponent* partner = _freeNotifies.back();
        Unlink(partner);
        partner->Notification(this, TOperation::opRemove);
    }
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component)
        RemoveFreeNotification(component);
    TPin<TComponent> self(this);
    for (int i = ComponentCount() - 1; i >= 0 && !self.Freed(); --i) {
        if (i < ComponentCount())
            _components[static_cast<std::size_t>(i)]->Notification(component, operation);
    }
}

} // namespace rtl
