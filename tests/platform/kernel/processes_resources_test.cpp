// The system search path and a binary's resources: what the plug-ins read of the machine and of
// the module.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/rtl/exceptions.h"
#include "platform/kernel/processes.h"
#include "platform/ui/resources.h"
#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

TEST(SearchPath, FindsRegularFilesInOrderWithinTheBuffer) {
  namespace fs = std::filesystem;
  test::ScratchDir scratch;
  fs::path root = scratch.Path() / "search-path";
  fs::remove_all(root);
  fs::create_directories(root / "a");
  fs::create_directories(root / "b");
  fs::create_directories(root / "a" / "lib.dll");  // a folder of that name is no file
  std::ofstream(root / "b" / "lib.dll") << "x";
  std::ofstream(root / "a" / "other.dll") << "x";

  // An empty entry names no folder and is passed over.
  SetSystemSearchPath({"", (root / "a").string(), (root / "b").string() + "/"});
  const std::string found = (root / "b" / "lib.dll").string();
  EXPECT_EQ(SearchPathA("lib.dll", 1024), found);
  EXPECT_EQ(SearchPathA("other.dll", 1024), (root / "a" / "other.dll").string());
  EXPECT_EQ(SearchPathA("missing.dll", 1024), "");
  EXPECT_EQ(SearchPathA("b/lib.dll", 1024), "");  // only bare names are searched
  EXPECT_EQ(SearchPathA("", 1024), "");
  // The full name and its terminator must fit the buffer.
  EXPECT_EQ(SearchPathA("lib.dll", found.size() + 1), found);
  EXPECT_EQ(SearchPathA("lib.dll", found.size()), "");

  SetSystemSearchPath({});
  EXPECT_EQ(SearchPathA("lib.dll", 1024), "");
  fs::remove_all(root);
}

const StringResource kStrings[] = {{7, u"seven"}, {65521, u"notice \u00E9"}};
const BitmapResource kBitmaps[] = {{"SMALL", 4, 3, 0x000001, 0x000002, 0x000003}};
const ResourceTable kTable{kStrings, kBitmaps};

TEST(ModuleResources, StringsAndDrawnBitmapsOfTheRegisteredTable) {
  RegisterModuleResources(&kTable);
  WideString text = u"old";
  ASSERT_TRUE(LoadModuleString(65521, text));
  EXPECT_EQ(text, u"notice \u00E9");
  EXPECT_FALSE(LoadModuleString(8, text));

  const std::int32_t handles = GdiObjectCount();
  HBITMAP bitmap = LoadModuleBitmap("SMALL");
  HBITMAP another = LoadModuleBitmap("SMALL");
  EXPECT_NE(bitmap, another);  // each load is a bitmap of its own
  BitmapData data;
  ASSERT_TRUE(GetBitmapData(bitmap, data));
  ASSERT_EQ(data.width, 4);
  ASSERT_EQ(data.height, 3);
  // Frame round the edge, the mark on the diagonal inside, the fill elsewhere.
  const std::vector<std::uint32_t> expected = {1, 1, 1, 1,  //
                                               1, 3, 2, 1,  //
                                               1, 1, 1, 1};
  EXPECT_EQ(data.pixels, expected);
  EXPECT_TRUE(DeleteGdiObject(bitmap));
  EXPECT_TRUE(DeleteGdiObject(another));
  EXPECT_EQ(GdiObjectCount(), handles);

  try {
    LoadModuleBitmap("MISSING");
    ADD_FAILURE() << "a missing bitmap loaded";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<DWORD>(ENOENT));
    EXPECT_NE(e.Message().find(u"\"MISSING\""), WideString::npos);
  }
  EXPECT_EQ(GdiObjectCount(), handles);

  // Without a table there are no resources.
  RegisterModuleResources(nullptr);
  EXPECT_FALSE(LoadModuleString(7, text));
  EXPECT_THROW(LoadModuleBitmap("SMALL"), EOSError);
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

// A process's window tree: children are found, listed depth first, know their parent and
// process, and go with their top-level window.
TEST(WindowModel, ChildWindowsDepthFirstWithParentsAndProcess) {
  ProcessDescription p;
  p.id = 0x7101;
  p.name = u"tree.exe";
  WindowDescription server{0x7203, u"Internet Explorer_Server", {}};
  WindowDescription view{0x7202, u"Shell DocObject View", {server}};
  WindowDescription status{0x7204, u"msctls_statusbar32", {}};
  p.windows.push_back({0x7201, u"IEFrame", {view, status}});
  DescribeProcess(p);

  EXPECT_EQ(GetProcessWindowHandles(0x7101), std::vector<HWND>{0x7201});  // top-level only
  EXPECT_EQ(GetChildWindowHandles(0x7201), (std::vector<HWND>{0x7202, 0x7203, 0x7204}));
  EXPECT_EQ(GetChildWindowHandles(0x7202), std::vector<HWND>{0x7203});
  EXPECT_TRUE(GetChildWindowHandles(0x7203).empty());
  EXPECT_TRUE(GetChildWindowHandles(0).empty());
  EXPECT_TRUE(IsWindow(0x7203));
  EXPECT_EQ(GetWindowClassName(0x7203), u"Internet Explorer_Server");
  EXPECT_EQ(GetParentWindow(0x7203), HWND{0x7202});
  EXPECT_EQ(GetParentWindow(0x7201), HWND{0});
  EXPECT_EQ(GetWindowProcessId(0x7204), DWORD{0x7101});
  EXPECT_EQ(GetWindowProcessId(0x7999), DWORD{0});

  EXPECT_TRUE(DestroyWindow(0x7202));  // a child goes with its descendants
  EXPECT_FALSE(IsWindow(0x7203));
  EXPECT_EQ(GetChildWindowHandles(0x7201), std::vector<HWND>{0x7204});
  EXPECT_TRUE(RemoveProcessDescription(0x7101));
  EXPECT_FALSE(IsWindow(0x7201));
  EXPECT_FALSE(DestroyWindow(0));
}

}  // namespace
}  // namespace pw
