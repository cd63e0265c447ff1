// BMP files and packed DIBs: the bytes are read as a file and as a packed DIB. Nothing is read
// beyond the data and nothing allocated past the pixel cap; a bitmap that reads is written,
// read again with the same pixels, and written again with the same bytes.
#include "fuzz/fuzz_support.h"
#include "graphics/bmp.h"

using namespace pw;

namespace {

void RoundTrip(const graphics::Bitmap& b) {
  fuzz::Check(b.Bytes().size() <= graphics::kMaxPixelBytes, "a bitmap passes the pixel cap");
  const std::vector<std::uint8_t> file = graphics::WriteBmp(b);
  const graphics::Bitmap again = graphics::ReadBmp(file);
  fuzz::Check(again.width() == b.width() && again.height() == b.height(), "a written bitmap reads back another size");
  fuzz::Check(again.ToArgb() == b.ToArgb(), "a written bitmap reads back other pixels");
  fuzz::Check(graphics::WriteBmp(again) == file, "a second pass writes other bytes");
  const graphics::Bitmap packed = graphics::ReadPackedDib(graphics::WritePackedDib(b));
  fuzz::Check(packed.ToArgb() == b.ToArgb(), "a packed DIB reads back other pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  for (bool packed : {false, true}) {
    graphics::Bitmap b;
    try {
      b = packed ? graphics::ReadPackedDib(bytes) : graphics::ReadBmp(bytes);
    } catch (const graphics::GraphicsError&) {
      continue;  // refused with a message: fine
    }
    RoundTrip(b);
  }
  return 0;
}
