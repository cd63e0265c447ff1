// Fuzz target: the editor's pattern language. The input is a mask, a zero byte and a text; the
// mask compiles or raises its error, and a compiled mask matches the text (both case rules)
// within the text's length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "editor/parser/reg_expr.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string mask = input.substr(0, split);
  const pw::WideString text =
      split == std::string::npos ? pw::WideString() : pw::SystemCodePageToWide(input.substr(split + 1));
  for (bool caseSensitive : {true, false}) {
    try {
      pw::editor::TateRegExpr r(mask, caseSensitive);
      std::int32_t len = 0;
      if (r.Match(text, len) && (len < 1 || len > static_cast<std::int32_t>(text.size()) + 1)) std::abort();
    } catch (const pw::Exception&) {
    }
  }
  return 0;
}
