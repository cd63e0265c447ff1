// Dynamic identifier patterns: the host table setting "Dynamic Identifiers" (ten columns, the
// 18 built-in patterns in eight groups and the empty group "Custom"), the seven actions that
// edit it as a two-level tree stored flat, the validator of edited cells, and the
// one-line-per-pattern text that the browser hook gets.
//
// Table invariants: every group row (column 2 True, column 0 -1) is followed directly by its
// item rows, whose column 0 holds the group row's index. Group names compare exactly.
//
// Every operation looks the table up again by its key through the host object (the settings
// root); a failing host call raises. Hook text (GetDynamicIdPatterns): for each enabled item
// row, "regexp:" (type exactly "RegExp") or "normal:", the pattern, one TAB, the template;
// lines joined by LF, no final LF. TAB, CR and LF inside a pattern or template become "_", so
// no cell can break the one-line-per-pattern text.
#pragma once

#include <cstdint>
#include <span>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"
#include "project/actions/action_tables.h"

namespace pw::web {

inline constexpr GUID kDynamicIdSettingKey = MakeGuid("{DB42CEAB-BFC4-40DB-9F48-9197D35FB5E2}");
inline constexpr GUID kDynamicIdSettingTypeKey = MakeGuid("{362A8EE5-675E-43A9-869D-06ECE80B0CB4}");
inline constexpr GUID kDynamicIdSettingOwnerKey = MakeGuid("{BB0BA186-51DC-4898-946D-591CF76C651B}");

inline constexpr GUID kDynamicIdAddByWizard = MakeGuid("{2029BF1C-8A23-4F9F-86D3-6596DFD3BE57}");
inline constexpr GUID kDynamicIdAddGroup = MakeGuid("{70BE6916-9812-43CB-A80D-3E173730E89E}");
inline constexpr GUID kDynamicIdAddItem = MakeGuid("{083B118D-95AF-478B-B6D7-FDB0D9037C8E}");
inline constexpr GUID kDynamicIdRemove = MakeGuid("{24964B6A-5338-4206-8BDA-F4496DC0034D}");
inline constexpr GUID kDynamicIdMoveUp = MakeGuid("{6B762D92-9A39-497D-BC81-B16E58E4EFE2}");
inline constexpr GUID kDynamicIdMoveDown = MakeGuid("{FD7B3FEC-63B6-4D2F-A4DF-768D46D59F57}");
inline constexpr GUID kDynamicIdTest = MakeGuid("{547B1845-40CB-414B-8074-FF1391C5005D}");

// The host service of the pattern wizard and test dialog, and the interface it is used as.
inline constexpr GUID kDynamicIdDialogService = MakeGuid("{59A2F68C-B38D-4DD4-A53F-51A8B80588F4}");

// The table's columns.
enum TDynamicIdColumn : std::int32_t {
  kDiParent = 0,
  kDiImage = 1,
  kDiIsGroup = 2,
  kDiEnabled = 3,
  kDiDescription = 4,
  kDiPatternType = 5,
  kDiPattern = 6,
  kDiTemplate = 7,
  kDiPatternTypes = 8,
  kDiTreeControl = 9,
};

inline constexpr char16_t kDynamicIdSettingName[] = u"Dynamic Identifiers";
inline constexpr char16_t kDynamicIdSettingDescription[] =
    u"A list of web object identifiers that will be ignored partially or completely when naming web objects.\r\n"
    u"The list items are processed in the order they appear in the list. When using regular expressions, keep in "
    u"mind that capturing groups are enclosed in curly braces.";
inline constexpr char16_t kDynamicIdInvalidRegExpr[] = u"The specified expression is not a valid regular expression.";
inline constexpr char16_t kDynamicIdMisplacedTemplate[] =
    u"A stable ID template can be used only with RegExp patterns.";
inline constexpr char16_t kDynamicIdRemoveGroupQuestion[] = u"Do you want to remove the selected group and its items?";
inline constexpr char16_t kDynamicIdMoveItemQuestion[] = u"Do you want to move the selected item to another group?";
inline constexpr std::int32_t kDynamicIdInvalidRegExprHelp = 4327;
inline constexpr std::int32_t kDynamicIdMisplacedTemplateHelp = 4328;

// One built-in pattern.
struct TDynamicIdDescription {
  bool Enabled;
  bool IsRegExp;
  const char16_t* Description;
  const char16_t* StableIdTemplate;  // empty: the identifier is not used
  const char16_t* IdPattern;
  const char16_t* Group;  // empty: the current row's group, else "Custom"
};

// The 18 built-in patterns in table (and matching) order.
std::span<const TDynamicIdDescription> BuiltInDynamicIds();
// The seven actions in registration order (add by wizard, add group, add item, remove, move up,
// move down, test).
std::span<const project::TActionDescription> DynamicIdActionDescriptions();

// The table by its key; nil when there is none (or it is no table).
ComPtr<IcvTableSetting_DVS> FindDynamicIdTable(IcvBaseManager* root);

// Creates the table setting in the group: columns, built-in rows, "Custom", last row current.
ComPtr<IcvTableSetting_DVS> CreateDynamicIdSetting(IpwSettingsGroup* group, const GUID& key);
// The hook text (above); with disableAll every row's "Enabled" becomes False (one update) and
// the text is empty. Empty without a table.
WideString GetDynamicIdPatterns(IcvBaseManager* root, bool disableAll);

// Adds the record as its group's last item (group by name, else the current row's group, else
// "Custom", made when missing), shifts later parents, makes the new row current.
void AddDynamicIdRecord(IcvTableSetting_DVS* table, const TDynamicIdDescription& record);

// The actions; each finds the table and raises when there is none.
void AddPatternWithWizard(IcvBaseManager* root);
void TestDynamicIdPatterns(IcvBaseManager* root);
void AddDynamicIdGroup(IcvBaseManager* root);
void AddDynamicIdItem(IcvBaseManager* root);
void RemoveDynamicIdRow(IcvBaseManager* root);
void MoveDynamicIdRow(IcvBaseManager* root, bool up);
bool IsFirstDynamicIdRow(IcvTableSetting_DVS* table, std::int32_t row);
bool IsLastDynamicIdRow(IcvTableSetting_DVS* table, std::int32_t row);

// The host's view of the actions: the count (7) and the key by index (0 add by wizard, 1 add
// group, 2 remove, 3 move up, 4 move down, 5 test, 6 add item; GUID_NULL otherwise).
std::int32_t GetDynamicIdActionCount();
GUID GetDynamicIdActionId(std::int32_t index);
// Creates and registers the seven actions under the context.
void RegisterDynamicIdActions(IcvBaseManager* owner, const GUID& contextKey);
// Runs the action by its key; *result is GUID_NULL. Returns 0.
std::int32_t ExecuteDynamicIdAction(IcvBaseManager* root, IpwAction* action, const VARIANT& argument, GUID* result);
// Sets the action's enabled state (property 0).
void UpdateDynamicIdAction(IcvBaseManager* root, IpwAction* action);
// Whether the action would be enabled now (what UpdateDynamicIdAction sets).
bool IsDynamicIdActionEnabled(IcvBaseManager* root, const GUID& action);

// The validator of a settings change: reports an invalid expression (messenger 16, help 4327)
// or a template on a wildcard row (messenger 18, help 4328). The cell keeps what was entered.
void DynamicIdSettingChanged(IcvBaseManager* root, IpwSetting* setting);
// Whether the regular-expression library takes the pattern.
bool IsValidRegExpr(WideStringView pattern);

}  // namespace pw::web
