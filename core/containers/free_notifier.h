// TcvFreeNotifier: a component that reports when the components it watches are destroyed.
#pragma once

#include <functional>

#include "platform/rtl/rtl_component.h"

namespace pw {

class TcvFreeNotifier : public TComponent {
 public:
  explicit TcvFreeNotifier(TComponent* owner = nullptr) : TComponent(owner) {}

  // Called with every watched component that is being destroyed (and with every other
  // component that this one hears being removed: its own owned components, its siblings).
  std::function<void(TComponent* component)> OnComponentFreed;

  // Starts and stops watching a component; nil is ignored.
  void AddComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

 protected:
  void Notification(TComponent* component, TOperation operation) override;
};

}  // namespace pw
