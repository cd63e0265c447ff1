#include "host/browser/objects/input_actions.h"

#include "platform/automation/dispatch.h"
#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"

namespace pw::host {

namespace {

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
    static const std::pair<const char16_t*, DISPID> kNames[] = {{u"Click", kActionClick},
                                                                {u"ClickM", kActionClickM},
                                                                {u"ClickR", kActionClickR},
                                                                {u"DblClick", kActionDblClick},
                                                                {u"DblClickR", kActionDblClickR}};
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const auto& [name, id] : kNames) {
      if (count > 0 && WideStringView(names[0]) == name) {
        ids[0] = id;
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 std::uint32_t*) override {
    if (result) VariantInit(result);
    if (id != kActionClick && id != kActionClickM && id != kActionClickR && id != kActionDblClick &&
        id != kActionDblClickR) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (!params || params->cArgs != 3) return DISP_E_BADPARAMCOUNT;
    std::int32_t values[3] = {};
    for (std::uint32_t i = 0; i < 3; ++i) {
      OleVariant n;
      if (Failed(VariantChangeType(n.Ptr(), &params->rgvarg[2 - i], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
      values[i] = n.Get().lVal;
    }
    const InputAction action{window_, id, values[0], values[1], values[2]};
    service_->Record(action);
    const HRESULT hr = SafeCall([&] {
      auto browser = service_->Browsers().FindByWindow(static_cast<HWND>(window_));
      if (!browser || !browser->page) return;
      int modifiers = 0;
      if (action.shift & 0x8000) modifiers |= 1;
      if (action.shift & 0x4000) modifiers |= 2;
      if (action.shift & 0x2000) modifiers |= 8;
      const auto button = id == kActionClickR || id == kActionDblClickR ? browser::MouseButton::Right
                          : id == kActionClickM                         ? browser::MouseButton::Middle
                                                                        : browser::MouseButton::Left;
      const int count = id == kActionDblClick || id == kActionDblClickR ? 2 : 1;
      browser->page->Click(action.x, action.y, button, count, modifiers);
    });
    return Failed(hr) ? FailedCall(hr, excepInfo) : S_OK;
  }

 private:
  ComPtr<TInputService> service_;
  std::int32_t window_;
};

}  // namespace

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
