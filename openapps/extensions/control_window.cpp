#include "openapps/extensions/control_window.h"

#include "core/host/host_services.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/variant.h"
#include "platform/com/safecall.h"
#include "platform/ui/window_system.h"

namespace pw {

namespace {

// A property read by DISPID; a failure raises.
OleVariant GetProperty(IDispatch* object, DISPID id) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  OleVariant result;
  OleCheck(object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr));
  return result;
}

std::int32_t GetInteger(IDispatch* object, DISPID id) {
  OleVariant v = GetProperty(object, id);
  OleVariant i;
  OleCheck(VariantChangeType(i.Put(), v.Ptr(), 0, VT_I4));
  return i.Get().lVal;
}

bool GetBoolean(IDispatch* object, DISPID id) {
  OleVariant v = GetProperty(object, id);
  OleVariant b;
  OleCheck(VariantChangeType(b.Put(), v.Ptr(), 0, VT_BOOL));
  return b.Get().boolVal != VARIANT_FALSE;
}

bool IsLiveWindow(std::int32_t handle) {
  return handle != 0 && IsWindow(static_cast<HWND>(static_cast<std::uint32_t>(handle)));
}

}  // namespace

TpwOpenControlWindow::TpwOpenControlWindow(IcvBaseManager* host, IpwNodeReference* nodeRef, IpwObjectContext2* context)
    : host_(host), nodeRef_(nodeRef), context_(context) {}

ComPtr<IDispatch> TpwOpenControlWindow::GetControlObject() {
  if (!context_) return nullptr;
  VARIANT_BOOL valid = VARIANT_FALSE;
  SafeCallCheck(context_->IsValid(&valid));
  if (!valid) {
    if (auto node = GetReferencedNode(nodeRef_.Get())) {
      auto native = QueryAs<IpwNativeContext>(node.Get());
      ComPtr<IUnknown> lock;
      GUID key{};
      ComPtr<IpwObjectContext2> renewed;
      VARIANT_BOOL ok = VARIANT_FALSE;
      SafeCallCheck(context_->Renew(lock.Put(), &key, renewed.Put(), &ok));
      if (auto l = QueryAs<IpwContextLock>(lock.Get())) SafeCallCheck(l->Lock());
      if (!native) {
        // The object is still answered, then the node's missing interface raises.
        ComPtr<IDispatch> object;
        SafeCallCheck(context_->GetObject(object.Put()));
        RaiseInterfaceCastError();
      }
      SafeCallCheck(native->SetContextKey(key));
      if (ok && renewed) context_ = renewed;
    }
  }
  ComPtr<IDispatch> object;
  SafeCallCheck(context_->GetObject(object.Put()));
  return object;
}

std::int32_t TpwOpenControlWindow::FindPivotWindow() {
  auto node = GetReferencedNode(nodeRef_.Get());
  if (!node) return 0;
  auto parentOf = [](IpwSysNode* n) {
    ComPtr<IpwSysNode> parent;
    SafeCallCheck(n->GetParent(parent.Put()));
    return parent;
  };
  for (auto at = parentOf(node.Get()); at; at = parentOf(at.Get()))
    if (auto window = QueryAs<IpwSysObjectWindow>(at.Get())) {
      std::int32_t handle = 0;
      SafeCallCheck(window->GetHandle(&handle));
      return handle;
    }
  for (auto at = parentOf(node.Get()); at; at = parentOf(at.Get()))
    if (auto pivot = QueryAs<IpwSysObjectControlWithPivotWindow>(at.Get())) {
      std::int32_t handle = 0;
      SafeCallCheck(pivot->GetPivotWindow(&handle));
      return handle;
    }
  return 0;
}

