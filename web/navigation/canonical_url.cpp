#include "web/navigation/canonical_url.h"

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/rtl/strings.h"

namespace pw::web {
namespace {

// The parser accepts any scheme of the "scheme://" form and spaces, which browsers take.
constexpr unsigned kParseFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE;

struct UrlHandleDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

struct CurlText {
  char* p = nullptr;
  ~CurlText() { curl_free(p); }
};

std::optional<std::string> GetPart(CURLU* h, CURLUPart part, unsigned flags = 0) {
  CurlText text;
  if (curl_url_get(h, part, &text.p, flags) != CURLUE_OK || text.p == nullptr) return std::nullopt;
  return std::string(text.p);
}

void LowerAscii(std::string& s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

bool IsSchemeStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsSchemeChar(char c) { return IsSchemeStart(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

// True when the text opens with "scheme:".
bool HasScheme(std::string_view s) {
  if (s.empty() || !IsSchemeStart(s[0])) return false;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == ':') return true;
    if (!IsSchemeChar(s[i])) return false;
  }
  return false;
}

bool IsFileUrl(std::string_view s) { return s.size() >= 5 && SameTextIgnoringCase(s.substr(0, 5), "file:"); }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

// The URL before its query and fragment, and the rest from the first "?" or "#" on.
std::pair<std::string_view, std::string_view> SplitTail(std::string_view s) {
  std::size_t cut = s.find_first_of("?#");
  if (cut == std::string_view::npos) return {s, {}};
  return {s.substr(0, cut), s.substr(cut)};
}

bool EncodedInPath(unsigned char c) {
  return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`' || c == '{' || c == '}';
}

std::string EncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (char ch : path) {
    auto c = static_cast<unsigned char>(ch);
    if (EncodedInPath(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

// A parsed "scheme://" URL without query and fragment, host lowered and path encoded.
std::optional<std::string> Finish(CURLU* h) {
  if (auto host = GetPart(h, CURLUPART_HOST)) {
    LowerAscii(*host);
    if (curl_url_set(h, CURLUPART_HOST, host->c_str(), 0) != CURLUE_OK) return std::nullopt;
  }
  auto url = GetPart(h, CURLUPART_URL, CURLU_NO_DEFAULT_PORT);
  auto path = GetPart(h, CURLUPART_PATH);
  if (!url || !path) return url;
  // The path ends the URL (there is no query or fragment here). It is encoded in place: setting
  // it through the parser would rewrite the letter case of existing escapes.
  if (!url->ends_with(*path)) return std::nullopt;
  url->resize(url->size() - path->size());
  return *url + EncodePath(*path);
}

std::optional<std::string> ParseHead(std::string_view head) {
  UrlHandle h(curl_url());
  if (!h) return std::nullopt;
  std::string text(head);
  if (curl_url_set(h.get(), CURLUPART_URL, text.c_str(), kParseFlags) != CURLUE_OK) return std::nullopt;
  return Finish(h.get());
}

// Paths of file URLs are normalised as the path of a stand-in URL: the parser's own file
// rules refuse hosts and drive letters, and drop queries.
constexpr std::string_view kStandIn = "http://localhost";

// A path that starts with one "/" and no further separator: in a file URL every separator
// right after "file:" counts towards the three slashes.
std::string OneLeadingSlash(std::string_view path) {
  std::size_t run = path.find_first_not_of("/\\");
  return "/" + std::string(run == std::string_view::npos ? std::string_view() : path.substr(run));
}

std::string NormaliseFilePath(std::string_view path) {
  // Encoded first: the parser refuses controls, which a file path may hold.
  std::string current = OneLeadingSlash(EncodePath(path));
  // Removing dot segments can bring separators to the front ("/..//x"); each round shortens
  // the path, so this ends.
  for (;;) {
    auto url = ParseHead(std::string(kStandIn) + current);
    if (!url || !url->starts_with(kStandIn)) return current;
    std::string next = OneLeadingSlash(url->substr(kStandIn.size()));
    if (next == current) return current;
    current = std::move(next);
  }
  return current;
}

struct FileUrl {
  std::string host;  // lowered; empty for the local machine
  std::string path;  // starts with "/"
};

// "file:" and what follows it up to the query and fragment.
FileUrl SplitFileHead(std::string_view head) {
  std::string_view rest = head.substr(5);
  std::size_t slashes = 0;
  while (slashes < rest.size() && (rest[slashes] == '/' || rest[slashes] == '\\')) ++slashes;
  rest.remove_prefix(slashes);
  FileUrl url;
  if (slashes == 2) {
    std::size_t end = rest.find_first_of("/\\");
    url.host = std::string(rest.substr(0, end));
    LowerAscii(url.host);
    if (url.host == "localhost") url.host.clear();
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  url.path = "/" + std::string(rest);
  return url;
}

std::string JoinFileUrl(const FileUrl& url) { return "file://" + url.host + url.path; }

std::string CanonicalFileHead(std::string_view head) {
  FileUrl url = SplitFileHead(head);
  url.path = NormaliseFilePath(url.path);
  return JoinFileUrl(url);
}

// The canonical form of trimmed UTF-8 text, or nothing when the parser refuses it.
std::optional<std::string> Canonical(std::string_view s) {
  if (s.empty() || s.find('\0') != std::string_view::npos) return std::nullopt;
  auto [head, tail] = SplitTail(s);
  if (IsFileUrl(head)) return CanonicalFileHead(head) + std::string(tail);
  auto url = ParseHead(head);
  if (!url) return std::nullopt;
  return *url + std::string(tail);
}

// Resolves a relative reference (no scheme) against a canonical base.
std::optional<std::string> Resolve(const std::string& base, std::string_view ref) {
  auto [refHead, refTail] = SplitTail(ref);
  std::size_t queryAt = base.find_first_of("?#");
  std::string baseHead = base.substr(0, queryAt);
  std::string baseQuery;
  if (queryAt != std::string::npos && base[queryAt] == '?') baseQuery = base.substr(queryAt, base.find('#') - queryAt);
  if (refHead.empty()) {
    if (refTail.empty()) return baseHead + baseQuery;
    if (refTail[0] == '#') return baseHead + baseQuery + std::string(refTail);
    return baseHead + std::string(refTail);
  }
  bool isFile = IsFileUrl(baseHead);
  bool networkPath =
      refHead.size() >= 2 && (refHead[0] == '/' || refHead[0] == '\\') && (refHead[1] == '/' || refHead[1] == '\\');
  if (isFile && networkPath) return Canonical("file:" + std::string(ref));
  FileUrl file;
  std::string against = baseHead;
  if (isFile) {
    file = SplitFileHead(baseHead);
    against = std::string(kStandIn) + file.path;
  }
  UrlHandle h(curl_url());
  if (!h) return std::nullopt;
  std::string refText(refHead);
  if (curl_url_set(h.get(), CURLUPART_URL, against.c_str(), kParseFlags) != CURLUE_OK ||
      curl_url_set(h.get(), CURLUPART_URL, refText.c_str(), kParseFlags) != CURLUE_OK)
    return std::nullopt;
  auto url = Finish(h.get());
  if (!url) return std::nullopt;
  if (isFile) {
    if (!url->starts_with(kStandIn)) return std::nullopt;
    file.path = url->substr(kStandIn.size());
    url = JoinFileUrl(file);
  }
  return Canonical(*url + std::string(refTail));
}

}  // namespace

WideString CanonicalizeUrl(WideStringView url) {
  if (url.empty()) return {};
  std::string text = WideToUtf8(url);
  if (auto canonical = Canonical(Trim(text))) return Utf8ToWide(*canonical);
  return WideString(url);
}

WideString ResolveUrl(WideStringView base, WideStringView reference) {
  std::string ref = WideToUtf8(reference);
  std::string_view trimmed = Trim(ref);
  if (HasScheme(trimmed) || trimmed.find('\0') != std::string_view::npos) return CanonicalizeUrl(reference);
  std::string baseText = WideToUtf8(base);
  std::optional<std::string> canonicalBase = Canonical(Trim(baseText));
  if (!canonicalBase || (!IsFileUrl(*canonicalBase) && canonicalBase->find("://") == std::string::npos))
    return CanonicalizeUrl(reference);
  // What resolving leaves (a base's query may end in a character that canonical URLs trim) is
  // made canonical too, so a resolved URL resolves and canonicalises to itself.
  if (auto resolved = Resolve(*canonicalBase, trimmed)) return CanonicalizeUrl(Utf8ToWide(*resolved));
  return CanonicalizeUrl(reference);
}

bool IsRelativeUrl(WideStringView url) {
  const std::string text = WideToUtf8(url);
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty()) return false;
  return !HasScheme(trimmed) || trimmed.find(':') < 2;
}

}  // namespace pw::web
