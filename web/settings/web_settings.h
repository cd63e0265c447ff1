// The web testing settings: three option pages with nine settings and the table of dynamic
// identifiers (BuildSettings), the values the browser hook needs kept here and published to the
// host's shared value store (the hook parameter service) under fixed keys, the switch of old
// projects to the legacy features on load, and the tree-model warning.
//
// Publication: each value is published when it differs from the last one published (the legacy
// flag on every apply); a host without the store keeps the new values and publishes nothing
// (the dynamic parameters then are not even read). Changes of settings owned by another project
// than the one loaded last are ignored.
//
// The tree-model check of a test run: code 12 shows the warning; code 3 writes the warning
// entry to the test log once per test item until the run ends (ClearReportedItems); neither
// when the warning is suppressed.
//
// BuildSettings also makes the script-visible settings objects (settings_objects.h), after the
// nine settings and before the table of dynamic identifiers: "Web" is the drop-down options
// object (options_runtime_object.h) with "TreeModel", "IdentificationAttribute" and
// "WebPageLoadingTimeout", then "IESettings", "IEZoneSettings" and "FlashSettings" by their
// creators. A later BuildSettings makes new ones.
//
// Re-mapping: when a user's change of "Ignore dynamic URL parameters" or "Dynamic parameters"
// publishes something new while parameters are ignored, the mapped pages of the project in use
// (the current node's project, else the default project; none while no suite is open) may keep
// URLs with the old parameters. When its NameMapping item {5DCBAC3B-...} holds a page (an item
// whose identification property "ObjectType" is "Page" and which has the identification
// property "URL"), the user is asked "Remap the web pages that were mapped earlier?" (help
// 4229); yes masks every mapped page's URL with the parameter names (MaskDynamicUrlParams),
// no leaves the mapping as it is. Property names and "Page" are compared ignoring case.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"
#include "web/settings/settings_objects.h"

namespace pw::web {

inline constexpr GUID kWebTestingPageKey = MakeGuid("{6CDE98FB-F9F5-44E4-A4D9-4FAAB091D8F8}");
inline constexpr GUID kObjectIdentificationPageKey = MakeGuid("{BB0BA186-51DC-4898-946D-591CF76C651B}");
inline constexpr GUID kUrlProcessingPageKey = MakeGuid("{093D25D6-17AD-4EA8-8766-3E281795FA88}");
inline constexpr GUID kWebPagesParentKey = MakeGuid("{44B9A6D6-D936-488E-916F-7232B07C89AB}");
inline constexpr GUID kWebSettingsScope = MakeGuid("{362A8EE5-675E-43A9-869D-06ECE80B0CB4}");

inline constexpr GUID kTreeModelKey = MakeGuid("{ABE9C069-5D2D-4FBA-B1B0-FF96C0F0B1F6}");
inline constexpr GUID kTestedHostKey = MakeGuid("{323FACDA-38E8-4C1B-B22C-99E0AB90EADC}");
inline constexpr GUID kRecordTestedHostAsKey = MakeGuid("{E47A2931-EE5D-42D2-8CB7-3796DE597AA1}");
inline constexpr GUID kWaitCommentsKey = MakeGuid("{74CC9F3B-2E52-4B16-844A-9EE33532B51E}");
inline constexpr GUID kLegacyFeaturesKey = MakeGuid("{0787AA13-4C49-418A-A688-B23BE9F226F4}");
inline constexpr GUID kIdentificationAttributeKey = MakeGuid("{95E3327A-7433-4A00-9257-6E9A4B4F1795}");
inline constexpr GUID kIgnoreDynamicUrlParamsKey = MakeGuid("{BC2725AB-C90D-4761-BEB2-ABACE30FE554}");
inline constexpr GUID kDynamicParametersKey = MakeGuid("{33C0A94E-7F58-493C-BCCC-91685352F9B4}");
inline constexpr GUID kPageLoadingTimeoutKey = MakeGuid("{542B9FA0-35EA-4C4D-BF0B-661005CB94E9}");

// Keys of published values besides the settings' own.
inline constexpr GUID kPublishedTreeModelKey = MakeGuid("{66F235D3-108D-4961-A923-03333575E40E}");
inline constexpr GUID kPublishedIdentifyByNameKey = MakeGuid("{864E3A4C-B68F-4D37-84A9-3DA543AE07D4}");
// The shared value store: this service, used as IpwHookParameterService.
inline constexpr GUID kSharedValueStoreService = MakeGuid("{676A4D80-5C20-4A65-B4B8-BCD879BAE0A1}");

// The warning option.
inline constexpr GUID kAppNotPreparedWarningKey = MakeGuid("{2CC97723-B13B-41D7-B6F8-360974A2AE2A}");
inline constexpr char16_t kAppNotPreparedWarningCaption[] =
    u"Show the \"Application was not prepared properly\" message";
inline constexpr char16_t kAppNotPreparedWarningDescription[] =
    u"Specifies if the test engine will display a special message when it detects that a Flash, Flex or an AIR "
    u"application was not prepared properly for testing.";
inline constexpr std::int32_t kTreeModelWarningHelp = 4292;
inline constexpr char16_t kTreeModelLogText[] = u"Web testing settings were not configured properly.";
inline constexpr std::int32_t kTreeModelLogPriority = 300;
// The option pages' bitmap resource.
inline constexpr char kWebSettingsPageBitmap[] = "WEB_TESTING_SETTINGS_BMP";

// 0 "DOM", 1 "Tag", 2 "Hybrid", 3 "Tree"; any other value leaves `name` unchanged.
void TreeModelName(std::int32_t model, WideString& name);
// The model of a text: "DOM" 0, "Tag" 1, "Hybrid" 2, anything else 3 (ignoring case).
std::int32_t TreeModelOfText(WideStringView text);
// The warning text for a model's name (lines joined by CR LF).
WideString TreeModelWarningText(WideStringView modelName);
// The test log entry's details (HTML) for a model's name.
WideString TreeModelLogDetails(WideStringView modelName);

// The names of the dynamic parameters kept in the host's settings: column 0 of each row of the
// table, trimmed, empty rows skipped (none when there is no table).
std::vector<WideString> DynamicParameterNames(IcvBaseManager* root);
// The same names joined by LF.
WideString DynamicParametersText(IcvBaseManager* root);

// Re-mapping of mapped pages.
inline constexpr char16_t kRemapPagesQuestion[] = u"Remap the web pages that were mapped earlier?";
inline constexpr std::int32_t kRemapPagesHelp = 4229;
// The root of the mapped items of the project in use; nil without an open suite, a project, its
// NameMapping item or the item's root.
ComPtr<IpwNameMappingRepositoryItem> FindNameMappingRoot(IcvBaseManager* root);
// Whether a mapped page with a URL is at or below the item (depth first, children in order; a
// page's own children are not searched).
bool HasMappedPage(IpwNameMappingRepositoryItem* item);
// Masks the URL of every mapped page at or below the item with the parameter names; answers how
// many URLs changed.
std::size_t MaskMappedPageUrls(IpwNameMappingRepositoryItem* item, const std::vector<WideString>& names);
// The whole offer: find the mapping, ask when it holds a page, mask on yes. No question without
// a page or a messenger.
void OfferRemapOfMappedPages(IcvBaseManager* root);

class TpwWebSettings {
 public:
  // `root`: the settings root and service locator (the plug-in's manager), not owned.
  explicit TpwWebSettings(IcvBaseManager* root, TpwSettingsObjectCreators creators = DefaultSettingsObjectCreators())
      : root_(root), creators_(std::move(creators)) {}

