#include "platform/rtl/rtl_component.h"

#include <algorithm>

#include "platform/rtl/rtl_lists.h"

namespace pw {

TComponent::TComponent(TComponent* owner) {
  if (!owner) return;
  owner_ = owner;
  owner->components_.push_back(this);
  owner->Notification(this, opInsert);
}

TComponent::~TComponent() {
  // 1. Everybody linked by FreeNotification hears of it; each link is dropped first, so a
  //    receiver that drops it again (or links or unlinks others) is harmless.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    other->DropLink(this);
    other->Notification(this, opRemove);
  }
  // 2. The owned components, the last one first.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    components_.pop_back();
    child->owner_ = nullptr;
    delete child;
  }
  // 3. The owner lets go of this one and tells itself and its components.
  if (TComponent* owner = owner_) {
    owner_ = nullptr;
    std::erase(owner->components_, this);
    owner->Notification(this, opRemove);
  }
}

TComponent* TComponent::Components(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= components_.size()) throw EListError(ListIndexErrorMessage(index));
  return components_[static_cast<std::size_t>(index)];
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (owner_ && component->owner_ == owner_) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) != freeNotifies_.end()) return;
  freeNotifies_.push_back(component);
  component->FreeNotification(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  DropLink(component);
  component->DropLink(this);
}

void TComponent::DropLink(TComponent* component) { std::erase(freeNotifies_, component); }

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component) RemoveFreeNotification(component);
  // An owned component may go away while it is told; walk down and re-clamp the index.
  for (std::size_t i = components_.size(); i-- > 0;) {
    if (i >= components_.size()) {
      if (components_.empty()) break;
      i = components_.size() - 1;
    }
    components_[i]->Notification(component, operation);
  }
}

}  // namespace pw
