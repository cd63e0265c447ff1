#include "web/plugin/web_builders.h"

#include <array>

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_services.h"
#include "core/host/module_proxy.h"
#include "openapps/extensions/controls.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/controls/edit_control.h"
#include "web/controls/page_actions.h"
#include "web/controls/page_picture_method.h"
#include "web/controls/select_elements.h"
#include "web/controls/tab_controls.h"
#include "web/navigation/browser_processes.h"
#include "web/navigation/check_box.h"
#include "web/navigation/ie_frame.h"
#include "web/navigation/object_locator.h"
#include "web/navigation/process_to_url.h"
#include "web/navigation/window_to_url.h"
#include "web/lookups/browser_methods.h"
#include "web/lookups/node_selectors.h"
#include "web/lookups/page_find_methods.h"

namespace pw::web {

namespace {

constexpr std::int32_t kNoTag = 0x7FFFFFFF;
constexpr DISPID kControlTypeDispId = 0xC001;

GUID NewKey() {
  GUID key{};
  OleCheck(CreateGuid(key));
  return key;
}

ComPtr<IpwSysManager> RequireSysManager(IcvBaseManager* manager) {
  auto sys = GetHostService<IpwSysManager>(manager, kSysManagerHostService);
  if (!sys) throw EOleSysError(u"The host has no object tree", E_NOINTERFACE);
  return sys;
}

ComPtr<IUnknown> NativeObject(IpwSysNode* node, const GUID& kind) {
  auto extensible = QueryAs<IpwExtensibleSysNode>(node);
  if (!extensible) return nullptr;
  ComPtr<IUnknown> object;
  SafeCallCheck(extensible->GetNativeObject(kind, object.Put()));
  return object;
}

void Attach(IpwSysNode* node, const GUID& iid, IDispatch* slice, const GUID& group, std::int32_t tag) {
  if (!slice) return;
  auto extensible = QueryAs<IpwExtensibleSysNode>(node);
  if (!extensible) return;
  SafeCallCheck(extensible->AddExtension(iid, slice, group, tag));
}

template <class T>
IDispatch* DispatchOfSlice(const ComPtr<T>& slice) {
  return static_cast<IDispatch*>(slice->Dispatch());
}

// The builder's host manager: the one the object tree gives (method 7).
ComPtr<IcvBaseManager> HostObject(IpwSysManager* sys) {
  ComPtr<IcvBaseManager> manager;
  if (sys) SafeCallCheck(sys->GetManager(manager.Put()));
  return manager;
}

struct Html5Name {
  const char16_t* name;
  int counter;
};
constexpr std::array<Html5Name, 30> kHtml5Names = {{
    {u"Article", 0},    {u"Aside", 0},      {u"Figure", 0},         {u"Footer", 0},      {u"Header", 0},
    {u"HGroup", 0},     {u"Nav", 0},        {u"Section", 0},        {u"Time", 0},        {u"Details", 1},
    {u"Video", 3},      {u"Audio", 4},      {u"Canvas", 2},         {u"SVG", 2},         {u"Math", 2},
    {u"Output", 5},     {u"Meter", 6},      {u"Progress", 6},       {u"PhoneInput", 7},  {u"URLInput", 7},
    {u"EmailInput", 7}, {u"SearchBox", 7},  {u"DateTimeInput", 15}, {u"NumberInput", 8}, {u"Slider", 9},
    {u"ColorBox", 10},  {u"DateInput", 11}, {u"MonthInput", 13},    {u"WeekInput", 12},  {u"TimeInput", 14},
}};

constexpr std::array<const char16_t*, 16> kHtml5CounterNames = {
    u"HTML 5 semantic elements",
    u"HTML 5 Details",
    u"HTML 5 graphics elements",
    u"HTML 5 Video",
    u"HTML 5 Audio",
    u"HTML 5 Output",
    u"HTML 5 Meter or Progress",
    u"HTML 5 text inputs",
    u"HTML 5 number input",
    u"HTML 5 range input",
    u"HTML 5 color input",
    u"HTML 5 date input",
    u"HTML 5 week input",
    u"HTML 5 month input",
    u"HTML 5 time input",
    u"HTML 5 date and time input",
};

// The context capability: found, and its value converted to Boolean is True.
bool HasCapability(IpwObjectContextDetails* details, const GUID& capability) {
  if (!details) return false;
  BString name(GuidToWideString(capability));
  OleVariant value;
  VARIANT_BOOL found = VARIANT_FALSE;
  SafeCallCheck(details->GetCapability(name.Get(), value.Ptr(), &found));
  if (!found) return false;
  OleVariant b;
  if (Failed(VariantChangeType(b.Ptr(), value.Ptr(), 0, VT_BOOL))) return false;
  return b.Ptr()->boolVal != VARIANT_FALSE;
}

}  // namespace

TpwUsageCounters& UsageCounters() {
  static TpwUsageCounters counters{
      [](const GUID& key, const char16_t* name) { RegisterStatCounter(key, name); },
      [](const GUID& key, std::int32_t amount) { IncStatCounter(key, amount); },
  };
  return counters;
}

TpwWebSliceFactories& WebSliceFactories() {
  static TpwWebSliceFactories factories{
      [](IpwSysManager* sys) { return ComPtr<IDispatch>(MakeObject<TpwPageFindMethods>(sys)->Dispatch()); },
      [](IpwSysManager* sys) { return ComPtr<IDispatch>(MakeObject<TpwBrowserMethods>(sys)->Dispatch()); },
      [](IcvBaseManager*) { return ComPtr<IDispatch>(MakeObject<TpwEvaluateXPath>()->Dispatch()); },
      [](IcvBaseManager* host) { return ComPtr<IDispatch>(MakeObject<TpwCssSelectorMethods>(host)->Dispatch()); },
  };
  return factories;
}

GUID Html5CounterKey(int n) {
  GUID key = MakeGuid("{10000000-0930-4EFF-86D4-91607D7DD117}");
  key.Data1 += static_cast<std::uint32_t>(n);
  return key;
}

const char16_t* Html5CounterName(int n) {
  return n >= 0 && n < 16 ? kHtml5CounterNames[static_cast<std::size_t>(n)] : nullptr;
}

std::optional<int> Html5CounterOf(WideStringView typeText) {
  for (const auto& entry : kHtml5Names) {
    const WideStringView name(entry.name);
    if (name.size() == typeText.size() && SameTextIgnoringCase(name, typeText)) return entry.counter;
  }
  return std::nullopt;
}

void RegisterHtml5Counters() {
  auto& counters = UsageCounters();
  if (!counters.registerCounter) return;
  for (int n = 0; n < 16; ++n) {
    try {
      counters.registerCounter(Html5CounterKey(n), Html5CounterName(n));
    } catch (...) {  // the statistics service failing is ignored
    }
  }
}

void CountHtml5Usage(WideStringView typeText) {
  const auto counter = Html5CounterOf(typeText);
  auto& counters = UsageCounters();
  if (!counter || !counters.increment) return;
  try {
    counters.increment(Html5CounterKey(*counter), 1);
  } catch (...) {
  }
}

std::int32_t GetFrameProcessId(WideStringView commandLine, std::int32_t ownId) {
  return FrameProcessIdOf(commandLine).value_or(ownId);
}

WideString GetControlType(IDispatch* info) {
  if (!info) return {};
  OleVariant value = DispGetPropertyByID(info, kControlTypeDispId, OleVariant(u""));
  OleVariant text;
  if (Failed(VariantChangeType(text.Ptr(), value.Ptr(), 0, VT_BSTR))) return {};
  return WideString(BstrView(text.Ptr()->bstrVal));
}

// ---- Element controls -----------------------------------------------------------------------

TpwWebElementExtenderBuilder::TpwWebElementExtenderBuilder(IcvBaseManager* manager)
    : TpwSysNodeBuilder(RequireSysManager(manager).Get(), NewKey(), kWebElementKind) {}

void TpwWebElementExtenderBuilder::DoExtendNode(IpwSysNode* node) {
  auto element = QueryAs<IpwTabContext>(NativeObject(node, kWebElementKind).Get());
  if (!element) return;
  try {
    ComPtr<IUnknown> contextObject;
    SafeCallCheck(element->GetObjectContext(contextObject.Put()));
    ComPtr<IDispatch> info;
    SafeCallCheck(element->GetControlInfo(info.Put()));
    const WideString type = GetControlType(info.Get());
    if (type.empty()) return;
    auto context = QueryAs<IpwObjectContext2>(contextObject.Get());
    std::int32_t tag = 0;
    GUID kindKey{};
    if (auto details = QueryAs<IpwObjectContextDetails>(contextObject.Get())) {
      ComPtr<IUnknown> kindObject;
      SafeCallCheck(details->GetKindObject(kindObject.Put()));
      if (auto kind = QueryAs<IpwObjectKindInfo>(kindObject.Get())) {
        SafeCallCheck(kind->GetKindTag(&tag));
        SafeCallCheck(kind->GetKindKey(&kindKey));
      }
    }
    ComPtr<IcvBaseManager> host = HostObject(SysManager().Get());
    auto is = [&](std::initializer_list<const char16_t*> names) {
      for (const char16_t* n : names)
        if (SameTextIgnoringCase(type, n)) return true;
      return false;
    };
    auto attach = [&](const GUID& iid, IDispatch* slice) { Attach(node, iid, slice, kWebElementKind, tag); };
    if (is({u"select", u"flash@combobox"})) {
      auto slice =
          MakeObject<TpwWebComboElement>(host.Get(), context.Get(), !SameTextIgnoringCase(type, u"flash@combobox"));
      attach(slice_iids::kSelect, DispatchOfSlice(slice));
    } else if (is({u"multiselect", u"flash@list"})) {
      auto slice = MakeObject<TpwWebLstBoxElement>(host.Get(), context.Get());
      attach(slice_iids::kSelect, DispatchOfSlice(slice));
    } else if (is({u"frame", u"iframe"})) {
      auto slice = MakeObject<TpwWebObjectLocator>(host.Get());
      attach(slice_iids::kObjectLocator, DispatchOfSlice(slice));
    } else if (is({u"input@checkbox"})) {
      auto slice = MakeObject<TpwWebCheckBoxControl>(host.Get());
      attach(slice_iids::kCheckBox, DispatchOfSlice(slice));
    } else if (is({u"tabbutton"})) {
      auto slice = MakeObject<TpwWebTabButtonControl>(host.Get(), kindKey, false);
      attach(slice_iids::kButton, DispatchOfSlice(slice));
    } else if (is({u"flash@button", u"button", u"input@button", u"input@submit", u"input@reset", u"input@radio"})) {
      auto slice = MakeObject<TpwGenericButton>(host.Get(), context.Get(), SameTextIgnoringCase(type, u"input@radio"));
      attach(slice_iids::kButton, DispatchOfSlice(slice));
    } else if (is({u"flash@tablist"})) {
      auto slice = MakeObject<TpwWebTabListControl>(host.Get(), context.Get());
      attach(slice_iids::kTabList, DispatchOfSlice(slice));
    } else if (is({u"IE8ADDRESSEDIT"})) {
      auto slice = MakeObject<TpwWebIE8EditControl>();
      attach(slice_iids::kIE8Edit, DispatchOfSlice(slice));
    }
  } catch (...) {
    // The node keeps what it had: an element whose objects fail gets no slice.
  }
}

// ---- Windows --------------------------------------------------------------------------------

TpwWebWindow::TpwWebWindow(IcvBaseManager* manager)
    : TpwSysNodeBuilder(RequireSysManager(manager).Get(), NewKey(), kWebWindowKind) {}

void TpwWebWindow::DoExtendNode(IpwSysNode* node) {
  auto window = QueryAs<IpwSysObjectWindow>(NativeObject(node, kWebWindowKind).Get());
  if (!window) return;
  std::int32_t handle = 0;
  SafeCallCheck(window->GetHandle(&handle));
  auto windows = GetHostService<IcvWindowsManager>(Manager(), kWindowsManagerService);
  if (!windows) return;
  BString className;
  SafeCallCheck(windows->GetWindowClassName(handle, className.Put()));
  ComPtr<IcvBaseManager> host = HostObject(SysManager().Get());
  if (SameTextIgnoringCase(className.View(), u"IEFrame")) {
    auto slice = MakeObject<TpwWebIEFrameExtender>(host.Get(), kWebElementKind);
    Attach(node, slice_iids::kIEFrame, DispatchOfSlice(slice), kWebElementKind, kNoTag);
  } else if (SameTextIgnoringCase(className.View(), u"Internet Explorer_Server")) {
    auto slice = MakeObject<TpwWebToUrlMethod>(host.Get(), kWebElementKind, true);
    Attach(node, slice_iids::kPageLocator, DispatchOfSlice(slice), kWebElementKind, kNoTag);
  }
}

// ---- Processes ------------------------------------------------------------------------------

TpwWebProcess::TpwWebProcess(IcvBaseManager* manager)
    : TpwSysNodeBuilder(RequireSysManager(manager).Get(), NewKey(), kWebProcessKind) {}

void TpwWebProcess::DoExtendNode(IpwSysNode* node) {
  const auto object = NativeObject(node, kWebProcessKind);
  auto process = QueryAs<IpwSysObjectProcess>(object.Get());
  if (!process) return;
  // The process name is compared without its ".exe" (this host's process names carry it).
  auto nameIs = [&](const char16_t* wanted) {
    BString name;
    SafeCallCheck(process->GetProcessName(name.Put()));
    WideStringView n = name.View();
    if (n.size() > 4 && SameTextIgnoringCase(n.substr(n.size() - 4), u".exe")) n.remove_suffix(4);
    return SameTextIgnoringCase(n, wanted);
  };
  bool browser = false;
  for (const char16_t* n : {u"iexplore", u"firefox", u"chrome", u"opera", u"safari"})
    if (nameIs(n)) {
      browser = true;
      break;
    }
  if (!browser) return;
  auto sys = SysManager();
  if (const auto& make = WebSliceFactories().pageFind)
    if (auto slice = make(sys.Get())) Attach(node, slice_iids::kPageFind, slice.Get(), kWebElementKind, kNoTag);
  ComPtr<IcvBaseManager> host = HostObject(sys.Get());
  const bool ie = nameIs(u"iexplore");
  auto toUrl = MakeObject<TpwWebProcessToUrlMethod>(host.Get(), ie);
  Attach(node, slice_iids::kPageLocator, DispatchOfSlice(toUrl), kWebElementKind, kNoTag);
  if (ie) {
    BString commandLine;
    SafeCallCheck(process->GetCommandLine(commandLine.Put()));
    std::int32_t id = 0;
    SafeCallCheck(process->GetProcessId(&id));
    auto frame = MakeObject<TpwWebIEFrameMethod>(host.Get(), GetFrameProcessId(commandLine.View(), id));
    Attach(node, slice_iids::kIEFrameMethod, DispatchOfSlice(frame), kWebElementKind, kNoTag);
  }
  if (auto tracking = QueryAs<IpwProcessTracking>(object.Get())) SafeCallCheck(tracking->Track(-1));
}

// ---- Context table --------------------------------------------------------------------------

TpwOpenAppContextTableBuilder::TpwOpenAppContextTableBuilder(IpwSysManager* sysManager, const GUID& key,
                                                             const GUID& kind)
    : TpwSysNodeBuilder(sysManager, key, kind) {
  RegisterHtml5Counters();
}

void TpwOpenAppContextTableBuilder::DoExtendNode(IpwSysNode* node) {
  auto native = QueryAs<IpwNativeContext>(NativeObject(node, kContextTableKind).Get());
  if (!native) return;
  ComPtr<IUnknown> contextObject;
  SafeCallCheck(native->GetPageContext(contextObject.Put()));
  if (!QueryAs<IpwObjectContext2>(contextObject.Get())) return;
  auto details = QueryAs<IpwObjectContextDetails>(contextObject.Get());
  auto sys = SysManager();
  ComPtr<IcvBaseManager> host = HostObject(sys.Get());
  if (HasCapability(details.Get(), kXPathCapability))
    if (const auto& make = WebSliceFactories().evaluateXPath)
      if (auto slice = make(host.Get())) Attach(node, slice_iids::kEvaluateXPath, slice.Get(), kWebElementKind, kNoTag);
  const bool css = HasCapability(details.Get(), kCssCapability);
  if (css)
    if (const auto& make = WebSliceFactories().cssSelector)
      if (auto slice = make(host.Get())) Attach(node, slice_iids::kCssSelector, slice.Get(), GUID_NULL, kNoTag);
  if (HasCapability(details.Get(), kToUrlCapability)) {
    GUID kindKey{};
    ComPtr<IUnknown> kindObject;
    SafeCallCheck(details->GetKindObject(kindObject.Put()));
    if (auto kind = QueryAs<IpwObjectKindInfo>(kindObject.Get())) SafeCallCheck(kind->GetKindKey(&kindKey));
    auto slice = MakeObject<TpwWebToUrlMethod>(host.Get(), kindKey, true);
    Attach(node, slice_iids::kPageLocator, DispatchOfSlice(slice), kWebElementKind, kNoTag);
  }
  auto context = QueryAs<IpwObjectContext2>(contextObject.Get());
  BString typeText;
  OleVariant typeValue;
  VARIANT_BOOL found = VARIANT_FALSE;
  SafeCallCheck(context->GetObjectType(typeText.Put(), typeValue.Ptr(), &found));
  if (!found) return;
  if (css) CountHtml5Usage(typeText.View());
  if (SameTextIgnoringCase(typeText.View(), u"page")) {
    auto picture = MakeObject<TpwWebPagePictureMethod>(host.Get());
    Attach(node, slice_iids::kPagePicture, DispatchOfSlice(picture), kWebElementKind, kNoTag);
    auto actions = MakeObject<TpwBrowserPageActions>(host.Get());
    Attach(node, slice_iids::kPageActions, DispatchOfSlice(actions), kWebElementKind, kNoTag);
  }
}

// ---- Sys ------------------------------------------------------------------------------------

void TpwOpenAppSysBuilder::DoExtendNode(IpwSysNode* node) {
  if (const auto& make = WebSliceFactories().browserMethods)
    if (auto slice = make(SysManager().Get()))
      Attach(node, slice_iids::kBrowserMethods, slice.Get(), GUID_NULL, kNoTag);
}

}  // namespace pw::web
