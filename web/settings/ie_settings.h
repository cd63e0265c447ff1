// The Internet Explorer settings of the current user as the "IESettings" object reads and
// writes them: each property is one registry value under HKEY_CURRENT_USER, read or written at
// the moment it is called (nothing is kept). The tables name, per property, the key, the value
// and its encoding:
//
//   D1       DWORD: True when it exists and is 1 (missing: False); writes 1 / 0
//   D1Not    DWORD: True unless it exists and is 1 (missing: True); writes 0 / 1
//   YN       text: True when it exists and is "yes" ignoring case (missing: False); "yes" / "no"
//   YNNot    text: True unless it exists and is "yes" (missing: True); writes "no" / "yes"
//   Int      DWORD: the number (missing: 0)
//   AutoSearch  DWORD: stored 4, 5, 6 read 1, 2, 3 (any stored n >= 1 reads n - 3, 0 reads 0);
//               written 4 or more is taken as 0, then 1 or more is stored plus 3
//   Underline   text: "yes" 1, "hover" 2, else 0 (ignoring case); written 1 "yes", 2 "hover", else "no"
//   PublisherRevocation  DWORD "State": True when bit $200 is clear (missing: True); a write
//                        without the value writes nothing, else clears (True) or sets the bit
//   SecureProtocol  DWORD bit field: the bit; a write starts from the stored value, else $28
//   Punycode        DWORD bits 1 and 2 of "EnablePunycode": a write stores its own bit and the
//                   other property's, nothing else
//   AutoRecover     DWORD: True when 0 (missing: True); writes 0 / 2
//
// A value stored with another type than the property reads raises "Invalid data type for
// '<name>'". A write opens the key with creation allowed; when it cannot be opened nothing is
// written.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/com/comptr.h"
#include "platform/com/types.h"

namespace pw::web {

enum class IEEncoding {
  D1,
  D1Not,
  YN,
  YNNot,
  Int,
  AutoSearch,
  Underline,
  PublisherRevocation,
  SecureProtocol,
  Punycode,
  AutoRecover
};

struct IESettingsProperty {
  DISPID dispId;
  const char16_t* name;
  bool boolean;  // else an integer
  const char16_t* key;
  const char16_t* value;
  IEEncoding encoding;
  std::uint32_t bit;  // SecureProtocol and Punycode
};

// The members of IpwIESettings, IpwIE7Settings and IpwIE8Settings, in their interfaces' order.
const std::vector<IESettingsProperty>& IESettingsProperties();
const std::vector<IESettingsProperty>& IE7SettingsProperties();
const std::vector<IESettingsProperty>& IE8SettingsProperties();

bool ReadIEBool(const IESettingsProperty& p);
void WriteIEBool(const IESettingsProperty& p, bool value);
std::int32_t ReadIEInt(const IESettingsProperty& p);
void WriteIEInt(const IESettingsProperty& p, std::int32_t value);

// WM_SETTINGCHANGE ($1A, wParam 0, lParam 0) to every top-level window of the described
// processes, each with a time-out of 1000 ms; the answers are not read.
void BroadcastSettingChange();

}  // namespace pw::web
