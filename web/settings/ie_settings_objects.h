// The factories of the Internet Explorer settings objects that the web testing plug-in hands
// to scripts as its runtime objects "IESettings" and "IEZoneSettings".
//
// Both objects keep nothing of their own: every property reads or writes the registry stand-in
// (platform/com/registry.h) at the moment it is called, so values persist across runs through
// its HKCU file. The class of each object follows the browser's major version
// (GetIEMajorVersion): 6 gives the base members only, 7 adds the version 7 members, any higher
// value adds those of version 8 too. Creating an object raises nothing; a failing member call
// reports its error to the script.
#pragma once

#include "platform/automation/dispatch.h"
#include "platform/com/comptr.h"
#include "platform/com/types.h"

namespace pw::web {

// The browser's version text: HKLM "\Software\Microsoft\Internet Explorer" "svcVersion", else
// "Version", replaced by the version resource of the file that the default value of HKLM
// "...\App Paths\IEXPLORE.EXE" names when that has a major number of 1 or more (GetFileVersion).
WideString GetIEVersionString();
// The number before the first '.' of GetIEVersionString; never less than 6.
int GetIEMajorVersion();
// The same rule over a given text (the empty text and unreadable numbers give 6).
int IEMajorVersionOf(WideStringView versionText);

// The "IESettings" object (IpwIESettings, and IpwIE7Settings / IpwIE8Settings by version).
ComPtr<IDispatch> CreateIESettingsObject();
ComPtr<IDispatch> CreateIESettingsObject(int majorVersion);

// The "IEZoneSettings" object (IpwIEZoneSettingsManager): GetZoneSettingsById and
// GetZoneSettingsForUrl hand out zone objects whose class follows the browser's version (asked
// at each call; a major version other than 0 fixes it). GetZoneSettingsForUrl answers null for a
// URL that maps to no zone (no scheme).
ComPtr<IDispatch> CreateIEZoneSettingsObject();
ComPtr<IDispatch> CreateIEZoneSettingsObject(int majorVersion);

}  // namespace pw::web
