// Shared pieces of the plug-in tests: a test host with the module's resources registered, and
// helpers that read failures and hook calls back.
#pragma once

#include <gtest/gtest.h>

#include "host/test_host.h"
#include "openapps/module_resources.h"
#include "openapps/registrator.h"
#include "platform/automation/bstr.h"
#include "platform/com/errorinfo.h"
#include "platform/rtl/strings.h"

namespace pw {

// The thread's error text after a failure (empty when none was left).
inline WideString LastErrorText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return {};
  BString text;
  info->GetDescription(text.Put());
  return WideString(text.View());
}

inline std::string Narrow(WideStringView s) { return WideToUtf8(s); }

// A registrator whose own answers are empty (and whose description is the base's); a test
// supplies the plug-ins it makes.
class TTestRegistrator : public TcvBaseExtensionRegistrator {
 protected:
  GUID DoGetKey() override { return GUID_NULL; }
  WideString DoGetName() override { return u"test"; }
  std::int32_t DoGetListACount() override { return 0; }
  GUID DoGetListAItem(std::int32_t) override { return GUID_NULL; }
  std::int32_t DoGetListBCount() override { return 0; }
  GUID DoGetListBItem(std::int32_t) override { return GUID_NULL; }
};

class OpenAppsTest : public ::testing::Test {
 protected:
  OpenAppsTest() {
    host::TestHostOptions options;
    options.interactive = false;
    host = std::make_unique<host::TestHost>(options);
    RegisterModuleResources(&ModuleResourceTable());
    ClearProcessDescriptions();
    SetSystemSearchPath({});  // nothing on the search path unless a test puts it there
  }
  ~OpenAppsTest() override {
    host.reset();
    RegisterModuleResources(nullptr);
    ClearProcessDescriptions();
  }

  // A process of the host with the modules and window classes given.
  ComPtr<host::TProcess> AddProcess(DWORD id, WideStringView name, std::vector<WideString> modules,
                                    std::vector<WideString> windowClasses) {
    ProcessDescription d;
    d.id = id;
    d.name = WideString(name);
    d.modules = std::move(modules);
    HWND next = 0x1000 + id * 16;
    for (auto& c : windowClasses) d.windows.push_back({next++, c});
    return host->Processes().Add(d);
  }

  std::unique_ptr<host::TestHost> host;
};

}  // namespace pw
