// Canonical URLs: the input is a base URL, a line feed and a reference (UTF-8; without a line
// feed the whole input is both). Canonicalising and resolving never fail; canonicalising twice
// gives the same as once, and a resolved URL is canonical and resolves to itself.
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/rtl/strings.h"
#include "web/navigation/canonical_url.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  std::size_t cut = text.find('\n');
  WideString base = Utf8ToWide(text.substr(0, cut));
  WideString reference = cut == std::string_view::npos ? base : Utf8ToWide(text.substr(cut + 1));

  WideString once = web::CanonicalizeUrl(reference);
  fuzz::Check(web::CanonicalizeUrl(once) == once, "canonicalising twice differs from once");
  fuzz::Check(reference.empty() == once.empty(), "canonicalising lost or invented the URL");

  WideString resolved = web::ResolveUrl(base, reference);
  fuzz::Check(web::CanonicalizeUrl(resolved) == resolved, "a resolved URL is not canonical");
  fuzz::Check(web::ResolveUrl(base, resolved) == resolved, "resolving twice differs from once");
  return 0;
}
