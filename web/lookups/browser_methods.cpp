#include "web/lookups/browser_methods.h"

#include <optional>

#include "core/automation/dispatch_helpers.h"
#include "core/automation/text_search.h"
#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "core/host/invoke_expressions.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/lookups/node_selectors.h"
#include "web/lookups/page_find_methods.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"

namespace pw::web {

WideString BrowserNameOfKind(std::int32_t kind) {
  switch (kind) {
    case -1: return u"iexplore";
    case -2: return u"firefox";
    case -3: return u"chrome";
    case -4: return u"opera";
    case -5: return u"safari";
    default: return {};
  }
}

WideString BrowserCallText(IcvBaseManager* host, WideStringView name, std::int32_t index) {
  // DISPPARAMS hold the arguments last first.
  OleVariant args[2] = {OleVariant(index), OleVariant(name)};
  DISPPARAMS params{};
  params.cArgs = index == 1 ? 1 : 2;
  params.rgvarg = index == 1 ? args[1].Ptr() : args[0].Ptr();
  return u"Sys." + BuildInvokeExpressionText(host, u"Browser", params, static_cast<std::int32_t>(params.cArgs), false);
}

WideString AmbiguousBrowserDetails(WideStringView list) {
  return u"<html><body><p></p><p>There are several browsers running in the system. The executed test commands do "
         u"not specify the web browser to be used (this can happen, for example, when you are running part of your "
         u"test).</p><p style=\"margin-top : 12px;\"><b><u>Launched browsers:</u></b></p><div style=\"margin-left: "
         u"24px;\">" +
         WideString(list) +
         u"</div><p style=\"margin-top: 12px;\">Please close the browsers you do not want to use and run the test "
         u"again. Alternatively, you can run the test from the Run Browser or Navigate command that specifies the "
         u"desired browser (IExplore, Firefox, Chrome).</p><p style=\"margin-top: 12px;\"><a "
         u"href=\"cva-help://4297\">See Help for more information</a></p></body></html>";
}

namespace {

// The extended test log; nil without one.
ComPtr<IpwExtendedTestLog> ExtendedLog(IcvBaseManager* host) {
  try {
    return QueryAs<IpwExtendedTestLog>(GetLogObject(host).Get());
  } catch (const EOleSysError&) {
    return nullptr;
  }
}

// The first pair of an identification: the Variant itself, or the first element of its array.
OleVariant FirstPart(const VARIANT& v) {
  const VARIANT& value = (v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal) ? *v.pvarVal : v;
  if (!(value.vt & VT_ARRAY)) return OleVariant(value);
  if ((value.vt & VT_BYREF) || !value.parray) return {};
  std::int32_t low = 0, high = -1;
  OleCheck(SafeArrayGetLBound(value.parray, 1, &low));
  OleCheck(SafeArrayGetUBound(value.parray, 1, &high));
  if (high < low) return {};
  OleVariant item;
  if ((value.vt & VT_TYPEMASK) == VT_VARIANT) {
    OleCheck(SafeArrayGetElement(value.parray, &low, item.Put()));
  } else if ((value.vt & VT_TYPEMASK) == VT_BSTR) {
    BSTR text = nullptr;
    OleCheck(SafeArrayGetElement(value.parray, &low, &text));
    item = OleVariant(BstrView(text));
    SysFreeString(text);
  }
  return item;
}

bool IsTextPart(const OleVariant& v, const char16_t* text) {
  return v.Type() == VT_BSTR && SameTextIgnoringCase(v.AsString(), text);
}

// Element 0 of an array value (a text), or nullopt.
std::optional<WideString> FirstElementText(const VARIANT& value) {
  if (!(value.vt & VT_ARRAY) || (value.vt & VT_BYREF) || !value.parray) return std::nullopt;
  OleVariant first = FirstPart(value);
  if (first.IsEmpty() || first.IsNull()) return std::nullopt;
  return first.AsString();
}

// The browser's process name when the node's object context is of type "browser".
std::optional<WideString> BrowserProcessName(IUnknown* node) {
  auto context = NodeObjectContext(node);
  if (!context) return std::nullopt;
  BString type;
  OleVariant value;
  VARIANT_BOOL found = VARIANT_FALSE;
  if (Failed(context->GetObjectType(type.Put(), value.Put(), &found)) || found == VARIANT_FALSE) return std::nullopt;
  if (!SameTextIgnoringCase(type.View(), u"browser")) return std::nullopt;
  return FirstElementText(value.Get());
}

ComPtr<IDispatch> OwnObject(IpwSysNode* node) {
  ComPtr<IDispatch> own;
  SafeCallCheck(node->GetOwnObject(own.Put()));
  return own;
}

WideString FullNameOf(IpwSysNode* node) {
  BString name;
  SafeCallCheck(node->GetFullName(name.Put()));
  return name.Str();
}

// The host's indicator while a wait lasts: shown at the first turn that goes on waiting, moved
// each turn with a limit, taken down however the wait ends.
class WaitIndicator {
 public:
  explicit WaitIndicator(IcvBaseManager* host) : host_(host) {}
  ~WaitIndicator() {
    if (indicator_ && id_ != 0) indicator_->StopProgress(id_);
  }
  void Show(WideStringView text, std::int32_t limit) {
    if (shown_) return;
    shown_ = true;
    auto provider = GetHostService<IpwHostObjectProvider>(host_.Get(), kNodeLookupService);
    if (!provider) return;
    ComPtr<IUnknown> object;
    SafeCallCheck(provider->GetIndicator(object.Put()));
    indicator_ = QueryAs<IpwIndicatorInternal>(object.Get());
    if (!indicator_) return;
    BString caption(text);
    id_ = indicator_->StartProgress(caption.Get(), 0, limit > 0 ? limit : 0);
  }
  void Update(std::int32_t left) {
    if (indicator_ && id_ != 0) indicator_->UpdateProgress(id_, left);
  }

