// The host's key strings, as scripts pass them to "Keys": what they mean as key presses of the
// engine.
//
// Syntax: every character is typed as itself, except three special ones:
//   "^x"       x with Control held;  "~x" x with Alt held (x: a character or a named key);
//   "[Name]"   a named key (names ignoring case): Enter, Esc, Tab, BS, Del, Ins, Home, End, Left,
//              Right, Up, Down, PageUp, PageDown, Space, F1 ... F12;
//   "^^", "~~", "[["  the character itself (a special character typed as text is doubled).
// Modifiers add up ("^~x"). A "[" without its "]", an unknown name, or a modifier with no key
// after it is refused with a BrowserError (kind Script) that names the fault and its position;
// nothing is typed then.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pw::browser {

// Modifier bits of the engine's input events.
inline constexpr int kModifierAlt = 1;
inline constexpr int kModifierControl = 2;
inline constexpr int kModifierMeta = 4;
inline constexpr int kModifierShift = 8;

struct KeyStroke {
  std::string key;  // the engine's key name ("Enter", "F5") or one character as UTF-8
  int modifiers = 0;
  bool operator==(const KeyStroke&) const = default;
};

std::vector<KeyStroke> ParseKeyString(std::u16string_view keys);

}  // namespace pw::browser
