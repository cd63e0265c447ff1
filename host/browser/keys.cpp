#include "host/browser/keys.h"

#include <array>

#include "host/browser/errors.h"
#include "platform/rtl/strings.h"

namespace pw::browser {

namespace {

struct Named {
  std::u16string_view name;
  const char* key;
};

constexpr std::array<Named, 27> kNames = {{
    {u"Enter", "Enter"},    {u"Esc", "Escape"},
    {u"Tab", "Tab"},        {u"BS", "Backspace"},
    {u"Del", "Delete"},     {u"Ins", "Insert"},
    {u"Home", "Home"},      {u"End", "End"},
    {u"Left", "ArrowLeft"}, {u"Right", "ArrowRight"},
    {u"Up", "ArrowUp"},     {u"Down", "ArrowDown"},
    {u"PageUp", "PageUp"},  {u"PageDown", "PageDown"},
    {u"Space", " "},        {u"F1", "F1"},
    {u"F2", "F2"},          {u"F3", "F3"},
    {u"F4", "F4"},          {u"F5", "F5"},
    {u"F6", "F6"},          {u"F7", "F7"},
    {u"F8", "F8"},          {u"F9", "F9"},
    {u"F10", "F10"},        {u"F11", "F11"},
    {u"F12", "F12"},
}};

[[noreturn]] void Refuse(const std::string& what, std::size_t position) {
  throw BrowserError(ErrorKind::Script, what + " at position " + std::to_string(position + 1) + " of the keys");
}

}  // namespace

std::vector<KeyStroke> ParseKeyString(std::u16string_view keys) {
  std::vector<KeyStroke> strokes;
  int modifiers = 0;
  std::size_t modifierAt = 0;
  for (std::size_t i = 0; i < keys.size();) {
    const char16_t c = keys[i];
    const bool doubled = i + 1 < keys.size() && keys[i + 1] == c;
    if ((c == u'^' || c == u'~') && !doubled) {
      if (modifiers == 0) modifierAt = i;
      modifiers |= c == u'^' ? kModifierControl : kModifierAlt;
      ++i;
      continue;
    }
    KeyStroke stroke;
    stroke.modifiers = modifiers;
    if (c == u'[' && !doubled) {
      const std::size_t close = keys.find(u']', i + 1);
      if (close == std::u16string_view::npos) Refuse("A \"[\" has no \"]\"", i);
      const std::u16string_view name = keys.substr(i + 1, close - i - 1);
      const Named* found = nullptr;
      for (const auto& n : kNames) {
        if (SameTextIgnoringCase(name, n.name)) found = &n;
      }
      if (!found) Refuse("Unknown key name [" + WideToUtf8(name) + "]", i);
      stroke.key = found->key;
      i = close + 1;
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < keys.size() && keys[i + 1] >= 0xDC00 && keys[i + 1] <= 0xDFFF) {
      stroke.key = WideToUtf8(keys.substr(i, 2));  // a character outside the basic plane
      i += 2;
    } else {
      stroke.key = WideToUtf8(keys.substr(i, 1));
      i += doubled && (c == u'^' || c == u'~' || c == u'[') ? 2 : 1;
    }
    strokes.push_back(std::move(stroke));
    modifiers = 0;
  }
  if (modifiers != 0) Refuse("A modifier has no key after it", modifierAt);
  return strokes;
}

}  // namespace pw::browser
