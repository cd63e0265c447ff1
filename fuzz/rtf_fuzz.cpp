// Fuzz target: the RTF reader over any bytes (as a file would give them).
// Import either finishes or raises the encoding error; every event is a run
// with attributes, a paragraph or a picture; the writer then writes the runs
// again and its document imports without error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "editor/rtf/rtf_exporter.h"
#include "editor/rtf/rtf_importer.h"
#include "platform/rtl/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pw::editor;
  pw::TMemoryStream in;
  if (size > 0) in.WriteBuffer(data, static_cast<std::int32_t>(size));
  in.SetPosition(0);
  pw::TMemoryStream again;
  TateCustomEditorAttributes font;
  font.SetName(u"Courier New");
  TateRTF_Exporter exporter(again, font);
  TateRTF_Importer importer;
  importer.OnText = [&](TateCustomImporter*, pw::WideStringView text, const TateCustomEditorAttributes* a,
                        const TateCustomEditorObject* p, const TateCustomParagraph* g) {
    if (!a && !p && !g) std::abort();
    if (a && text.empty()) std::abort();
    if (g) exporter.NewLine(!text.empty(), g);
    if (a || p) exporter.WriteText(text, a, p);
  };
  try {
    importer.Import(in);
  } catch (const pw::Exception&) {
    return 0;
  }
  exporter.Finish();
  again.SetPosition(0);
  TateRTF_Importer back;
  back.Import(again);
  return 0;
}
