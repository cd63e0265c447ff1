#include "graphics/png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string>

namespace pw::graphics {

namespace {

// Whatever libpng's callbacks touch lives here, outside the frames that setjmp returns to.
struct PngState {
  std::span<const std::uint8_t> input;
  std::size_t position = 0;
  std::vector<std::uint8_t>* output = nullptr;
  std::string message;
  Bitmap bitmap;
  std::vector<png_bytep> rows;
  GraphicsError::Kind failure = GraphicsError::Kind::BadData;
  std::string failureMessage;
};

void OnError(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngState*>(png_get_error_ptr(png));
  state->message = message ? message : "unknown error";
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep out, png_size_t length) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  if (state->input.size() - state->position < length) png_error(png, "the data is truncated");
  std::memcpy(out, state->input.data() + state->position, length);
  state->position += length;
}

void OnWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  bool grown = true;
  try {
    state->output->insert(state->output->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    grown = false;
  }
  if (!grown) png_error(png, "not enough memory for the image");
}

void OnFlush(png_structp) {}

// Allocation of the bitmap, outside libpng's frames: false (with the failure) when it fails.
bool Allocate(PngState& state, png_uint_32 width, png_uint_32 height, bool alpha) noexcept {
  try {
    state.bitmap = Bitmap(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                          alpha ? PixelFormat::Argb32() : PixelFormat::Rgb24());
    state.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) state.rows[y] = state.bitmap.Row(static_cast<std::int32_t>(y));
    return true;
  } catch (const GraphicsError& e) {
    state.failure = e.kind();
    state.failureMessage = e.what();
  } catch (const std::bad_alloc&) {
    state.failure = GraphicsError::Kind::OutOfMemory;
    state.failureMessage = "Not enough memory for the bitmap.";
  }
  return false;
}

// The largest side libpng accepts here (the pixel cap is checked apart).
constexpr png_uint_32 kMaxSide = 1000000;

// 0: done; 1: libpng failed (state.message); 2: allocation failed (state.failure...).
int Decode(png_structp png, png_infop info, PngState* state) {
  if (setjmp(png_jmpbuf(png))) return 1;
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(png, 16u << 20);
  png_set_read_fn(png, state, OnRead);
  png_read_info(png, info);
  const png_byte colorType = png_get_color_type(png, info);
  const png_byte depth = png_get_bit_depth(png, info);
  const bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_scale_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * (alpha ? 4 : 3))
    png_error(png, "unexpected row layout");
  if (!Allocate(*state, width, height, alpha)) return 2;
  png_read_image(png, state->rows.data());
  png_read_end(png, nullptr);
  return 0;
}

int Encode(png_structp png, png_infop info, PngState* state, const Bitmap* bitmap, int level) {
  if (setjmp(png_jmpbuf(png))) return 1;
  png_set_write_fn(png, state, OnWrite, OnFlush);
  if (level >= 0) png_set_compression_level(png, level);
  const bool alpha = bitmap->HasAlpha();
  png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap->width()), static_cast<png_uint_32>(bitmap->height()), 8,
               alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  for (png_bytep row : state->rows) png_write_row(png, row);
  png_write_end(png, nullptr);
  return 0;
}

}  // namespace

bool LooksLikePng(std::span<const std::uint8_t> data) {
  return data.size() >= 8 && png_sig_cmp(data.data(), 0, 8) == 0;
}

Bitmap ReadPng(std::span<const std::uint8_t> data) {
  if (!LooksLikePng(data)) throw GraphicsError(GraphicsError::Kind::BadData, "Bad PNG data: the signature is missing");
  PngState state;
  state.input = data;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
  if (!png) throw GraphicsError(GraphicsError::Kind::OutOfMemory, "Not enough memory to read a PNG image.");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    throw GraphicsError(GraphicsError::Kind::OutOfMemory, "Not enough memory to read a PNG image.");
  }
  const int outcome = Decode(png, info, &state);
  png_destroy_read_struct(&png, &info, nullptr);
  if (outcome == 1) throw GraphicsError(GraphicsError::Kind::BadData, "Bad PNG data: " + state.message);
  if (outcome == 2) throw GraphicsError(state.failure, state.failureMessage);
  return std::move(state.bitmap);
}

std::vector<std::uint8_t> WritePng(const Bitmap& bitmap, int level) {
  if (bitmap.empty()) throw GraphicsError(GraphicsError::Kind::BadArgument, "An empty bitmap cannot be written.");
  if (level < -1 || level > 9)
    throw GraphicsError(GraphicsError::Kind::BadArgument, "The compression level is outside 0..9.");
  // libpng gets rows of 8-bit BGR or BGRA.
  const Bitmap source =
      bitmap.HasAlpha() ? bitmap.Converted(PixelFormat::Argb32()) : bitmap.Converted(PixelFormat::Rgb24());
  std::vector<std::uint8_t> out;
  PngState state;
  state.output = &out;
  for (std::int32_t y = 0; y < source.height(); ++y) state.rows.push_back(const_cast<png_bytep>(source.Row(y)));
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
  if (!png) throw GraphicsError(GraphicsError::Kind::OutOfMemory, "Not enough memory to write a PNG image.");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw GraphicsError(GraphicsError::Kind::OutOfMemory, "Not enough memory to write a PNG image.");
  }
  const int outcome = Encode(png, info, &state, &source, level);
  png_destroy_write_struct(&png, &info);
  if (outcome != 0)
    throw GraphicsError(GraphicsError::Kind::BadData, "The PNG image cannot be written: " + state.message);
  return out;
}

}  // namespace pw::graphics
