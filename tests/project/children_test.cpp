// Child lists of containers, node iterators and the node's own icon.
#include <gtest/gtest.h>

#include "core/containers/checked_iterators.h"
#include "project/nodes/base_node.h"
#include "project/nodes/project_helpers.h"
#include "tests/project/project_fixture.h"

namespace pw::test {
namespace {

using namespace project;

ComPtr<IpwProjectNodeRegistry> Registry(host::TestHost& host) {
  ComPtr<IpwProjectNodeRegistry> r(static_cast<IpwProjectNodeRegistry*>(&host.Projects()));
  return r;
}

TEST_F(ProjectTest, ChildsAcceptOnlyAllowedTypesOnce) {
  TProjectNodeChilds childs(host::kProjectNodeType);
  auto registry = Registry(host);
  auto a = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"A");
  auto sameKey = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"B", NodeKey(a.Get()));
  auto wrongType = MakeObject<host::THostProjectNode>(nullptr, host::kProjectNodeType, u"P");
  auto unknown = MakeObject<host::THostProjectNode>(nullptr, MakeGuid("{00000000-0000-0000-0000-0000000000AB}"), u"U");
  EXPECT_FALSE(childs.Add(registry.Get(), nullptr));
  EXPECT_TRUE(childs.Add(registry.Get(), a.Get()));
  EXPECT_FALSE(childs.Add(registry.Get(), sameKey.Get()));
  EXPECT_FALSE(childs.Add(registry.Get(), wrongType.Get()));
  EXPECT_FALSE(childs.Add(registry.Get(), unknown.Get()));
  EXPECT_EQ(childs.Count(), 1);
  EXPECT_EQ(childs.FindByKey(NodeKey(a.Get())), static_cast<IpwProjectNode*>(a.Get()));
  EXPECT_EQ(childs.IndexOfKey(NodeKey(a.Get())), 0);
  EXPECT_TRUE(childs.Remove(a.Get()));
  EXPECT_FALSE(childs.Remove(a.Get()));
  EXPECT_FALSE(childs.ContainsKey(NodeKey(a.Get())));
  EXPECT_FALSE(childs.Clear());
}

TEST_F(ProjectTest, IteratorFailsAfterTheListChanged) {
  TProjectNodeChilds childs(host::kProjectNodeType);
  auto registry = Registry(host);
  auto a = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"A");
  auto b = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"B");
  ASSERT_TRUE(childs.Add(registry.Get(), a.Get()));
  auto it = childs.GetIterator(nullptr);
  EXPECT_TRUE(it->HasNext());
  ComPtr<IpwProjectNode> first;
  it->Next(first.Put());
  EXPECT_EQ(first.Get(), static_cast<IpwProjectNode*>(a.Get()));
  ASSERT_TRUE(childs.Add(registry.Get(), b.Get()));
  EXPECT_THROW(it->HasNext(), EcvIteratorInvalidUsage);
  auto fresh = childs.GetIterator(nullptr);
  fresh->Skip(1);
  ComPtr<IpwProjectNode> second;
  fresh->Next(second.Put());
  EXPECT_EQ(second.Get(), static_cast<IpwProjectNode*>(b.Get()));
  EXPECT_FALSE(fresh->HasNext());
}

TEST_F(ProjectTest, InterfaceListIteratorCastsItsItems) {
  auto list = MakeObject<TInterfaceList>();
  auto node = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"N");
  list->Add(static_cast<IpwProjectNode*>(node.Get()));
  list->Add(MakeObject<TInterfaceList>()->Identity());  // not a node
  std::int32_t generation = 3;
  auto it = MakeInterfaceListNodeIterator(list.Get(), [&] { return generation; });
  ComPtr<IpwProjectNode> first;
  it->Next(first.Put());
  EXPECT_EQ(first.Get(), static_cast<IpwProjectNode*>(node.Get()));
  EXPECT_TRUE(it->HasNext());
  ComPtr<IpwProjectNode> second;
  EXPECT_ANY_THROW(it->Next(second.Put()));
  EXPECT_FALSE(second);
  generation = 4;
  EXPECT_THROW(it->Reset(), EcvIteratorInvalidUsage);
}

