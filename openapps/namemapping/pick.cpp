#include "openapps/namemapping/pick.h"

#include <atomic>

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "openapps/namemapping/name_mapping.h"
#include "platform/automation/bstr.h"
#include "platform/com/comobject.h"
#include "platform/com/safecall.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/processes.h"
#include "platform/ui/message_layer.h"
#include "project/container/item_helpers.h"
#include "project/nodes/project_helpers.h"

namespace pw {

namespace {

std::atomic<bool> gPicking{false};

class TFindSysNodeOnScreen {
 public:
  explicit TFindSysNodeOnScreen(IcvBaseManager* manager) : manager_(manager) {}

  ComPtr<IpwSysNode> Run() {
    try {
      sysManager_ = GetHostService<IpwSysManager>(manager_.Get(), kSysManagerService);
    } catch (...) {
      sysManager_ = nullptr;
    }
    cursor_ = LoadCursor(kPickCursorName);
    previousCursor_ = SetCursor(cursor_);
    window_ = CreateMessageWindow([this](HWND w, unsigned m, WPARAM wp, LPARAM lp) { return Handle(w, m, wp, lp); });
    running_ = true;
    SetCapture(window_);
    MSG message;
    bool quit = false;
    while (IsMessageWindow(window_)) {
      if (!GetMessage(&message)) {
        quit = true;
        break;
      }
      TranslateMessage(&message);
      DispatchMessage(&message);
    }
    if (quit) {
      // The quit ends the pick like every other way out, and goes on to the outer loop.
      Finish(false);
      DestroyWindow(window_);
      PostQuitMessage(static_cast<int>(message.wParam));
    }
    ClearHighlight();
    DestroyCursor(cursor_);
    return picked_;
  }

 private:
  LRESULT Handle(HWND window, unsigned message, WPARAM wParam, LPARAM lParam) {
    if (!sysManager_) return DefWindowProc(window, message, wParam, lParam);
    try {
      switch (message) {
        case WM_MOUSEMOVE:
          if (auto node = NodeAtCursor()) {
            const GUID key = GetNodeKey(node.Get());
            if (key != highlightedKey_) {
              ClearHighlight();
              if (auto highlight = QueryAs<IpwSysNodeHighlight>(node.Get())) SafeCallCheck(highlight->Highlight());
              highlighted_ = node;
              highlightedKey_ = key;
            }
          }
          return 0;
        case WM_LBUTTONUP:
          if (auto node = NodeAtCursor()) picked_ = node;
          Finish();
          return 0;
        case WM_RBUTTONDOWN: Finish(); return 0;
        case WM_KEYDOWN:
          if (static_cast<int>(wParam) == VK_ESCAPE) Finish();
          return 0;
        case WM_CAPTURECHANGED:
          if (!running_) return 0;
          if (IsMessageWindow(window_) && lParam == 0) SetCapture(window_);
          else Finish();
          return 0;
        case CM_RELEASE: DestroyWindow(window_); return 0;
        default: break;
      }
    } catch (...) {
      // A failing host call spoils this message only; the pick goes on.
      return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
  }

  // The tested application's window under the pointer; nil when there is none or it may not be
  // picked.
  ComPtr<IpwSysNode> NodeAtCursor() {
    POINT at;
    GetCursorPos(&at);
    ComPtr<IpwSysNode> node;
    SafeCallCheck(sysManager_->GetObjectAtPoint(at.x, at.y, node.Put()));
    while (node) {
      GUID type{};
      if (auto ex = QueryAs<IpwSysNodeEx>(node.Get())) SafeCallCheck(ex->GetObjectTypeKey(&type));
      if (type == kTestedWindowObjectType) break;
      node = GetParentNode(node.Get());
    }
    if (!node || Skipped(node.Get())) return nullptr;
    return node;
  }

  static bool Skipped(IpwSysNode* node) {
    for (ComPtr<IpwSysNode> at(node); at; at = GetParentNode(at.Get())) {
      if (auto process = QueryAs<IpwSysObjectProcess>(at.Get())) {
        std::int32_t id = 0;
        SafeCallCheck(process->GetProcessId(&id));
        if (static_cast<DWORD>(id) == GetCurrentProcessId()) return true;
        break;
      }
    }
    WideString className;
    if (auto window = QueryAs<IpwSysObjectWindow>(node)) {
      std::int32_t handle = 0;
      SafeCallCheck(window->GetHandle(&handle));
      className = GetWindowClassName(static_cast<HWND>(handle));
    }
    if (className.empty()) {
      OleVariant value;
      if (ReadPropertyValue(node, u"WndClass", value) && value.Type() == VT_BSTR) className = value.AsString();
    }
    return className == kScreenPanelClass;
  }

  void ClearHighlight() {
    if (highlighted_) {
      if (auto highlight = QueryAs<IpwSysNodeHighlight>(highlighted_.Get())) highlight->ResetHighlight();
    }
    highlighted_ = nullptr;
    highlightedKey_ = GUID_NULL;
  }

  // Post: the window is destroyed from the posted release (not from inside the handler that
  // finished); the loop's own end destroys it at once.
  void Finish(bool post = true) {
    if (!running_) return;
    running_ = false;
    ClearHighlight();
    ReleaseCapture();
    SetCursor(previousCursor_);
    if (post) PostMessage(window_, CM_RELEASE, 0, 0);
  }

  ComPtr<IcvBaseManager> manager_;
  ComPtr<IpwSysManager> sysManager_;
  ComPtr<IpwSysNode> picked_, highlighted_;
  GUID highlightedKey_{};
  HCURSOR previousCursor_ = 0, cursor_ = 0;
  HWND window_ = 0;
  bool running_ = false;
};

class TSysObjectAutoMapHelper2 final : public Implements<ComObject, IpwMapSysNodeResult> {
 public:
  TSysObjectAutoMapHelper2(IcvBaseManager* manager, IpwSysNode* node) {
    OleVariant setting = GetSettingOleValue(manager, kAutoMapSetting);
    if (setting.Type() == VT_BOOL && setting.Get().boolVal == VARIANT_FALSE) return;
    TpwNodeMapInfoArray chain;
    if (!BuildNodeMapChain(manager, node, chain, nullptr)) return;
    std::size_t last = chain.size();  // one past the last level to create
    for (std::size_t i = 0; i < chain.size(); ++i)
      if (chain[i].Mapped) {
        last = i;
        break;
      }
    auto project = project::GetCurrentProject(manager);
    if (!project) return;
    auto item = project::FindChildItemByType(project.Get(), kNameMappingItemType);
    if (!item) project::CreateProjectItem(manager, project.Get(), kNameMappingItemType, {}, u"", false, true, item);
    if (!item) return;
    const GUID key = project::GetProjectKey(item.Get());
    auto repository =
        QueryAs<IpwNameMappingRepositoryItem>(GetRuntimeObject(manager, kNameMappingObjectName, key).Get());
    if (!repository) return;
    auto aliases = QueryAs<IpwLogicalNameMappingItem>(GetRuntimeObject(manager, kAliasesObjectName, key).Get());
    MapNodeChain(manager, repository.Get(), aliases.Get(), chain);
    for (std::size_t i = 0; i < last; ++i) items_.push_back(chain[i].Item);
  }

