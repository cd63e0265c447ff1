// Canonical URLs: every URL that the web layer compares or reports goes through
// CanonicalizeUrl first; ResolveUrl makes a reference absolute against a base URL (the
// browser's current one) and canonicalises the result.
//
// Contract of CanonicalizeUrl (browser mode):
// - An empty URL gives an empty result. Characters of code 32 or lower around the URL are
//   trimmed.
// - The query and fragment (from the first "?" or "#" on) are kept exactly as given.
// - Before them: the scheme is lowered, dot segments are removed, a scheme's default port is
//   dropped, an empty path becomes "/", the host is lowered (ASCII letters), and spaces,
//   controls, non-ASCII bytes (as UTF-8) and the characters " < > ` { } in the path are
//   percent-encoded ("%20"; existing escapes stay as they are).
// - File URLs: "file:" (any letter case) followed by one, three or more slashes (or
//   backslashes) gets exactly three; "file://host/..." keeps its host, lowered, except
//   "localhost", which is dropped ("file:///..."). "file:" alone is "file:///". The path of a
//   file URL is normalised like any other path (drive letters included).
// - What the URL parser refuses (no "scheme://" form, such as "about:blank", "mailto:...",
//   "javascript:..."; bad ports; control characters; embedded NULs) comes back exactly as
//   given (file URLs: in their three-slash form). Canonicalising never fails and never cuts
//   a URL, whatever its length.
// - Canonicalising twice gives the same as once.
//
// Contract of ResolveUrl (Base, Reference):
// - A reference with a scheme is canonicalised on its own; so is every reference when the base
//   has no canonical "scheme://" form (an empty base, "about:blank").
// - Otherwise the reference is resolved against the canonical base as a relative reference:
//   an empty reference gives the base without its fragment; "#f" replaces the base's fragment;
//   "?q" replaces its query and fragment; "//host/p" keeps the base's scheme; a path is merged
//   with the base's path and its dot segments removed. The reference's query and fragment are
//   kept as given. Against a file base, paths stay under the base's host.
// - The result is canonical: ResolveUrl(B, ResolveUrl(B, R)) == ResolveUrl(B, R).
#pragma once

#include "platform/com/types.h"

namespace pw::web {

WideString CanonicalizeUrl(WideStringView url);
WideString ResolveUrl(WideStringView base, WideStringView reference);
// True for a reference without a scheme of two or more characters ("page.htm", "/a", "?q",
// "//host/a"; a drive letter such as "C:" is no scheme): what ResolveUrl takes against a base.
// False for an empty text.
bool IsRelativeUrl(WideStringView url);

}  // namespace pw::web
