// The project tree's dialogs through the host's dialog service.
#include "project/nodes/dialogs.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/project/project_fixture.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {
namespace {

using namespace project;

TEST_F(ProjectTest, AddExistingChildOffersTheParentsTypes) {
  // The project takes the host's Item (".pwi") and the tests' Widget, Single, Fixed (all ".wdg").
  EXPECT_EQ(
      AddExistingChildFilter(Manager(), project.Get()),
      u"All Supported Child Files (*.pwi; *.wdg; *.wdg; *.wdg)|*.pwi; *.wdg; *.wdg; *.wdg|Item File (*.pwi)|*.pwi|"
      u"Widget Item File (*.wdg)|*.wdg|Single Item File (*.wdg)|*.wdg|Settings Item File (*.wdg)|*.wdg|"
      u"All Files (*.*)|*.*");
  // A single-instance type the parent holds is left out; one type left gives its entry alone.
  AddSibling(u"Single1", kSingleType);
  AddSibling(u"Settings", kFixedType);
  types->Types().resize(2);                                                   // Widget and Single
  host.Projects().RemoveItemTypes(host.Projects().ItemTypeLists()[0].Get());  // the host's own
  EXPECT_EQ(AddExistingChildFilter(Manager(), project.Get()), u"Widget Item File (*.wdg)|*.wdg|All Files (*.*)|*.*");
  host.Dialogs().QueueAnswer({true, u"/x/a.wdg"});
  WideString names = u"/given/";
  EXPECT_TRUE(ShowAddExistingChildDialog(Manager(), project.Get(), names));
  EXPECT_EQ(names, u"/x/a.wdg");
  auto shown = host.Dialogs().Dialogs();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, u"Add Existing Child - Project1");
  EXPECT_EQ(shown[0].options, 0x80044);
  EXPECT_EQ(shown[0].initial, u"/given/");
}

TEST_F(ProjectTest, SaveWithoutDialogsChecksTheName) {
  ScratchDir dir;
  host.SetInteractive(false);
  WideString name = dir.File("ok.wdg");
  EXPECT_TRUE(ShowSaveFileDialog(Manager(), u"Save", u"", u".wdg", name, true));
  WideString bad = dir.File("a|b.wdg");
  EXPECT_FALSE(ShowSaveFileDialog(Manager(), u"Save", u"", u".wdg", bad, true));
  EXPECT_TRUE(host.Dialogs().Dialogs().empty());
}

TEST_F(ProjectTest, SaveAsOfAFixedNameChoosesOnlyTheFolder) {
  ScratchDir dir;
  auto node = MakeNode(kFixedType, nullptr, u"Settings");
  IpwProjectNode* n = static_cast<IpwProjectNodeInternal*>(node.Get());
  std::ofstream(dir.Utf8File("Settings.wdg")) << "x";
  host.Dialogs().QueueAnswer({true, dir.Wide()});
  WideString file = u"/old/Settings.wdg";
  EXPECT_FALSE(ShowSaveAsDialog(Manager(), n, file, {}, true));
  EXPECT_EQ(host.Messenger().Messages().back().text,
            u"A file with the name 'Settings' already exists on disk at this location.");
  EXPECT_EQ(host.Dialogs().Dialogs().back().title, u"Select the folder that will store the 'Settings.wdg' file.");
  host.Dialogs().QueueAnswer({true, dir.Wide() + u"/sub"});
  EXPECT_TRUE(ShowSaveAsDialog(Manager(), n, file, {}, true));
  EXPECT_EQ(file, dir.Wide() + u"/sub/Settings.wdg");
  // A numbered type saves through the save dialog with its extension.
  auto widget = MakeNode(kWidgetType, nullptr, u"W1");
  host.Dialogs().QueueAnswer({true, u"/new/W1.wdg"});
  WideString target;
  EXPECT_TRUE(ShowSaveAsDialog(Manager(), static_cast<IpwProjectNodeInternal*>(widget.Get()), target, {}, false));
  EXPECT_EQ(host.Dialogs().Dialogs().back().title, u"Save Widget Item As");
  EXPECT_EQ(host.Dialogs().Dialogs().back().filter, u"Widget Item File (*.wdg)|*.wdg|All Files (*.*)|*.*");
  EXPECT_EQ(host.Dialogs().Dialogs().back().options, 0x80006);
}

}  // namespace
}  // namespace pw::test
