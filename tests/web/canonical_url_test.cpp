// Canonical URLs and references resolved against a base.
#include "web/navigation/canonical_url.h"

#include <gtest/gtest.h>

#include "platform/rtl/strings.h"

namespace pw::web {
namespace {

struct UrlCase {
  const char* given;
  const char* canonical;
};

std::string Canon(const char* given) { return WideToUtf8(CanonicalizeUrl(Utf8ToWide(given))); }

class CanonicalizeUrlTable : public ::testing::TestWithParam<UrlCase> {};

TEST_P(CanonicalizeUrlTable, GivesTheCanonicalForm) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(Canon(c.given), c.canonical) << c.given;
  EXPECT_EQ(Canon(c.canonical), c.canonical) << "twice differs from once: " << c.given;
}

INSTANTIATE_TEST_SUITE_P(
    Urls, CanonicalizeUrlTable,
    ::testing::Values(
        // empty, and what the parser refuses comes back as given
        UrlCase{"", ""}, UrlCase{"about:blank", "about:blank"}, UrlCase{"ABOUT:Blank", "ABOUT:Blank"},
        UrlCase{"mailto:Someone@Example.com", "mailto:Someone@Example.com"},
        UrlCase{"javascript:void(0)", "javascript:void(0)"}, UrlCase{"www.example.com", "www.example.com"},
        UrlCase{"http://example.com:99999/", "http://example.com:99999/"},
        UrlCase{"http://example.com/a\x01z", "http://example.com/a\x01z"},
        // scheme and host lowered, path case kept
        UrlCase{"HTTP://WWW.Example.COM/Path/File.HTM", "http://www.example.com/Path/File.HTM"},
        UrlCase{"foo://Bar.Example/x", "foo://bar.example/x"},
        // the empty path's "/"
        UrlCase{"http://example.com", "http://example.com/"},
        // dot segments
        UrlCase{"http://example.com/a/b/../c/./d.htm", "http://example.com/a/c/d.htm"},
        UrlCase{"http://example.com/../../x", "http://example.com/x"},
        // default ports dropped, others kept
        UrlCase{"http://example.com:80/x", "http://example.com/x"},
        UrlCase{"https://example.com:443/", "https://example.com/"},
        UrlCase{"http://example.com:8080/", "http://example.com:8080/"},
        UrlCase{"ftp://user:pw@Example.com:21/a", "ftp://user:pw@example.com/a"},
        UrlCase{"http://[::1]:80/", "http://[::1]/"},
        // spaces and non-ASCII in the path encoded as UTF-8, query and fragment untouched
        UrlCase{"http://example.com/my page.htm?a b=c d#e f", "http://example.com/my%20page.htm?a b=c d#e f"},
        UrlCase{"http://example.com/caf\xc3\xa9", "http://example.com/caf%C3%A9"},
        UrlCase{"http://example.com/a\"<b>`{c}", "http://example.com/a%22%3Cb%3E%60%7Bc%7D"},
        UrlCase{"http://example.com/%7e?x=%41&Y=../z#../F", "http://example.com/%7e?x=%41&Y=../z#../F"},
        UrlCase{"http://example.com?q", "http://example.com/?q"},
        UrlCase{"http://example.com#top", "http://example.com/#top"},
        // blanks around the URL
        UrlCase{"  http://example.com/x \t", "http://example.com/x"},
        // file URLs: exactly three slashes, a host kept, "localhost" dropped
        UrlCase{"file:", "file:///"}, UrlCase{"file:/tmp/a.htm", "file:///tmp/a.htm"},
        UrlCase{"file:///tmp/a.htm", "file:///tmp/a.htm"}, UrlCase{"file:////tmp/a.htm", "file:///tmp/a.htm"},
        UrlCase{"file://///tmp/a.htm", "file:///tmp/a.htm"}, UrlCase{"FILE:///tmp/A.htm", "file:///tmp/A.htm"},
        UrlCase{"file://Server/share/a.htm", "file://server/share/a.htm"}, UrlCase{"file://server", "file://server/"},
        UrlCase{"file://localhost/tmp/a.htm", "file:///tmp/a.htm"},
        UrlCase{"file://LocalHost/tmp/a.htm", "file:///tmp/a.htm"}, UrlCase{"file://", "file:///"},
        UrlCase{"file:///C:/docs/../web/a b.htm", "file:///C:/web/a%20b.htm"},
        UrlCase{"file:///tmp/a.htm?x=1#y", "file:///tmp/a.htm?x=1#y"},
        UrlCase{"file:///\\\\tmp/a.htm", "file:///tmp/a.htm"},
        // a control in a file path is encoded, so its dot segments still go
        UrlCase{"file:///../w\x02"
                "b/./a.htm",
                "file:///w%02b/a.htm"},
        // dot segments that bring separators to the front of a file path
        UrlCase{"file:/..//tmp?q#f", "file:///tmp?q#f"}, UrlCase{"file:/../\\x", "file:///x"}));

TEST(CanonicalizeUrl, LongUrlsAreNeitherCutNorRefused) {
  std::string path(600, 'p');
  std::string given = "HTTP://Example.com/" + path + "/../q?" + std::string(400, 'x');
  std::string expected = "http://example.com/q?" + std::string(400, 'x');
  EXPECT_EQ(Canon(given.c_str()), expected);
  std::string spaced = "http://example.com/" + std::string(300, ' ') + "x";
  std::string encoded = "http://example.com/";
  for (int i = 0; i < 300; ++i) encoded += "%20";
  EXPECT_EQ(Canon((spaced).c_str()), encoded + "x");
}

TEST(CanonicalizeUrl, TextThatIsNoUrlComesBackUnchanged) {
  WideString withNul = u"http://example.com/a";
  withNul += u'\0';
  withNul += u"b";
  EXPECT_EQ(CanonicalizeUrl(withNul), withNul);
  WideString lone = u"http://example.com/\xD800";  // a lone surrogate
  EXPECT_EQ(CanonicalizeUrl(lone), u"http://example.com/%EF%BF%BD");
}

struct ResolveCase {
  const char* base;
  const char* reference;
  const char* resolved;
};

class ResolveUrlTable : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveUrlTable, ResolvesAgainstTheBase) {
  const ResolveCase& c = GetParam();
  WideString base = Utf8ToWide(c.base);
  WideString result = ResolveUrl(base, Utf8ToWide(c.reference));
  EXPECT_EQ(WideToUtf8(result), c.resolved) << c.base << " + " << c.reference;
  EXPECT_EQ(ResolveUrl(base, result), result) << "twice differs from once";
  EXPECT_EQ(CanonicalizeUrl(result), result) << "the result is not canonical";
}

