// A small interface with its proxy, for the apartment tests: it tells on which thread it runs
// and can call back another object.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/com/apartment.h"
#include "platform/com/comobject.h"
#include "platform/kernel/kernel.h"
#include "platform/com/marshal.h"

namespace pw::test {

struct ICalls : IUnknown {
  static constexpr IID iid = MakeGuid("{6B0C4A8E-2F31-4D7B-9E0A-51C7D3B2A914}");
  using Inherited = IUnknown;
  // The id of the thread the call runs on.
  virtual HRESULT ThreadId(DWORD* id) = 0;
  // Calls other->ThreadId and answers that id.
  virtual HRESULT CallBack(ICalls* other, DWORD* id) = 0;
  // Answers `result` as it is.
  virtual HRESULT Answer(HRESULT result) = 0;
};

class CallsProxy final : public InterfaceProxy<ICalls> {
 public:
  using InterfaceProxy::InterfaceProxy;
  HRESULT ThreadId(DWORD* id) override {
    return Call(3, [&](ICalls* target) { return target->ThreadId(id); });
  }
  HRESULT CallBack(ICalls* other, DWORD* id) override {
    MarshalPacket packet;
    if (other) {
      HRESULT hr = CoMarshalInterface(other, ICalls::iid, &packet);
      if (Failed(hr)) return hr;
    }
    HRESULT hr = Call(4, [&](ICalls* target) {
      ComPtr<ICalls> there;
      if (packet.valid()) {
        HRESULT r = CoUnmarshalInterface(packet, ICalls::iid, there.PutVoid());
        if (Failed(r)) return r;
      }
      return target->CallBack(there.Get(), id);
    });
    CoReleaseMarshalPacket(packet);
    return hr;
  }
  HRESULT Answer(HRESULT result) override {
    return Call(5, [&](ICalls* target) { return target->Answer(result); });
  }
};

inline void RegisterCallsProxy() { RegisterProxyFactory(ICalls::iid, &MakeInterfaceProxy<CallsProxy>); }

class TCalls : public Implements<ComObject, ICalls> {
 public:
  explicit TCalls(std::atomic<int>* destroyedOn = nullptr) : destroyedOn_(destroyedOn) {}
  ~TCalls() override {
    if (destroyedOn_) destroyedOn_->store(static_cast<int>(GetCurrentThreadId()));
  }
  HRESULT ThreadId(DWORD* id) override {
    calls.fetch_add(1);
    *id = GetCurrentThreadId();
    return S_OK;
  }
  HRESULT CallBack(ICalls* other, DWORD* id) override {
    if (!other) return E_POINTER;
    return other->ThreadId(id);
  }
  HRESULT Answer(HRESULT result) override { return result; }
  std::atomic<int> calls{0};

 private:
  std::atomic<int>* destroyedOn_;
};

// The same, apartment-agile by the free-threaded marshaler.
class TAgileCalls : public TCalls {
 public:
  TAgileCalls() { CoCreateFreeThreadedMarshaler(Identity(), ftm_.Put()); }

 protected:
  void* GetInterface(const IID& riid) noexcept override {
    if (riid == IMarshal::iid && ftm_) {
      void* p = nullptr;
      ftm_->QueryInterface(riid, &p);
      if (p) static_cast<IUnknown*>(p)->Release();  // the caller's AddRef follows
      return p;
    }
    return TCalls::GetInterface(riid);
  }

 private:
  ComPtr<IUnknown> ftm_;
};

// A callee whose CallBack signals `entered` and holds the call until `proceed` is set, so that
// a test can act while a call (and the caller's wait) is in progress.
class TBlockingCallBack : public TCalls {
 public:
  HRESULT CallBack(ICalls* other, DWORD* id) override {
    entered.Set();
    WaitForSingleObject(proceed, INFINITE);
    return other->ThreadId(id);
  }
  Event entered{true, false}, proceed{true, false};
};

// Drops the reference on the object's own single-threaded apartment thread.
template <class T>
HRESULT ReleaseOn(StaThread& thread, ComPtr<T>& object) {
  return thread.Run([&] {
    object = nullptr;
    return S_OK;
  });
}

// Joins the calling thread to an apartment for the life of a scope.
class ScopedApartment {
 public:
  explicit ScopedApartment(DWORD coinit) { hr_ = CoInitializeEx(nullptr, coinit); }
  ~ScopedApartment() {
    if (Succeeded(hr_)) CoUninitialize();
  }
  ScopedApartment(const ScopedApartment&) = delete;
  ScopedApartment& operator=(const ScopedApartment&) = delete;

 private:
  HRESULT hr_;
};

// Waits in real time, without reading the clock, for another thread to signal that its wait
// has ended. One that does not end within seconds is a deadlock: it is reported and the process
// ends, since the blocked threads can be neither joined nor left behind.
inline void ExpectEndsSoon(Event& ended, const char* what) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!ended.IsSet()) {
    if (std::chrono::steady_clock::now() > until) {
      ADD_FAILURE() << what << " does not end: a deadlock";
      std::fflush(stdout);
      std::_Exit(1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace pw::test