TEST_F(ProjectTest, AllChildrenCanRelease) {
  TProjectNodeChilds childs(host::kProjectNodeType);
  auto node = MakeNode(kWidgetType, nullptr, u"W");
  ASSERT_TRUE(childs.Add(Registry(host).Get(), node.Get()));
  EXPECT_TRUE(childs.AllChildrenCanRelease());
  OleCheck(node->FinalizeNode());
}

std::uint32_t Pixel(HBITMAP h, int x, int y) {
  BitmapData d;
  EXPECT_TRUE(GetBitmapData(h, d));
  return d.pixels[static_cast<std::size_t>(y * d.width + x)];
}

TEST_F(ProjectTest, PersonalBitmapDrawsPartsAtTheirCorners) {
  auto node = MakeNode(kWidgetType, nullptr, u"W");
  std::int32_t before = GdiObjectCount();
  HBITMAP base = CreateBitmapOfSize(4, 4, std::vector<std::uint32_t>(16, 0x111111));
  // Overlays of 2 x 2 whose bottom-left pixel is the transparent colour.
  HBITMAP overlay = CreateBitmapOfSize(2, 2, {0xAA0000, 0xBB0000, 0xFFFFFF, 0xCC0000});
  OleCheck(node->SetBitmapHandle(base));
  OleCheck(node->SetBitmapPart(3, overlay));
  std::int32_t composite = 0;
  OleCheck(node->GetBitmapHandle(&composite));
  ASSERT_NE(composite, 0);
  EXPECT_EQ(Pixel(composite, 2, 2), 0xAA0000u);
  EXPECT_EQ(Pixel(composite, 3, 2), 0xBB0000u);
  EXPECT_EQ(Pixel(composite, 2, 3), 0x111111u);  // transparent
  EXPECT_EQ(Pixel(composite, 3, 3), 0xCC0000u);
  EXPECT_EQ(Pixel(composite, 0, 0), 0x111111u);
  host.NodeEvents().ClearChanges();
  OleCheck(node->SetBitmapPart(3, overlay));  // the same handle: no change
  EXPECT_TRUE(host.NodeEvents().Changes().empty());
  OleCheck(node->SetBitmapHandle(base));  // the handle it holds: nothing happens
  EXPECT_TRUE(IsGdiObject(base));
  std::int32_t part = 0;
  EXPECT_EQ(node->GetBitmapPart(4, &part), E_INVALIDARG);
  OleVariant copy;
  OleCheck(node->GetAttribute(4, copy.Put()));
  EXPECT_NE(copy.AsInt(), composite);
  DeleteObject(copy.AsInt());
  OleCheck(node->Finalize());  // frees the base and the composite, not the overlay
  EXPECT_FALSE(IsGdiObject(base));
  EXPECT_TRUE(IsGdiObject(overlay));
  DeleteObject(overlay);
  EXPECT_EQ(GdiObjectCount(), before);
}

TEST_F(ProjectTest, PartWithoutBaseDrawsOnTheTypeImage) {
  auto bitmap = std::make_unique<TpwProjectNodePersonalBitmap>(Manager(), kWidgetType);
  HBITMAP overlay = CreateBitmapOfSize(1, 1, {0x00FF00});
  bool changed = false;
  bitmap->SetBitmapPart(2, overlay, changed);
  EXPECT_TRUE(changed);
  // The widget type has no bitmap: the composite is an empty bitmap with
  // nothing drawn.
  EXPECT_NE(bitmap->GetBitmapHandle(), 0);
  bitmap.reset();
  DeleteObject(overlay);
}

TEST(PropertyObject, WithoutOwnerIsInert) {
  static const WideString caption = u"Caption";
  auto p = MakeObject<TpwPropertyObject>(&caption, nullptr, nullptr, true, 0, nullptr);
  VARIANT_BOOL readOnly = VARIANT_TRUE;
  OleCheck(p->GetReadOnly(&readOnly));
  EXPECT_EQ(readOnly, VARIANT_FALSE);
  OleCheck(p->SetValue(OleVariant(1).Get()));
  OleVariant v;
  OleCheck(p->GetValue(v.Put()));
  EXPECT_TRUE(v.IsEmpty());
  BString category;
  OleCheck(p->GetCategory(category.Put()));
  EXPECT_EQ(category.View(), u"");
}

}  // namespace
}  // namespace pw::test
