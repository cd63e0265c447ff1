// What the object tree offers the module's extension bases: weak node references, child
// counts, refreshes, object types and their names.
#include <gtest/gtest.h>

#include "core/host/host_services.h"
#include "host/test_host.h"

namespace pw {
namespace {

bool SameObject(IUnknown* a, IUnknown* b) { return a && b && QueryAs<IUnknown>(a).Get() == QueryAs<IUnknown>(b).Get(); }

ComPtr<IUnknown> Resolve(IUnknown* object) {
  auto ref = QueryAs<IpwNodeReference>(object);
  EXPECT_TRUE(ref);
  ComPtr<IUnknown> out;
  EXPECT_EQ(ref->Resolve(out.Put()), S_OK);
  return out;
}

TEST(NodeReference, AnswersTheNodeUntilItLeavesTheTreeOrDies) {
  host::TestHost host;
  auto process = host.Sys().AddChild(u"Process", {OleVariant(u"app")});
  auto window = process->AddChild(u"Window");
  ComPtr<IUnknown> windowRef = Resolve(static_cast<IpwSysNodeEx*>(window.Get()));
  ComPtr<IUnknown> processRef = Resolve(static_cast<IpwSysNodeEx*>(process.Get()));
  EXPECT_TRUE(SameObject(Resolve(windowRef.Get()).Get(), static_cast<IpwSysNodeEx*>(window.Get())));

  host.Sys().RemoveChild(process.Get());  // the window leaves with its parent
  EXPECT_FALSE(Resolve(windowRef.Get()));
  EXPECT_FALSE(Resolve(processRef.Get()));

  auto other = host.Sys().AddChild(u"Other");
  ComPtr<IUnknown> otherRef = Resolve(static_cast<IpwSysNodeEx*>(other.Get()));
  host.Sys().RemoveChild(other.Get());
  other = nullptr;  // gone altogether: the reference does not keep it
  EXPECT_FALSE(Resolve(otherRef.Get()));
}

TEST(NodeReference, ChildCountRefreshAndObjectType) {
  host::TestHost host;
  auto process = host.Sys().AddChild(u"Process");
  process->AddChild(u"A");
  process->AddChild(u"B");
  const GUID type = MakeGuid("{5D3C8E2A-1B4F-4A6E-9C7D-0E1F2A3B4C5D}");
  process->SetObjectType(type);
  host.ObjectTree().RegisterType(type, u"Browser");

  std::int32_t count = 0;
  ASSERT_EQ(process->GetChildCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(process->Refresh(), S_OK);
  EXPECT_EQ(process->RefreshCount(), 1);
  GUID key{}, nodeKey{};
  ASSERT_EQ(process->GetObjectTypeKey(&key), S_OK);
  EXPECT_EQ(key, type);
  ASSERT_EQ(QueryAs<IcvKeyItem>(static_cast<IpwSysNodeEx*>(process.Get()))->GetKey(&key), S_OK);
  ASSERT_EQ(process->GetNodeKey(&nodeKey), S_OK);
  EXPECT_EQ(key, nodeKey);

  auto registry = GetHostService<IpwObjectTypeRegistry>(host.Manager(), host::services::kSysManager);
  BString name;
  VARIANT_BOOL found = VARIANT_FALSE;
  ASSERT_EQ(registry->FindTypeName(type, name.Put(), &found), S_OK);
  EXPECT_TRUE(found);
  EXPECT_EQ(name.View(), u"Browser");
  ASSERT_EQ(registry->FindTypeName(GUID_NULL, name.Put(), &found), S_OK);
  EXPECT_FALSE(found);
}

}  // namespace
}  // namespace pw
