// Names of project nodes: the rules a new name passes, their texts and help
// contexts.
#include <gtest/gtest.h>

#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"
#include "tests/project/project_fixture.h"
#include "tests/support/raised.h"

namespace pw::test {
namespace {

using project::TpwBaseProjectNode;

struct NameCase {
  const char* what;
  GUID type;
  const char16_t* current;  // the name before the change ("" for the first naming)
  std::u16string newName;
  std::uint8_t storageType;
  const char16_t* sibling;       // another child of the project, or nil
  std::int32_t answer;           // the answer to the correction question (0: none asked)
  const char16_t* expectedName;  // the name afterwards
  const char16_t* message;       // the shown message (nil: none)
  std::int32_t context;
};

class NodeNameTest : public ProjectTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NodeNameTest, AppliesTheRules) {
  const NameCase& c = GetParam();
  if (c.sibling) AddSibling(c.sibling);
  auto node = MakeNode(c.type, project.Get(), c.current);
  node->storageType = c.storageType;
  if (c.answer) host.Messenger().QueueAnswer(c.answer);
  auto before = node->ChangeCount();
  node->ChangeName(c.newName);
  EXPECT_EQ(node->Name(), WideString(c.expectedName)) << c.what;
  auto messages = host.Messenger().Messages();
  std::vector<host::MessageRecord> errors;
  for (const auto& m : messages)
    if (m.kind == host::MessageRecord::Error) errors.push_back(m);
  if (c.message) {
    ASSERT_EQ(errors.size(), 1u) << c.what;
    EXPECT_EQ(errors[0].text, WideString(c.message)) << c.what;
    EXPECT_EQ(errors[0].helpContext, c.context) << c.what;
  } else {
    EXPECT_TRUE(errors.empty()) << c.what << ": " << WideToUtf8(errors.empty() ? WideString() : errors[0].text);
  }
  bool renamed = WideString(c.expectedName) != WideString(c.current);
  EXPECT_EQ(node->ChangeCount(), before + (renamed ? 1 : 0)) << c.what;
  EXPECT_EQ(host.NodeEvents().Changes().size(), renamed ? 1u : 0u) << c.what;
}

const std::u16string k260(260, u'a');
const std::u16string k261(261, u'a');

INSTANTIATE_TEST_SUITE_P(
    Rules, NodeNameTest,
    ::testing::Values(
        NameCase{"260 characters pass", kWidgetType, u"", k260, 0, nullptr, 0, k260.c_str(), nullptr, 0},
        NameCase{"261 are too long", kWidgetType, u"", k261, 0, nullptr, 0, u"", u"The element name is too long.", 0},
        NameCase{"blanks are empty", kWidgetType, u"", u"   ", 0, nullptr, 0, u"", u"A name cannot be an empty string.",
                 0},
        NameCase{"kept untrimmed", kWidgetType, u"", u" x ", 0, nullptr, 0, u" x ", nullptr, 0},
        NameCase{"same name", kWidgetType, u"Widget1", u"Widget1", 0, nullptr, 0, u"Widget1", nullptr, 0},
        NameCase{"fixed first name", kFixedType, u"", u"Other", 0, nullptr, 0, u"",
                 u"The 'Other' name is invalid for the Settings Item "
                 u"element.\r\nThe name 'Settings' should be used.",
                 4112},
        NameCase{"fixed default passes", kFixedType, u"", u"Settings", 0, nullptr, 0, u"Settings", nullptr, 0},
        NameCase{"fixed kept", kFixedType, u"Settings", u"Other", 0, nullptr, 0, u"Settings",
                 u"The name of the 'Settings' node cannot be changed.", 4007},
        NameCase{"sibling ignoring case", kWidgetType, u"", u"TAKEN", 0, u"taken", 0, u"",
                 u"An element with the name 'TAKEN' already exists.", 4189},
        NameCase{"file rule accepted", kWidgetType, u"", u"a:b", 1, nullptr, 1, u"a_b", nullptr, 0},
        NameCase{"file rule refused", kWidgetType, u"", u"a:b", 1, nullptr, 2, u"", nullptr, 0},
        NameCase{"identifier rule accepted", kWidgetType, u"", u"a-b", 2, nullptr, 1, u"a_b", nullptr, 0},
        NameCase{"letter-first language", kWidgetType, u"", u"_x", 3, nullptr, 1, u"Ax", nullptr, 0}));

TEST_F(ProjectTest, CorrectionQuestionCarriesRuleAndOffer) {
  auto node = MakeNode(kWidgetType, project.Get());
  node->storageType = 1;
  host.Messenger().QueueAnswer(1);
  node->ChangeName(u".a");
  auto messages = host.Messenger().Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].kind, host::MessageRecord::Question);
  EXPECT_EQ(messages[0].text,
            u"The '.a' name is not valid for Widget Item.\r\nThe name cannot "
            u"start with a dot or a space or have any of "
            u"the following characters:\r\n/ \\ : * ? \" < > |\r\n\r\nThe name "
            u"was automatically corrected to '_a'."
            u"\r\nDo you want to use it?");
}