 private:
  ComPtr<IcvBaseManager> host_;
  ComPtr<IpwIndicatorInternal> indicator_;
  std::int32_t id_ = 0;
  bool shown_ = false;
};

}  // namespace

TpwBrowserMethods::TpwBrowserMethods(IpwSysManager* sysManager)
    : AutoImplements(std::vector<IID>{IpwBrowserMethods::iid}), sysManager_(sysManager) {}

ComPtr<IcvBaseManager> TpwBrowserMethods::Host() {
  ComPtr<IcvBaseManager> host;
  if (sysManager_) SafeCallCheck(sysManager_->GetManager(host.Put()));
  return host;
}

void TpwBrowserMethods::CheckLegacy() {
  OleVariant legacy = GetSettingValue(Host().Get(), kLegacyWebTestingSetting);
  if (legacy.Type() == VT_BOOL && legacy.Get().boolVal != VARIANT_FALSE) throw EOleSysError(kLegacyBrowserText, E_FAIL);
}

HRESULT TpwBrowserMethods::Browser(BSTR name, const VARIANT& index, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the browser", E_POINTER);
    *value = nullptr;
    CheckLegacy();
    const WideString browserName(BstrView(name));
    const std::int32_t browserIndex = OptionalIntArgument(index, 1);
    auto host = Host();
    auto found = WaitForBrowser(browserName, browserIndex, IntSetting(host.Get(), kBrowserWaitSetting, 0));
    if (!found) {
      const WideString text = BrowserCallText(host.Get(), browserName, browserIndex);
      found = DispatchOf(FindPageByIdentification(host.Get(), text).Get());
      if (auto log = ExtendedLog(host.Get())) {
        OleVariant message(WideFormat(kObjectNotFoundText, {text}));
        OleVariant details(kBrowserNotFoundDetails);
        SafeCallCheck(log->Error(message.Get(), details.Get(), 300, OleVariant(0).Get(), OleVariant::Null().Get(), -1));
      }
    }
    *value = found.Detach();
  });
}

HRESULT TpwBrowserMethods::WaitBrowser(BSTR name, std::int32_t waitTime, const VARIANT& index, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the browser", E_POINTER);
    *value = nullptr;
    CheckLegacy();
    const WideString browserName(BstrView(name));
    const std::int32_t browserIndex = OptionalIntArgument(index, 1);
    auto found = WaitForBrowser(browserName, browserIndex, waitTime);
    if (!found) {
      auto host = Host();
      found = DispatchOf(
          FindPageByIdentification(host.Get(), BrowserCallText(host.Get(), browserName, browserIndex)).Get());
    }
    *value = found.Detach();
  });
}

