#include "openapps/open_app_plugins.h"

#include "core/host/host_services.h"
#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/com/errorinfo.h"
#include "platform/kernel/processes.h"
#include "platform/ui/resources.h"
#include "platform/automation/safearray.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

// The hook-side object of a process's channel that takes commands and parameters.
constexpr GUID kHookCommandTargetIid = IpwHookCommandTarget::iid;
constexpr DISPID kExecuteCommandId = 0x09000001;
constexpr DISPID kSetParameterId = 0x09000002;

const OpenAppTechnology kMSVC{kMSVCPluginKey, u"pwMSVCHook.dll", MakeGuid("{CA743EE8-5C5E-4DBD-A181-C9237877D4C1}"),
                              u"NativeCPPObject", "CPP_OBJECT", 0, HookChannelTest::FlagOnInstall, true};
const OpenAppTechnology kDelphi{kDelphiPluginKey, u"pwDelphiHook.dll",
                                MakeGuid("{2675B1F0-347D-4847-A3A3-EF9C7E645BA7}"), u"NativeDelphiObject",
                                "VCL_OBJECT", 0, HookChannelTest::FlagOnInstall, true};
const OpenAppTechnology kMSAA{kMSAAPluginKey, u"pwMSAAAppHook.dll", MakeGuid("{29A12FDA-8C07-40A5-9C08-2588BCE9AA97}"),
                              u"NativeMSAA", "MSAA_OBJECT", -1000, HookChannelTest::Reference, false};
const OpenAppTechnology kUia{kUiaPluginKey, u"pwUiaHook.dll", MakeGuid("{F9475F9C-D137-4928-A5B1-FF98C1443C52}"),
                             u"NativeUIAObject", "UIA_OBJECT", -999, HookChannelTest::Reference, false};
const OpenAppTechnology kVB{kVBPluginKey, u"pwVBHook.dll", MakeGuid("{543EA129-115D-4E1C-BA3A-AD1FDBEB67D4}"),
                            u"NativeVBObject", "VB_OBJECT", 0, HookChannelTest::Flag, false};

// Calls a member of the target by dispatch identifier with the arguments in order (last-first
// in the call's argument array); a failure raises with the callee's exception text.
void InvokeById(IDispatch* target, DISPID id, std::vector<VARIANT> args) {
  std::reverse(args.begin(), args.end());
  DISPPARAMS params{args.data(), nullptr, static_cast<std::uint32_t>(args.size()), 0};
  OleVariant result;
  EXCEPINFO info{};
  std::uint32_t argErr = 0;
  HRESULT hr = target->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, result.Ptr(), &info, &argErr);
  if (Failed(hr)) {
    WideString text = info.bstrDescription ? WideString(BstrView(info.bstrDescription)) : WideString();
    HRESULT code = hr == DISP_E_EXCEPTION && Failed(info.scode) ? info.scode : hr;
    ClearExcepInfo(info);
    if (text.empty()) OleError(code);
    throw EOleSysError(text, code);
  }
  ClearExcepInfo(info);
}

// A bitmap of the module's resources, loaded on the first request into Kept, which owns it.
void OutBitmap(std::int32_t* out, HBITMAP& kept, const char* resource) {
  CheckOut(out);
  if (!kept) kept = LoadModuleBitmap(resource);
  *out = kept;
}

bool KeyIs(IpwObjectCallInfoRequest* info, std::initializer_list<GUID> keys) {
  if (!info) return false;
  GUID type{};
  SafeCallCheck(info->GetTypeKey(&type));
  for (const auto& k : keys)
    if (k == type) return true;
  return false;
}

}  // namespace

void ExecuteHookCommand(IDispatch* target, WideStringView command, const OleVariant& argument) {
  OleVariant reply;  // cleared; not read afterwards
  BString text(command);
  VARIANT cmd{};
  cmd.vt = VT_BSTR;
  cmd.bstrVal = text.Get();
  VARIANT replyRef{};
  replyRef.vt = VT_BYREF | VT_VARIANT;
  replyRef.byref = reply.Ptr();
  InvokeById(target, kExecuteCommandId, {cmd, *argument.Ptr(), replyRef});
}

void SetHookParameter(IDispatch* target, const GUID& key, const OleVariant& value) {
  BString text(GuidToWideString(key));
  VARIANT k{};
  k.vt = VT_BSTR;
  k.bstrVal = text.Get();
  InvokeById(target, kSetParameterId, {k, *value.Ptr()});
}

// ---- TpwOpenAppPlugin ---------------------------------------------------------------------

