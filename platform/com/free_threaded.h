// An object that aggregates the free-threaded marshaler (platform/com/marshal.h): marshaling
// hands every apartment the object itself.
#pragma once

#include <utility>

#include "platform/com/comptr.h"
#include "platform/com/marshal.h"

namespace pw {

// A COM object (Base: a ComObject class) that aggregates the free-threaded marshaler: it answers
// IMarshal with it, so every apartment gets the object itself.
template <class Base>
class FreeThreaded : public Base {
 public:
  template <class... Args>
  explicit FreeThreaded(Args&&... args) : Base(std::forward<Args>(args)...) {
    CoCreateFreeThreadedMarshaler(this->Identity(), marshaler_.Put());
  }

 protected:
  void* GetInterface(const IID& riid) noexcept override {
    if (riid == IMarshal::iid && marshaler_) {
      void* p = nullptr;
      marshaler_->QueryInterface(riid, &p);
      if (p) static_cast<IUnknown*>(p)->Release();  // QueryInterface takes the caller's reference
      return p;
    }
    return Base::GetInterface(riid);
  }

 private:
  ComPtr<IUnknown> marshaler_;
};

}  // namespace pw
