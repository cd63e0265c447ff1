// The security zone of a URL (the zone manager stand-in over the registry stand-in in memory,
// with domain entries in both roots). The input is a URL and, when it fits one, a host:
// - a URL maps to a known zone or is refused as having no scheme; a "file" URL is zone 0; upper
//   case ASCII letters map the same;
// - a host maps the same alone, with user information, a port, a path, a query, a fragment, a
//   trailing dot or in upper case; one in brackets (an IPv6 address) the same with or without
//   user information and port.
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/com/registry.h"
#include "platform/com/url_zones.h"
#include "platform/rtl/strings.h"

using namespace pw;

namespace {

struct Answer {
  HRESULT hr;
  DWORD zone;
  bool operator==(const Answer&) const = default;
};

Answer Zone(WideStringView url) {
  Answer answer{E_UNEXPECTED, 99};
  answer.hr = MapUrlToZone(url, answer.zone);
  fuzz::Check(answer.hr == S_OK || answer.hr == E_INVALIDARG, "a URL's zone fails other than as refused");
  if (answer.hr == S_OK) {
    WideString name;
    fuzz::Check(answer.zone <= 4 && Succeeded(GetZoneDisplayName(answer.zone, name)), "a URL maps to no zone");
  }
  return answer;
}

WideString AsciiUpper(WideStringView text) {
  WideString upper(text);
  for (char16_t& c : upper)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return upper;
}

void Entry(RootKey root, const WideString& domain, const char16_t* name, std::int32_t zone) {
  TRegistry reg(root);
  if (!reg.OpenKey(WideString(kZoneMapDomainsKey) + u"\\" + domain, true)) std::abort();
  reg.WriteInteger(name, zone);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetRegistryFilesEnabled(false);
  Entry(RootKey::CurrentUser, u"example.com", u"http", 2);
  Entry(RootKey::CurrentUser, u"example.com\\www", u"*", 4);
  Entry(RootKey::CurrentUser, u"example.com\\www\\deep", u"https", 0);
  Entry(RootKey::LocalMachine, u"test.org", u"*", 2);
  Entry(RootKey::LocalMachine, u"example.com", u"ftp", 1);
  // A value of another type is no entry.
  TRegistry reg(RootKey::CurrentUser);
  if (reg.OpenKey(WideString(kZoneMapDomainsKey) + u"\\wrong.net", true)) reg.WriteString(u"*", u"2");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const WideString input = Utf8ToWide(fuzz::AsText(data, size));
  const Answer answer = Zone(input);
  fuzz::Check(Zone(AsciiUpper(input)) == answer, "upper case letters map to another zone");
  if (answer.hr == S_OK && SameTextIgnoringCase(WideStringView(input).substr(0, 5), u"file:"))
    fuzz::Check(answer.zone == 0, "a file URL is not zone 0");

  // The input as a host: one without the characters that end or split an authority.
  if (input.empty() || input.find_first_of(u"/?#\\@:[]") != WideString::npos) return 0;
  const Answer plain = Zone(u"http://" + input + u"/");
  fuzz::Check(plain.hr == S_OK, "a URL with a host is refused");
  for (const WideString& url :
       {u"http://" + input, u"http://user:secret@" + input + u":8080/a/b?c=d#e", u"http://" + input + u".:1/",
        u"HTTP://" + AsciiUpper(input) + u"?x", u"http://a@b@" + input + u"#f", u"http://" + input + u"\\x"}) {
    fuzz::Check(Zone(url) == plain, "a host maps to another zone with user information, a port or a path");
  }
  const WideString bracketed = u"[" + input + u"]";
  const Answer v6 = Zone(u"http://" + bracketed + u"/");
  fuzz::Check(Zone(u"http://user@" + bracketed + u":443/x") == v6, "a bracketed host maps to another zone with a port");
  return 0;
}
