// Project helpers: name corrections, the host's version text, tree walks and
// duplicate keys.
#include <gtest/gtest.h>

#include "core/host/node_names.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"
#include "tests/project/project_fixture.h"

namespace pw::test {
namespace {

using namespace project;

struct CorrectionCase {
  std::u16string name;
  bool valid;
  std::u16string corrected;
};

TEST(ProjectHelpers, CorrectFileName) {
  const CorrectionCase cases[] = {
      {u".a", false, u"_a"},       {u"a.", false, u"a_"},           {u"ab.", true, u"ab."},
      {u" x", false, u"_x"},       {u"a b", true, u"a b"},          {u"a:b", false, u"a_b"},
      {u"", false, u""},           {u"\u00e9?", false, u"\u00e9_"}, {u"\u00e9\u00e8", true, u"\u00e9\u00e8"},
      {u"a|b*c", false, u"a_b_c"},
  };
  for (const auto& c : cases) {
    WideString corrected;
    EXPECT_EQ(CorrectFileName(c.name, corrected), c.valid) << WideToUtf8(c.name);
    EXPECT_EQ(corrected, c.corrected) << WideToUtf8(c.name);
  }
}

TEST(ProjectHelpers, CorrectIdentifier) {
  const GUID other = MakeGuid("{11111111-2222-3333-4444-555555555555}");
  struct Case {
    std::u16string name;
    GUID language;
    bool valid;
    std::u16string corrected;
  } cases[] = {
      {u"_x", kLetterFirstLanguageKey, false, u"Ax"},
      {u"_x", other, true, u"_x"},
      {u"1a", other, false, u"_a"},
      {u"a-b", other, false, u"a_b"},
      {u"", other, false, u""},
  };
  for (const auto& c : cases) {
    WideString corrected;
    EXPECT_EQ(CorrectIdentifier(c.name, c.language, corrected), c.valid) << WideToUtf8(c.name);
    EXPECT_EQ(corrected, c.corrected) << WideToUtf8(c.name);
  }
  EXPECT_FALSE(IsValidItemIdent(u"_a"));
  EXPECT_TRUE(IsValidItemIdent(u"a_1"));
  EXPECT_FALSE(IsValidItemIdent(u"a b"));
}

TEST(ProjectHelpers, HostVersionText) {
  for (auto [major, text] : {std::pair{9, u"9.0"}, {4, u"4.0"}, {10, u"10.0"}, {3, u""}}) {
    host::TestHostOptions options;
    options.majorVersion = major;
    host::TestHost host(options);
    EXPECT_EQ(GetHostVersionText(host.Manager()), WideString(text)) << major;
  }
}

TEST_F(ProjectTest, PathsAndProjects) {
  auto folder = AddSibling(u"Folder");
  auto leaf = MakeObject<host::THostProjectNode>(folder.Get(), kWidgetType, u"Leaf");
  folder->AddChild(leaf.Get());
  EXPECT_EQ(GetNodePath(leaf.Get(), folder.Get()), u"Folder/Leaf");
  EXPECT_EQ(GetNodePath(leaf.Get(), nullptr), u"Project1/Folder/Leaf");
  EXPECT_EQ(GetNodeDisplayPath(leaf.Get()), u"Project1 | Folder | Leaf");
  EXPECT_EQ(GetProjectKey(leaf.Get()), NodeKey(project.Get()));
  auto outside = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"Loose");
  EXPECT_EQ(GetProjectKey(outside.Get()), GUID_NULL);
  EXPECT_EQ(GetProjectLanguage(nullptr, Manager()), GetCurrentLanguageKey(Manager()));
  EXPECT_TRUE(FindChildNodeByName(project.Get(), u"FOLDER"));
  EXPECT_TRUE(HasChildOfType(project.Get(), kWidgetType));
  EXPECT_FALSE(HasChildOfType(project.Get(), kFixedType));
  EXPECT_TRUE(HasChildWithInstance(project.Get(), folder.Get()));
  EXPECT_FALSE(HasChildWithInstance(project.Get(), leaf.Get()));
  host.Projects().SetCurrentNode(leaf.Get());
  EXPECT_EQ(GetCurrentProject(Manager()).Get(), static_cast<IpwProjectNode*>(project.Get()));
  folder->ClearChildren();
}

TEST_F(ProjectTest, NodeByFileNameWalksTheOpenSuite) {
  auto a = AddSibling(u"A");
  auto b = AddSibling(u"B");
  b->SetAttributeValue(0, OleVariant(u"/data/b.pwi"));
  EXPECT_FALSE(FindNodeByFileName(Manager(), u"/data/b.pwi", nullptr));  // no suite open
  host.Projects().SetSuiteRoot(project.Get());
  host.Projects().SetSuiteOpen(true);
  EXPECT_EQ(FindNodeByFileName(Manager(), u"/data/b.pwi", nullptr).Get(), static_cast<IpwProjectNode*>(b.Get()));
  EXPECT_FALSE(FindNodeByFileName(Manager(), u"/data/B.pwi",
                                  nullptr));  // file names are case-sensitive here
}

TEST_F(ProjectTest, DuplicateKeysAreReported) {
  const GUID shared = MakeGuid("{ABCDEF00-0000-0000-0000-000000000001}");
  AddSibling(u"One");
  EXPECT_TRUE(CheckDuplicateKeys(Manager(), project.Get()));
  EXPECT_TRUE(host.Messenger().Messages().empty());
  auto x = MakeObject<host::THostProjectNode>(project.Get(), kWidgetType, u"X", shared);
  auto y = MakeObject<host::THostProjectNode>(project.Get(), kWidgetType, u"Y", shared);
  project->AddChild(x.Get());
  project->AddChild(y.Get());
  EXPECT_FALSE(CheckDuplicateKeys(Manager(), project.Get()));
  auto messages = host.Messenger().Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            u"The following project elements have the same "
            u"keys:\r\n\r\n{ABCDEF00-0000-0000-0000-000000000001}\r\n"
            u"Project1 | X\r\nProject1 | Y\r\n\r\n\r\nThe project suite (or "
            u"project) cannot be opened.");
  EXPECT_EQ(messages[0].helpContext, 4165);
}

TEST_F(ProjectTest, CanAddExistingNodeRefusesSuiteKeys) {
  auto inSuite = AddSibling(u"In");
  host.Projects().SetSuiteRoot(project.Get());
  host.Projects().SetSuiteOpen(true);
  auto copy = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"Copy", NodeKey(inSuite.Get()));
  EXPECT_FALSE(CanAddExistingNode(Manager(), copy.Get()));
  auto fresh = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"Fresh");
  EXPECT_TRUE(CanAddExistingNode(Manager(), fresh.Get()));
  EXPECT_TRUE(host.Messenger().Messages().empty());
}

TEST_F(ProjectTest, SupportedChildExtensions) {
  auto extensions = GetSupportedChildExtensions(Manager(), project.Get());
  // Widget, Single and Fixed share ".wdg"; the host's Item adds ".pwi".
  EXPECT_EQ(extensions, (std::vector<WideString>{u".pwi", u".wdg"}));
}

}  // namespace
}  // namespace pw::test
