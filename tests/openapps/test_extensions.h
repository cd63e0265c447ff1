// The test-only builder, slice and proxy that prove the road from a script call to a slice:
// a slice with a few members (IpwTestSlice of the test library), a builder that attaches it,
// a proxy whose target a test chooses. Also the fixture that runs them in a test host.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "core/automation/automation.h"
#include "host/test_host.h"
#include "interfaces/pwAutomationTest.h"
#include "openapps/extensions/node_builder.h"
#include "openapps/extensions/node_proxy.h"
#include "openapps/extensions/node_slice.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/automation/dispatch_thunks.h"
#include "platform/com/safecall.h"
#include "platform/kernel/clock.h"

namespace pw {


class TTestSlice final : public AutoImplements<TpwNodeSlice, IpwTestSlice> {
 public:
  TTestSlice() : AutoImplements(std::vector<IID>{IpwTestSlice::iid}) {}
  HRESULT Ping(std::int32_t value, std::int32_t* result) override {
    return SafeCall([&] { *result = value + 1; });
  }
  HRESULT get_NodeName(BSTR* result) override {
    return SafeCall([&] {
      auto node = GetSliceNode();
      if (!node) throw EOleSysError(u"Unable to find the object.", E_FAIL);
      auto name = QueryAs<IpwSysNodeNameText>(node.Get());
      OleCheck(name->GetNameText(result));
    });
  }
  HRESULT Fail() override {
    return SafeCall([&] { throw EOleSysError(u"The slice failed.", E_ABORT); });
  }
};

// The native object kind the test builder looks for, and the group it files its slices in.
inline constexpr GUID kTestNativeKind = MakeGuid("{5E1A0C3B-7D2F-4E9A-8B6C-1D2E3F4A5B6C}");
inline constexpr GUID kTestSliceGroup = MakeGuid("{6F2B1D4C-8E3A-4FAB-9C7D-2E3F4A5B6C7D}");

// A builder that gives every node with a native object of its kind a test slice, and counts the
// nodes it was offered.
class TTestBuilder final : public TpwSysNodeBuilder {
 public:
  using TpwSysNodeBuilder::TpwSysNodeBuilder;
  int extended = 0;

 protected:
  void DoExtendNode(IpwSysNode* node) override {
    ++extended;
    auto extensible = QueryAs<IpwExtensibleSysNode>(node);
    if (!extensible) return;
    ComPtr<IUnknown> native;
    SafeCallCheck(extensible->GetNativeObject(kTestNativeKind, native.Put()));
    if (!native) return;
    auto slice = MakeObject<TTestSlice>();
    SafeCallCheck(extensible->AddExtension(IpwTestSlice::iid, slice->Dispatch(), kTestSliceGroup, 0));
  }
  bool DoOperation7(IUnknown*) override { return false; }
};

// A proxy without members of its own: every name goes to its target.
class TPlainProxy final : public TpwSysNodeProxy {
 public:
  explicit TPlainProxy(IpwSysNode* target) : target_(target) {}
  ComPtr<IpwSysNode> GetTargetNode() override { return target_; }

 private:
  ComPtr<IpwSysNode> target_;
};

// A proxy whose target the test sets; it adds the test slice's members of its own.
class TTestProxy final : public AutoImplements<TpwSysNodeProxy, IpwTestSlice> {
 public:
  TTestProxy() : AutoImplements(std::vector<IID>{IpwTestSlice::iid}) {}
  void SetTarget(IpwSysNode* target) {
    std::lock_guard guard(lock_);
    target_ = target;
  }
  ComPtr<IpwSysNode> GetTargetNode() override {
    ++targetAsked;
    std::lock_guard guard(lock_);
    return target_;
  }
  HRESULT Ping(std::int32_t value, std::int32_t* result) override {
    return SafeCall([&] { *result = value + 100; });
  }
  HRESULT get_NodeName(BSTR* result) override {
    return SafeCall([&] { *result = SysAllocString(u"proxy"); });
  }
  HRESULT Fail() override {
    return SafeCall([&] { throw EOleSysError(u"The proxy failed.", E_ABORT); });
  }
  std::atomic<int> targetAsked{0};

 private:
  std::mutex lock_;
  ComPtr<IpwSysNode> target_;
};

// A test host on a manual clock with the test library's interfaces registered.
class ExtensionTest : public ::testing::Test {
 protected:
  ExtensionTest() {
    RegisterInterfaceThunks(pwAutomationTestInterfaceThunks());
    host::TestHostOptions options;
    options.interactive = false;
    options.clock = &clock;
    host = std::make_unique<host::TestHost>(options);
    const char* path = PW_TEST_TYPELIB;
    OleCheck(LoadTypeLib(WideString(path, path + std::char_traits<char>::length(path)), lib.Put()));
    TypeLibraries()->Add(lib.Get());
    const char* modulePath = PW_MODULE_TYPELIB;
    OleCheck(
        LoadTypeLib(WideString(modulePath, modulePath + std::char_traits<char>::length(modulePath)), moduleLib.Put()));
    TypeLibraries()->Add(moduleLib.Get());
  }
  ~ExtensionTest() override {
    lib = nullptr;
    moduleLib = nullptr;
    host.reset();  // the host's automation state ends with it
  }
  IcvBaseManager* Manager() { return host->Manager(); }
  static IpwSysNodeEx* Node(const ComPtr<host::TSysNode>& n) { return static_cast<IpwSysNodeEx*>(n.Get()); }

  // Invoke with arguments in call order.
  static HRESULT Call(IDispatch* d, DISPID id, WORD flags, std::vector<OleVariant> args, VARIANT* result,
                      EXCEPINFO* info = nullptr) {
    std::vector<VARIANT> slots;
    for (auto it = args.rbegin(); it != args.rend(); ++it) slots.push_back(it->Get());
    DISPPARAMS p{slots.data(), nullptr, static_cast<std::uint32_t>(slots.size()), 0};
    return d->Invoke(id, GUID_NULL, 0, flags, &p, result, info, nullptr);
  }
  static HRESULT IdOf(IDispatch* d, const char16_t* name, DISPID* id) {
    const char16_t* names[] = {name};
    return d->GetIDsOfNames(GUID_NULL, names, 1, 0, id);
  }

  ManualClock clock{1000};
  std::unique_ptr<host::TestHost> host;
  ComPtr<ITypeLib> lib, moduleLib;
};

}  // namespace pw