std::int32_t TpwOpenControlWindow::WindowHandle() {
  if (IsLiveWindow(windowHandle_)) return windowHandle_;
  windowHandle_ = 0;  // a handle that no longer names a window is dropped
  if (!context_) return 0;
  ComPtr<IDispatch> object;
  SafeCallCheck(context_->GetObject(object.Put()));
  if (!object) return 0;
  try {
    VARIANT arg;
    VariantInit(&arg);
    std::int32_t handle = 0;
    arg.vt = VT_BYREF | VT_I4;
    arg.byref = &handle;
    DISPPARAMS one{&arg, nullptr, 1, 0};
    OleVariant gave;
    OleCheck(object->Invoke(control_members::kWindowHandle, GUID_NULL, 0, DISPATCH_METHOD, &one, gave.Put(), nullptr,
                            nullptr));
    OleVariant b;
    OleCheck(VariantChangeType(b.Put(), gave.Ptr(), 0, VT_BOOL));
    if (b.Get().boolVal != VARIANT_FALSE && IsLiveWindow(handle)) return windowHandle_ = handle;
    std::int32_t pivot = FindPivotWindow();
    if (!IsLiveWindow(pivot)) return 0;
    return windowHandle_ = pivot;
  } catch (...) {
    return 0;
  }
}

std::int32_t TpwOpenControlWindow::GetWindowHandle() {
  try {
    return WindowHandle();
  } catch (...) {
    return 0;
  }
}

VARIANT_BOOL TpwOpenControlWindow::GetControlRect(std::int32_t* left, std::int32_t* top, std::int32_t* right,
                                                  std::int32_t* bottom) {
  try {
    if (!left || !top || !right || !bottom) return VARIANT_FALSE;
    std::int32_t window = WindowHandle();
    if (!IsLiveWindow(window)) return VARIANT_FALSE;
    auto object = GetControlObject();
    if (!object) return VARIANT_FALSE;
    std::int32_t x = GetInteger(object.Get(), control_members::kLeft);
    std::int32_t y = GetInteger(object.Get(), control_members::kTop);
    if (auto windows = GetHostService<IcvWindowsManager>(host_.Get(), kWindowsManagerService))
      windows->ClientToScreen(window, &x, &y);  // its result is not checked
    std::int32_t width = GetInteger(object.Get(), control_members::kWidth);
    std::int32_t height = GetInteger(object.Get(), control_members::kHeight);
    *left = x;
    *top = y;
    *right = x + width;
    *bottom = y + height;
    return VARIANT_TRUE;
  } catch (...) {
    return VARIANT_FALSE;
  }
}

bool TpwOpenControlWindow::GetCheckPointDispId(DISPID& id) {
  if (checkPointDispId_ == -1) {
    checkPointDispId_ = -2;  // looked up at most once
    auto object = GetControlObject();
    if (!object) return false;
    const char16_t* names[] = {control_members::kCheckPointAccessible};
    DISPID found = -1;
    if (Succeeded(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &found))) checkPointDispId_ = found;
  }
  id = checkPointDispId_;
  return checkPointDispId_ != -2;
}

VARIANT_BOOL TpwOpenControlWindow::IsPointAccessible(std::int32_t x, std::int32_t y) {
  try {
    auto object = GetControlObject();
    if (!object) return VARIANT_FALSE;
    DISPID id = 0;
    if (GetCheckPointDispId(id)) {
      try {
        VARIANT args[2];  // in reverse order: Y, then X
        VariantInit(&args[0]);
        VariantInit(&args[1]);
        args[0].vt = VT_I4;
        args[0].lVal = y;
        args[1].vt = VT_I4;
        args[1].lVal = x;
        DISPPARAMS two{args, nullptr, 2, 0};
        OleVariant result;
        if (Failed(object->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &two, result.Put(), nullptr, nullptr)))
          return VARIANT_TRUE;  // a failing test counts as reachable
        return result.Get().vt == VT_BOOL && result.Get().boolVal != VARIANT_FALSE ? VARIANT_TRUE : VARIANT_FALSE;
      } catch (...) {
        return VARIANT_FALSE;
      }
    }
    return GetBoolean(object.Get(), control_members::kVisible) ? VARIANT_TRUE : VARIANT_FALSE;
  } catch (...) {
    return VARIANT_FALSE;
  }
}

}  // namespace pw
