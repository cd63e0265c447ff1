#include "openapps/extensions/node_builder.h"

#include "core/host/host_services.h"
#include "core/host/node_names.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"

namespace pw {

TpwSysNodeBuilder::TpwSysNodeBuilder(IcvBaseManager* manager, const GUID& key, const GUID& kind)
    : manager_(manager), key_(key), kind_(kind) {}

namespace {

ComPtr<IcvBaseManager> ManagerOf(IpwSysManager* sysManager) {
  ComPtr<IcvBaseManager> manager;
  if (sysManager) SafeCallCheck(sysManager->GetManager(manager.Put()));
  return manager;
}

}  // namespace

TpwSysNodeBuilder::TpwSysNodeBuilder(IpwSysManager* sysManager, const GUID& key, const GUID& kind)
    : manager_(ManagerOf(sysManager)), key_(key), kind_(kind) {}

ComPtr<IpwSysManager> TpwSysNodeBuilder::SysManager() const {
  return GetHostService<IpwSysManager>(manager_.Get(), kSysManagerHostService);
}

ComPtr<IUnknown> TpwSysNodeBuilder::GetSyntaxObject(const GUID& kind) {
  if (!syntax_) {
    syntax_ = GetHostService<IcvSyntaxManager>(manager_.Get(), kSyntaxManagerService);
    if (!syntax_) throw EOleSysError(u"The host has no syntax manager", E_NOINTERFACE);
  }
  ComPtr<IUnknown> object;
  SafeCallCheck(syntax_->CreateObject(kind, object.Put()));
  return object;
}

HRESULT TpwSysNodeBuilder::GetKey(GUID* key) {
  return SafeCall([&] {
    if (!key) OleError(E_POINTER);
    *key = key_;
  });
}

HRESULT TpwSysNodeBuilder::GetKind(GUID* kind) {
  return SafeCall([&] {
    if (!kind) OleError(E_POINTER);
    *kind = kind_;
  });
}

HRESULT TpwSysNodeBuilder::ExtendNode(IpwSysNode* node) {
  return SafeCall([&] { DoExtendNode(node); });
}

HRESULT TpwSysNodeBuilder::BuilderOperation6(IUnknown* first, const VARIANT& second, const VARIANT& third) {
  return SafeCall([&] { DoOperation6(first, second, third); });
}

HRESULT TpwSysNodeBuilder::BuilderOperation7(IUnknown* node, VARIANT_BOOL* result) {
  return SafeCall([&] {
    if (!result) OleError(E_POINTER);
    *result = DoOperation7(node) ? VARIANT_TRUE : VARIANT_FALSE;
  });
}

HRESULT TpwSysNodeBuilder::GetNodeProperty(IpwSysNode* node, const GUID& property, VARIANT* value) {
  if (!value) return E_POINTER;
  VariantClear(value);
  return SafeCall([&] {
    namespace p = node_properties;
    OleVariant v;
    if (property == p::kTypeName)
      v = OleVariant(GetNodeTypeName(node));
    else if (property == p::kNameSyntax)
      v = OleVariant(GetNodeNameSyntax(node).Get());
    else if (property == p::kNameSyntaxAlt)
      v = OleVariant(GetNodeNameSyntaxAlt(node).Get());
    else if (property == p::kIntegerA)
      v = OleVariant(GetNodeIntPropertyA(node));
    else if (property == p::kIntegerB)
      v = OleVariant(GetNodeIntPropertyB(node));
    else if (property == p::kAlwaysFalse)
      v = OleVariant(false);
    else if (property == p::kBoolean)
      v = OleVariant(GetNodeBoolProperty(node));
    else if (property == p::kNullA || property == p::kNullB)
      v = OleVariant::Null();
    else if (property == p::kNameText) {
      v = OleVariant(WideString());
      if (auto text = QueryAs<IpwSysNodeNameText>(node)) {
        BString name;
        SafeCallCheck(text->GetNameText(name.Put()));
        v = OleVariant(WideString(name.View()));
      }
    }
    *value = v.Detach();
  });
}

WideString TpwSysNodeBuilder::GetNodeTypeName(IpwSysNode* node) {
  auto ex = CastHostObject<IpwSysNodeEx>(node);
  if (!ex) return u"SysNode";
  GUID type{};
  SafeCallCheck(ex->GetObjectTypeKey(&type));
  // The type registry is the object tree's.
  auto registry = QueryAs<IpwObjectTypeRegistry>(SysManager().Get());
  if (!registry) return u"SysNode";
  BString name;
  VARIANT_BOOL found = VARIANT_FALSE;
  SafeCallCheck(registry->FindTypeName(type, name.Put(), &found));
  return found ? WideString(name.View()) : WideString(u"SysNode");
}

std::int32_t GetSysNodePosition(IpwSysNode* node) {
  if (!node) return -1;
  ComPtr<IpwSysNode> parent;
  SafeCallCheck(node->GetParent(parent.Put()));
  if (!parent) return -1;
  auto keyItem = QueryAs<IcvKeyItem>(node);
  auto parentEx = QueryAs<IpwSysNodeEx>(parent.Get());
  if (!keyItem || !parentEx) return -1;
  GUID key{};
  SafeCallCheck(keyItem->GetKey(&key));
  ComPtr<IpwSysNodeIterator> children;
  SafeCallCheck(parentEx->GetChildren(children.Put()));
  if (!children) return -1;
  std::int32_t index = 0, found = -1;
  ForEachHostItem<IpwSysNode>(children.Get(), [&](IpwSysNode* child) {
    if (found >= 0) return;
    GUID childKey{};
    auto item = QueryAs<IcvKeyItem>(child);
    if (item) SafeCallCheck(item->GetKey(&childKey));
    if (item && childKey == key) found = index;
    ++index;
  });
  return found;
}

ComPtr<IUnknown> TpwSysNodeBuilder::GetNodeNameSyntax(IpwSysNode* node) {
  std::int32_t position = GetSysNodePosition(node);
  auto call = CastHostObject<IcvSyntaxCodeInvokeExpression>(GetSyntaxObject(IcvSyntaxCodeInvokeExpression::iid).Get());
  BString name(position < 0 ? u"Unknown" : u"Child");
  SafeCallCheck(call->put_Name(name.Get()));
  if (position >= 0) {
    auto args =
        CastHostObject<IcvSyntaxExpressionCollection>(GetSyntaxObject(IcvSyntaxExpressionCollection::iid).Get());
    auto constant =
        CastHostObject<IcvSyntaxConstantExpression>(GetSyntaxObject(IcvSyntaxConstantExpression::iid).Get());
    OleVariant value(position);
    SafeCallCheck(constant->put_Value(value.Get()));
    SafeCallCheck(args->Add(constant.Get()));
    SafeCallCheck(call->put_Arguments(args.Get()));
    SafeCallCheck(call->put_HasArgumentList(VARIANT_TRUE));
  }
  return ComPtr<IUnknown>(call.Get());
}

}  // namespace pw
