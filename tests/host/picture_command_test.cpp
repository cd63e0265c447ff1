#include "tools/pwhost/picture_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "graphics/bmp.h"
#include "graphics/png.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"

namespace pw::host {
namespace {

using Result = test::CapturedRun;

Result RunPicture(std::vector<std::string> args) {
  return test::CaptureRun([&](std::FILE* out, std::FILE* err) {
    return RunPictureCommand(args, PW_TEST_HOST_DIR "/pwOpenApps2.so", out, err);
  });
}

graphics::Bitmap Pattern(std::int32_t w, std::int32_t h, std::int32_t dx = 0, std::int32_t dy = 0) {
  graphics::Bitmap b(w, h, graphics::PixelFormat::Rgb24());
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x)
      b.SetPixel(x, y,
                 graphics::Argb(255, static_cast<std::uint32_t>((x + dx) * 3), static_cast<std::uint32_t>((y + dy) * 5),
                                static_cast<std::uint32_t>(((x + dx) * (y + dy)) % 251)));
  return b;
}

void Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  test::WriteFileBytes(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

TEST(PictureCommand, FindCompareAndConvert) {
  test::ScratchDir dir;
  const std::string hay = dir.Utf8File("hay.png"), needle = dir.Utf8File("needle.bmp");
  Write(hay, graphics::WritePng(Pattern(64, 48)));
  Write(needle, graphics::WriteBmp(Pattern(5, 4, 40, 30)));
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;  // the start of what is printed
  };
  const Case cases[] = {
      {{"find", hay, needle}, 0, "found: left 40, top 30, width 5, height 4\n"},
      {{"find", hay, needle, "--left", "41"}, 1, "not found: The image does not contain the sought-for image.\n"},
      {{"find", hay, needle, "--left", "60"}, 1, "not found: The sought-for image was larger than the one in which"},
      {{"find", hay, needle, "--colors", "300"}, 1, ""},
      {{"convert", hay, dir.Utf8File("part.png"), "--rect", "40,30,5,4"}, 0, ""},
      {{"compare", dir.Utf8File("part.png"), needle}, 0, "equal: 0 differing pixels, largest channel difference 0\n"},
      {{"compare", hay, needle, "--diff", dir.Utf8File("diff.bmp")}, 1, "different: 3072 differing pixels"},
      {{"convert", hay, dir.Utf8File("small.bmp"), "--stretch", "16x12", "--halftone"}, 0, ""},
      {{"convert", hay, dir.Utf8File("cut.bmp"), "--size", "10x5"}, 0, ""},
      {{"convert", hay, dir.Utf8File("x.gif")}, 1, ""},
      {{"convert", dir.Utf8File("missing.png"), dir.Utf8File("x.png")}, 1, ""},
      {{"find", hay}, 2, ""},
      {{"find", hay, needle, "--colors", "many"}, 2, ""},
      {{"convert", hay, dir.Utf8File("y.png"), "--halftone"}, 2, ""},
      {{"shrink", hay, needle}, 2, ""},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const Result r = RunPicture(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
    if (c.code != 0 && c.out.empty()) {
      EXPECT_FALSE(r.err.empty());
    }
  }
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "diff.bmp"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x.gif"));
  const auto small = test::ReadFileBytes(dir.Utf8File("small.bmp"));
  const graphics::Bitmap b =
      graphics::ReadBmp(std::span(reinterpret_cast<const std::uint8_t*>(small.data()), small.size()));
  EXPECT_EQ(b.width(), 16);
  EXPECT_EQ(b.height(), 12);
}

}  // namespace
}  // namespace pw::host
