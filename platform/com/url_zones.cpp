#include "platform/com/url_zones.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/com/registry.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

constexpr std::array<const char16_t*, 5> kZoneNames = {u"Computer", u"Local intranet", u"Trusted sites", u"Internet",
                                                       u"Restricted sites"};

WideString ZoneKey(DWORD zone) { return WideString(kZonesKey) + u"\\" + IntToWide(zone); }

WideString ActionName(DWORD action) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(action));
  return AsciiToWide(buf);
}

// A DWORD of a key; nothing when the key or value does not exist. Raises for another type.
std::optional<DWORD> ReadDWord(RootKey root, const WideString& key, WideStringView name) {
  TRegistry reg(root);
  if (!reg.OpenKeyReadOnly(key) || !reg.ValueExists(name)) return std::nullopt;
  return static_cast<DWORD>(reg.ReadInteger(name));
}

// A bracketed IPv6 address of the loopback: ::1 in any of its spellings, or an IPv4-mapped
// address of 127.0.0.0/8.
bool IsIpv6Loopback(const WideString& host) {
  if (host.size() < 3 || host.front() != u'[' || host.back() != u']') return false;
  std::string address;
  for (std::size_t i = 1; i + 1 < host.size(); ++i) {
    if (host[i] > 0x7F) return false;
    address += static_cast<char>(host[i]);
  }
  in6_addr parsed{};
  if (::inet_pton(AF_INET6, address.c_str(), &parsed) != 1) return false;
  return IN6_IS_ADDR_LOOPBACK(&parsed) || (IN6_IS_ADDR_V4MAPPED(&parsed) && parsed.s6_addr[12] == 127);
}

bool IsLoopbackOrLocal(const WideString& host) {
  if (host == u"localhost" || IsIpv6Loopback(host)) return true;
  if (host.rfind(u"127.", 0) == 0) {
    // 127.a.b.c with digits only
    int dots = 0;
    for (char16_t c : host) {
      if (c == u'.') ++dots;
      else if (c < u'0' || c > u'9') return false;
    }
    return dots == 3;
  }
  return host.find(u'.') == WideString::npos && host.find(u':') == WideString::npos;
}

std::vector<WideString> Labels(const WideString& host) {
  std::vector<WideString> labels;
  std::size_t start = 0;
  while (start <= host.size()) {
    auto dot = host.find(u'.', start);
    if (dot == WideString::npos) dot = host.size();
    labels.push_back(host.substr(start, dot - start));
    start = dot + 1;
  }
  return labels;
}

// The zone of the most specific ZoneMap entry for the host under one root.
std::optional<DWORD> DomainZone(RootKey root, const WideString& scheme, const WideString& host) {
  const auto labels = Labels(host);
  if (labels.size() < 2) return std::nullopt;
  WideString key = WideString(kZoneMapDomainsKey) + u"\\" + labels[labels.size() - 2] + u"." + labels.back();
  std::optional<DWORD> found;
  for (std::size_t i = labels.size() - 2;; --i) {
    if (i != labels.size() - 2) key += u"\\" + labels[i];
    TRegistry reg(root);
    if (!reg.OpenKeyReadOnly(key)) break;
    for (WideStringView name : {WideStringView(scheme), WideStringView(u"*")}) {
      if (reg.GetDataType(name) == TRegDataType::rdInteger) {
        found = static_cast<DWORD>(reg.ReadInteger(name));
        break;
      }
    }
    if (i == 0) break;
  }
  return found;
}

}  // namespace

HRESULT GetZoneDisplayName(DWORD zone, WideString& name) {
  name.clear();
  if (zone >= kZoneNames.size()) return E_INVALIDARG;
  name = kZoneNames[zone];
  return S_OK;
}

HRESULT GetZoneActionPolicy(DWORD zone, DWORD action, DWORD& policy) {
  policy = 0;
  if (zone >= kZoneNames.size()) return E_INVALIDARG;
  try {
    const WideString name = ActionName(action);
    if (auto v = ReadDWord(RootKey::CurrentUser, ZoneKey(zone), name)) policy = *v;
    else if (auto m = ReadDWord(RootKey::LocalMachine, ZoneKey(zone), name)) policy = *m;
    return S_OK;
  } catch (const Exception&) {
    return E_FAIL;
  }
}

HRESULT SetZoneActionPolicy(DWORD zone, DWORD action, DWORD policy) {
  if (zone >= kZoneNames.size()) return E_INVALIDARG;
  try {
    TRegistry reg(RootKey::CurrentUser);
    if (!reg.OpenKey(ZoneKey(zone), true)) return E_FAIL;
    reg.WriteInteger(ActionName(action), static_cast<std::int32_t>(policy));
    return S_OK;
  } catch (const Exception&) {
    return E_FAIL;
  }
}

HRESULT MapUrlToZone(WideStringView url, DWORD& zone) {
  zone = 0;
  // The scheme: a letter, then letters, digits, '+', '-', '.', up to ':'.
  const auto colon = url.find(u':');
  if (colon == WideStringView::npos || colon == 0) return E_INVALIDARG;
  for (std::size_t i = 0; i < colon; ++i) {
    const char16_t c = url[i];
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (!letter && (i == 0 || !((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.'))) return E_INVALIDARG;
  }
  const WideString scheme = WideLowerCase(url.substr(0, colon));
  if (scheme == u"file") return zone = 0, S_OK;
  WideStringView rest = url.substr(colon + 1);
  WideString host;
  if (rest.substr(0, 2) == u"//") {
    rest.remove_prefix(2);
    auto end = rest.find_first_of(u"/?#\\");
    WideStringView authority = rest.substr(0, end == WideStringView::npos ? rest.size() : end);
    if (auto at = authority.rfind(u'@'); at != WideStringView::npos) authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == u'[') {
      auto close = authority.find(u']');
      authority = authority.substr(0, close == WideStringView::npos ? authority.size() : close + 1);
    } else if (auto port = authority.find(u':'); port != WideStringView::npos) {
      authority = authority.substr(0, port);
    }
    host = WideLowerCase(authority);
    while (!host.empty() && host.back() == u'.') host.pop_back();
  }
  if (host.empty()) return zone = 3, S_OK;
  if (IsLoopbackOrLocal(host)) return zone = 1, S_OK;
  try {
    for (auto root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
      if (auto z = DomainZone(root, scheme, host)) return zone = *z, S_OK;
    }
  } catch (const Exception&) {
    return E_FAIL;
  }
  zone = 3;
  return S_OK;
}

}  // namespace pw
