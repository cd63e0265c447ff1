// PNG images: the bytes are read by the codec on libpng. Nothing is allocated past the pixel
// cap; an image that reads is written (RGB or RGBA) and read again with the same pixels.
#include "fuzz/fuzz_support.h"
#include "graphics/png.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  graphics::Bitmap b;
  try {
    b = graphics::ReadPng(std::span<const std::uint8_t>(data, size));
  } catch (const graphics::GraphicsError&) {
    return 0;  // refused with a message: fine
  }
  fuzz::Check(b.Bytes().size() <= graphics::kMaxPixelBytes, "an image passes the pixel cap");
  fuzz::Check(b.format().bitCount == 24 || (b.format().bitCount == 32 && b.HasAlpha()),
              "an image is read as neither 24 bits nor 32 bits with alpha");
  const graphics::Bitmap again = graphics::ReadPng(graphics::WritePng(b, 1));
  fuzz::Check(again.HasAlpha() == b.HasAlpha(), "a written image loses or gains alpha");
  fuzz::Check(again.ToArgb() == b.ToArgb(), "a written image reads back other pixels");
  return 0;
}
