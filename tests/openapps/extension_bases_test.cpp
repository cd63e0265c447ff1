// The builder base's standard properties and default names, the node proxy's forwarding, the
// slice base's node reference and the disconnected control object.
#include <thread>

#include "host/code_model.h"
#include "platform/rtl/strings.h"
#include "tests/openapps/test_extensions.h"

namespace pw {
namespace {

const GUID kBuilderKey = MakeGuid("{0B0B0B0B-1111-2222-3333-444444444444}");
const GUID kBuilderKind = MakeGuid("{0C0C0C0C-1111-2222-3333-444444444444}");

class BuilderTest : public ExtensionTest {
 protected:
  OleVariant Property(IpwSysNode* node, const GUID& key) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;  // cleared by the call
    EXPECT_EQ(builder->GetNodeProperty(node, key, &v), S_OK) << GuidToString(key);
    OleVariant r(v);
    VariantClear(&v);
    return r;
  }
  WideString Rendered(const OleVariant& element) {
    auto e = QueryAs<IcvSyntaxElement>(element.Get().punkVal);
    BString text;
    EXPECT_EQ(host->Syntax().RenderElement(e.Get(), host::kJavaScriptLanguageKey, text.Put()), S_OK);
    return WideString(text.View());
  }
  ComPtr<TTestBuilder> builder = MakeObject<TTestBuilder>(Manager(), kBuilderKey, kBuilderKind);
};

TEST_F(BuilderTest, StandardProperties) {
  auto process = host->Sys().AddChild(u"Process", {OleVariant(u"app")});
  process->AddChild(u"Window");
  process->AddChild(u"Window");
  auto third = process->AddChild(u"Window");
  IpwSysNode* node = Node(third);
  namespace p = node_properties;
  struct Row {
    GUID key;
    VARTYPE vt;
    WideString text;
  } rows[] = {
      {p::kTypeName, VT_BSTR, u"SysNode"},
      {p::kIntegerA, VT_I4, u"-1"},
      {p::kIntegerB, VT_I4, u"0"},
      {p::kAlwaysFalse, VT_BOOL, u"False"},
      {p::kBoolean, VT_BOOL, u"True"},
      {p::kNullA, VT_NULL, u""},
      {p::kNullB, VT_NULL, u""},
      {p::kNameText, VT_BSTR, u"Window"},
      {MakeGuid("{DEADBEEF-0000-0000-0000-000000000000}"), VT_EMPTY, u""},
  };
  for (const auto& row : rows) {
    OleVariant v = Property(node, row.key);
    EXPECT_EQ(v.Get().vt, row.vt) << GuidToString(row.key);
    if (row.vt == VT_BSTR) {
      EXPECT_EQ(WideString(BstrView(v.Get().bstrVal)), row.text);
    } else if (row.vt == VT_I4) {
      EXPECT_EQ(IntToWide(v.Get().lVal), row.text);
    } else if (row.vt == VT_BOOL) {
      EXPECT_EQ(v.Get().boolVal != VARIANT_FALSE, row.text == u"True");
    }
  }
  EXPECT_EQ(Rendered(Property(node, p::kNameSyntax)), u"Child(2)");
  EXPECT_EQ(Rendered(Property(node, p::kNameSyntaxAlt)), u"Child(2)");
  // A node without a parent has no position.
  EXPECT_EQ(Rendered(Property(Node(ComPtr<host::TSysNode>(&host->Sys())), p::kNameSyntax)), u"Unknown");
  process->RemoveChild(third.Get());
  EXPECT_EQ(Rendered(Property(node, p::kNameSyntax)), u"Unknown");

  // A known object type gives its name.
  const GUID type = MakeGuid("{7A7A7A7A-0000-0000-0000-000000000001}");
  host->ObjectTree().RegisterType(type, u"Browser");
  process->SetObjectType(type);
  EXPECT_EQ(WideString(BstrView(Property(Node(process), p::kTypeName).Get().bstrVal)), u"Browser");
}

TEST_F(BuilderTest, KeyKindAndOperations) {
  GUID key{}, kind{};
  ASSERT_EQ(builder->GetKey(&key), S_OK);
  ASSERT_EQ(builder->GetKind(&kind), S_OK);
  EXPECT_EQ(key, kBuilderKey);
  EXPECT_EQ(kind, kBuilderKind);
  auto node = host->Sys().AddChild(u"Process");
  ASSERT_EQ(builder->ExtendNode(Node(node)), S_OK);
  EXPECT_EQ(builder->extended, 1);
  VARIANT_BOOL answer = VARIANT_TRUE;
  ASSERT_EQ(builder->BuilderOperation7(Node(node), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_TRUE(builder->SysManager());
  // Without a syntax manager the name cannot be made: a failure result, no crash.
  host->SetService(host::services::kSyntax, nullptr);
  auto fresh = MakeObject<TTestBuilder>(Manager(), kBuilderKey, kBuilderKind);
  VARIANT v;
  VariantInit(&v);
  EXPECT_TRUE(Failed(fresh->GetNodeProperty(Node(node), node_properties::kNameSyntax, &v)));
  EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST_F(BuilderTest, MadeFromTheObjectTreeManager) {
  // The object-tree manager answers the host's manager (slot 7), and a builder made from it
  // works against that manager.
  auto sys = builder->SysManager();
  ASSERT_TRUE(sys);
  ComPtr<IcvBaseManager> manager;
  ASSERT_EQ(sys->GetManager(manager.Put()), S_OK);
  EXPECT_EQ(manager.Get(), Manager());
  auto fromSys = MakeObject<TTestBuilder>(sys.Get(), kBuilderKey, kBuilderKind);
  EXPECT_EQ(fromSys->Manager(), Manager());
  EXPECT_EQ(fromSys->SysManager().Get(), sys.Get());
  host->ObjectTree().RegisterType(kBuilderKind, u"Widget");
  auto node = host->Sys().AddChild(u"Widget");
  node->SetObjectType(kBuilderKind);
  OleVariant type;
  ASSERT_EQ(fromSys->GetNodeProperty(Node(node), node_properties::kTypeName, type.Put()), S_OK);
  EXPECT_EQ(type.AsString(), u"Widget");
  // Without an object-tree manager there is no host manager either.
  EXPECT_EQ(MakeObject<TTestBuilder>(static_cast<IpwSysManager*>(nullptr), kBuilderKey, kBuilderKind)->Manager(),
            nullptr);
}

TEST_F(ExtensionTest, ProxyWithoutTarget) {
  auto proxy = MakeObject<TTestProxy>();
  std::uint32_t count = 7;
  EXPECT_EQ(proxy->GetTypeInfoCount(&count), E_FAIL);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(proxy->GetTypeInfo(0, 0, info.Put()), E_FAIL);
  std::int32_t children = 7;
  EXPECT_EQ(proxy->GetChildCount(&children), S_OK);
  EXPECT_EQ(children, 0);
  ComPtr<IpwSysNode> parent;
  EXPECT_EQ(proxy->GetParent(parent.Put()), S_OK);
  EXPECT_FALSE(parent);
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(proxy->GetPropertyValue(node_properties::kTypeName, &v), S_OK);
  EXPECT_EQ(v.vt, VT_NULL);
  GUID first{}, second{}, nodeKey{};
  EXPECT_EQ(proxy->GetKey(&first), S_OK);
  EXPECT_EQ(proxy->GetKey(&second), S_OK);
  EXPECT_NE(first, second);
  EXPECT_NE(first, GUID_NULL);
  EXPECT_EQ(proxy->GetNodeKey(&nodeKey), S_OK);
  EXPECT_EQ(nodeKey, GUID_NULL);
  // Its own members still answer; an unknown name fails.
  DISPID id = 0;
  EXPECT_EQ(IdOf(proxy->Dispatch(), u"Ping", &id), S_OK);
  EXPECT_TRUE(Failed(IdOf(proxy->Dispatch(), u"ChildCount", &id)));
  EXPECT_TRUE(QueryAs<IpwSysNodeProxyMarker>(proxy->Dispatch()));
  EXPECT_FALSE(QueryAs<IpwScriptSysNode>(proxy->Dispatch()));
}

TEST_F(ExtensionTest, ProxyForwardsToItsTarget) {
  auto process = host->Sys().AddChild(u"Process", {OleVariant(u"app")});
  process->AddChild(u"Window");
  process->AddChild(u"Window");
  auto proxy = MakeObject<TTestProxy>();
  proxy->SetTarget(Node(process));

  std::int32_t children = 0;
  EXPECT_EQ(proxy->GetChildCount(&children), S_OK);
  EXPECT_EQ(children, 2);
  GUID key{}, nodeKey{};
  EXPECT_EQ(proxy->GetKey(&key), S_OK);
  EXPECT_EQ(proxy->GetNodeKey(&nodeKey), S_OK);
  EXPECT_EQ(key, process->Key());
  EXPECT_EQ(nodeKey, process->Key());
  std::uint32_t count = 0;
  EXPECT_EQ(proxy->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);

  // A name only the target knows: the target's DISPID, and the call reaches the target.
  DISPID id = 0;
  ASSERT_EQ(IdOf(proxy->Dispatch(), u"ChildCount", &id), S_OK);
  OleVariant result;
  ASSERT_EQ(Call(proxy->Dispatch(), id, DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
  EXPECT_EQ(result.Get().lVal, 2);
  // An interface only the target has.
  EXPECT_TRUE(QueryAs<IpwScriptSysNode>(proxy->Dispatch()));
  // Own members first.
  ASSERT_EQ(IdOf(proxy->Dispatch(), u"Ping", &id), S_OK);
  ASSERT_EQ(Call(proxy->Dispatch(), id, DISPATCH_METHOD, {OleVariant(1)}, result.Put()), S_OK);
  EXPECT_EQ(result.Get().lVal, 101);
  // An own member's error reaches the caller as it is.
  ASSERT_EQ(IdOf(proxy->Dispatch(), u"Fail", &id), S_OK);
  EXCEPINFO info{};
  EXPECT_EQ(Call(proxy->Dispatch(), id, DISPATCH_METHOD, {}, result.Put(), &info), DISP_E_EXCEPTION);
  EXPECT_EQ(WideString(BstrView(info.bstrDescription)), u"The proxy failed.");
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrHelpFile);

  // A target that changes is followed; a target failure is the proxy's answer.
  auto other = host->Sys().AddChild(u"Other");
  proxy->SetTarget(Node(other));
  EXPECT_EQ(proxy->GetChildCount(&children), S_OK);
  EXPECT_EQ(children, 0);
  ComPtr<IpwSysNode> extension;
  EXPECT_EQ(proxy->GetExtension(5, extension.Put()), E_INVALIDARG);
}

TEST_F(ExtensionTest, ProxyAnswersOtherThreads) {
  auto process = host->Sys().AddChild(u"Process");
  process->AddChild(u"Window");
  auto proxy = MakeObject<TTestProxy>();
  proxy->SetTarget(Node(process));
  ComPtr<IpwSysNodeEx> node(static_cast<IpwSysNodeEx*>(proxy.Get()));
  std::int32_t seen = -1;
  std::thread other([&] {
    OleCheck(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    node->GetChildCount(&seen);
    CoUninitialize();
  });
  other.join();
  EXPECT_EQ(seen, 1);
}

TEST_F(ExtensionTest, SliceKeepsOnlyAReferenceToItsNode) {
  auto slice = MakeObject<TTestSlice>();
  EXPECT_FALSE(slice->GetSliceNode());  // not attached
  // An object without a reference leaves it unattached.
  EXPECT_EQ(slice->AttachNode(MakeObject<TTestSlice>()->Identity()), S_OK);
  EXPECT_FALSE(slice->Attached());

  auto a = host->Sys().AddChild(u"Window", {OleVariant(u"A")});
  auto b = host->Sys().AddChild(u"Window", {OleVariant(u"B")});
  ASSERT_EQ(slice->AttachNode(Node(a)), S_OK);
  EXPECT_EQ(slice->GetSliceNode().Get(), static_cast<IpwSysNode*>(Node(a)));
  ASSERT_EQ(slice->AttachNode(Node(b)), S_OK);  // a second attach replaces the first
  EXPECT_EQ(slice->GetSliceNode().Get(), static_cast<IpwSysNode*>(Node(b)));

  BString name;
  ASSERT_EQ(slice->get_NodeName(name.Put()), S_OK);
  EXPECT_EQ(name.View(), u"Window(\"B\")");
  // The node is dropped: the slice does not keep it.
  host->Sys().RemoveChild(b.Get());
  b = nullptr;
  EXPECT_FALSE(slice->GetSliceNode());
  EXPECT_TRUE(Failed(slice->get_NodeName(name.Put())));
  ASSERT_EQ(slice->AttachNode(nullptr), S_OK);
  EXPECT_FALSE(slice->Attached());
}

TEST_F(ExtensionTest, DisconnectedObjectAnswers) {
  auto gone = MakeObject<TpwObjectDisconnected>();
  IDispatch* d = static_cast<IDispatch*>(gone.Get());
  std::uint32_t count = 5;
  EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(d->GetTypeInfo(0, 0, info.Put()), E_INVALIDARG);
  DISPID id = 0;
  EXPECT_EQ(IdOf(d, u"Click", &id), RPC_E_DISCONNECTED);
  EXCEPINFO record{};
  record.wCode = 9;
  OleVariant result;
  EXPECT_EQ(Call(d, 1, DISPATCH_METHOD, {}, result.Put(), &record), DISP_E_EXCEPTION);
  EXPECT_EQ(record.scode, RPC_E_DISCONNECTED);
  EXPECT_EQ(record.wCode, 0);
  EXPECT_EQ(WideString(BstrView(record.bstrDescription)), SysErrorMessage(static_cast<DWORD>(RPC_E_DISCONNECTED)));
  SysFreeString(record.bstrDescription);
}

}  // namespace
}  // namespace pw
