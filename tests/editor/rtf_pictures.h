// What the RTF tests keep of a delivered picture object: its graphic and the size it
// is shown at (the object itself belongs to the reader).
#pragma once

#include "editor/rtf/editor_attributes.h"

namespace pw::editor::testing {

struct ShownPicture : TateRtfPicture {
  std::int32_t Width = 0, Height = 0;
  bool Unscaled = false;
  static ShownPicture Of(const TateCustomEditorObject& object) {
    ShownPicture s;
    if (object.Graphic()) static_cast<TateRtfPicture&>(s) = *object.Graphic();
    s.Width = object.Width();
    s.Height = object.Height();
    s.Unscaled = object.Unscaled();
    return s;
  }
};

}  // namespace pw::editor::testing