TpwOpenAppPlugin::~TpwOpenAppPlugin() {
  if (typeBitmap_) DeleteGdiObject(typeBitmap_);
}

void ReportSettingsFailure(IcvBaseManager* manager, const OpenAppTechnology& technology, HRESULT hr) {
  if (Succeeded(hr)) return;
  ComPtr<IErrorInfo> info;
  WideString reason = HResultMessage(hr);
  if (GetErrorInfo(0, info.Put()) == S_OK && info) {
    BString text;
    if (Succeeded(info->GetDescription(text.Put())) && !text.View().empty()) reason = WideString(text.View());
    SetErrorInfo(0, info.Get());  // taken only to be read: it stays the thread's
  }
  WriteHostDiagnostic(manager,
                      WideString(technology.typeName) + u": a settings change did not reach the hooks: " + reason);
}

HRESULT TpwOpenAppPlugin::GetTypeKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, technology_.typeKey); });
}
HRESULT TpwOpenAppPlugin::GetTypeName(BSTR* name) {
  return SafeCall([&] { SetOut(name, technology_.typeName); });
}
HRESULT TpwOpenAppPlugin::GetOrder(std::int32_t* order) {
  return SafeCall([&] { SetOutValue(order, technology_.order); });
}
HRESULT TpwOpenAppPlugin::GetTag(std::int32_t* tag) {
  return SafeCall([&] { SetOutValue(tag, tag_); });
}
HRESULT TpwOpenAppPlugin::SetTag(std::int32_t tag) {
  return SafeCall([&] { tag_ = tag; });
}
HRESULT TpwOpenAppPlugin::GetBitmap(std::int32_t* bitmap) {
  return SafeCall([&] { OutBitmap(bitmap, typeBitmap_, technology_.bitmapResource); });
}

VARIANT_BOOL TpwOpenAppPlugin::GetItem(std::int32_t index, IUnknown** item) {
  if (!item) return VARIANT_FALSE;
  *item = nullptr;
  if (!SubProviderIndexValid(index)) return VARIANT_FALSE;
  *item = static_cast<IpwObjectTypeDescriptor*>(this);
  (*item)->AddRef();
  return VARIANT_TRUE;
}

VARIANT_BOOL TpwOpenAppPlugin::GetCallInformation(IpwObjectCallInfoRequest* info, VARIANT* result) {
  if (result) VariantClear(result);
  bool answer = false;
  HRESULT hr = SafeCall([&] {
    OleVariant value;
    answer = CallInformation(info, value);
    if (answer && result) *result = value.Detach();
  });
  return Succeeded(hr) && answer ? VARIANT_TRUE : VARIANT_FALSE;
}

bool TpwOpenAppPlugin::CallInformation(IpwObjectCallInfoRequest*, OleVariant&) { return false; }

// The hook parameter service must be there, answering its interface.
void TpwOpenAppPlugin::DoPostInitialize() {
  IcvBaseManager* manager = Manager();
  if (!technology_.checksHookParameterService || !manager) return;
  ComPtr<IUnknown> service;
  SafeCallCheck(manager->GetService(kHookParameterService, service.Put()));
  CastHostObject<IpwHookParameterService>(service.Get());
}

bool TpwOpenAppPlugin::ChannelUsable(bool available, bool hasChannel, bool installing) const {
  switch (technology_.channelTest) {
    case HookChannelTest::Reference: return hasChannel;
    case HookChannelTest::FlagOnInstall: return installing ? available : hasChannel;
    case HookChannelTest::Flag: return available;
  }
  return false;
}

HRESULT TpwOpenAppPlugin::HookIsProcessSupported(IpwProcess* process, VARIANT_BOOL* supported) {
  return SafeCall([&] { SetOutBool(supported, ProcessSupported(process)); });
}

ComPtr<IDispatch> TpwOpenAppPlugin::HookCommandTarget(IpwProcess* process, bool installing) {
  if (!process) throw EOleSysError(u"No process was given.", E_INVALIDARG);
  ComPtr<IpwHookChannel> channel;
  VARIANT_BOOL available = VARIANT_FALSE;
  SafeCallCheck(process->GetHookChannel(channel.Put(), &available));
  // A channel that reports itself available but is missing is no channel either.
  if (!ChannelUsable(available != VARIANT_FALSE, channel != nullptr, installing) || !channel) return nullptr;
  ComPtr<IUnknown> object;
  VARIANT_BOOL found = VARIANT_FALSE;
  SafeCallCheck(channel->QueryObject(kHookCommandTargetIid, object.Put(), &found));
  if (found == VARIANT_FALSE || !object) return nullptr;
  return CastHostObject<IDispatch>(object.Get());
}

