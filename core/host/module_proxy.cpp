#include "core/host/module_proxy.h"

#include <atomic>
#include <mutex>

#include "core/options/xml_text.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/exceptions.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/modules.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

std::mutex gFolderLock;
WideString gFolderOverride;

}  // namespace

// ---- folders --------------------------------------------------------------------------------

WideString GetHostExeFolder() {
  {
    std::lock_guard g(gFolderLock);
    if (!gFolderOverride.empty()) return gFolderOverride;
  }
  std::string exe = ProgramFile();
  auto slash = exe.rfind('/');
  if (slash == std::string::npos) return u"";
  return Utf8ToWide(exe.substr(0, slash + 1));
}

WideString GetExtensionsFolder() { return GetHostExeFolder() + u"Extensions/"; }

void SetHostExeFolderOverride(const WideString& folder) {
  std::lock_guard g(gFolderLock);
  gFolderOverride = folder;
  if (!gFolderOverride.empty() && gFolderOverride.back() != u'/') gFolderOverride += u'/';
}

// ---- loading --------------------------------------------------------------------------------

HMODULE LoadHelperLibrary(const WideString& fileName) {
  if (HMODULE h = LoadLibrary(WideToUtf8(GetHostExeFolder() + fileName))) return h;
  const DWORD first = GetLastError();
  const WideString firstText = LibraryErrorMessage(first);
  if (HMODULE h = LoadLibrary(WideToUtf8(GetExtensionsFolder() + fileName))) return h;
  const DWORD second = GetLastError();
  const WideString secondText = LibraryErrorMessage(second);
  const WideString folder = GetHostExeFolder();
  if (first == ERROR_MOD_NOT_FOUND && second == ERROR_MOD_NOT_FOUND)
    throw Exception(WideFormat(u"The file %s not found. The product is located in the %s folder.", {fileName, folder}));
  WideStringView reason = u"Unknown";
  if (first == ERROR_MOD_NOT_FOUND) reason = secondText;
  if (second == ERROR_MOD_NOT_FOUND) reason = firstText;
  throw Exception(WideFormat(u"The file %s has not been loaded. The product is located in the %s folder. Reason: %s.",
                             {fileName, folder, reason}));
}

void LoadModuleIntf(const WideString& fileName, HMODULE& handle, ComPtr<IUnknown>& intf) {
  intf = nullptr;
  handle = LoadHelperLibrary(fileName);
  if (!handle) return;
  if (auto get = reinterpret_cast<GetModuleIntfProc>(GetProcAddress(handle, kGetModuleIntfExport))) get(intf.Put());
}

// ---- the module proxy -----------------------------------------------------------------------

TModuleProxy::TModuleProxy(WideString fileName) : fileName_(std::move(fileName)) {
  ComPtr<IUnknown> intf;
  LoadModuleIntf(fileName_, handle_, intf);
  try {
    module_ = intf.As<IcvModuleIntf>();
    if (!module_)
      throw Exception(u"The file " + fileName_ + u" does not provide the module interface of a helper library.");
    intf = nullptr;
    ComPtr<IcvModuleProxyCallback> self = QueryAs<IcvModuleProxyCallback>(this);
    SafeCallCheck(module_->AttachProxy(self.Get()));
  } catch (...) {
    module_ = nullptr;
    intf = nullptr;
    FreeLibrary(std::exchange(handle_, nullptr));
    throw;
  }
}

TModuleProxy::~TModuleProxy() {
  try {
    UnloadModule();
  } catch (...) {
    // Nothing can be reported from a destructor.
  }
}

HRESULT TModuleProxy::RequestUnload() {
  return SafeCall([&] { UnloadModule(); });
}

HRESULT TModuleProxy::GetModuleInterface(IcvModuleIntf** intf) {
  if (!intf) return E_POINTER;
  *intf = ComPtr<IcvModuleIntf>(module_).Detach();
  return S_OK;
}

HRESULT TModuleProxy::Unload() {
  return SafeCall([&] { UnloadModule(); });
}

void TModuleProxy::UnloadModule() {
  if (ComPtr<IcvModuleIntf> module = std::move(module_)) {
    // No reference is taken on this object: the destructor unloads too, and a reference taken
    // and dropped there would destroy the object a second time.
    HRESULT hr = module->DetachProxy(static_cast<IcvModuleProxyCallback*>(this));
    module = nullptr;
    if (Failed(hr)) {
      if (HMODULE h = std::exchange(handle_, nullptr)) FreeLibrary(h);
      SafeCallCheck(hr);
    }
  }
  if (HMODULE h = std::exchange(handle_, nullptr)) FreeLibrary(h);
}

// ---- the regular-expression module ----------------------------------------------------------

namespace {

CriticalSection gRegExprLock;
ComPtr<IcvModuleProxy> gRegExprProxy;

}  // namespace

void GetRegExprModule(ComPtr<IcvRegExprModule>& module) {
  std::lock_guard g(gRegExprLock);
  module = nullptr;
  if (!gRegExprProxy) gRegExprProxy = MakeObject<TModuleProxy>(kRegExprLibrary);
  ComPtr<IcvModuleIntf> intf;
  SafeCallCheck(gRegExprProxy->GetModuleInterface(intf.Put()));
  module = intf.As<IcvRegExprModule>();
  if (!module) throw EIntfCastError();
}

