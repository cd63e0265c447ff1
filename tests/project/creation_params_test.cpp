// Creation parameters of new items: defaults, checks, messages and what they do
// on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "project/types/new_item_check.h"
#include "project/types/node_info.h"
#include "tests/project/project_fixture.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {
namespace {

class CreationParamsTest : public ProjectTest {
 protected:
  ComPtr<IpwProjectNodeConfigInfo> Config(const GUID& type, IpwProjectNode* parent) {
    ComPtr<IpwProjectNodeInfo> info;
    OleCheck(host.Projects().GetNodeInfo(type, info.Put()));
    ComPtr<IpwProjectNodeConfigInfo> config;
    OleCheck(info->CreateConfigInfo(parent, config.Put()));
    return config;
  }
  static WideString Value(IpwProjectNodeConfigInfo* config, std::int32_t index) {
    OleVariant v;
    OleCheck(config->GetValue(index, v.Put()));
    return v.AsString();
  }
  static void Set(IpwProjectNodeConfigInfo* config, std::int32_t index, WideStringView value) {
    OleCheck(config->SetValue(index, OleVariant(value).Get()));
  }
  static std::int32_t Validate(IpwProjectNodeConfigInfo* config) {
    std::int32_t bad = -2;
    VARIANT_BOOL ok = VARIANT_FALSE;
    OleCheck(config->Validate(&bad, &ok));
    EXPECT_EQ(ok != VARIANT_FALSE, bad == -1);
    return bad;
  }
  WideString LastMessage() {
    auto m = host.Messenger().Messages();
    return m.empty() ? WideString() : m.back().text;
  }
  ScratchDir dir;
};

TEST_F(CreationParamsTest, NumberedDefaultSkipsSiblingsAndFiles) {
  AddSibling(u"widget1");
  AddSibling(u"Widget3");
  auto config = Config(kWidgetType, project.Get());
  EXPECT_EQ(Value(config.Get(), 0), u"Widget2");
  BString name;
  OleCheck(config->GetName(1, name.Put()));
  EXPECT_EQ(name.View(), u"&Location");
  // A single-instance type does not look at its siblings.
  auto single = Config(kSingleType, project.Get());
  EXPECT_EQ(Value(single.Get(), 0), u"Single1");
  // Without a parent the default folder is the root.
  auto orphan = Config(kWidgetType, nullptr);
  EXPECT_EQ(Value(orphan.Get(), 1), u"/");
  // A file that exists in the folder takes its number too.
  std::ofstream(dir.Utf8File("Widget1.wdg")) << "x";
  ComPtr<IpwFileProjectNodeConfigInfo> file;
  OleCheck(config->QueryInterface(IpwFileProjectNodeConfigInfo::iid, file.PutVoid()));
  BString folder;
  OleCheck(file->GetFileFolder(BString(dir.Wide()).Get(), folder.Put()));
  EXPECT_EQ(folder.View(), dir.Wide() + u"/");
}

TEST_F(CreationParamsTest, FixedNameIsPutBack) {
  auto config = Config(kFixedType, nullptr);
  EXPECT_EQ(Value(config.Get(), 0), u"Settings");
  Set(config.Get(), 0, u"Mine");
  EXPECT_EQ(Validate(config.Get()), 0);
  EXPECT_EQ(LastMessage(), u"The name of the 'Settings Item' node cannot be changed.");
  EXPECT_EQ(host.Messenger().Messages().back().helpContext, 4007);
  EXPECT_EQ(Value(config.Get(), 0), u"Settings");
}

TEST_F(CreationParamsTest, SingleInstanceAndDuplicateName) {
  AddSibling(u"Single1", kSingleType);
  auto single = Config(kSingleType, project.Get());
  EXPECT_EQ(Validate(single.Get()), 0);
  EXPECT_EQ(LastMessage(),
            u"The type of the element you are trying to add is "
            u"'Single Item'. An element of this type already "
            u"exists.\r\nThere can be only one element of this "
            u"type in the parent node.");
  AddSibling(u"Taken");
  auto config = Config(kWidgetType, project.Get());
  Set(config.Get(), 0, u"TAKEN");
  Set(config.Get(), 1, dir.Wide());
  EXPECT_EQ(Validate(config.Get()), 0);
  EXPECT_EQ(LastMessage(),
            u"The Widget Item 'TAKEN' cannot be added to the current Project, "
            u"because an item with the same name already "
            u"exists.");
}

struct ParamCase {
  const char* what;
  std::u16string name;
  const char16_t* location;  // nil: the scratch folder
  std::int32_t badIndex;
  const char16_t* message;
  std::int32_t context;
};

class ParamRuleTest : public CreationParamsTest, public ::testing::WithParamInterface<ParamCase> {};

TEST_P(ParamRuleTest, ReportsTheFirstFailure) {
  const ParamCase& c = GetParam();
  auto config = Config(kWidgetType, nullptr);
  Set(config.Get(), 0, c.name);
  Set(config.Get(), 1, c.location ? WideString(c.location) : dir.Wide());
  EXPECT_EQ(Validate(config.Get()), c.badIndex) << c.what;
  if (c.message) {
    EXPECT_EQ(LastMessage(), WideString(c.message)) << c.what;
    EXPECT_EQ(host.Messenger().Messages().back().helpContext, c.context) << c.what;
  } else {
    EXPECT_TRUE(host.Messenger().Messages().empty()) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ParamRuleTest,
    ::testing::Values(ParamCase{"blank", u"  ", nullptr, 0, u"A name cannot be an empty string.", 0},
                      ParamCase{"261", std::u16string(261, u'n'), nullptr, 0, u"The element name is too long.", 4137},
                      ParamCase{"con", u"con", nullptr, 0,
                                u"The \"con\" name cannot be used. It is reserved by the "
                                u"operating system as a device name.",
                                0},
                      ParamCase{"Lpt9", u"Lpt9", nullptr, 0,
                                u"The \"Lpt9\" name cannot be used. It is reserved by the "
                                u"operating system as a device name.",
                                0},
                      ParamCase{"COM10", u"COM10", nullptr, -1, nullptr, 0},
                      ParamCase{"unqualified location", u"W", u"no-such-folder/below", 1,
                                u"The location must be a fully qualified folder name.", 4138},
                      ParamCase{"whole file name too long", std::u16string(255, u'n'), nullptr, 0,
                                u"The element name is too long.", 4137}));

TEST_F(CreationParamsTest, ExistingFileAsksBeforeDeleting) {
  std::ofstream(dir.Utf8File("Keep.wdg")) << "data";
  auto config = Config(kWidgetType, nullptr);
  Set(config.Get(), 0, u"Keep");
  Set(config.Get(), 1, dir.Wide());
  host.Messenger().QueueConfirmation(false);
  EXPECT_EQ(Validate(config.Get()), 1);
  EXPECT_EQ(LastMessage(), u"The Widget Item cannot be created, because the file '" + dir.File("Keep.wdg") +
                               u"' already exists.\r\n\r\nDo you want to overwrite it?");
  EXPECT_TRUE(std::filesystem::exists(dir.Utf8File("Keep.wdg")));
}

TEST_F(CreationParamsTest, WithoutDialogsNothingIsDeleted) {
  std::ofstream(dir.Utf8File("Keep.wdg")) << "data";
  host.SetInteractive(false);
  ComPtr<IpwProjectNodeInfo> info;
  OleCheck(host.Projects().GetNodeInfo(kWidgetType, info.Put()));
  auto check = project::CheckNewItem(Manager(), info.Get(), nullptr, u"Keep", dir.Wide());
  EXPECT_FALSE(check.valid);
  EXPECT_NE(check.message.find(u"already exists"), WideString::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.Utf8File("Keep.wdg")));
  EXPECT_EQ(check.fileName, dir.File("Keep.wdg"));
}

TEST_F(CreationParamsTest, YesDeletesTheFile) {
  std::ofstream(dir.Utf8File("Old.wdg")) << "data";
  auto config = Config(kWidgetType, nullptr);
  Set(config.Get(), 0, u"Old");
  Set(config.Get(), 1, dir.Wide());
  host.Messenger().QueueConfirmation(true);
  EXPECT_EQ(Validate(config.Get()), -1);
  EXPECT_FALSE(std::filesystem::exists(dir.Utf8File("Old.wdg")));
}

TEST_F(CreationParamsTest, FolderProbeLeavesNothingBehind) {
  auto config = Config(kWidgetType, nullptr);
  Set(config.Get(), 0, u"New");
  Set(config.Get(), 1, dir.Wide() + u"/a/b");
  EXPECT_EQ(Validate(config.Get()), -1);
  EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(CreationParamsTest, InfoPropertiesAndBadIndex) {
  ComPtr<IpwProjectNodeInfo> info;
  OleCheck(host.Projects().GetNodeInfo(kWidgetType, info.Put()));
  OleVariant v;
  OleCheck(info->GetProperty(2, v.Put()));
  EXPECT_EQ(v.AsString(), u"Widget Item");
  OleCheck(info->GetProperty(11, v.Put()));
  EXPECT_TRUE(v.AsBool());
  EXPECT_EQ(info->GetProperty(14, v.Put()), E_INVALIDARG);
  OleCheck(info->GetProperty(1, v.Put()));
  EXPECT_EQ(v.AsInt(), 0);  // no bitmap name
}

TEST_F(CreationParamsTest, HostTypesAreListed) {
  auto types = project::ListItemTypes(Manager());
  ASSERT_GE(types.size(), 2u);
  EXPECT_EQ(types[0].typeName, u"Project");
  EXPECT_EQ(types[1].typeName, u"Item");
  EXPECT_EQ(types[1].extension, u".pwi");
  EXPECT_EQ(types[1].parentKey, host::kProjectNodeType);
  EXPECT_TRUE(types[1].numberedNames);
  EXPECT_TRUE(project::FindItemType(Manager(), u"item"));
  EXPECT_FALSE(project::FindItemType(Manager(), u"nothing"));
}

}  // namespace
}  // namespace pw::test