constexpr const char* kBase = "http://Example.com/b/c/d.htm?x=1#y";
constexpr const char* kFileBase = "file:///tmp/b/c.htm?x#y";

INSTANTIATE_TEST_SUITE_P(
    References, ResolveUrlTable,
    ::testing::Values(ResolveCase{kBase, "e.htm", "http://example.com/b/c/e.htm"},
                      ResolveCase{kBase, "../e.htm", "http://example.com/b/e.htm"},
                      ResolveCase{kBase, "../../../../e.htm", "http://example.com/e.htm"},
                      ResolveCase{kBase, "/e.htm", "http://example.com/e.htm"},
                      ResolveCase{kBase, "./", "http://example.com/b/c/"},
                      ResolveCase{kBase, "..", "http://example.com/b/"},
                      ResolveCase{kBase, "", "http://example.com/b/c/d.htm?x=1"},
                      ResolveCase{kBase, "#top", "http://example.com/b/c/d.htm?x=1#top"},
                      ResolveCase{kBase, "?q=2", "http://example.com/b/c/d.htm?q=2"},
                      ResolveCase{kBase, "e f.htm?g h#i j", "http://example.com/b/c/e%20f.htm?g h#i j"},
                      ResolveCase{kBase, "//Other.com/x", "http://other.com/x"},
                      ResolveCase{kBase, "HTTPS://Other.com:443/x", "https://other.com/x"},
                      ResolveCase{kBase, "about:blank", "about:blank"},
                      ResolveCase{kBase, "file://localhost/tmp/a.htm", "file:///tmp/a.htm"},
                      ResolveCase{kFileBase, "d.htm", "file:///tmp/b/d.htm"},
                      ResolveCase{kFileBase, "../../../d.htm?q#f", "file:///d.htm?q#f"},
                      ResolveCase{kFileBase, "/etc/d.htm", "file:///etc/d.htm"},
                      ResolveCase{kFileBase, "?q", "file:///tmp/b/c.htm?q"},
                      ResolveCase{kFileBase, "//Server/share/d.htm", "file://server/share/d.htm"},
                      ResolveCase{"file://Server/share/b/c.htm", "../d.htm", "file://server/share/d.htm"},
                      ResolveCase{"file:///C:/web/a.htm", "b.htm", "file:///C:/web/b.htm"},
                      // no base to resolve against: the reference on its own
                      ResolveCase{"", "e.htm", "e.htm"}, ResolveCase{"about:blank", "e.htm", "e.htm"},
                      ResolveCase{"about:blank", "HTTP://Example.com", "http://example.com/"}));

TEST(IsRelativeUrl, ReferencesWithoutAScheme) {
  const struct {
    const char* url;
    bool relative;
  } cases[] = {
      {"page.htm", true},     {"../a/b.htm?x=1", true},
      {"/root", true},        {"?q", true},
      {"#top", true},         {"//host/a", true},
      {" a.htm ", true},      {"C:\\pages\\a.htm", true},
      {"a b/c:d", true},      {"http://a/", false},
      {"about:blank", false}, {"file:///tmp/a", false},
      {"mailto:x@y", false},  {"", false},
      {"   ", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRelativeUrl(Utf8ToWide(c.url)), c.relative) << c.url;
}

}  // namespace
}  // namespace pw::web
