// Text measurement on real font metrics. Deterministic: the fonts come only
// from the DejaVu files of the system's font folder (a font configuration of
// their own, not the user's), and names map through one table: Arial and Tahoma
// to DejaVu Sans, Times New Roman to DejaVu Serif, Courier New to DejaVu Sans
// Mono, every other name to DejaVu Sans. A measured font keeps the name it was
// asked for.
//
// Sizes are points at 96 pixels per inch (rounded to whole pixels). Widths are
// hinted advances in whole pixels without kerning, so a string measures as the
// sum of its characters; a unit without a glyph measures as the font's
// missing-glyph mark. Height (ascent + descent) and average character width
// come from the font's OS/2 metrics. No DejaVu files, or a file that does not
// load: FontError with a message saying so.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/com/types.h"

namespace pw::ui {

class FontError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct FontSpec {
  WideString Name = u"Arial";
  std::int32_t Size = 10;  // points
  bool Bold = false;
  bool Italic = false;
};

inline constexpr const char* kDejaVuFolder = "/usr/share/fonts/truetype/dejavu";

// The file of the face for a font among the fonts of a folder; FontError ("no fonts: ...") when
// the folder has none.
std::string FontFileFor(const FontSpec& spec, const std::string& folder = kDejaVuFolder);

// The DejaVu family a name maps to ("DejaVu Sans", "DejaVu Serif", "DejaVu Sans
// Mono").
const char* FontFamilyFor(WideStringView name);

class MeasuredFont {
 public:
  // Opens the face for the font asked for; raises FontError.
  explicit MeasuredFont(const FontSpec& spec);
  ~MeasuredFont();
  MeasuredFont(const MeasuredFont&) = delete;
  MeasuredFont& operator=(const MeasuredFont&) = delete;

  const FontSpec& Spec() const { return spec_; }
  const WideString& Name() const { return spec_.Name; }
  // The file the face was loaded from.
  const std::string& File() const { return file_; }
  std::int32_t PixelSize() const { return pixels_; }
  std::int32_t Height() const { return height_; }
  std::int32_t Ascent() const { return ascent_; }
  std::int32_t AverageCharWidth() const { return average_; }
  std::int32_t CharWidth(char16_t c) const;
  std::int32_t TextWidth(WideStringView text) const;

 private:
  struct Face;
  FontSpec spec_;
  std::string file_;
  std::unique_ptr<Face> face_;
  std::int32_t pixels_ = 0, height_ = 0, ascent_ = 0, average_ = 0;
};

}  // namespace pw::ui
