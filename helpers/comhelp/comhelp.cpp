// cvComHelp: apartments that the module may borrow: the global interface table, one shared
// single-threaded apartment thread ("STA1"), a multithreaded apartment thread, and further
// single-threaded apartment threads on demand. Each thread object runs a procedure on its own
// thread; thread objects are apartment-agile.
#include <deque>
#include <mutex>

#include "helpers/common/helper_module.h"
#include "platform/com/apartment.h"
#include "platform/kernel/thread.h"

namespace pw::helpers {

namespace {

// Runs a procedure for a thread object: one that raises answers E_UNEXPECTED, and the thread
// goes on.
HRESULT RunProc(InvokerProc proc, void* param) {
  try {
    proc(param);
    return S_OK;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// A single-threaded apartment thread.
class TStaThread : public Implements<ComObject, IcvSTA1> {
 public:
  HRESULT Invoke(InvokerProc proc, void* param) override {
    if (!proc) return E_POINTER;
    return thread_.Run([&] { return RunProc(proc, param); });
  }

 private:
  StaThread thread_;
};

// A thread in the multithreaded apartment that runs what it is given, one after the other.
class TMtaThread : public Implements<ComObject, IcvMTA> {
 public:
  TMtaThread()
      : thread_([this] {
          CoInitializeEx(nullptr, COINIT_MULTITHREADED);
          Serve();
          CoUninitialize();
        }) {}
  ~TMtaThread() override {
    {
      std::lock_guard g(lock_);
      quit_ = true;
    }
    work_.Set();
    thread_.Join();
  }

  HRESULT Invoke(InvokerProc proc, void* param) override {
    if (!proc) return E_POINTER;
    if (GetCurrentThreadId() == thread_.ThreadId()) return RunProc(proc, param);
    Event done(true, false);
    HRESULT result = S_OK;
    {
      std::lock_guard g(lock_);
      if (quit_) return RPC_E_DISCONNECTED;
      queue_.push_back([&] {
        result = RunProc(proc, param);
        done.Set();
      });
    }
    work_.Set();
    WaitableObject* handles[] = {&done};
    DWORD index = 0;
    while (CoWaitForMultipleHandles(0, INFINITE, 1, handles, &index) != S_OK) {
    }
    return result;
  }

 private:
  void Serve() {
    for (;;) {
      WaitForSingleObject(work_, INFINITE);
      for (;;) {
        std::function<void()> next;
        {
          std::lock_guard g(lock_);
          if (queue_.empty()) {
            if (quit_) return;
            break;
          }
          next = std::move(queue_.front());
          queue_.pop_front();
        }
        next();
      }
    }
  }

  std::mutex lock_;
  std::deque<std::function<void()>> queue_;
  bool quit_ = false;
  Event work_{false, false};
  KernelThread thread_;
};

class TComHelpModule : public HelperModule<Implements<ComObject, IcvModuleIntf, IcvComHelpModule>> {
 public:
  TComHelpModule() : HelperModule(u"cvComHelp") {}

  HRESULT GetGlobalInterfaceTable(IUnknown** table) override {
    return CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid,
                            reinterpret_cast<void**>(table));
  }
  HRESULT GetSTA1(IUnknown** thread) override {
    return Shared(sta1_, thread, [] { return ComPtr<IUnknown>(MakeObject<FreeThreaded<TStaThread>>()->Identity()); });
  }
  HRESULT GetMTA(IUnknown** thread) override {
    return Shared(mta_, thread, [] { return ComPtr<IUnknown>(MakeObject<FreeThreaded<TMtaThread>>()->Identity()); });
  }
  HRESULT CreateSTA(IUnknown** thread) override {
    if (!thread) return E_POINTER;
    *thread = ComPtr<IUnknown>(MakeObject<FreeThreaded<TStaThread>>()->Identity()).Detach();
    return S_OK;
  }

 private:
  template <class Make>
  HRESULT Shared(ComPtr<IUnknown>& slot, IUnknown** out, Make make) {
    if (!out) return E_POINTER;
    std::lock_guard g(lock_);
    if (!slot) slot = make();
    *out = ComPtr<IUnknown>(slot).Detach();
    return S_OK;
  }

  std::mutex lock_;
  ComPtr<IUnknown> sta1_, mta_;
};

}  // namespace

}  // namespace pw::helpers

PW_HELPER_EXPORT pw::HRESULT GetModuleIntf(pw::IUnknown** intf) {
  if (!intf) return pw::E_POINTER;
  *intf = pw::ComPtr<pw::IUnknown>(pw::MakeObject<pw::helpers::TComHelpModule>()->Identity()).Detach();
  return pw::S_OK;
}