HRESULT TpwBrowserMethods::FindByIdentification(const VARIANT& names, const VARIANT& values, IDispatch** object,
                                                VARIANT_BOOL* handled) {
  return SafeCall([&] {
    if (!object || !handled) throw EOleSysError(u"No place for the object", E_POINTER);
    *object = nullptr;
    *handled = VARIANT_FALSE;
    if (!IsTextPart(FirstPart(names), u"ObjectType") || !IsTextPart(FirstPart(values), u"Browser")) return;
    *handled = VARIANT_TRUE;
    auto found = WaitForBrowser(u"*", 1, 0);
    if (found && QueryAs<IpwSysNode>(found.Get())) {
      auto wrapped = WrapBrowserProxy(found.Get(), sysManager_.Get());
      *object = QueryAs<IDispatch>(wrapped.Get()).Detach();
    }
  });
}

ComPtr<IDispatch> TpwBrowserMethods::Recognise(IpwSysNode* sys, WideStringView name, std::int32_t index,
                                               bool ambiguityCheck) {
  const WideString mask = WideLowerCase(name);
  TpwSysNodeChildren children;
  GetSysNodeChildren(sys, false, children);
  ComPtr<IDispatch> first;
  std::vector<WideString> names;
  for (const auto& child : children) {
    auto process = BrowserProcessName(child.Get());
    if (!process || !WideMatchesMask(mask, WideLowerCase(*process))) continue;
    auto own = OwnObject(child.Get());
    if (!own || !SameTextIgnoringCase(NodeText(own.Get(), u"ObjectType"), u"Browser")) continue;
    if (!own || !DispPropertyMatches(own.Get(), u"BrowserIndex", OleVariant(index).Get())) continue;
    if (!first) first = DispatchOf(child.Get());
    if (!ambiguityCheck) break;
    names.push_back(FullNameOf(child.Get()));
  }
  if (names.size() > 1) {
    WideString list;
    for (const auto& n : names) list += (list.empty() ? u"" : u"<br>") + n;
    if (auto log = ExtendedLog(Host().Get())) {
      OleVariant message(kAmbiguousBrowserText);
      OleVariant details(AmbiguousBrowserDetails(list));
      SafeCallCheck(log->Warning(message.Get(), details.Get(), 300, OleVariant(0).Get(), OleVariant::Null().Get(), -1));
    }
  }
  return first;
}

ComPtr<IDispatch> TpwBrowserMethods::WaitForBrowser(WideStringView name, std::int32_t index, std::int32_t waitTime) {
  auto node = GetSliceNode();
  auto sys = QueryAs<IpwSysNodeEx>(node.Get());
  if (!sys) return nullptr;
  auto host = Host();
  const bool running = IsTestRunning(host.Get());
  if (!running) waitTime = 0;
  const bool hasLog = running && ExtendedLog(host.Get());
  const bool unlimited = waitTime < 0;
  const DWORD start = GetTickCount();
  // The host has no run item that names the browser of the current run: a wait recognises.
  const bool ambiguityCheck =
      hasLog && (name.find(u'*') != WideStringView::npos || name.find(u'?') != WideStringView::npos);
  ComPtr<IDispatch> result;
  WaitIndicator indicator(host.Get());
  for (;;) {
    if (!result || !NodeExists(result.Get())) result = Recognise(sys.Get(), name, index, ambiguityCheck);
    if (result) break;
    if (IsTestRunning(host.Get()) != running) break;
    const DWORD elapsed = GetTickCount() - start;
    if (!unlimited && elapsed >= static_cast<DWORD>(waitTime)) break;
    indicator.Show(WideFormat(u"Waiting for %s", {BrowserCallText(host.Get(), name, index)}), waitTime);
    if (!unlimited) indicator.Update(waitTime - static_cast<std::int32_t>(elapsed));
    SafeCallCheck(sys->Refresh());
    SleepMs(kBrowserWaitStepMs);
  }
  if (result && name == u"*") {
    auto wrapped = WrapBrowserProxy(result.Get(), sysManager_.Get());
    result = QueryAs<IDispatch>(wrapped.Get());
  }
  return result;
}

}  // namespace pw::web
