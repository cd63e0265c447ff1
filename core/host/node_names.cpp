#include "core/host/node_names.h"

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "platform/automation/bstr.h"
#include "platform/rtl/strings.h"

namespace pw {

GUID GetCurrentLanguageKey(IcvBaseManager* manager) {
  OleVariant value = GetSettingOleValue(manager, kCurrentLanguageSettingKey);
  WideString name;
  if (!value.IsEmpty() && !value.IsNull()) name = value.AsString();
  return FindLanguageKeyByName(manager, name);
}

GUID FindLanguageKeyByName(IcvBaseManager* manager, WideStringView name) {
  auto syntax = GetHostService<IcvSyntaxManager>(manager, kSyntaxManagerService);
  if (!syntax) return GUID_NULL;
  std::int32_t count = 0;
  SafeCallCheck(syntax->GetLanguageCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    GUID key{};
    SafeCallCheck(syntax->GetLanguageKey(i, &key));
    BString languageName;
    SafeCallCheck(syntax->GetLanguageName(key, languageName.Put()));
    if (SameTextIgnoringCase(languageName.View(), name)) return key;
  }
  return GUID_NULL;
}

GUID GetProjectLanguageKey(IcvBaseManager* manager) {
  auto registry = GetHostService<IpwProjectNodeRegistry>(manager, kNodeRegistryService);
  VARIANT_BOOL open = VARIANT_FALSE;
  if (registry) SafeCallCheck(registry->IsSuiteOpen(&open));
  if (open) {
    ComPtr<IpwProjectNode> node;
    ComPtr<IcvKeyItem> item;
    if (auto run = GetHostService<IpwRunControl>(manager, kRunControlService))
      SafeCallCheck(run->GetCurrentItem(item.Put()));
    if (item) {
      GUID key{};
      SafeCallCheck(item->GetKey(&key));
      SafeCallCheck(registry->GetNodeByKey(key, node.Put()));
    } else {
      SafeCallCheck(registry->GetCurrentNode(node.Put()));
    }
    while (node) {
      GUID type{};
      SafeCallCheck(node->GetTypeKey(&type));
      if (type == kProjectNodeTypeKey) {
        GUID language{};
        SafeCallCheck(CastHostObject<IpwProject>(node.Get())->GetLanguageKey(&language));
        return language;
      }
      ComPtr<IpwProjectNode> parent;
      SafeCallCheck(node->GetParent(parent.Put()));
      node = parent;
    }
  }
  return GetCurrentLanguageKey(manager);
}

ComPtr<IcvSyntaxCodeInvokeExpression> CreateNodeNameSyntax(IpwSysNode* node, bool useSecondName, bool preferMapped) {
  const GUID& nameKey = useSecondName ? kSecondNamePropertyKey : kFirstNamePropertyKey;
  ComPtr<IcvSyntaxCodeInvokeExpression> element, previous;
  ComPtr<IpwSysNode> current(node);
  bool stop = false;
  while (!stop && current) {
    auto ex = CastHostObject<IpwSysNodeEx>(current.Get());
    ComPtr<IcvSyntaxCodeInvokeExpression> level;
    if (preferMapped) {
      SafeCallCheck(ex->GetMappedNameElement(level.Put()));
      if (level) stop = true;
    }
    if (!level) {
      OleVariant value;
      SafeCallCheck(ex->GetPropertyValue(nameKey, value.Put()));
      const VARIANT& v = VariantDeref(value.Get());
      if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH)
        level = CastHostObject<IcvSyntaxCodeInvokeExpression>(v.punkVal);
      else if (v.vt != VT_NULL && v.vt != VT_EMPTY)
        RaiseInterfaceCastError();
    }
    // A level without a name is passed over: it neither names itself nor qualifies the one below.
    if (level) {
      if (!element) element = level;
      if (previous) SafeCallCheck(previous->put_Qualifier(level.Get()));
      previous = level;
    }
    ComPtr<IpwSysNode> parent;
    SafeCallCheck(current->GetParent(parent.Put()));
    current = parent;
  }
  return element;
}

WideString GenerateSysNodeFullName(IcvBaseManager* manager, IpwSysNode* node, bool preferMapped) {
  if (!node || !manager) return {};
  auto invoke = CreateNodeNameSyntax(node, false, preferMapped);
  auto element = QueryAs<IcvSyntaxElement>(invoke.Get());
  if (!element) return {};
  auto syntax = GetHostService<IcvSyntaxManager>(manager, kSyntaxManagerService);
  if (!syntax) return {};
  GUID language = GetProjectLanguageKey(manager);
  BString text;
  SafeCallCheck(syntax->RenderElement(element.Get(), language, text.Put()));
  return text.Str();
}

ComPtr<IpwSysNode> FindNodeExtension(IpwSysNode* node, const GUID& key) {
  if (!node) return nullptr;
  std::int32_t count = 0;
  SafeCallCheck(node->GetExtensionCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IpwSysNode> extension;
    SafeCallCheck(node->GetExtension(i, extension.Put()));
    auto ex = QueryAs<IpwSysNodeEx>(extension.Get());
    if (!ex) continue;
    GUID k{};
    SafeCallCheck(ex->GetNodeKey(&k));
    if (k == key) return extension;
  }
  return nullptr;
}

ComPtr<IpwSysNode> FindNodeExtensionByGuid(IpwSysNode* node) { return FindNodeExtension(node, kNodeExtensionKey); }

void ResetSysNodeHighlights(IcvBaseManager* manager) {
  auto sys = GetHostService<IpwSysManager>(manager, kSysManagerService);
  if (!sys) return;
  ComPtr<IpwSysNode> root;
  SafeCallCheck(sys->GetRoot(root.Put()));
  auto rootEx = QueryAs<IpwSysNodeEx>(root.Get());
  if (!rootEx) return;
  ComPtr<IpwSysNodeIterator> children;
  SafeCallCheck(rootEx->GetChildren(children.Put()));
  if (!children) return;
  ForEachHostItem<IpwSysNode>(children.Get(), [](IpwSysNode* child) {
    if (auto highlight = QueryAs<IpwSysNodeHighlight>(child)) SafeCallCheck(highlight->ResetHighlight());
  });
}

}  // namespace pw
