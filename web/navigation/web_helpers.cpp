#include "web/navigation/web_helpers.h"

#include "platform/rtl/strings.h"

namespace pw::web {

WideString ShortenUrlForLog(WideStringView url) {
  if (url.size() <= kLogUrlLength) return WideString(url);
  WideStringView shown = url.substr(0, url.find_first_of(u"#;?"));
  if (shown.size() > kLogUrlLength) {
    std::size_t cut = kLogUrlLength;
    if (shown[cut - 1] >= 0xD800 && shown[cut - 1] <= 0xDBFF) --cut;  // keep a pair whole
    shown = shown.substr(0, cut);
  }
  return WideString(shown) + u"...";
}

WideString MakeAddressBarKeys(WideStringView text) {
  WideString escaped;
  escaped.reserve(text.size());
  for (char16_t c : text) {
    escaped += c;
    if (c == u'^' || c == u'~' || c == u'[') escaped += c;
  }
  return WideFormat(u"[F4]^a%s[Enter]^0", {escaped});
}

WideString FormatShiftKeys(std::uint16_t shift) {
  WideString text;
  auto add = [&text](WideStringView name) {
    if (!text.empty()) text += u" + ";
    text += name;
  };
  if (shift & kShiftKey) add(u"Shift");
  if (shift & kAltKey) add(u"Alt");
  if (shift & kControlKey) add(u"Control");
  return text.empty() ? WideString(u"no") : u"the " + text;
}

TPoint GetRectCenter(const TRect& rect) {
  auto mid = [](std::int64_t a, std::int64_t b) { return static_cast<std::int32_t>((a + b) / 2); };
  return {mid(rect.Left, rect.Right), mid(rect.Top, rect.Bottom)};
}

}  // namespace pw::web
