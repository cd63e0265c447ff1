// Fuzz target: the editor's text-file loading with encoding detection, through both loaders
// (the wide string list and the line storage), then a save in every encoding. A load never
// raises; what it recognised saves back and reloads to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "editor/source/editor_source.h"
#include "editor/text/wide_strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pw::editor;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  TWideStrings list;
  if (list.LoadFromBytes(bytes)) {
    for (int e = 0; e < 3; ++e) {
      list.SaveFormat = static_cast<TateTextEncoding>(e);
      const std::string saved = list.SaveToBytes();
      TWideStrings again;
      if (e != teAnsi && !again.LoadFromBytes(saved)) std::abort();
    }
  } else if (list.GetCount() != 0) {
    std::abort();
  }

  TateEditorSource source;
  const bool recognised = source.Strings().LoadFromBytes(bytes);
  if (!recognised && source.Strings().GetText() != u"[Error]") std::abort();
  const pw::WideString text = source.Strings().GetText();
  source.Strings().SaveEncoding = teUtf16;
  TateEditorSource again;
  if (!again.Strings().LoadFromBytes(source.Strings().SaveToBytes())) std::abort();
  if (again.Strings().GetText() != text) std::abort();
  return 0;
}