HRESULT TpwOpenAppPlugin::HookInstall(IpwProcess* process) {
  return SafeCall([&] {
    ComPtr<IDispatch> target = HookCommandTarget(process, true);
    if (!target) return;
    BeforeInstall(target.Get());
    ExecuteHookCommand(target.Get(), kLoadHookCommand, OleVariant(technology_.hookLibrary));
    AfterInstall(target.Get());
  });
}

HRESULT TpwOpenAppPlugin::HookRemove(IpwProcess* process) {
  return SafeCall([&] {
    ComPtr<IDispatch> target = HookCommandTarget(process, false);
    if (!target) return;
    ExecuteHookCommand(target.Get(), kUnloadHookCommand, OleVariant(technology_.hookLibrary));
    AfterRemove(target.Get());
  });
}

// ---- MSVC and Delphi ----------------------------------------------------------------------

TpwMSVCPlugin::TpwMSVCPlugin() : TpwOpenAppPluginOf(kMSVC) {}

TpwDelphiPlugin::TpwDelphiPlugin() : TpwOpenAppPluginOf(kDelphi) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  if (!array) OleError(E_OUTOFMEMORY);
  OleVariant holder;
  holder.Ptr()->vt = VT_ARRAY | VT_VARIANT;
  holder.Ptr()->parray = array;
  const char16_t* names[] = {u"VCLObject", u"CLXObject"};
  for (std::int32_t i = 0; i < 2; ++i) {
    auto info = MakeObject<TpwVCLObjectCallInformation>(names[i]);
    OleVariant item(static_cast<IUnknown*>(static_cast<IpwObjectCallInformation*>(info.Get())));
    OleCheck(SafeArrayPutElement(array, &i, item.Ptr()));
  }
  callInfos_ = std::move(holder);
}

bool TpwDelphiPlugin::CallInformation(IpwObjectCallInfoRequest* info, OleVariant& result) {
  if (!KeyIs(info, {kCallTypeCommon, kCallTypeWindowed, kDelphi.typeKey})) return false;
  result = callInfos_;
  return true;
}

// ---- MSAA ---------------------------------------------------------------------------------

TpwMSAAPlugin::TpwMSAAPlugin() : TpwOpenAppPagePlugin(kMSAA, MSAAPageInfo()) {}

bool TpwMSAAPlugin::CallInformation(IpwObjectCallInfoRequest* info, OleVariant& result) {
  if (!KeyIs(info, {kCallTypeCommon, kMSAA.typeKey})) return false;
  auto made = MakeObject<TpwMSAAObjectCallInformation>();
  result = OleVariant(made->Dispatch());
  return true;
}

// ---- UI Automation ------------------------------------------------------------------------

TpwUiaSupportPlugin::TpwUiaSupportPlugin() : TpwOpenAppPagePlugin(kUia, UiaPageInfo()) {}

TpwUiaSupportPlugin::~TpwUiaSupportPlugin() {
  if (silverlightBitmap_) DeleteGdiObject(silverlightBitmap_);
}

void TpwUiaSupportPlugin::DoInitialize(IcvBaseManager* manager) {
  TpwOpenAppPagePlugin::DoInitialize(manager);
  uiaAvailable_ = !SearchPathA("UIAutomationCore.dll", 1024).empty();
}

bool TpwUiaSupportPlugin::ProcessSupported(IpwProcess* process) {
  IcvBaseManager* manager = Manager();
  if (!manager || !uiaAvailable_) return false;
  // The module list is taken as the host's technology test expects; the answer does not use it.
  if (auto info = GetHostService<IpwProcessInfoService>(manager, kProcessInfoService)) {
    ComPtr<IpwModuleList> modules;
    info->GetProcessModules(process, modules.Put());
  }
  return uiaAvailable_;
}

HRESULT TpwUiaSupportPlugin::IsTargetProcess(IpwProcess*, IpwModuleList*, VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutBool(result, Manager() && uiaAvailable_); });
}

HRESULT TpwUiaSupportPlugin::GetKindBitmap(BSTR kindName, std::int32_t* bitmap) {
  if (!SameTextIgnoringCase(BstrView(kindName), u"silverlight")) return GetBitmap(bitmap);
  return SafeCall([&] { OutBitmap(bitmap, silverlightBitmap_, "UIA_SILVERLIGHT"); });
}

// UI Automation objects get no members, but the type is answered as known.
bool TpwUiaSupportPlugin::CallInformation(IpwObjectCallInfoRequest*, OleVariant&) { return true; }

