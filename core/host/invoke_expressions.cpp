#include "core/host/invoke_expressions.h"

#include "core/host/host_services.h"
#include "core/host/node_names.h"
#include "platform/automation/bstr.h"

namespace pw {

namespace {
template <Interface I>
ComPtr<I> CreateCodeObject(IcvSyntaxManager* syntax) {
  ComPtr<IUnknown> object;
  SafeCallCheck(syntax->CreateObject(I::iid, object.Put()));
  return CastHostObject<I>(object.Get());
}
}  // namespace

WideString BuildInvokeExpressionText(IcvBaseManager* manager, WideStringView name, const DISPPARAMS& args,
                                     std::int32_t count, bool skipLast) {
  auto syntax = GetHostService<IcvSyntaxManager>(manager, kSyntaxManagerService);
  if (!syntax) return {};
  auto invoke = CreateCodeObject<IcvSyntaxCodeInvokeExpression>(syntax.Get());
  if (!invoke) return {};
  BString n(name);
  SafeCallCheck(invoke->put_Name(n.Get()));
  SafeCallCheck(invoke->put_HasArgumentList(ToWordBool(count > 0)));
  if (count > 0) {
    auto list = CreateCodeObject<IcvSyntaxExpressionCollection>(syntax.Get());
    SafeCallCheck(invoke->put_Arguments(list.Get()));
    std::int32_t rendered = skipLast ? count - 1 : count;
    std::int32_t total = static_cast<std::int32_t>(args.cArgs);
    for (std::int32_t i = 0; i < rendered; ++i) {
      std::int32_t j = total - i - 1;  // the record holds the arguments last first
      if (j < 0 || j >= total || !args.rgvarg) continue;
      auto constant = CreateCodeObject<IcvSyntaxConstantExpression>(syntax.Get());
      OleVariant copy(args.rgvarg[j]);
      SafeCallCheck(constant->put_Value(copy.Get()));
      SafeCallCheck(list->Add(constant.Get()));
    }
  }
  BString text;
  SafeCallCheck(syntax->RenderElement(invoke.Get(), GetRegistryLanguageKey(manager), text.Put()));
  return text.Str();
}

GUID GetRegistryLanguageKey(IcvBaseManager* manager) {
  auto registry = GetHostService<IpwProjectNodeRegistryService>(manager, kNodeRegistryService);
  GUID key{};
  if (registry) SafeCallCheck(registry->GetCurrentLanguageKey(&key));
  return key;
}

ComPtr<IUnknown> GetSysNodeByKey(IcvBaseManager* manager, const GUID& key) {
  auto provider = GetHostService<IpwHostObjectProvider>(manager, kHostObjectsService);
  ComPtr<IUnknown> object;
  if (provider) SafeCallCheck(provider->GetObjectByKey(key, object.Put()));
  return object;
}

ComPtr<IpwOpenAppContextItem> GetNodeContextItem(IUnknown* node) {
  auto ex = QueryAs<IpwSysNodeEx>(node);
  if (!ex) return nullptr;
  ComPtr<IUnknown> object;
  SafeCallCheck(ex->GetContextObject(kContextItemKey, object.Put()));
  return QueryAs<IpwOpenAppContextItem>(object.Get());
}

}  // namespace pw
