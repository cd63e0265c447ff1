// The not-reloaded mark, project tracking of persistent nodes, folders and read-only files.
#include "project/nodes/node_helpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/resources.h"
#include "project/nodes/project_helpers.h"
#include "tests/project/project_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {
namespace {

using namespace project;

const BitmapResource kMarker[] = {{"ICON_NONRELOADED_MARKER", 2, 2, 1, 2, 3}};
const ResourceTable kResources{{}, kMarker};

class MarkTest : public ProjectTest {
 protected:
  MarkTest() { RegisterModuleResources(&kResources); }
  ~MarkTest() override {
    ReleaseNotReloadedMarker();
    RegisterModuleResources(nullptr);
  }
  static WideString Comment(IpwProjectNode* node) {
    OleVariant v;
    OleCheck(node->GetAttribute(5, v.Put()));
    return v.AsString();
  }
};

TEST_F(MarkTest, SetTwiceMarksOnceAndClearRestores) {
  auto node = MakeNode(kWidgetType, nullptr, u"W");
  IpwProjectNode* n = static_cast<IpwProjectNodeInternal*>(node.Get());
  SetNotReloadedMark(n);
  SetNotReloadedMark(n);
  EXPECT_TRUE(HasNotReloadedMark(n));
  EXPECT_EQ(Comment(n), kNotReloadedSentence);
  std::int32_t part = 0;
  OleCheck(node->GetBitmapPart(2, &part));
  EXPECT_NE(part, 0);
  ClearNotReloadedMark(n);
  EXPECT_FALSE(HasNotReloadedMark(n));
  EXPECT_EQ(Comment(n), u"");
  OleCheck(node->GetBitmapPart(2, &part));
  EXPECT_EQ(part, 0);
  OleCheck(node->Finalize());
}

TEST_F(MarkTest, KeepsTheCommentAndTakesPartTwoWhenAllAreSet) {
  auto node = MakeNode(kWidgetType, nullptr, u"W");
  IpwProjectNode* n = static_cast<IpwProjectNodeInternal*>(node.Get());
  HBITMAP overlay = CreateBitmapOfSize(1, 1, {1});
  for (std::int32_t i = 0; i < 4; ++i) OleCheck(node->SetBitmapPart(i, overlay));
  OleCheck(node->SetAttribute(5, OleVariant(u"note").Get()));
  SetNotReloadedMark(n);
  EXPECT_EQ(Comment(n), u"note\r\n" + WideString(kNotReloadedSentence));
  std::int32_t part = 0;
  OleCheck(node->GetBitmapPart(2, &part));
  EXPECT_NE(part, overlay);
  ClearNotReloadedMark(n);
  EXPECT_EQ(Comment(n), u"note");
  OleCheck(node->Finalize());
  DeleteObject(overlay);
}

// A persistent node below a project.
class TTypedNode final : public Implements<ComObject, IpwProjectNode, IpwFileNameCollection, IpwProjectContextItem> {
 public:
  TTypedNode(IpwProjectNode* parent, const GUID& type) : parent_(parent), type_(type) { OleCheck(CreateGuid(key_)); }
  HRESULT GetKey(GUID* key) override { return *key = key_, S_OK; }
  HRESULT GetName(BSTR* name) override { return *name = SysAllocString(u"Typed"), S_OK; }
  HRESULT SetName(BSTR) override { return E_NOTIMPL; }
  HRESULT GetTypeKey(GUID* key) override { return *key = type_, S_OK; }
  HRESULT GetAttribute(std::int32_t, VARIANT*) override { return E_INVALIDARG; }
  HRESULT SetAttribute(std::int32_t, const VARIANT&) override { return E_INVALIDARG; }
  HRESULT GetGuidAttribute(std::int32_t, GUID*) override { return E_INVALIDARG; }
  HRESULT SetGuidAttribute(std::int32_t, const GUID&) override { return E_INVALIDARG; }
  HRESULT GetParent(IpwProjectNode** parent) override {
    return *parent = ComPtr<IpwProjectNode>(parent_).Detach(), S_OK;
  }
  HRESULT GetChildren(IpwProjectNodeIterator** c) override { return *c = MakeEmptyNodeIterator().Detach(), S_OK; }
  HRESULT HasTests(VARIANT_BOOL* r) override { return *r = VARIANT_FALSE, S_OK; }
  HRESULT GetTestContext(IUnknown** c) override { return *c = nullptr, S_OK; }
  HRESULT GetTests(IpwTestIterator** t) override { return *t = MakeEmptyTestIterator().Detach(), S_OK; }
  HRESULT GetStringCollection(IpwStringCollection** files) override { return *files = nullptr, E_NOTIMPL; }
  HRESULT GetInstanceKey(GUID* key) override { return *key = key_, S_OK; }

 private:
  ComPtr<IpwProjectNode> parent_;
  GUID type_, key_{};
};

TEST_F(ProjectTest, ProjectTracksPersistentNodes) {
  auto folder = AddSibling(u"Folder");
  auto node = MakeObject<TTypedNode>(folder.Get(), kWidgetType);
  NotifyProjectNodeAttached(node.Get());
  NotifyProjectNodeDetached(node.Get(), true);  // the folder does not list it: nobody is told
  folder->AddChild(node.Get());
  NotifyProjectNodeDetached(node.Get(), true);
  EXPECT_EQ(project->Tracking(), (std::vector<WideString>{u"attached Typed", u"detached Typed"}));
  // A node of the Project type is not tracked, nor a node without the type interface.
  auto inner = MakeObject<TTypedNode>(project.Get(), host::kProjectNodeType);
  NotifyProjectNodeAttached(inner.Get());
  NotifyProjectNodeAttached(folder.Get());
  EXPECT_EQ(project->Tracking().size(), 2u);
  folder->ClearChildren();
}

TEST(NodeHelpers, ForceFoldersCreatesParentsFirst) {
  ScratchDir dir;
  std::vector<WideString> created;
  EXPECT_TRUE(ForceFolders(u"/", created));
  EXPECT_TRUE(created.empty());
  EXPECT_TRUE(ForceFolders(dir.Wide() + u"/a/b", created));
  EXPECT_EQ(created, (std::vector<WideString>{dir.Wide() + u"/a", dir.Wide() + u"/a/b"}));
  EXPECT_NE(Raised([&] { ForceFolders(u"", created); }), u"(nothing raised)");
  std::ofstream(dir.Utf8File("file")) << "x";
  EXPECT_FALSE(ForceFolders(dir.Wide() + u"/file/below", created));
}

TEST(NodeHelpers, ClearReadOnlyAddsTheOwnersWriteBit) {
  ScratchDir dir;
  std::string file = dir.Utf8File("ro");
  std::ofstream(file) << "x";
  ::chmod(file.c_str(), 0444);
  EXPECT_TRUE(ClearReadOnly(Utf8ToWide(file)));
  struct stat st {};
  ::stat(file.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_TRUE(ClearReadOnly(Utf8ToWide(file)));
  EXPECT_FALSE(ClearReadOnly(dir.File("missing")));
}

}  // namespace
}  // namespace pw::test