// ---- Visual Basic -------------------------------------------------------------------------

TpwVBAppPlugin::TpwVBAppPlugin() : TpwOpenAppPluginOf(kVB) {}

bool TpwVBAppPlugin::ProcessSupported(IpwProcess* process) {
  IcvBaseManager* manager = Manager();
  if (!manager) return false;
  auto info = GetHostService<IpwProcessInfoService>(manager, kProcessInfoService);
  if (!info) return false;
  VARIANT_BOOL flag = VARIANT_FALSE;
  SafeCallCheck(info->GetProcessFlag(process, &flag));
  if (flag != VARIANT_FALSE) return false;
  ComPtr<IpwModuleList> modules;
  SafeCallCheck(info->GetProcessModules(process, modules.Put()));
  return IsVisualBasic6(process, modules.Get());
}

HRESULT TpwVBAppPlugin::IsTargetProcess(IpwProcess* process, IpwModuleList* modules, VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutBool(result, Manager() && IsVisualBasic6(process, modules)); });
}

bool TpwVBAppPlugin::IsVisualBasic6(IpwProcess* process, IpwModuleList* modules) {
  IcvBaseManager* manager = Manager();
  auto info = GetHostService<IpwProcessInfoService>(manager, kProcessInfoService);
  if (!info) return false;
  VARIANT_BOOL flag = VARIANT_FALSE;
  SafeCallCheck(info->GetProcessFlag(process, &flag));
  if (flag != VARIANT_FALSE) return false;
  bool runtimeLoaded = false;
  std::int32_t count = 0;
  if (modules) SafeCallCheck(modules->GetCount(&count));
  for (std::int32_t i = 0; i < count && !runtimeLoaded; ++i) {
    BString name;
    SafeCallCheck(modules->GetName(i, name.Put()));
    runtimeLoaded = SameTextIgnoringCase(name.View(), u"MSVBVM60.dll");
  }
  if (!runtimeLoaded) return false;
  auto windows = GetHostService<IcvWindowsManager>(manager, kWindowsManagerService);
  if (!windows) return false;
  ComPtr<IpwWindowList> list;
  SafeCallCheck(windows->GetProcessWindows(process, list.Put()));
  std::int32_t windowCount = 0;
  if (list) SafeCallCheck(list->GetCount(&windowCount));
  for (std::int32_t i = 0; i < windowCount; ++i) {
    std::int32_t window = 0;
    SafeCallCheck(list->GetWindow(i, &window));
    BString className;
    SafeCallCheck(windows->GetWindowClassName(window, className.Put()));
    if (SameTextIgnoringCase(className.View(), u"ThunderRT6Main")) return true;
  }
  return false;
}

void TpwVBAppPlugin::AfterInstall(IDispatch* target) {
  ExecuteHookCommand(target, kVBAfterLoadCommand, OleVariant::Null());
}

void TpwVBAppPlugin::AfterRemove(IDispatch* target) {
  ExecuteHookCommand(target, kVBAfterUnloadCommand, OleVariant::Null());
}

bool TpwVBAppPlugin::CallInformation(IpwObjectCallInfoRequest* info, OleVariant& result) {
  if (!KeyIs(info, {kCallTypeWindowed, kCallTypeCommon, kVB.typeKey})) return false;
  auto made = MakeObject<TpwWaitVBObject>();
  result = OleVariant(made->Dispatch());
  return true;
}

// ---- Call information ---------------------------------------------------------------------

template <class Base>
HRESULT TpwCallInformationOf<Base>::GetFirstFlag(VARIANT_BOOL* flag) {
  return this->SafeCall([&] { SetOutBool(flag, true); });
}
template <class Base>
HRESULT TpwCallInformationOf<Base>::GetName(BSTR* name) {
  return this->SafeCall([&] { SetOut(name, name_); });
}
template <class Base>
HRESULT TpwCallInformationOf<Base>::GetSecondFlag(VARIANT_BOOL* flag) {
  return this->SafeCall([&] { SetOutBool(flag, false); });
}
template <class Base>
HRESULT TpwCallInformationOf<Base>::GetParamCount(std::int32_t* count) {
  return this->SafeCall([&] { SetOutValue(count, 1); });
}
template <class Base>
HRESULT TpwCallInformationOf<Base>::GetParamName(std::int32_t, BSTR* name) {
  return this->SafeCall([&] { SetOut(name, u"Name"); });
}

template class TpwCallInformationOf<TcvInterfacedObject>;
template class TpwCallInformationOf<TCVAAutoIntfObject>;

}  // namespace pw
