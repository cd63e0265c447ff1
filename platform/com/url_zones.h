// The zone manager and security manager stand-ins: the security zones of URLs and the URL
// action policies of each zone, kept where the system keeps them, in the registry stand-in.
//
// Zones 0-4 exist: 0 "Computer", 1 "Local intranet", 2 "Trusted sites", 3 "Internet",
// 4 "Restricted sites"; any other number is unknown (E_INVALIDARG).
//
// A policy is a DWORD named by the action in four upper-case hexadecimal digits ("1400" for
// 0x1400) under "Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones\<zone>":
// HKCU's when it has one, else HKLM's, else 0 (allowed). Writes go to HKCU. A value of another
// type, or a registry that cannot be read or written, fails with E_FAIL.
//
// A URL maps to a zone by its scheme: "file" 0; for any other scheme the host: the loopback
// host ("localhost", 127.x.x.x, [::1] in any spelling, [::ffff:127.x.x.x]) and hosts without a dot are 1; else the most specific
// entry of "...\Internet Settings\ZoneMap\Domains" (HKCU, then HKLM) for the host (a key per
// registrable domain such as "example.com", subkeys for the names in front such as "www"; the
// DWORD named by the scheme, else "*"); else 3. A URL without a scheme fails (E_INVALIDARG).
#pragma once

#include "platform/com/types.h"

namespace pw {

inline constexpr char16_t kZonesKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones";
inline constexpr char16_t kZoneMapDomainsKey[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains";

HRESULT GetZoneDisplayName(DWORD zone, WideString& name);
HRESULT GetZoneActionPolicy(DWORD zone, DWORD action, DWORD& policy);
HRESULT SetZoneActionPolicy(DWORD zone, DWORD action, DWORD policy);
HRESULT MapUrlToZone(WideStringView url, DWORD& zone);

}  // namespace pw
