// The root of every object the module hands out through interfaces, and the helpers that give a
// class its interface table.
//
//   class TFoo : public Implements<ComObject, IFoo, IBar> { ... };
//   ComPtr<TFoo> foo = MakeObject<TFoo>(args...);
//
// `Implements` adds the listed interfaces to the class's table and routes their IUnknown
// methods to the one implementation of the root; a query first looks at the most derived
// class's interfaces, then at its bases'. The object's identity is the root's IUnknown.
#pragma once

#include <atomic>
#include <exception>
#include <utility>

#include "platform/com/comptr.h"
#include "platform/rtl/rtl.h"
#include "platform/com/unknown.h"

namespace pw {

class ComObject : public TObject, public IUnknown {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // The canonical IUnknown of the object.
  IUnknown* Identity() noexcept { return static_cast<IUnknown*>(static_cast<ComObject*>(this)); }
  LONG RefCount() const noexcept { return refCount_.load(); }
  // Takes a reference only while the object is alive (count above 0): the way to turn an
  // uncounted link into a reference when the object may be on its way out. The caller must
  // know that the memory is still there (for example, because the object's destructor clears
  // the link under a lock the caller holds).
  bool TryAddRef() noexcept {
    LONG n = refCount_.load();
    while (n > 0)
      if (refCount_.compare_exchange_weak(n, n + 1)) return true;
    return false;
  }

  // Runs f and converts any exception into a failure code with error information: the
  // boundary of every method that the host or scripts call.
  template <class F>
  HRESULT SafeCall(F&& f) noexcept {
    try {
      std::forward<F>(f)();
      return S_OK;
    } catch (...) {
      return SafeCallException(std::current_exception());
    }
  }

  // Called once the constructors of the most derived class have run (MakeObject does it).
  void AfterConstruction() noexcept {
    Constructed();
    refCount_.fetch_sub(1);
  }

 protected:
  // The count is 1 while the constructors run, so an object may take and drop references to
  // itself during construction without being destroyed; after construction it is 0 until the
  // first reference is taken.
  ComObject() noexcept : refCount_(1) {}
  ~ComObject() override = default;

  // Runs once the constructors of the most derived class have run, before the first reference
  // is handed out: the place to start what may call the object's virtual methods from other
  // threads. An override calls its base's.
  virtual void Constructed() noexcept {}

  // The pointer for riid, without a reference, or nil. Implements<> overrides it.
  virtual void* GetInterface(const IID& riid) noexcept;
  // Asked when the object has no interface riid: an object that stands in for another may hand
  // out the other's interface (with a reference). E_NOINTERFACE by default.
  virtual HRESULT QueryMissingInterface(const IID&, void**) noexcept { return E_NOINTERFACE; }
  // Turns an exception into a failure code and sets the thread's error information.
  virtual HRESULT SafeCallException(std::exception_ptr e) noexcept;

  template <class, class...>
  friend class Implements;

 private:
  std::atomic<LONG> refCount_;
};

template <class Base, class... Intfs>
class Implements : public Base, public Intfs... {
 public:
  using Base::Base;

  HRESULT QueryInterface(const IID& riid, void** ppv) override { return ComObject::QueryInterface(riid, ppv); }
  ULONG AddRef() override { return ComObject::AddRef(); }
  ULONG Release() override { return ComObject::Release(); }

 protected:
  void* GetInterface(const IID& riid) noexcept override {
    void* p = nullptr;
    ((p == nullptr && InterfaceMatches<Intfs>(riid) ? void(p = static_cast<Intfs*>(this)) : void()), ...);
    return p ? p : Base::GetInterface(riid);
  }
};

// Creates an object and takes the first reference to it.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  T* obj = new T(std::forward<Args>(args)...);
  obj->AfterConstruction();
  return ComPtr<T>(obj);
}

}  // namespace pw