TEST_F(ProjectTest, RuleRaisesWithoutDialogs) {
  auto node = MakeNode(kWidgetType, project.Get());
  node->storageType = 2;
  host.SetInteractive(false);
  EXPECT_EQ(Raised([&] { node->ChangeName(u"1a"); }),
            u"The '1a' name is not valid for Widget Item.\r\nA name must begin "
            u"with a letter or an underscore and "
            u"cannot contain spaces. Letters, digits, and underscores are "
            u"allowed after the first character.");
  EXPECT_EQ(node->Name(), u"");
}

TEST_F(ProjectTest, UpdatingTakesAnyName) {
  auto node = MakeNode(kFixedType, project.Get());
  node->BeginUpdate();
  node->ChangeName(u"");
  node->ChangeName(u"anything: at all");
  node->EndUpdate();
  EXPECT_EQ(node->Name(), u"anything: at all");
  EXPECT_TRUE(host.Messenger().Messages().empty());
  EXPECT_EQ(node->ChangeCount(), 0);
}

// A persistent ancestor stands in for the node that keeps the data.
class TPersistentOwner final : public Implements<ComObject, IpwPersistentProjectNode> {
 public:
  HRESULT GetKey(GUID* key) override { return *key = GUID_NULL, S_OK; }
  HRESULT GetName(BSTR* name) override { return *name = SysAllocString(u"Owner"), S_OK; }
  HRESULT SetName(BSTR) override { return E_NOTIMPL; }
  HRESULT GetTypeKey(GUID* key) override { return *key = host::kProjectNodeType, S_OK; }
  HRESULT GetAttribute(std::int32_t, VARIANT*) override { return E_INVALIDARG; }
  HRESULT SetAttribute(std::int32_t, const VARIANT&) override { return E_INVALIDARG; }
  HRESULT GetGuidAttribute(std::int32_t, GUID*) override { return E_INVALIDARG; }
  HRESULT SetGuidAttribute(std::int32_t, const GUID&) override { return E_INVALIDARG; }
  HRESULT GetParent(IpwProjectNode** parent) override { return *parent = nullptr, S_OK; }
  HRESULT GetChildren(IpwProjectNodeIterator** children) override {
    *children = project::MakeEmptyNodeIterator().Detach();
    return S_OK;
  }
  HRESULT HasTests(VARIANT_BOOL* r) override { return *r = VARIANT_FALSE, S_OK; }
  HRESULT GetTestContext(IUnknown** c) override { return *c = nullptr, S_OK; }
  HRESULT GetTests(IpwTestIterator** t) override { return *t = project::MakeEmptyTestIterator().Detach(), S_OK; }
  HRESULT GetModified(VARIANT_BOOL* m) override { return *m = modified, S_OK; }
  HRESULT SetModified(VARIANT_BOOL m) override { return modified = m, S_OK; }
  HRESULT SaveNode() override { return S_OK; }
  HRESULT LoadItemData(IUnknown*, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT WriteItemData(IUnknown*) override { return E_NOTIMPL; }
  VARIANT_BOOL modified = VARIANT_FALSE;
};

TEST_F(ProjectTest, RenameUnderPersistentOwnerAsksTheRegistry) {
  auto owner = MakeObject<TPersistentOwner>();
  auto node = MakeNode(kWidgetType, owner.Get());
  host.Projects().SetCanEdit(false);
  node->ChangeName(u"First");  // the first naming never asks
  EXPECT_EQ(node->Name(), u"First");
  node->ChangeName(u"Second");
  EXPECT_EQ(node->Name(), u"First");
  EXPECT_TRUE(host.Messenger().Messages().empty());
  host.Projects().SetCanEdit(true);
  node->ChangeName(u"Third");
  EXPECT_EQ(node->Name(), u"Third");
  ASSERT_EQ(host.Projects().EditsBegun().size(), 1u);
  EXPECT_EQ(host.Projects().EditsBegun()[0].Get(), static_cast<IpwProjectNode*>(owner.Get()));
  OleCheck(node->FinalizeNode());
}

TEST_F(ProjectTest, AttributesNotifyAsDocumented) {
  auto node = MakeNode(kWidgetType, project.Get(), u"W");
  OleCheck(node->SetAttribute(6, OleVariant(7).Get()));
  EXPECT_TRUE(host.NodeEvents().Changes().empty());
  OleCheck(node->SetAttribute(5, OleVariant(u"note").Get()));
  EXPECT_EQ(host.NodeEvents().Changes().size(), 1u);
  OleVariant v;
  OleCheck(node->GetAttribute(6, v.Put()));
  EXPECT_EQ(v.AsInt(), 7);
  OleCheck(node->GetAttribute(5, v.Put()));
  EXPECT_EQ(v.AsString(), u"note");
  EXPECT_EQ(node->GetAttribute(9, v.Put()), E_INVALIDARG);
  EXPECT_EQ(node->SetGuidAttribute(0, GUID_NULL), E_INVALIDARG);
  GUID instance{};
  OleCheck(node->GetGuidAttribute(0, &instance));
  EXPECT_EQ(instance, node->InstanceKey());
  EXPECT_EQ(node->ChangeCount(), 0);
}

TEST_F(ProjectTest, GeneralPropertiesAndDetach) {
  auto node = MakeNode(kWidgetType, project.Get(), u"W1");
  std::int32_t count = 0;
  OleCheck(node->GetPropertyCount(&count));
  EXPECT_EQ(count, 3);
  ComPtr<IpwPropertyObject> name, type;
  OleCheck(node->GetProperty(0, name.Put()));
  OleCheck(node->GetProperty(2, type.Put()));
  EXPECT_EQ(node->GetProperty(3, name.Put()), E_INVALIDARG);
  OleCheck(node->GetProperty(0, name.Put()));
  VARIANT_BOOL readOnly = VARIANT_TRUE;
  OleCheck(name->GetReadOnly(&readOnly));
  EXPECT_EQ(readOnly, VARIANT_FALSE);
  OleCheck(name->SetValue(OleVariant(u"W2").Get()));
  EXPECT_EQ(node->Name(), u"W2");
  OleVariant v;
  OleCheck(type->GetValue(v.Put()));
  EXPECT_EQ(v.AsString(), u"Widget Item");
  EXPECT_EQ(type->SetValue(OleVariant(u"x").Get()), E_FAIL);
  OleCheck(node->Finalize());
  OleCheck(name->GetValue(v.Put()));
  EXPECT_TRUE(v.IsEmpty());
  OleCheck(name->SetValue(OleVariant(u"ignored").Get()));
  EXPECT_EQ(node->Name(), u"W2");
}

}  // namespace
}  // namespace pw::test
