// The options page of the MSAA and UI Automation plug-ins: a table setting "List of &accepted
// windows" (a Boolean "accepted" flag and a window-class mask per row), for MSAA also a
// compatibility flag. The plug-in turns the settings into hook parameters: it sends them to a
// process with the hook installation and, while processes run, sends every change to the host's
// hook parameter service, which passes it on to the hooked processes.
#pragma once

#include <span>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"

namespace pw {

// The host's "Open Applications" options group, under which the pages go.
inline constexpr GUID kOpenApplicationsOptionsGroup = MakeGuid("{44B9A6D6-D936-488E-916F-7232B07C89AB}");
// The type key of the plug-ins' settings.
inline constexpr GUID kOpenAppSettingType = MakeGuid("{362A8EE5-675E-43A9-869D-06ECE80B0CB4}");

inline constexpr GUID kMSAAAcceptedWindowsSetting = MakeGuid("{47A56F4F-F2D3-4697-BEC8-632B29D5A344}");
inline constexpr GUID kMSAACompatibilitySetting = MakeGuid("{3BAA9083-AE46-48CE-BFF4-A656DECF8E2F}");
inline constexpr GUID kUiaAcceptedWindowsSetting = MakeGuid("{239AE5E0-D898-415D-8ECB-EBEB31D3F66F}");

// The keys under which the values travel to the hooks.
inline constexpr GUID kMSAAAcceptedWindowsParameter = MakeGuid("{113608F6-48E7-4F3E-9C3D-E51E3D827266}");
inline constexpr GUID kMSAACompatibilityParameter = MakeGuid("{3BAA9083-AE46-48CE-BFF4-A656DECF8E2F}");
inline constexpr GUID kUiaAcceptedWindowsParameter = MakeGuid("{B936A2DA-76A8-4474-8B06-6D013115C353}");

struct AcceptedWindowsRow {
  bool accepted;
  const char16_t* mask;
};

struct AcceptedWindowsPageInfo {
  const char* image;            // bitmap resource of the page
  std::int32_t value1, value2;  // handed to the host with the page
  const char16_t* pageName;     // the page's name and caption
  GUID tableKey;
  const char16_t* tableDescription;
  std::span<const AcceptedWindowsRow> defaults;
  GUID parameterKey;            // the accepted-windows text's hook parameter
  bool hasCompatibility;        // MSAA: the compatibility setting and parameter
};

const AcceptedWindowsPageInfo& MSAAPageInfo();
const AcceptedWindowsPageInfo& UiaPageInfo();

class TAcceptedWindowsPage {
 public:
  explicit TAcceptedWindowsPage(const AcceptedWindowsPageInfo& info) : info_(info) {}

  // Registers the options page and creates the page's settings in Group.
  void RegisterPage(IcvBaseManager* manager, const GUID& pluginKey, IpwSettingsGroup* group);
  // The host names the page's settings group (and a setting of it): the values are sent.
  void SetSettingsGroup(IcvBaseManager* manager, IpwSetting* setting, const GUID& groupKey);
  // A setting changed: ignored unless it belongs to the page's settings group.
  void SettingChanged(IcvBaseManager* manager, IpwSetting* setting, const GUID& groupKey);

  // The accepted masks joined by CR LF; "*" when the table setting is missing.
  WideString AcceptedWindowsText(IcvBaseManager* manager) const;
  // The compatibility setting compared with true (false when it is missing).
  bool CompatibilityFlag(IcvBaseManager* manager) const;
  // Sends a changed value to the hook parameter service (nothing when it equals the last one sent).
  void SendAcceptedWindows(IcvBaseManager* manager);
  void SendCompatibility(IcvBaseManager* manager);
  // The values, computed afresh, as parameters of one process's hook command target.
  void SetHookParameters(IcvBaseManager* manager, IDispatch* target) const;

  const GUID& SettingsGroupKey() const noexcept { return settingsGroupKey_; }
  const WideString& AcceptedWindowsSent() const noexcept { return acceptedWindowsSent_; }
  bool CompatibilitySent() const noexcept { return compatibilitySent_; }

 private:
  // Sends according to the setting's key (MSAA) or the accepted windows (UIA).
  void SendFor(IcvBaseManager* manager, IpwSetting* setting);
  // Hands one value to the host's hook parameter service; false when the host has none.
  static bool Send(IcvBaseManager* manager, const GUID& key, const OleVariant& value);

  const AcceptedWindowsPageInfo& info_;
  GUID settingsGroupKey_{};
  WideString acceptedWindowsSent_;
  bool compatibilitySent_ = false;
};

}  // namespace pw
