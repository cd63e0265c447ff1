#include "host/plugin_host.h"

#include <algorithm>

#include <functional>

#include "platform/com/errorinfo.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

std::vector<GUID> ReadList(std::int32_t count, const std::function<HRESULT(std::int32_t, GUID*)>& item) {
  std::vector<GUID> list;
  for (std::int32_t j = 0; j < count; ++j) {
    GUID g{};
    SafeCallCheck(item(j, &g));
    list.push_back(g);
  }
  return list;
}

WideString Text(BString& s) { return WideString(s.View()); }

}  // namespace

WideString FailureText(HRESULT hr) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) == S_OK && info) {
    BString text;
    if (Succeeded(info->GetDescription(text.Put())) && !text.View().empty()) return WideString(text.View());
  }
  return HResultMessage(hr);
}

RegistratorTable ReadRegistratorTable(IcvPluginRegistrator* r) {
  if (!r) throw EOleSysError(u"No registrator", E_POINTER);
  RegistratorTable t;
  SafeCallCheck(r->GetKey(&t.key));
  BString name, description;
  SafeCallCheck(r->GetName(name.Put()));
  SafeCallCheck(r->GetDescription(description.Put()));
  t.name = Text(name);
  t.description = Text(description);
  std::int32_t count = 0;
  SafeCallCheck(r->GetListACount(&count));
  t.listA = ReadList(count, [&](std::int32_t j, GUID* g) { return r->GetListAItem(j, g); });
  SafeCallCheck(r->GetListBCount(&count));
  t.listB = ReadList(count, [&](std::int32_t j, GUID* g) { return r->GetListBItem(j, g); });
  std::int32_t plugins = 0;
  SafeCallCheck(r->PluginCount(&plugins));
  for (std::int32_t i = 0; i < plugins; ++i) {
    PluginTableRow row;
    SafeCallCheck(r->PluginKey(i, &row.key));
    BString n, d;
    SafeCallCheck(r->PluginName(i, n.Put()));
    SafeCallCheck(r->PluginDescription(i, d.Put()));
    row.name = Text(n);
    row.description = Text(d);
    SafeCallCheck(r->PluginVersion(i, &row.version, &row.version2));
    VARIANT_BOOL flag = VARIANT_FALSE;
    SafeCallCheck(r->PluginFlag(i, &flag));
    row.flag = flag != VARIANT_FALSE;
    SafeCallCheck(r->PluginRequiredCount(i, &count));
    row.required = ReadList(count, [&](std::int32_t j, GUID* g) { return r->PluginRequired(i, j, g); });
    SafeCallCheck(r->PluginListACount(i, &count));
    row.listA = ReadList(count, [&](std::int32_t j, GUID* g) { return r->PluginListAItem(i, j, g); });
    t.plugins.push_back(std::move(row));
  }
  return t;
}

// Tells the plug-ins' change listeners about changes of the settings in their groups.
class TPluginHost::TSettingsForwarder final : public Implements<ComObject, IpwSettingsListener> {
 public:
  explicit TSettingsForwarder(TPluginHost* owner) : owner_(owner) {}
  void Detach() { owner_ = nullptr; }
  HRESULT SettingChanged(IpwSetting* setting) override {
    return SafeCall([&] {
      if (owner_) owner_->SettingChanged(setting);
    });
  }

 private:
  TPluginHost* owner_;
};

TPluginHost::TPluginHost(TestHost& host) : host_(host) {}

TPluginHost::~TPluginHost() {
  try {
    Stop();
  } catch (...) {
    // A host that goes away lets its plug-ins go whatever they answer.
  }
}

TPluginHost::Plugin& TPluginHost::Create(IcvPluginRegistrator* registrator, std::int32_t index,
                                         const WideString& name) {
  Plugin p;
  p.index = index;
  p.name = name;
  ComPtr<IcvPlugin> made;
  p.created = registrator->CreatePlugin(index, made.Put());
  if (Failed(p.created)) {
    p.error = FailureText(p.created);
  } else if (made) {
    p.object = made;
    HRESULT hr = made->GetKey(&p.key);
    if (Failed(hr)) p.error = u"GetKey: " + FailureText(hr);
  }
  plugins_.push_back(std::move(p));
  return plugins_.back();
}

