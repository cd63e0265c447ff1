// The host's key strings as the engine's key presses.
#include <gtest/gtest.h>

#include "host/browser/errors.h"
#include "host/browser/keys.h"

namespace pw::browser {
namespace {

TEST(KeyString, ReadsCharactersNamedKeysModifiersAndDoubledSpecials) {
  struct Case {
    std::u16string keys;
    std::vector<KeyStroke> strokes;
  };
  const Case cases[] = {
      {u"", {}},
      {u"ab", {{"a"}, {"b"}}},
      {u"[Enter]", {{"Enter"}}},
      {u"[enter][ESC][Tab][BS][Del][Ins][Space][F12][PageDown]",
       {{"Enter"}, {"Escape"}, {"Tab"}, {"Backspace"}, {"Delete"}, {"Insert"}, {" "}, {"F12"}, {"PageDown"}}},
      {u"^a", {{"a", kModifierControl}}},
      {u"~[F4]", {{"F4", kModifierAlt}}},
      {u"^~x", {{"x", kModifierControl | kModifierAlt}}},
      {u"^^~~[[", {{"^"}, {"~"}, {"["}}},
      {u"a]b", {{"a"}, {"]"}, {"b"}}},
      {u"^^a", {{"^"}, {"a"}}},  // a doubled special is text: no modifier for what follows
      {u"\u00e9\U0001F600", {{"\xc3\xa9"}, {"\xf0\x9f\x98\x80"}}},
      {u"[F4]^a%s[Enter]^0", {{"F4"}, {"a", kModifierControl}, {"%"}, {"s"}, {"Enter"}, {"0", kModifierControl}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseKeyString(c.keys), c.strokes) << std::string(c.keys.begin(), c.keys.end());
  }
}

TEST(KeyString, RefusesWhatItCannotTypeNamingWhereAndWhy) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"ab[Enter", "A \"[\" has no \"]\" at position 3 of the keys"},
      {u"[Nope]", "Unknown key name [Nope] at position 1 of the keys"},
      {u"[]", "Unknown key name [] at position 1 of the keys"},
      {u"x^", "A modifier has no key after it at position 2 of the keys"},
      {u"~^", "A modifier has no key after it at position 1 of the keys"},
  };
  for (const auto& [keys, message] : cases) {
    try {
      ParseKeyString(keys);
      ADD_FAILURE() << message;
    } catch (const BrowserError& e) {
      EXPECT_EQ(e.what(), message);
      EXPECT_EQ(e.Kind(), ErrorKind::Script);
    }
  }
}

}  // namespace
}  // namespace pw::browser
