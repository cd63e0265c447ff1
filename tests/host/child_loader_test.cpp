// Children read on demand: when the object tree runs a node's child loader, and what a loader's
// failure leaves.
#include <gtest/gtest.h>

#include <stdexcept>

#include "host/test_host.h"

namespace pw {
namespace {

TEST(ChildLoader, RunsWhenChildrenAreAskedForThroughTheInterfacesOnly) {
  host::TestHost host;
  auto page = host.Sys().AddChild(u"Page");
  int loads = 0, refreshes = 0;
  page->SetChildLoader([&](host::TSysNode& node, bool refresh) {
    ++(refresh ? refreshes : loads);
    if (node.Children().empty()) node.AddChild(u"Panel", {OleVariant(0)});
    std::int32_t inner = 0;
    node.GetChildCount(&inner);  // asking again from the loader reads nothing more
  });
  EXPECT_TRUE(page->Children().empty());  // the C++ view (tree-wide searches) does not load
  EXPECT_FALSE(host.ObjectTree().Root()->FindByKey(GUID{1, 2, 3, {}}));
  EXPECT_EQ(loads, 0);

  std::int32_t count = 0;
  EXPECT_EQ(page->GetChildCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  ComPtr<IpwSysNodeIterator> children;
  EXPECT_EQ(page->GetChildren(children.Put()), S_OK);
  EXPECT_EQ(page->get_ChildCount(&count), S_OK);
  ComPtr<IDispatch> child;
  EXPECT_EQ(page->Child(0, child.Put()), S_OK);
  EXPECT_EQ(loads, 4);  // the loader decides whether a read is due
  EXPECT_EQ(refreshes, 0);
  EXPECT_EQ(page->Refresh(), S_OK);
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(page->RefreshCount(), 1);
}

TEST(ChildLoader, AFailingLoaderLeavesTheChildrenAndMoveChildReorders) {
  host::TestHost host;
  auto node = host.Sys().AddChild(u"Page");
  auto a = node->AddChild(u"A");
  auto b = node->AddChild(u"B");
  auto c = node->AddChild(u"C");
  node->SetChildLoader([](host::TSysNode&, bool) { throw std::runtime_error("The browser has closed"); });
  std::int32_t count = 0;
  EXPECT_EQ(node->GetChildCount(&count), S_OK);
  EXPECT_EQ(count, 3);
  node->MoveChild(c.Get(), 0);
  node->MoveChild(a.Get(), 99);                        // clamped to the end
  node->MoveChild(host.Sys().Children()[0].Get(), 0);  // no child of this node: nothing
  const auto children = node->Children();
  ASSERT_EQ(children.size(), 3u);
  EXPECT_EQ(children[0].Get(), c.Get());
  EXPECT_EQ(children[1].Get(), b.Get());
  EXPECT_EQ(children[2].Get(), a.Get());
}

}  // namespace
}  // namespace pw