  const std::vector<ComPtr<IpwNameMappingRepositoryItem>>& Items() const { return items_; }

  HRESULT ProcessMappedItems() override {
    return SafeCall([&] {
      for (const auto& entry : items_) {
        auto item = QueryAs<IpwNameMappingRepositoryItem>(entry.Get());
        if (!item) continue;
        BString name;
        SafeCallCheck(item->GetName(name.Put()));
        ComPtr<IpwNameMappingRepositoryItem> parent;
        SafeCallCheck(item->GetParent(parent.Put()));
        if (parent) SafeCallCheck(parent->ChildMapped(name.Get(), VARIANT_TRUE));
      }
    });
  }

 private:
  std::vector<ComPtr<IpwNameMappingRepositoryItem>> items_;
};

}  // namespace

bool IsPickRunning() { return gPicking; }

void PickSysNodeOnScreen(IcvBaseManager* manager, ComPtr<IpwSysNode>& node) {
  node = nullptr;
  bool expected = false;
  if (!gPicking.compare_exchange_strong(expected, true)) return;
  struct Clear {
    ~Clear() { gPicking = false; }
  } clear;
  TFindSysNodeOnScreen pick(manager);
  node = pick.Run();
}

void CreateMapSysNodeResult(IcvBaseManager* manager, IpwSysNode* node, ComPtr<IpwMapSysNodeResult>& result) {
  result = MakeObject<TSysObjectAutoMapHelper2>(manager, node);
}

std::vector<ComPtr<IpwNameMappingRepositoryItem>> MappedItemsOf(IpwMapSysNodeResult* result) {
  auto* helper = dynamic_cast<TSysObjectAutoMapHelper2*>(result);
  return helper ? helper->Items() : std::vector<ComPtr<IpwNameMappingRepositoryItem>>{};
}

}  // namespace pw
