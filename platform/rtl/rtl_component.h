// TComponent: the runtime's owned component with free notifications, as small as the module
// needs it.
//
// A component made with an owner is inserted in the owner's list of components (the owner is
// notified with opInsert) and is destroyed by the owner's destructor, the last one first. A
// component that is destroyed:
//   1. tells every component linked to it by FreeNotification (opRemove),
//   2. destroys the components it owns,
//   3. leaves its owner, which tells itself and all its owned components (opRemove).
// FreeNotification links two components both ways: whichever is destroyed first tells the
// other. The receiver of an opRemove notice gets the pointer of a component in destruction: it
// may compare it and forget it, nothing more.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/rtl/rtl.h"

namespace pw {

enum class TOperation { opInsert, opRemove };
inline constexpr TOperation opInsert = TOperation::opInsert;
inline constexpr TOperation opRemove = TOperation::opRemove;

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  std::int32_t ComponentCount() const { return static_cast<std::int32_t>(components_.size()); }
  // Raises EListError for an index outside 0 .. ComponentCount - 1.
  TComponent* Components(std::int32_t index) const;

  // Asks `component` to tell this one (Notification with opRemove) when it is destroyed, and
  // the other way round. Components of the same owner need no link: the owner tells them.
  void FreeNotification(TComponent* component);
  // Drops the link in both directions.
  void RemoveFreeNotification(TComponent* component);

 protected:
  // Receives the insertion and removal of components. This class forgets a removed component's
  // free-notification link and passes the notice on to every owned component.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void DropLink(TComponent* component);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
};

}  // namespace pw
