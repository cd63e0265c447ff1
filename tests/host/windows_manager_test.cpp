// The windows manager's extended interface: the region operation that crops a picture, the
// update and the clear-highlight, as the service's cast answers them.
#include <gtest/gtest.h>

#include "host/test_host.h"
#include "platform/automation/bstr.h"
#include "platform/kernel/processes.h"
#include "platform/ui/gdi.h"

namespace pw {
namespace {

TEST(WindowsManagerEx, CropsAPictureToItsRectangle) {
  host::TestHost host;
  ComPtr<IUnknown> service;
  OleCheck(host.Manager()->GetService(MakeGuid("{463D5E7A-02B6-4BE5-A74C-2D885DC8D6BB}"), service.Put()));
  auto windows = QueryAs<IcvWindowsManagerEx>(service.Get());
  ASSERT_TRUE(windows);
  EXPECT_TRUE(QueryAs<IcvWindowsManager>(service.Get()));
  struct Case {
    std::int32_t x, y, w, h;
    HRESULT result;
    std::int32_t width, height, firstPixel;  // the picture afterwards; its pixel (0, 0)
  } cases[] = {
      {-1, -1, -1, -1, S_OK, 40, 30, 0},                                                    // the whole picture
      {10, 5, 20, 10, S_OK, 20, 10, 5 * 40 + 10}, {-1, 20, -1, -1, S_OK, 40, 10, 20 * 40},  // from the top edge 20 down
      {30, 0, 100, 100, S_OK, 10, 30, 30},                                                  // clipped to the picture
      {-5, -5, 10, 10, S_OK, 10, 10, 0},         // a corner before the picture starts at its edge
      {40, 0, 10, 10, E_INVALIDARG, 40, 30, 0},  // nothing of it left: the picture stays
      {0, 0, -2, 10, E_INVALIDARG, 40, 30, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.w) + " " +
                 std::to_string(c.h));
    std::vector<std::uint32_t> pixels(40 * 30);
    for (std::uint32_t i = 0; i < pixels.size(); ++i) pixels[i] = i;  // each pixel its index
    std::int32_t bitmap = CreateBitmapOfSize(40, 30, std::move(pixels));
    EXPECT_EQ(windows->CropPicture(c.x, c.y, c.w, c.h, &bitmap), c.result);
    auto after = BitmapPixels(bitmap);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->width(), c.width);
    EXPECT_EQ(after->height(), c.height);
    EXPECT_EQ(after->GetPixel(0, 0) & 0xFFFFFF, static_cast<std::uint32_t>(c.firstPixel));
    DeleteObject(bitmap);
  }
  std::int32_t none = 0;
  EXPECT_EQ(windows->CropPicture(-1, -1, -1, -1, &none), E_INVALIDARG);
  EXPECT_EQ(windows->CropPicture(-1, -1, -1, -1, nullptr), E_POINTER);

  EXPECT_EQ(windows->UpdateWindows(), S_OK);
  EXPECT_EQ(windows->ClearHighlight(), S_OK);
  EXPECT_EQ(host.Windows().Updates(), 1);
  EXPECT_EQ(host.Windows().HighlightClears(), 1);
}

// A window's process, text, first child and point test, as the drop-down search of a browser
// asks them.
TEST(WindowsManager, AnswersAWindowsProcessTextFirstChildAndPointTest) {
  host::TestHost host;
  auto& windows = host.Windows();
  DescribeProcess({9301,
                   u"browser.exe",
                   {},
                   {{0x9301, u"Frame", {{0x9302, u"Child", {{0x9303, u"Inner"}}}, {0x9304, u"Second"}}}}});
  std::int32_t id = 0, child = -1;
  EXPECT_EQ(windows.GetWindowProcessId(0x9303, &id), S_OK);
  EXPECT_EQ(id, 9301);
  EXPECT_EQ(windows.GetWindowProcessId(0x9399, &id), S_OK);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(windows.GetFirstChildWindow(0x9301, &child), S_OK);
  EXPECT_EQ(child, 0x9302);
  EXPECT_EQ(windows.GetFirstChildWindow(0x9304, &child), S_OK);
  EXPECT_EQ(child, 0);
  BString text;
  EXPECT_EQ(windows.GetWindowText(0x9301, text.Put()), S_OK);
  EXPECT_EQ(text.View(), u"");
  windows.SetWindowText(0x9301, u"Title");
  EXPECT_EQ(windows.GetWindowText(0x9301, text.Put()), S_OK);
  EXPECT_EQ(text.View(), u"Title");

  windows.SetWindowRects(0x9301, {100, 100, 200, 150}, {100, 100, 200, 150});
  struct Case {
    std::int32_t x, y;
    bool visible, on;
  } cases[] = {
      {0, 0, true, true}, {99, 49, true, true}, {100, 10, true, false}, {-1, 10, true, false}, {10, 10, false, false}};
  for (const auto& c : cases) {
    windows.SetWindowState(0x9301, true, c.visible);
    VARIANT_BOOL on = VARIANT_FALSE;
    EXPECT_EQ(windows.IsPointOnWindow(0x9301, c.x, c.y, &on), S_OK);
    EXPECT_EQ(on != VARIANT_FALSE, c.on) << c.x << " " << c.y << " " << c.visible;
  }
  windows.SetPointTest(0x9301, [](std::int32_t x, std::int32_t) { return x == 500; });
  VARIANT_BOOL on = VARIANT_FALSE;
  EXPECT_EQ(windows.IsPointOnWindow(0x9301, 500, 0, &on), S_OK);
  EXPECT_NE(on, VARIANT_FALSE);
  RemoveProcessDescription(9301);
}

}  // namespace
}  // namespace pw
