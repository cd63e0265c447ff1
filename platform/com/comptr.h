// ComPtr: a counted reference to an interface (or to a class that implements IUnknown).
#pragma once

#include <cstddef>
#include <utility>

#include "platform/com/unknown.h"

namespace pw {

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
    requires std::is_convertible_v<U*, T*>
  ComPtr(const ComPtr<U>& o) noexcept : ComPtr(static_cast<T*>(o.Get())) {}
  template <class U>
    requires std::is_convertible_v<U*, T*>
  ComPtr(ComPtr<U>&& o) noexcept : p_(o.Detach()) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& o) noexcept {
    ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) noexcept {
    ComPtr(p).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  // Takes over a reference that the caller already owns.
  static ComPtr Attach(T* p) noexcept {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  void Reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // For out parameters: releases what is held and gives the slot to fill.
  T** Put() noexcept {
    Reset();
    return &p_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  // QueryInterface; an empty pointer when the interface is not supported.
  template <Interface U>
  ComPtr<U> As() const noexcept {
    ComPtr<U> r;
    if (p_) p_->QueryInterface(U::iid, r.PutVoid());
    return r;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// QueryInterface of an arbitrary pointer into a ComPtr; empty when not supported or p is nil.
template <Interface U, class T>
ComPtr<U> QueryAs(T* p) noexcept {
  ComPtr<U> r;
  if (p) p->QueryInterface(U::iid, r.PutVoid());
  return r;
}

// The identity of an object: its IUnknown as QueryInterface answers it, without a reference.
template <class T>
IUnknown* IdentityOf(T* p) noexcept {
  if (!p) return nullptr;
  IUnknown* unk = nullptr;
  if (Failed(p->QueryInterface(IUnknown::iid, reinterpret_cast<void**>(&unk))) || !unk) return nullptr;
  unk->Release();
  return unk;
}

}  // namespace pw
