#include "core/containers/free_notifier.h"

namespace pw {

void TcvFreeNotifier::AddComponent(TComponent* component) {
  if (component) component->FreeNotification(this);
}

void TcvFreeNotifier::RemoveComponent(TComponent* component) {
  if (component) component->RemoveFreeNotification(this);
}

void TcvFreeNotifier::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && OnComponentFreed) OnComponentFreed(component);
}

}  // namespace pw