std::size_t TPluginHost::Start() {
  started_ = true;
  std::size_t failures = 0;
  auto step = [&](Plugin& p, HRESULT hr, const char16_t* what) {
    if (Succeeded(hr)) return true;
    p.error = WideString(what) + u": " + FailureText(hr);
    ++failures;
    return false;
  };
  for (auto& p : plugins_) {
    if (!p.object || !p.error.empty()) continue;
    if (step(p, p.object->Initialize(host_.Manager()), u"Initialize"))
      step(p, p.object->PostInitialize(), u"PostInitialize");
  }
  // The item types the running plug-ins offer join the registry's lists.
  for (auto& p : plugins_) {
    ComPtr<IpwProjectItemTypeProvider> types;
    if (Running(p) && Succeeded(p.object->QueryInterface(IpwProjectItemTypeProvider::iid, types.PutVoid())) && types)
      host_.Projects().AddItemTypes(types.Get());
  }
  forwarder_ = MakeObject<TSettingsForwarder>(this);
  host_.Settings().AddListener(forwarder_.Get());
  // A step of every running plug-in, in turn; a step that raises fails its plug-in.
  auto eachRunning = [&](void (TPluginHost::*what)(Plugin&), const char16_t* name) {
    for (auto& p : plugins_) {
      if (!Running(p)) continue;
      try {
        (this->*what)(p);
      } catch (const Exception& e) {
        p.error = WideString(name) + u": " + e.Message();
        ++failures;
      }
    }
  };
  eachRunning(&TPluginHost::RegisterPage, u"RegisterPage");
  eachRunning(&TPluginHost::RegisterObjectTypes, u"GetTypeName");
  eachRunning(&TPluginHost::AddBuilders, u"GetBuilder");
  eachRunning(&TPluginHost::RegisterRuntimeObjects, u"GetObjectItem");
  eachRunning(&TPluginHost::Subscribe, u"RegisterSubscription");
  eachRunning(&TPluginHost::RegisterActions, u"RegisterActions");
  // The nodes that exist now are offered to the builders; a node added later is offered as it
  // joins the tree (TSysNode::AddChild).
  for (const auto& failure : host_.ObjectTree().OfferNode(host_.Sys(), true)) builderFailures_.push_back(failure);
  return failures;
}

void TPluginHost::RegisterObjectTypes(Plugin& p) {
  auto list = QueryAs<IpwSubProviderList>(p.object.Get());
  if (!list) return;
  std::int32_t count = list->GetCount();
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IUnknown> item;
    if (list->GetItem(i, item.Put()) == VARIANT_FALSE) continue;
    auto type = QueryAs<IpwObjectTypeDescriptor>(item.Get());
    if (!type) continue;
    GUID key{};
    SafeCallCheck(type->GetTypeKey(&key));
    BString name;
    SafeCallCheck(type->GetTypeName(name.Put()));
    host_.ObjectTree().RegisterType(key, name.View());
  }
}

void TPluginHost::AddBuilders(Plugin& p) {
  auto provider = QueryAs<IpwSysNodeBuilderProvider>(p.object.Get());
  if (!provider) return;
  std::int32_t count = provider->GetBuilderCount();
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IpwSysNodeBuilder> builder;
    SafeCallCheck(provider->GetBuilder(i, builder.Put()));
    host_.ObjectTree().AddBuilder(builder.Get());
  }
}

void TPluginHost::RegisterRuntimeObjects(Plugin& p) {
  auto provider = QueryAs<IpwRuntimeObjectProvider>(p.object.Get());
  if (!provider) return;
  const std::int32_t count = provider->GetObjectCount();
  for (std::int32_t i = 0; i < count; ++i) {
    BString name;
    ComPtr<IUnknown> object;
    VARIANT_BOOL first = VARIANT_FALSE, second = VARIANT_FALSE;
    SafeCallCheck(provider->GetObjectItem(i, name.Put(), object.Put(), &first, &second));
    if (!object || name.View().empty()) continue;  // objects not made yet are skipped
    host_.RuntimeObjects().Register(name.View(), object.Get());
    runtimeObjects_.push_back(WideString(name.View()));
  }
}

void TPluginHost::Subscribe(Plugin& p) {
  auto subscription = QueryAs<IpwEventSubscription>(p.object.Get());
  if (!subscription) return;
  SafeCallCheck(host_.Broker().RegisterSubscription(subscription.Get()));
  GUID key{};
  SafeCallCheck(subscription->GetKey(&key));
  subscriptions_.push_back(key);
}

void TPluginHost::RegisterActions(Plugin& p) {
  if (auto registrar = QueryAs<IpwActionRegistrar>(p.object.Get())) SafeCallCheck(registrar->RegisterActions());
  auto provider = QueryAs<IpwActionProvider>(p.object.Get());
  if (!provider) return;
  std::int32_t count = 0;
  SafeCallCheck(provider->GetActionCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    GUID key{};
    SafeCallCheck(provider->GetActionId(i, &key));
    if (key != GUID_NULL) p.actions.push_back(key);
  }
}

bool TPluginHost::RunAction(const GUID& action, const OleVariant& param) {
  for (auto& p : plugins_) {
    if (!Running(p) || std::find(p.actions.begin(), p.actions.end(), action) == p.actions.end()) continue;
    auto provider = QueryAs<IpwActionProvider>(p.object.Get());
    auto made = host_.Actions().Find(action);
    if (!provider || !made) break;
    SafeCallCheck(provider->UpdateAction(made.Get()));
    const OleVariant enabled = made->Property(0);
    if (enabled.Get().vt == VT_BOOL && enabled.Get().boolVal == VARIANT_FALSE) return false;
    GUID result{};
    std::int32_t code = 0;
    SafeCallCheck(provider->ExecuteAction(made.Get(), param.Get(), &result, &code));
    return true;
  }
  throw EOleSysError(u"No running plug-in provides the action " + GuidToWideString(action), E_INVALIDARG);
}

