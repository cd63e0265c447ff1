// Fuzz target: the component stream reader over any bytes, into the editor's settings
// containers, its list of wide strings and the rule-based parser. A stream either reads or is refused with the
// reader's error; what reads writes back, and that reads again and writes the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "editor/parser/parser.h"
#include "editor/properties/properties.h"
#include "editor/text/wide_strings.h"
#include "platform/rtl/filer.h"

namespace {

void Load(const std::uint8_t* data, std::size_t size, pw::TPersistent& object) {
  pw::TMemoryStream in;
  if (size > 0) in.WriteBuffer(data, static_cast<std::int32_t>(size));
  in.SetPosition(0);
  pw::ReadObjectFromStream(in, object);
}

std::string Save(pw::TPersistent& object) {
  pw::TMemoryStream out;
  pw::WriteObjectToStream(out, object, "X");
  return std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<std::size_t>(out.Size()));
}

template <class T>
void Check(const std::uint8_t* data, std::size_t size) {
  T first;
  try {
    Load(data, size, first);
  } catch (const pw::EReadError&) {
    return;
  }
  const std::string once = Save(first);
  T second;
  Load(reinterpret_cast<const std::uint8_t*>(once.data()), once.size(), second);
  if (Save(second) != once) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  Check<pw::editor::TateVisualProperties>(data, size);
  Check<pw::editor::TateSourceProperties>(data, size);
  Check<pw::editor::TWideStrings>(data, size);
  Check<pw::editor::TateEditorParser>(data, size);
  return 0;
}
