// The host's key strings (UTF-8 input as the wide text a script passes to "Keys"): read or
// refused with a BrowserError; what reads is written back as a key string (specials doubled,
// named keys in brackets) that reads as the same key presses.
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "host/browser/errors.h"
#include "host/browser/keys.h"
#include "platform/rtl/strings.h"

using namespace pw;

namespace {

const char* NameOf(const std::string& key) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"Enter", "Enter"}, {"Escape", "Esc"},     {"Tab", "Tab"},       {"Backspace", "BS"},     {"Delete", "Del"},
      {"Insert", "Ins"},  {"Home", "Home"},      {"End", "End"},       {"ArrowLeft", "Left"},   {"ArrowRight", "Right"},
      {"ArrowUp", "Up"},  {"ArrowDown", "Down"}, {"PageUp", "PageUp"}, {"PageDown", "PageDown"}};
  for (const auto& [key2, name] : kNames)
    if (key == key2) return name;
  if (key.size() >= 2 && key[0] == 'F' && key[1] >= '1' && key[1] <= '9') return key.c_str();
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const WideString keys = Utf8ToWide(fuzz::AsText(data, size));
  std::vector<browser::KeyStroke> strokes;
  try {
    strokes = browser::ParseKeyString(keys);
  } catch (const browser::BrowserError& e) {
    fuzz::Check(e.Kind() == browser::ErrorKind::Script, "a refusal of another kind");
    return 0;
  }
  std::string written;
  for (const auto& s : strokes) {
    fuzz::Check((s.modifiers & ~(browser::kModifierControl | browser::kModifierAlt)) == 0, "an unknown modifier");
    fuzz::Check(!s.key.empty(), "an empty key");
    // A modifier sign right before the doubled key of the same sign would read as that key, so
    // with the key "~" Alt is written first ("~^~~"), otherwise Control ("^~^^").
    const bool altFirst = s.key == "~";
    if (altFirst && (s.modifiers & browser::kModifierAlt)) written += '~';
    if (s.modifiers & browser::kModifierControl) written += '^';
    if (!altFirst && (s.modifiers & browser::kModifierAlt)) written += '~';
    if (const char* name = NameOf(s.key)) {
      written += std::string("[") + name + "]";
    } else if (s.key == "^" || s.key == "~" || s.key == "[") {
      written += s.key + s.key;
    } else {
      written += s.key;
    }
  }
  fuzz::Check(browser::ParseKeyString(Utf8ToWide(written)) == strokes, "written back, the keys read differently");
  return 0;
}
