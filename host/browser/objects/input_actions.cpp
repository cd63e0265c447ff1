#include "host/browser/objects/input_actions.h"

#include "host/browser/keys.h"
#include "platform/automation/dispatch.h"
#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

constexpr std::pair<const char16_t*, DISPID> kActionNames[] = {
    {u"Click", kActionClick},       {u"ClickM", kActionClickM},       {u"ClickR", kActionClickR},
    {u"DblClick", kActionDblClick}, {u"DblClickR", kActionDblClickR}, {u"HoverMouse", kActionHoverMouse},
    {u"Keys", kActionKeys},         {u"DblClickM", kActionDblClickM}};

class TWindowActions final : public Implements<ComObject, IDispatch> {
 public:
  TWindowActions(ComPtr<TInputService> service, std::int32_t window) : service_(std::move(service)), window_(window) {}

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const auto& [name, id] : kActionNames) {
      if (count > 0 && SameTextIgnoringCase(WideStringView(names[0]), name)) {
        ids[0] = id;
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 std::uint32_t*) override {
    if (result) VariantInit(result);
    bool known = false;
    for (const auto& entry : kActionNames) known = known || entry.second == id;
    if (!known) return DISP_E_MEMBERNOTFOUND;
    if (!params || params->cArgs != InputActionArgumentCount(id)) return DISP_E_BADPARAMCOUNT;
    InputAction action;
    action.window = window_, action.action = id;
    if (id == kActionKeys) {
      OleVariant text;
      if (Failed(VariantChangeType(text.Ptr(), &params->rgvarg[0], 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
      action.keys = WideString(BstrView(text.Get().bstrVal));
    } else {
      std::int32_t values[3] = {};
      const std::uint32_t count = params->cArgs;
      for (std::uint32_t i = 0; i < count; ++i) {
        OleVariant n;
        if (Failed(VariantChangeType(n.Ptr(), &params->rgvarg[count - 1 - i], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
        values[i] = n.Get().lVal;
      }
      action.x = values[0], action.y = values[1], action.shift = values[2];
    }
    const HRESULT hr = SafeCall([&] {
      try {
        Perform(action);
      } catch (const browser::BrowserError& e) {
        throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
      }
    });
    return Failed(hr) ? FailedCall(hr, excepInfo) : S_OK;
  }

 private:
  void Perform(const InputAction& action) {
    if (action.action == kActionKeys) browser::ParseKeyString(action.keys);  // refused: nothing at all
    service_->Record(action);
    PerformInputAction(service_->Browsers(), action);
  }

  ComPtr<TInputService> service_;
  std::int32_t window_;
};

void PerformOnPage(TBrowsers& browsers, const InputAction& action) {
  const HWND window = static_cast<HWND>(action.window);
  std::vector<browser::KeyStroke> strokes;
  if (action.action == kActionKeys) strokes = browser::ParseKeyString(action.keys);  // refused: nothing at all
  if (browsers.FindByListWindow(window)) {
    if (action.action == kActionKeys) {
      browsers.CloseListWindow(window);
    } else if (action.action != kActionHoverMouse) {
      browsers.ClickListWindow(window, action.x, action.y);
    }
    return;
  }
  auto browser = browsers.FindByWindow(window);
  if (!browser || !browser->page) return;
  browser::Page& page = *browser->page;
  if (action.action == kActionKeys) {
    // F4 on a frame goes to its address bar, which a tested browser does not have: the keys are
    // refused whole rather than typed into the page.
    if (window == browser->window) {
      for (const auto& s : strokes) {
        if (s.key == "F4") throw EOleSysError(u"The browser has no address bar to type into", E_NOTIMPL);
      }
    }
    for (const auto& s : strokes) page.Key(s.key, s.modifiers);
    return;
  }
  double x = action.x, y = action.y;
  if (action.x < 0 || action.y < 0) {  // the centre of the viewport
    const browser::Json size =
        browser::Json::parse(page.Evaluate("JSON.stringify([window.innerWidth, window.innerHeight])")
                                 .object.value("value", std::string("[0,0]")));
    x = size.at(0).get<double>() / 2, y = size.at(1).get<double>() / 2;
  }
  if (action.action == kActionHoverMouse) {
    page.MoveMouse(x, y);
    return;
  }
  const auto button = action.action == kActionClickR || action.action == kActionDblClickR ? browser::MouseButton::Right
                      : action.action == kActionClickM || action.action == kActionDblClickM
                          ? browser::MouseButton::Middle
                          : browser::MouseButton::Left;
  const int count =
      action.action == kActionDblClick || action.action == kActionDblClickR || action.action == kActionDblClickM ? 2
                                                                                                                 : 1;
  page.Click(x, y, button, count, EngineModifiers(action.shift));
}

}  // namespace

void PerformInputAction(TBrowsers& browsers, const InputAction& action) {
  try {
    PerformOnPage(browsers, action);
  } catch (const browser::BrowserError& e) {
    throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
  }
}

std::uint32_t InputActionArgumentCount(DISPID action) {
  return action == kActionKeys ? 1 : action == kActionHoverMouse ? 2 : 3;
}

int EngineModifiers(std::int32_t shift) {
  int modifiers = 0;
  if (shift & 0x8000) modifiers |= browser::kModifierAlt;
  if (shift & 0x4000) modifiers |= browser::kModifierControl;
  if (shift & 0x2000) modifiers |= browser::kModifierShift;
  return modifiers;
}

HRESULT TInputService::GetWindowObject(std::int32_t window, IDispatch** actions) {
  if (!actions) return E_POINTER;
  auto object = MakeObject<TWindowActions>(ComPtr<TInputService>(this), window);
  *actions = static_cast<IDispatch*>(object.Detach());
  return S_OK;
}

HRESULT TInputService::GetActionObject(const GUID& key, std::int32_t window, IDispatch** actions) {
  if (!actions) return E_POINTER;
  {
    std::lock_guard lock(mutex_);
    actionObjectRequests_.emplace_back(key, window);
  }
  return GetWindowObject(window, actions);
}

std::vector<std::pair<GUID, std::int32_t>> TInputService::ActionObjectRequests() const {
  std::lock_guard lock(mutex_);
  return actionObjectRequests_;
}

std::vector<InputAction> TInputService::Actions() const {
  std::lock_guard lock(mutex_);
  return actions_;
}

void TInputService::Record(const InputAction& action) {
  std::lock_guard lock(mutex_);
  actions_.push_back(action);
}

}  // namespace pw::host