  // Pages, the nine settings with their defaults, the settings objects, the table of dynamic
  // identifiers (created last) and the key listener `validator` on it (an
  // IpwSettingValueValidator; nil: none).
  void BuildSettings(IpwSettingsGroup* group, IUnknown* validator);
  // The settings objects the last BuildSettings made (nil before).
  const TpwSettingsObjects& Objects() const { return objects_; }
  // Withdraws the validator from the table's key.
  void RemoveValidator(IUnknown* validator);
  void SettingChanged(IpwSetting* setting, const GUID& ownerKey);
  void SettingLoaded(IpwSetting* setting, const GUID& ownerKey);
  // The host's own version (its folder object's two numbers), against which stored settings are
  // compared on load.
  void SetHostVersion(std::int32_t major, std::int32_t minor) { hostMajor_ = major, hostMinor_ = minor; }
  // The warning shown when the tree model is not "Tree" (unless legacy features are on).
  bool IsTreeModelWarningSuppressed() const { return legacy_ || treeModel_ == 3; }
  void ShowTreeModelWarning();
  // Code 12 (GUID_NULL): the warning; code 3 (a test item's key): the log entry the first time
  // in a run; other codes nothing. Without the extended test log the item is still counted.
  void TreeModelCheck(std::int32_t code, const GUID& item);
  // A run ended: every item gets its entry again in the next run.
  void ClearReportedItems();

  std::int32_t TreeModel() const { return treeModel_; }
  bool IdentifyByName() const { return identifyByName_; }
  bool Legacy() const { return legacy_; }
  bool LastIgnoreFlag() const { return lastIgnore_; }
  const WideString& LastDynamicParameters() const { return lastParameters_; }
  const WideString& LastPatterns() const { return lastPatterns_; }
  bool MigrationFlag() const { return migrate_; }

 private:
  ComPtr<IpwHookParameterService> Store() const;
  void Publish(const GUID& key, const OleVariant& value) const;
  void ApplyTreeModel(IpwSetting* setting, bool notify);
  void ApplyIdentification(IpwSetting* setting);
  void ApplyLegacy(IpwSetting* setting, bool notify);
  void PublishPatterns(bool disable);
  void PublishDynamicParameters(bool notify);
  bool TestRunning() const;

  void MakeSettingsObjects();

  IcvBaseManager* root_;
  TpwSettingsObjectCreators creators_;
  TpwSettingsObjects objects_;
  std::uint8_t treeModel_ = 3;
  bool identifyByName_ = false;
  bool legacy_ = false;
  bool lastIgnore_ = true;
  WideString lastParameters_ = u"sessionid\nuserid";
  WideString lastPatterns_;
  GUID ownerKey_{};
  bool migrate_ = false;
  std::int32_t hostMajor_ = 9, hostMinor_ = 0;
  std::mutex reportedLock_;
  std::set<GUID> reported_;  // under reportedLock_
};

}  // namespace pw::web
