// The plain values behind the RTF reader's and writer's formatting objects
// (editor_attributes.h): character attributes as one group level of the reader
// holds them folded, paragraph attributes, the graphic of a picture, and the
// resolution of system colours to red, green and blue.
//
// Colours are 32-bit values red + green*256 + blue*65536; kRtfNoColor (-1) is
// "none" on the reader's side, clNone (0x1FFFFFFF) on the writer's. A value
// 0xFF0000NN is system colour NN and resolves through the platform's table
// (ColorToRGB).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "graphics/bitmap.h"
#include "platform/com/types.h"
#include "platform/ui/colors.h"

namespace pw::editor {

inline constexpr std::int32_t kRtfNoColor = -1;

// Font styles as the highlighter numbers them: bold 1, italic 2, underline 4,
// strike-out 8.
struct TateRtfAttributes {
  WideString FontName;
  std::uint8_t Charset = 0;
  std::uint8_t Pitch = 0;
  std::int32_t Size = 10;                 // points
  std::int32_t Color = 0;                 // kRtfNoColor or clNone: none
  std::int32_t Background = kRtfNoColor;  // kRtfNoColor or clNone: none
  std::uint8_t Style = 0;
  std::uint8_t Vertical = 0;  // 0 normal, 1 subscript, 2 superscript
  bool operator==(const TateRtfAttributes&) const = default;
};

struct TateRtfParagraph {
  std::int32_t Alignment = 0;                                     // 0 left, 1 right, 2 centre, 3 justify
  std::int32_t Numbering = 0;                                     // 0 none, 1 bullet, 2 numbered
  std::int32_t Number = 1;                                        // the number of a numbered paragraph
  std::int32_t FirstIndent = 0, LeftIndent = 0, RightIndent = 0;  // pixels
  bool operator==(const TateRtfParagraph&) const = default;
};

// The graphic of a picture: a bitmap (decoded), or a metafile that keeps its
// bytes, with its own size. The size it is shown at belongs to the editor object
// that holds it (TateRtfPictureObject).
struct TateRtfPicture {
  enum Kind : std::uint8_t { Bitmap = 0, Enhanced = 1, Metafile = 6 };
  Kind Type = Bitmap;
  std::optional<graphics::Bitmap> Image;  // Bitmap
  std::vector<std::uint8_t> Bytes;        // Enhanced and Metafile: the file's bytes
  std::int32_t GraphicWidth = 0,
               GraphicHeight = 0;  // the graphic's own size in pixels
};

using ui::ColorToRGB;

}  // namespace pw::editor
