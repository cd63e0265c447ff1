// Fuzz target: the RTF tokenizer over any text (read as Windows-1252). Every token is one of
// the four kinds, is not empty and stays inside its line; the walk always ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "editor/rtf/rtf_parser.h"
#include "platform/rtl/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pw::editor;
  TateRTF_Parser p;
  p.Lines().SetTextStr(pw::SystemCodePageToWide(std::string_view(reinterpret_cast<const char*>(data), size)));
  p.Reset();
  std::size_t tokens = 0;
  while (TateSyntaxStyle* s = p.NextToken()) {
    if (s->TokenKind < 1 || s->TokenKind > 4) std::abort();
    if (p.TokenText().empty()) std::abort();
    if (++tokens > size + 1) std::abort();
  }
  return 0;
}
