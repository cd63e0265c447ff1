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

// The node as the builders use it: its native object of a kind, and AddExtension. A node that
// is not extensible has no native object and takes no slice.
class TExtensibleNode {
 public:
  explicit TExtensibleNode(IpwSysNode* node) : node_(QueryAs<IpwExtensibleSysNode>(node)) {}
  ComPtr<IUnknown> NativeObject(const GUID& kind) const {
    ComPtr<IUnknown> object;
    if (node_) SafeCallCheck(node_->GetNativeObject(kind, object.Put()));
    return object;
  }
  void Attach(const GUID& iid, IDispatch* slice, const GUID& group, std::int32_t tag) const {
    if (slice && node_) SafeCallCheck(node_->AddExtension(iid, slice, group, tag));
  }

 private:
  ComPtr<IpwExtensibleSysNode> node_;
};

template <class T>
IDispatch* DispatchOfSlice(const ComPtr<T>& slice) {
  return static_cast<IDispatch*>(slice->Dispatch());
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

// The ControlType text of a control information object, kept in `holder`; empty without one,
// when the read fails or when the value is no text. The property is read as a property get or
// method call without arguments; a value other than a text is converted.
WideStringView ReadControlType(IDispatch* info, OleVariant& holder) {
  if (!info) return {};
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (Failed(info->Invoke(kControlTypeDispId, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, holder.Put(),
                          nullptr, nullptr)))
    return {};
  if (holder.Type() != VT_BSTR && Failed(VariantChangeType(holder.Ptr(), holder.Ptr(), 0, VT_BSTR))) return {};
  return BstrView(holder.Ptr()->bstrVal);
}

// The element builder's rows: a control type (compared ignoring case) and the slice it gets.
enum class ElementRow { Combo, FlashCombo, ListBox, Frame, CheckBox, TabButton, Button, Radio, TabList, IE8Edit };
struct ElementRowName {
  WideStringView name;
  ElementRow row;
};
constexpr ElementRowName kElementRows[] = {
    {u"select", ElementRow::Combo},
    {u"flash@combobox", ElementRow::FlashCombo},
    {u"multiselect", ElementRow::ListBox},
    {u"flash@list", ElementRow::ListBox},
    {u"frame", ElementRow::Frame},
    {u"iframe", ElementRow::Frame},
    {u"input@checkbox", ElementRow::CheckBox},
    {u"tabbutton", ElementRow::TabButton},
    {u"flash@button", ElementRow::Button},
    {u"button", ElementRow::Button},
    {u"input@button", ElementRow::Button},
    {u"input@submit", ElementRow::Button},
    {u"input@reset", ElementRow::Button},
    {u"input@radio", ElementRow::Radio},
    {u"flash@tablist", ElementRow::TabList},
    {u"IE8ADDRESSEDIT", ElementRow::IE8Edit},
};

std::optional<ElementRow> ElementRowOf(WideStringView type) {
  for (const auto& entry : kElementRows)
    if (entry.name.size() == type.size() && SameTextIgnoringCase(entry.name, type)) return entry.row;
  return std::nullopt;
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
  OleVariant holder;
  return WideString(ReadControlType(info, holder));
}

ComPtr<IpwSysManager> RequireSysManager(IcvBaseManager* manager) {
  auto sys = GetHostService<IpwSysManager>(manager, kSysManagerHostService);
  if (!sys) throw EOleSysError(u"The host has no object tree", E_NOINTERFACE);
  return sys;
}

IcvBaseManager* TpwWebNodeBuilder::HostObject() {
  std::lock_guard guard(hostLock_);
  if (!host_)
    if (auto sys = SysManager()) SafeCallCheck(sys->GetManager(host_.Put()));
  return host_.Get();
}

// ---- Element controls -----------------------------------------------------------------------

TpwWebElementExtenderBuilder::TpwWebElementExtenderBuilder(IcvBaseManager* manager)
    : TpwWebNodeBuilder(RequireSysManager(manager).Get(), NewKey(), kWebElementKind) {}

void TpwWebElementExtenderBuilder::DoExtendNode(IpwSysNode* sysNode) {
  const TExtensibleNode node(sysNode);
  auto element = QueryAs<IpwTabContext>(node.NativeObject(kWebElementKind).Get());
  if (!element) return;
  try {
    // The control type first: an element that matches no row is left as it is, whatever its
    // other objects would answer.
    ComPtr<IDispatch> info;
    SafeCallCheck(element->GetControlInfo(info.Put()));
    OleVariant typeHolder;
    const auto row = ElementRowOf(ReadControlType(info.Get(), typeHolder));
    if (!row) return;
    ComPtr<IUnknown> contextObject;
    SafeCallCheck(element->GetObjectContext(contextObject.Put()));
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
    IcvBaseManager* host = HostObject();
    auto attach = [&](const GUID& iid, IDispatch* slice) { node.Attach(iid, slice, kWebElementKind, tag); };
    switch (*row) {
      case ElementRow::Combo:
      case ElementRow::FlashCombo:
        attach(slice_iids::kSelect,
               DispatchOfSlice(MakeObject<TpwWebComboElement>(host, context.Get(), *row == ElementRow::Combo)));
        break;
      case ElementRow::ListBox:
        attach(slice_iids::kSelect, DispatchOfSlice(MakeObject<TpwWebLstBoxElement>(host, context.Get())));
        break;
      case ElementRow::Frame:
        attach(slice_iids::kObjectLocator, DispatchOfSlice(MakeObject<TpwWebObjectLocator>(host)));
        break;
      case ElementRow::CheckBox:
        attach(slice_iids::kCheckBox, DispatchOfSlice(MakeObject<TpwWebCheckBoxControl>(host)));
        break;
      case ElementRow::TabButton:
        attach(slice_iids::kButton, DispatchOfSlice(MakeObject<TpwWebTabButtonControl>(host, kindKey, false)));
        break;
      case ElementRow::Button:
      case ElementRow::Radio:
        attach(slice_iids::kButton,
               DispatchOfSlice(MakeObject<TpwGenericButton>(host, context.Get(), *row == ElementRow::Radio)));
        break;
      case ElementRow::TabList:
        attach(slice_iids::kTabList, DispatchOfSlice(MakeObject<TpwWebTabListControl>(host, context.Get())));
        break;
      case ElementRow::IE8Edit:
        attach(slice_iids::kIE8Edit, DispatchOfSlice(MakeObject<TpwWebIE8EditControl>()));
        break;
    }
  } catch (...) {
    // The node keeps what it had: an element whose objects fail gets no slice.
  }
}

// ---- Windows --------------------------------------------------------------------------------

TpwWebWindow::TpwWebWindow(IcvBaseManager* manager)
    : TpwWebNodeBuilder(RequireSysManager(manager).Get(), NewKey(), kWebWindowKind) {}

void TpwWebWindow::DoExtendNode(IpwSysNode* sysNode) {
  const TExtensibleNode node(sysNode);
  auto window = QueryAs<IpwSysObjectWindow>(node.NativeObject(kWebWindowKind).Get());
  if (!window) return;
  std::int32_t handle = 0;
  SafeCallCheck(window->GetHandle(&handle));
  auto windows = GetHostService<IcvWindowsManager>(Manager(), kWindowsManagerService);
  if (!windows) return;
  BString className;
  SafeCallCheck(windows->GetWindowClassName(handle, className.Put()));
  IcvBaseManager* host = HostObject();
  if (SameTextIgnoringCase(className.View(), u"IEFrame")) {
    auto slice = MakeObject<TpwWebIEFrameExtender>(host, kWebElementKind);
    node.Attach(slice_iids::kIEFrame, DispatchOfSlice(slice), kWebElementKind, kNoTag);
  } else if (SameTextIgnoringCase(className.View(), u"Internet Explorer_Server")) {
    auto slice = MakeObject<TpwWebToUrlMethod>(host, kWebElementKind, true);
    node.Attach(slice_iids::kPageLocator, DispatchOfSlice(slice), kWebElementKind, kNoTag);
  }
}

// ---- Processes ------------------------------------------------------------------------------

TpwWebProcess::TpwWebProcess(IcvBaseManager* manager)
    : TpwWebNodeBuilder(RequireSysManager(manager).Get(), NewKey(), kWebProcessKind) {}

void TpwWebProcess::DoExtendNode(IpwSysNode* sysNode) {
  const TExtensibleNode node(sysNode);
  const auto object = node.NativeObject(kWebProcessKind);
  auto process = QueryAs<IpwSysObjectProcess>(object.Get());
  if (!process) return;
  // The process name is compared without its ".exe" (this host's process names carry it).
  BString processName;
  SafeCallCheck(process->GetProcessName(processName.Put()));
  WideStringView name = processName.View();
  if (name.size() > 4 && SameTextIgnoringCase(name.substr(name.size() - 4), u".exe")) name.remove_suffix(4);
  auto nameIs = [&](const char16_t* wanted) { return SameTextIgnoringCase(name, wanted); };
  bool browser = false;
  for (const char16_t* n : {u"iexplore", u"firefox", u"chrome", u"opera", u"safari"})
    if (nameIs(n)) {
      browser = true;
      break;
    }
  if (!browser) return;
  auto sys = SysManager();
  if (const auto& make = WebSliceFactories().pageFind)
    if (auto slice = make(sys.Get())) node.Attach(slice_iids::kPageFind, slice.Get(), kWebElementKind, kNoTag);
  IcvBaseManager* host = HostObject();
  const bool ie = nameIs(u"iexplore");
  auto toUrl = MakeObject<TpwWebProcessToUrlMethod>(host, ie);
  node.Attach(slice_iids::kPageLocator, DispatchOfSlice(toUrl), kWebElementKind, kNoTag);
  if (ie) {
    BString commandLine;
    SafeCallCheck(process->GetCommandLine(commandLine.Put()));
    std::int32_t id = 0;
    SafeCallCheck(process->GetProcessId(&id));
    auto frame = MakeObject<TpwWebIEFrameMethod>(host, GetFrameProcessId(commandLine.View(), id));
    node.Attach(slice_iids::kIEFrameMethod, DispatchOfSlice(frame), kWebElementKind, kNoTag);
  }
  if (auto tracking = QueryAs<IpwProcessTracking>(object.Get())) SafeCallCheck(tracking->Track(-1));
}

// ---- Context table --------------------------------------------------------------------------

TpwOpenAppContextTableBuilder::TpwOpenAppContextTableBuilder(IpwSysManager* sysManager, const GUID& key,
                                                             const GUID& kind)
    : TpwWebNodeBuilder(sysManager, key, kind) {
  RegisterHtml5Counters();
}

void TpwOpenAppContextTableBuilder::DoExtendNode(IpwSysNode* sysNode) {
  const TExtensibleNode node(sysNode);
  auto native = QueryAs<IpwNativeContext>(node.NativeObject(kContextTableKind).Get());
  if (!native) return;
  ComPtr<IUnknown> contextObject;
  SafeCallCheck(native->GetPageContext(contextObject.Put()));
  if (!QueryAs<IpwObjectContext2>(contextObject.Get())) return;
  auto details = QueryAs<IpwObjectContextDetails>(contextObject.Get());
  IcvBaseManager* host = HostObject();
  if (HasCapability(details.Get(), kXPathCapability))
    if (const auto& make = WebSliceFactories().evaluateXPath)
      if (auto slice = make(host)) node.Attach(slice_iids::kEvaluateXPath, slice.Get(), kWebElementKind, kNoTag);
  const bool css = HasCapability(details.Get(), kCssCapability);
  if (css)
    if (const auto& make = WebSliceFactories().cssSelector)
      if (auto slice = make(host)) node.Attach(slice_iids::kCssSelector, slice.Get(), GUID_NULL, kNoTag);
  if (HasCapability(details.Get(), kToUrlCapability)) {
    GUID kindKey{};
    ComPtr<IUnknown> kindObject;
    SafeCallCheck(details->GetKindObject(kindObject.Put()));
    if (auto kind = QueryAs<IpwObjectKindInfo>(kindObject.Get())) SafeCallCheck(kind->GetKindKey(&kindKey));
    auto slice = MakeObject<TpwWebToUrlMethod>(host, kindKey, true);
    node.Attach(slice_iids::kPageLocator, DispatchOfSlice(slice), kWebElementKind, kNoTag);
  }
  auto context = QueryAs<IpwObjectContext2>(contextObject.Get());
  BString typeText;
  OleVariant typeValue;
  VARIANT_BOOL found = VARIANT_FALSE;
  SafeCallCheck(context->GetObjectType(typeText.Put(), typeValue.Ptr(), &found));
  if (!found) return;
  if (css) CountHtml5Usage(typeText.View());
  if (SameTextIgnoringCase(typeText.View(), u"page")) {
    auto picture = MakeObject<TpwWebPagePictureMethod>(host);
    node.Attach(slice_iids::kPagePicture, DispatchOfSlice(picture), kWebElementKind, kNoTag);
    auto actions = MakeObject<TpwBrowserPageActions>(host);
    node.Attach(slice_iids::kPageActions, DispatchOfSlice(actions), kWebElementKind, kNoTag);
  }
}

// ---- Sys ------------------------------------------------------------------------------------

void TpwOpenAppSysBuilder::DoExtendNode(IpwSysNode* node) {
  if (const auto& make = WebSliceFactories().browserMethods)
    if (auto slice = make(SysManager().Get()))
      TExtensibleNode(node).Attach(slice_iids::kBrowserMethods, slice.Get(), GUID_NULL, kNoTag);
}

}  // namespace pw::web