void TPluginHost::RegisterPage(Plugin& p) {
  auto provider = QueryAs<IpwSettingsPageProvider>(p.object.Get());
  if (!provider) return;
  BString caption(p.name), empty(u"");
  OleCheck(host_.Settings().CreateGroup(p.key, caption.Get(), empty.Get(), 0, 0, empty.Get()));
  p.settingsGroup = host_.Settings().FindGroupByKey(p.key);
  SafeCallCheck(provider->RegisterPage(p.settingsGroup.Get()));
  // The host names the page's settings back to the plug-in, with the group they belong to.
  for (const auto& s : p.settingsGroup->Children()) provider->SetSettingsGroup(s.Get(), p.key);
}

void TPluginHost::SettingChanged(IpwSetting* setting) {
  GUID key{};
  if (!setting || Failed(setting->GetKey(&key))) return;
  for (auto& p : plugins_) {
    if (!Running(p) || !p.settingsGroup) continue;
    auto children = p.settingsGroup->Children();
    bool mine = std::any_of(children.begin(), children.end(), [&](const auto& s) { return s->Key() == key; });
    if (!mine) continue;
    if (auto listener = QueryAs<IpwSettingsChangeListener>(p.object.Get())) listener->SettingChanged(setting, p.key);
  }
}

std::size_t TPluginHost::Notify(std::int32_t code) {
  std::size_t failures = 0;
  for (auto& p : plugins_)
    if (Running(p)) {
      HRESULT hr = p.object->Notify(code);
      if (Failed(hr)) {
        p.error = u"Notify: " + FailureText(hr);
        ++failures;
      }
    }
  return failures;
}

TPluginHost::HookOutcome TPluginHost::AttachProcess(TProcess& process) {
  HookOutcome outcome;
  for (auto& p : plugins_) {
    if (!Running(p)) continue;
    auto provider = QueryAs<IpwOpenAppHookProvider>(p.object.Get());
    if (!provider) continue;
    VARIANT_BOOL served = VARIANT_FALSE;
    HRESULT hr = provider->IsProcessSupported(&process, &served);
    if (Failed(hr)) {
      outcome.failed.emplace_back(p.index, u"IsProcessSupported: " + FailureText(hr));
      continue;
    }
    if (served == VARIANT_FALSE) continue;
    hr = provider->InstallHook(&process);
    if (Failed(hr)) {
      outcome.failed.emplace_back(p.index, u"InstallHook: " + FailureText(hr));
      continue;
    }
    hooks_.emplace_back(process.Id(), p.index);
    outcome.done.push_back(p.index);
  }
  return outcome;
}

TPluginHost::HookOutcome TPluginHost::DetachProcess(TProcess& process) {
  HookOutcome outcome;
  for (auto at = hooks_.begin(); at != hooks_.end();) {
    if (at->first != process.Id()) {
      ++at;
      continue;
    }
    const std::int32_t index = at->second;
    at = hooks_.erase(at);
    for (auto& p : plugins_) {
      if (p.index != index || !p.object) continue;
      auto provider = QueryAs<IpwOpenAppHookProvider>(p.object.Get());
      if (!provider) continue;
      HRESULT hr = provider->RemoveHook(&process);
      if (Failed(hr))
        outcome.failed.emplace_back(index, u"RemoveHook: " + FailureText(hr));
      else
        outcome.done.push_back(index);
    }
  }
  return outcome;
}

std::vector<WideString> TPluginHost::Stop() {
  std::vector<WideString> failures;
  if (forwarder_) {
    host_.Settings().RemoveListener(forwarder_.Get());
    static_cast<TSettingsForwarder*>(forwarder_.Get())->Detach();
    forwarder_ = nullptr;
  }
  host_.ObjectTree().ClearBuilders();
  for (auto& key : subscriptions_) host_.Broker().UnregisterSubscription(&key);
  subscriptions_.clear();
  for (const auto& name : runtimeObjects_) host_.RuntimeObjects().Unregister(name);
  runtimeObjects_.clear();
  if (started_)
    for (auto& p : plugins_)
      if (p.object) {
        ComPtr<IpwProjectItemTypeProvider> types;
        if (Succeeded(p.object->QueryInterface(IpwProjectItemTypeProvider::iid, types.PutVoid())) && types)
          host_.Projects().RemoveItemTypes(types.Get());
        HRESULT hr = p.object->Finalize();
        if (Failed(hr)) failures.push_back(p.name + u": Finalize: " + FailureText(hr));
      }
  started_ = false;
  hooks_.clear();
  plugins_.clear();
  return failures;
}

}  // namespace pw::host