// ---- usage counters -------------------------------------------------------------------------

namespace {

// Loaded on the first call that finds it, never freed; retried while it is missing.
std::atomic<HMODULE> gStatistics{nullptr};

HMODULE Statistics() {
  HMODULE h = gStatistics.load();
  if (h) return h;
  WideString folder = GetHostExeFolder();
  if (!folder.empty() && folder.back() != u'/') folder += u'/';
  h = LoadLibrary(WideToUtf8(folder + kStatisticLibrary));
  HMODULE expected = nullptr;
  if (h && !gStatistics.compare_exchange_strong(expected, h)) {
    FreeLibrary(h);  // another thread was first
    h = expected;
  }
  return h;
}

}  // namespace

WideString EscapeCounterName(WideStringView name) {
  WideString out;
  for (char16_t c : name) {
    if (const char* reference = XmlMarkupReference(c))
      out += AsciiToWide(reference);
    else
      out += c;
  }
  return out;
}

bool RegisterStatCounter(const GUID& key, const char16_t* name) {
  HMODULE h = Statistics();
  auto proc = h ? reinterpret_cast<RegisterCounterProc>(GetProcAddress(h, kRegisterCounterExport)) : nullptr;
  if (!proc) return false;
  WideString escaped = EscapeCounterName(name ? WideStringView(name) : WideStringView());
  return proc(&key, escaped.c_str()) == 0;
}

bool IncStatCounter(const GUID& key, std::int32_t amount) {
  HMODULE h = Statistics();
  auto proc = h ? reinterpret_cast<IncCounterProc>(GetProcAddress(h, kIncCounterExport)) : nullptr;
  if (!proc) return false;
  return proc(&key, amount) == 0;
}

// ---- the reporter ---------------------------------------------------------------------------

namespace {

std::mutex gReporterLock;
HMODULE gReporterHandle = nullptr;
ComPtr<IcvReporterModule> gReporter;

const std::string kReporterFile = WideToUtf8(kReporterLibrary);

template <class Method>
void Bracket(Method method) {
  if (!GetModuleHandle(kReporterFile)) return;
  ComPtr<IcvReporterModule> reporter;
  GetReporterModule(reporter);
  if (reporter) SafeCallCheck((reporter.Get()->*method)());
}

}  // namespace

void GetReporterModule(ComPtr<IcvReporterModule>& reporter) {
  reporter = nullptr;
  std::lock_guard g(gReporterLock);
  if (gReporterHandle && gReporter) {
    reporter = gReporter;
    return;
  }
  if (!gReporterHandle) gReporterHandle = LoadLibrary(kReporterFile);
  if (!gReporterHandle) return;
  auto get = reinterpret_cast<GetModuleIntfProc>(GetProcAddress(gReporterHandle, kGetModuleIntfExport));
  ComPtr<IUnknown> intf;
  HRESULT hr = get ? get(intf.Put()) : E_FAIL;
  if (!get || Failed(hr) || !intf) {
    FreeLibrary(std::exchange(gReporterHandle, nullptr));
    return;
  }
  gReporter = intf.As<IcvReporterModule>();
  if (!gReporter) throw EIntfCastError();
  reporter = gReporter;
}

void ReporterBeginForeignCall() { Bracket(&IcvReporterModule::BeginForeignCall); }
void ReporterEndForeignCall() { Bracket(&IcvReporterModule::EndForeignCall); }
void ReporterBeginNetworkRead() { Bracket(&IcvReporterModule::BeginNetworkRead); }
void ReporterEndNetworkRead() { Bracket(&IcvReporterModule::EndNetworkRead); }

void StopHelperModules() {
  ComPtr<IcvModuleProxy> proxy;
  {
    std::lock_guard g(gRegExprLock);
    proxy = std::move(gRegExprProxy);
  }
  if (proxy) proxy->Unload();
  std::lock_guard g(gReporterLock);
  gReporter = nullptr;  // the library itself stays loaded
}

void ResetHelperModulesForTesting() {
  StopHelperModules();
  if (HMODULE h = gStatistics.exchange(nullptr)) FreeLibrary(h);
  std::lock_guard g(gReporterLock);
  if (HMODULE h = std::exchange(gReporterHandle, nullptr)) FreeLibrary(h);
}

// ---- identifiers ----------------------------------------------------------------------------

WideString TcvUniqueIdentGenerator::MakeIdentifier(const WideString& text, const WideString& defaultIdent) {
  const std::string bytes = WideToSystemCodePage(text);
  std::string out;
  auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  for (char c : bytes) {
    if (out.empty()) {
      if (isLetter(c)) out += c;
      continue;
    }
    if (isLetter(c) || (c >= '0' && c <= '9')) {
      out += c;
    } else if (out.back() != '_') {
      out += '_';
    }
  }
  return out.empty() ? defaultIdent : SystemCodePageToWide(out);
}

}  // namespace pw
