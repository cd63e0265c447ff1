#include "project/actions/project_actions.h"

#include <vector>

#include "core/host/host_services.h"
#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/safecall.h"
#include "platform/ui/resources.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

namespace {
ComPtr<IpwActionService> RequireActions(IcvBaseManager* manager, const IID& iid) {
  ComPtr<IUnknown> service;
  if (!manager) throw EOleSysError(u"No host manager.", E_POINTER);
  SafeCallCheck(manager->GetService(kActionService, service.Put()));
  ComPtr<IpwActionService> actions;
  if (!service || Failed(service->QueryInterface(iid, actions.PutVoid())) || !actions) RaiseInterfaceCastError();
  return actions;
}
}  // namespace

void RegisterContextActions(IcvBaseManager* manager, const GUID& contextKey, std::span<const GUID> actionKeys,
                            IpwProjectActionHandler* handler) {
  auto actions = RequireActions(manager, kActionRegistryIid);
  for (const GUID& key : actionKeys) SafeCallCheck(actions->RegisterHandler(key, contextKey, handler));
}

void UnregisterContextActions(IcvBaseManager* manager, const GUID& contextKey, std::span<const GUID> actionKeys) {
  auto actions = RequireActions(manager, kActionRegistryIid);
  for (const GUID& key : actionKeys) SafeCallCheck(actions->UnregisterHandler(key, contextKey));
}

void ResetNewItemActionTitle(IpwAction* action) {
  if (!action) return;
  SafeCallCheck(action->SetProperty(3, OleVariant(NodeActions()[0].Title).Get()));
}

ComPtr<IpwMenuService> GetMenuService(IcvBaseManager* manager) {
  if (!manager) return nullptr;
  ComPtr<IUnknown> service;
  if (Failed(manager->GetService(kMenuService, service.Put())) || !service) return nullptr;
  return CastHostObject<IpwMenuService>(service.Get());
}

GUID GroupKeyOf(const GUID* group) { return group ? *group : GUID_NULL; }

ComPtr<IpwAction> CreateActionFromDescription(IcvBaseManager* manager, const TActionDescription& d,
                                              const GUID& contextKey) {
  auto actions = RequireActions(manager, IpwActionService::iid);
  ComPtr<IpwAction> action;
  SafeCallCheck(actions->CreateAction(d.Kind, d.Key, BString(d.Category ? d.Category : u"").Get(),
                                      ToWordBool(d.Flag != 0), GroupKeyOf(d.Group), action.Put()));
  if (!action) throw EOleSysError(u"The host made no action.", E_UNEXPECTED);
  SafeCallCheck(action->SetProperty(1, OleVariant(d.Caption).Get()));
  SafeCallCheck(action->SetProperty(2, OleVariant(d.Hint).Get()));
  SafeCallCheck(action->SetProperty(3, OleVariant(d.Title).Get()));
  SafeCallCheck(action->SetProperty(4, OleVariant(d.Command).Get()));
  if (d.Kind != 0 && d.BitmapName && *d.BitmapName) {
    HBITMAP bitmap = LoadModuleBitmap(d.BitmapName);
    HRESULT hr = action->SetProperty(100, OleVariant(static_cast<std::int32_t>(bitmap)).Get());
    if (Failed(hr)) DeleteGdiObject(bitmap);
    SafeCallCheck(hr);
  }
  SafeCallCheck(actions->AddAction(contextKey, action.Get()));
  return action;
}

ComPtr<IpwMenu> GetOrCreateMenu(IcvBaseManager* manager, const GUID& parentKey, const GUID& key) {
  auto menus = GetMenuService(manager);
  if (!menus) return nullptr;
  ComPtr<IpwMenu> menu;
  SafeCallCheck(menus->FindMenu(key, menu.Put()));
  if (!menu) SafeCallCheck(menus->CreateMenu(parentKey, key, menu.Put()));
  return menu;
}

ComPtr<IpwMenu> GetOrCreateSubmenu(IcvBaseManager* manager, const GUID& parentKey, const GUID& key) {
  auto menus = GetMenuService(manager);
  if (!menus) return nullptr;
  ComPtr<IpwMenu> menu;
  SafeCallCheck(menus->FindSubmenu(key, menu.Put()));
  if (!menu) SafeCallCheck(menus->CreateSubmenu(parentKey, key, menu.Put()));
  return menu;
}

namespace {
void Fill(IpwMenu* menu, std::span<const GUID> items, std::span<const GUID> defaultItems, IpwMenuService* menus) {
  if (!menu) return;
  SafeCallCheck(menu->BeginUpdate());
  struct EndUpdate {
    IpwMenu* menu;
    ~EndUpdate() { menu->EndUpdate(); }
  } end{menu};
  SafeCallCheck(menu->Clear());
  for (const GUID& key : items) {
    ComPtr<IpwAction> action;
    if (menus) SafeCallCheck(menus->FindAction(key, action.Put()));
    OleVariant item = action ? OleVariant(static_cast<IUnknown*>(action.Get())) : OleVariant(GuidToWideString(key));
    SafeCallCheck(menu->AddItem(item.Get(), 3, 0));
  }
  for (const GUID& key : defaultItems) SafeCallCheck(menu->SetItemState(key, 2));
}
}  // namespace

void FillMenu(IpwMenu* menu, std::span<const GUID> items, std::span<const GUID> defaultItems) {
  Fill(menu, items, defaultItems, nullptr);
}

void FillMenuWithActions(IcvBaseManager* manager, IpwMenu* menu, std::span<const GUID> items,
                         std::span<const GUID> defaultItems) {
  auto menus = GetMenuService(manager);
  Fill(menu, items, defaultItems, menus.Get());
}

ComPtr<IpwMenu> BuildSourceControlMenu(IcvBaseManager* manager, IpwProjectNode* node) {
  if (!manager || !node) return nullptr;
  ComPtr<IUnknown> presence;
  if (Failed(manager->GetService(kSccPresenceService, presence.Put())) || !presence) return nullptr;
  auto registry = GetNodeRegistry(manager);
  if (!registry) return nullptr;
  ComPtr<IpwProjectNode> current;
  SafeCallCheck(registry->GetCurrentNode(current.Put()));
  if (!current || NodeInstanceKey(current.Get()) != NodeInstanceKey(node)) return nullptr;
  auto menu = GetOrCreateSubmenu(manager, kSourceControlParentMenuKey, kSourceControlMenuKey);
  if (!menu) return nullptr;
  SafeCallCheck(menu->SetCaption(BString(u"So&urce Control").Get()));
  auto manager_ = SourceControlManagerActions();
  auto item = SourceControlItemActions();
  std::vector<GUID> keys{manager_[1].Key, manager_[2].Key};
  for (std::size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 10u}) keys.push_back(item[i].Key);
  const GUID defaults[] = {item[2].Key};
  FillMenu(menu.Get(), keys, defaults);
  return menu;
}

ComPtr<IpwSccSupportManager> GetSccSupportManager(IcvBaseManager* manager) {
  return GetHostService<IpwSccSupportManager>(manager, kSccSupportService);
}

}  // namespace pw::project
