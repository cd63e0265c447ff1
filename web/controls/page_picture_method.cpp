#include "web/controls/page_picture_method.h"

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_services.h"
#include "graphics/bitmap.h"
#include "openapps/extensions/node_utils.h"
#include "openapps/picture/picture.h"
#include "platform/automation/out_params.h"
#include "platform/com/safecall.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/ui/gdi.h"
#include "web/controls/page_picture.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/window_helpers.h"

namespace pw::web {

namespace {

TRect RectOf(IcvWindowsManager* windows, std::int32_t window, bool client) {
  TRect r;
  if (client) SafeCallCheck(windows->GetClientRect(window, &r.Left, &r.Top, &r.Right, &r.Bottom));
  else SafeCallCheck(windows->GetWindowRect(window, &r.Left, &r.Top, &r.Right, &r.Bottom));
  return r;
}

}  // namespace

TpwWebPagePictureMethod::TpwWebPagePictureMethod(IcvBaseManager* manager)
    : AutoImplements(std::vector<IID>{IpwWebPagePicture::iid}), manager_(manager),
      windows_(GetHostService<IcvWindowsManager>(manager, kWindowsManagerService)) {}

HRESULT TpwWebPagePictureMethod::PagePicture(const VARIANT& clientXArg, const VARIANT& clientYArg,
                                             const VARIANT& widthArg, const VARIANT& heightArg, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the picture", E_POINTER);
    *value = nullptr;
    const std::int32_t clientX = OptionalIntArgument(clientXArg, -1), clientY = OptionalIntArgument(clientYArg, -1);
    const std::int32_t width = OptionalIntArgument(widthArg, -1), height = OptionalIntArgument(heightArg, -1);
    CheckPagePictureArguments(width, height);
    SleepMs(kPagePicturePauseMs);
    if (auto ex = QueryAs<IcvWindowsManagerEx>(windows_.Get())) SafeCallCheck(ex->UpdateWindows());
    auto node = GetSliceNode();
    if (!node) return;
    ComPtr<IDispatch> picture = Capture(node.Get(), clientX, clientY, width, height);
    if (!picture) {
      const OleVariant args[] = {OleVariant(clientX), OleVariant(clientY), OleVariant(width), OleVariant(height)};
      picture = VarToDispatch(DispInvoke(DispatchOf(node.Get()).Get(), u"Picture", args).Get());
    }
    *value = picture.Detach();
  });
}

ComPtr<IDispatch> TpwWebPagePictureMethod::Capture(IpwSysNode* node, std::int32_t clientX, std::int32_t clientY,
                                                   std::int32_t width, std::int32_t height) {
  if (!windows_) return nullptr;
  ComPtr<IpwSysNode> windowNode;
  for (ComPtr<IpwSysNode> n(node); n; n = ParentOf(n.Get())) {
    if (QueryAs<IpwSysObjectWindow>(n.Get())) {
      windowNode = n;
      break;
    }
  }
  if (!windowNode) {
    auto pivot = QueryAs<IpwSysObjectControlWithPivotWindow>(node);
    auto sys = GetHostService<IpwSysManager>(manager_.Get(), kSysManagerService);
    if (!pivot || !sys) return nullptr;
    std::int32_t handle = 0;
    SafeCallCheck(pivot->GetPivotWindow(&handle));
    SafeCallCheck(sys->GetWindowNode(handle, windowNode.Put()));
    if (!windowNode) return nullptr;
  }
  std::int32_t window = 0;
  SafeCallCheck(QueryAs<IpwSysObjectWindow>(windowNode.Get())->GetHandle(&window));
  if (window == 0) return nullptr;

  auto native = SafeUnwrapSysNode(node);
  if (!native) return nullptr;
  const TRect windowRect = RectOf(windows_.Get(), window, false);
  const TRect clientRect = RectOf(windows_.Get(), window, true);
  ComPtr<IDispatch> scrollTarget;
  TpwPageMetrics metrics;
  if (!GetOperaPageMetrics(native.Get(), windowRect, clientRect, scrollTarget, metrics) &&
      !GetIEPageMetrics(native.Get(), windowRect, scrollTarget, metrics) &&
      !GetFirefoxPageMetrics(native.Get(), windowRect, clientRect, scrollTarget, metrics))
    return nullptr;

  ActivateNodeWindow(manager_.Get(), windowNode.Get());
  graphics::Bitmap page;
  try {
    page = StitchPageTiles(
        metrics, clientX, clientY, width, height,
        [&](std::int32_t x, std::int32_t y) { ScrollPageTo(scrollTarget.Get(), x, y); },
        [&] {
          std::int32_t handle = 0;
          SafeCallCheck(windows_->GetWindowPicture(window, 0, &handle));
          graphics::Bitmap shot;
          if (auto pixels = BitmapPixels(handle)) shot = *pixels;
          if (handle) DeleteObject(handle);
          return shot;
        });
  } catch (const graphics::GraphicsError&) {
    return nullptr;  // a page beyond the bitmap cap
  }
  if (page.empty()) return nullptr;
  // The requested rectangle: the windows manager's region operation replaces the bitmap by it;
  // a host without one gets the same cut made here.
  HBITMAP handle = 0;
  if (auto ex = QueryAs<IcvWindowsManagerEx>(windows_.Get())) {
    handle = CreateBitmapFrom(std::move(page));
    if (!handle) return nullptr;
    if (Failed(ex->CropPicture(clientX, clientY, width, height, &handle))) {
      DeleteObject(handle);
      return nullptr;
    }
  } else {
    page = CropPagePicture(std::move(page), clientX, clientY, width, height);
    if (page.empty()) return nullptr;
    handle = CreateBitmapFrom(std::move(page));
  }
  auto picture = MakeObject<TpwPicture>(manager_.Get());
  picture->SetHandle(handle);
  return ComPtr<IDispatch>(picture->Dispatch());
}

}  // namespace pw::web
