#include "web/settings/dynamic_ids.h"

#include <algorithm>
#include <array>
#include <optional>

#include "core/host/helper_interfaces.h"
#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "platform/automation/bstr.h"
#include "platform/com/errorinfo.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/actions/project_actions.h"
#include "project/nodes/project_helpers.h"

namespace pw::web {

namespace {

constexpr char16_t kCustom[] = u"Custom";
constexpr char16_t kRegExp[] = u"RegExp";
constexpr char16_t kWildcard[] = u"Wildcard";
constexpr char16_t kPatternTypes[] = u"Wildcard\r\nRegExp";

constexpr TDynamicIdDescription kBuiltIn[] = {
    {true, false, u"Do not use IDs starting with \"yui-gen\"", u"", u"yui-gen*", u"Yahoo! UI library"},
    {true, false, u"Do not use IDs containing \"yui_3_\"", u"", u"*yui_3_*", u"Yahoo! UI library"},
    {true, false, u"Do not use IDs starting with \"ui-id-\"", u"", u"ui-id-*", u"jQuery UI library"},
    {true, false, u"Do not use IDs starting with \"dijit_\"", u"", u"dijit_*", u"Dojo toolkit"},
    {true, true, u"Do not use IDs containing GUID", u"", u"\\h+-\\h+-\\h+-\\h+-\\h+", u"Other"},
    {true, true, u"Do not use IDs ending with a string like \"ctl00\"", u"", u"^(.*[-_$])?(ctl[0-9]+)$", u"ASP.NET"},
    {true, true, u"Remove GUIDs and ctl00-like prefixes from Sharepoint IDs", u"$1",
     u"(.+?_(\\h+_\\h+_\\h+_\\h+_\\h+))+(.*ctr?l[0-9]+)?[_$]?{.*}$", u"ASP.NET"},
    {true, true, u"For IDs containing a string like \"ctl00_\", leave only symbols after this string", u"$1",
     u".*(ctl[0-9]+[-_$]+){.*}", u"ASP.NET"},
    {true, true, u"Do not use IDs containing \"ext-gen\"", u"", u"^(.*-)?ext-gen", u"Sencha ExtJS"},
    {true, true, u"Do not use IDs containing \"ext-comp\"", u"", u"^(.*-)?ext-comp", u"Sencha ExtJS"},
    {true, false, u"Do not use IDs starting with \"extdd-\"", u"", u"extdd-*", u"Sencha ExtJS"},
    {true, true, u"Remove digits from IDs like \"treepicker-1038\" or \"treepicker-1038-inputEl\"", u"$1$3",
     u"^{[A-Za-z-]+}-{\\d\\d\\d\\d}{.*}$", u"Sencha ExtJS"},
    {true, true, u"Do not use IDs like \"_t14\"", u"", u"^{_t}{[0-9]+}$", u"JavaServer Faces"},
    {true, true, u"Do not use IDs like \"j_id23\" or \"j_idt23\"", u"", u"^{j_idt?}{[0-9]+}$", u"JavaServer Faces"},
    {true, true, u"Remove all but the last part of IDs like \"frm:menuLinks:0:link\"", u"$1", u"(.+):{[^0-9]+}$",
     u"JavaServer Faces"},
    {true, true, u"Do not use IDs like \"frm:menuLinks:3:link\"", u"", u"(.+):(.*)", u"JavaServer Faces"},
    {true, true, u"Remove all but the last part of IDs like \"gwt-uid-370_runButton\"", u"$1",
     u"^(gwt-uid-[0-9]+)(_{.*})?$", u"Google Web Toolkit"},
    {true, true, u"Remove dynamic parts of Sencha GXT IDs", u"$1", u"^(x-(widget)|(auto)-.*[0-9]+)([-_]{.*})?$",
     u"Google Web Toolkit"},
};

constexpr project::TActionDescription kActions[] = {
    {kDynamicIdAddByWizard, 1, u"Add...",
     u"Opens a wizard that helps you define a new pattern for dynamic web object identifiers.", u"Add New Pattern", 0,
     "", u"", u"", 0, nullptr},
    {kDynamicIdAddGroup, 1, u"Add Group", u"Adds a new group to the list of dynamic identifier patterns.",
     u"Create New Group", 0, "", u"", u"", 0, nullptr},
    {kDynamicIdAddItem, 1, u"Add Item", u"Adds an empty item to the current group.", u"Add New Item", 0, "", u"", u"",
     0, nullptr},
    {kDynamicIdRemove, 1, u"Remove", u"Removes the selected pattern or group.", u"Remove Selected Pattern or Group", 0,
     "", u"", u"", 0, nullptr},
    {kDynamicIdMoveUp, 1, u"Move Up", u"Moves the selected item one position up.", u"Move Pattern or Group Up", 0, "",
     u"", u"", 0, nullptr},
    {kDynamicIdMoveDown, 1, u"Move Down", u"Moves the selected item one position down.", u"Move Pattern or Group Down",
     0, "", u"", u"", 0, nullptr},
    {kDynamicIdTest, 1, u"Test...",
     u"Finds the dynamic identifier pattern that matches the specified web object identifier.",
     u"Test Existing Patterns", 0, "", u"", u"", 0, nullptr},
};

// The host's order of the actions (GetDynamicIdActionId).
constexpr std::array<const GUID*, 7> kActionOrder = {&kDynamicIdAddByWizard, &kDynamicIdAddGroup, &kDynamicIdRemove,
                                                     &kDynamicIdMoveUp,      &kDynamicIdMoveDown, &kDynamicIdTest,
                                                     &kDynamicIdAddItem};

// The table through its host interface; every failing call raises.
class Table {
 public:
  explicit Table(IcvTableSetting_DVS* t) : t_(t) {}
  std::int32_t Rows() const {
    std::int32_t n = 0;
    SafeCallCheck(t_->GetRowCount(&n));
    return n;
  }
  OleVariant Cell(std::int32_t column, std::int32_t row) const {
    OleVariant v;
    SafeCallCheck(t_->GetCell(column, row, v.Put()));
    return v;
  }
  void Set(std::int32_t column, std::int32_t row, const OleVariant& v) const {
    SafeCallCheck(t_->SetCell(column, row, v.Get()));
  }
  bool True(std::int32_t column, std::int32_t row) const {
    const OleVariant v = Cell(column, row);
    return v.Get().vt == VT_BOOL && v.Get().boolVal != 0;
  }
  WideString Text(std::int32_t column, std::int32_t row) const {
    const OleVariant v = Cell(column, row);
    if (v.Get().vt == VT_EMPTY || v.Get().vt == VT_NULL) return {};
    return v.AsString();
  }
  std::int32_t Int(std::int32_t column, std::int32_t row) const {
    const OleVariant v = Cell(column, row);
    if (v.Get().vt == VT_EMPTY || v.Get().vt == VT_NULL) return -1;
    return v.AsInt();
  }
  bool IsGroup(std::int32_t row) const { return True(kDiIsGroup, row); }
  std::int32_t Current() const {
    std::int32_t r = -1;
    SafeCallCheck(t_->GetCurrentRow(&r));
    return r;
  }
  void SetCurrent(std::int32_t row) const { SafeCallCheck(t_->SetCurrentRow(row)); }
  std::int32_t Append() const {
    std::int32_t r = -1;
    SafeCallCheck(t_->AppendRow(&r));
    return r;
  }
  void Delete(std::int32_t row) const { SafeCallCheck(t_->DeleteRow(row)); }
  void Exchange(std::int32_t a, std::int32_t b) const { ExchangeTableSettingRows(t_, a, b); }
  IcvTableSetting_DVS* Get() const { return t_; }

 private:
  IcvTableSetting_DVS* t_;
};

// Begin and end of one table update (ended also when a step raised).
class Update {
 public:
  explicit Update(IcvTableSetting_DVS* t) : t_(t) { SafeCallCheck(t_->BeginUpdate()); }
  ~Update() {
    VARIANT_BOOL changed = VARIANT_FALSE;
    t_->EndUpdate(&changed);
  }
  Update(const Update&) = delete;
  Update& operator=(const Update&) = delete;

 private:
  IcvTableSetting_DVS* t_;
};

void SetDynamicIdRow(const Table& t, std::int32_t row, std::int32_t parent, bool isGroup, bool enabled,
                     WideStringView description, WideStringView type, WideStringView pattern, WideStringView templ) {
  t.Set(kDiParent, row, OleVariant(parent));
  t.Set(kDiImage, row, OleVariant(std::int32_t{-1}));
  t.Set(kDiIsGroup, row, OleVariant(isGroup));
  t.Set(kDiEnabled, row, OleVariant(enabled));
  t.Set(kDiDescription, row, OleVariant(description));
  t.Set(kDiPatternType, row, OleVariant(type));
  t.Set(kDiPattern, row, OleVariant(pattern));
  t.Set(kDiTemplate, row, OleVariant(templ));
  t.Set(kDiPatternTypes, row, OleVariant(WideStringView(kPatternTypes)));
}

std::int32_t FindOrAddDynamicIdGroup(const Table& t, WideStringView name) {
  const std::int32_t rows = t.Rows();
  for (std::int32_t r = 0; r < rows; ++r)
    if (t.IsGroup(r) && t.Text(kDiDescription, r) == name) return r;
  const std::int32_t row = t.Append();
  SetDynamicIdRow(t, row, -1, true, true, name, u"", u"", u"");
  return row;
}

std::int32_t CountDynamicIdGroupItems(const Table& t, std::int32_t groupRow) {
  const std::int32_t rows = t.Rows();
  std::int32_t n = 0;
  for (std::int32_t r = groupRow + 1; r < rows && t.Int(kDiParent, r) == groupRow; ++r) ++n;
  return n;
}

void ShiftDynamicIdParents(const Table& t, std::int32_t fromRow, std::int32_t delta) {
  const std::int32_t rows = t.Rows();
  bool passedGroup = false;
  for (std::int32_t r = std::max(fromRow, 0); r < rows; ++r) {
    if (t.IsGroup(r)) {
      passedGroup = true;
    } else if (passedGroup) {
      t.Set(kDiParent, r, OleVariant(t.Int(kDiParent, r) + delta));
    }
  }
}

std::int32_t FindPrevDynamicIdGroup(const Table& t, std::int32_t row) {
  for (std::int32_t r = row - 1; r >= 0; --r)
    if (t.IsGroup(r)) return r;
  return -1;
}

std::int32_t FindNextDynamicIdGroup(const Table& t, std::int32_t row) {
  const std::int32_t rows = t.Rows();
  for (std::int32_t r = std::max(row, 0); r < rows; ++r)
    if (t.IsGroup(r)) return r;
  return -1;
}

// The end (one past the last item) of the group block that starts at the row.
std::int32_t GroupBlockEnd(const Table& t, std::int32_t groupRow) {
  const std::int32_t next = FindNextDynamicIdGroup(t, groupRow + 1);
  return next < 0 ? t.Rows() : next;
}

void SetGroupParents(const Table& t, std::int32_t groupRow) {
  const std::int32_t end = GroupBlockEnd(t, groupRow);
  for (std::int32_t r = groupRow + 1; r < end; ++r) t.Set(kDiParent, r, OleVariant(groupRow));
}

// Exchanges the blocks [a, b) and [b, c) by row exchanges (three reversals).
void RotateRows(const Table& t, std::int32_t a, std::int32_t b, std::int32_t c) {
  auto reverse = [&](std::int32_t from, std::int32_t to) {
    for (--to; from < to; ++from, --to) t.Exchange(from, to);
  };
  reverse(a, b);
  reverse(b, c);
  reverse(a, c);
}

ComPtr<IcvTableSetting_DVS> RequireTable(IcvBaseManager* root) {
  auto table = FindDynamicIdTable(root);
  if (!table) throw EOleSysError(u"The table of dynamic identifiers does not exist.", E_UNEXPECTED);
  return table;
}

ComPtr<IpwDialogService> DialogService(IcvBaseManager* root) {
  try {
    return GetHostService<IpwDialogService>(root, kDynamicIdDialogService);
  } catch (const EOleSysError&) {
    return nullptr;  // a host without the dialogs
  }
}

ComPtr<IcvMessenger> Messenger(IcvBaseManager* root) {
  try {
    return project::GetMessenger(root);
  } catch (const EOleSysError&) {
    return nullptr;
  }
}

// The messenger's yes/no question; nullopt without a messenger.
std::optional<bool> Ask(IcvBaseManager* root, WideStringView text, std::int32_t flag) {
  auto messenger = Messenger(root);
  if (!messenger) return std::nullopt;
  BString t(text);
  VARIANT_BOOL yes = VARIANT_FALSE;
  SafeCallCheck(messenger->Confirm(t.Get(), 0, 0, flag, &yes));
  return yes != 0;
}

WideString HookCell(WideString text, bool tabs) {
  for (auto& c : text)
    if (c == u'\r' || c == u'\n' || (tabs && c == u'\t')) c = u'_';
  return text;
}

void MoveDynamicIdItemAcrossGroup(const Table& t, std::int32_t row, bool up) {
  if (up) {
    const std::int32_t group = row - 1;  // the item's own group
    const std::int32_t previous = FindPrevDynamicIdGroup(t, group);
    if (previous < 0) return;
    t.Exchange(group, row);  // item at row - 1, its former group at row
    t.Set(kDiParent, group, OleVariant(previous));
    SetGroupParents(t, row);
    t.SetCurrent(group);
  } else {
    const std::int32_t next = row + 1;
    if (next >= t.Rows() || !t.IsGroup(next)) return;
    t.Exchange(row, next);  // the group at row, the item at row + 1
    SetGroupParents(t, row);
    t.SetCurrent(row + 1);
  }
}

void MoveDynamicIdGroup(const Table& t, std::int32_t row, bool up) {
  const std::int32_t end = GroupBlockEnd(t, row);
  if (up) {
    const std::int32_t previous = FindPrevDynamicIdGroup(t, row);
    if (previous < 0) return;
    RotateRows(t, previous, row, end);
    const std::int32_t other = previous + (end - row);
    SetGroupParents(t, previous);
    SetGroupParents(t, other);
    t.SetCurrent(previous);
  } else {
    if (end >= t.Rows()) return;  // no group below
    const std::int32_t nextEnd = GroupBlockEnd(t, end);
    RotateRows(t, row, end, nextEnd);
    const std::int32_t moved = row + (nextEnd - end);
    SetGroupParents(t, row);
    SetGroupParents(t, moved);
    t.SetCurrent(moved);
  }
}

}  // namespace

std::span<const TDynamicIdDescription> BuiltInDynamicIds() { return kBuiltIn; }
std::span<const project::TActionDescription> DynamicIdActionDescriptions() { return kActions; }

ComPtr<IcvTableSetting_DVS> FindDynamicIdTable(IcvBaseManager* root) {
  auto setting = GetSettingIntf(root, kDynamicIdSettingKey);
  if (!setting) return nullptr;
  ComPtr<IcvTableSetting_DVS> table;
  if (Failed(setting->QueryInterface(IcvTableSetting_DVS::iid, table.PutVoid()))) return nullptr;
  return table;
}

ComPtr<IcvTableSetting_DVS> CreateDynamicIdSetting(IpwSettingsGroup* group, const GUID& key) {
  BString name(kDynamicIdSettingName), description(kDynamicIdSettingDescription);
  ComPtr<IpwSetting> setting;
  SafeCallCheck(group->AddSetting(6, key, kDynamicIdSettingTypeKey, kDynamicIdSettingOwnerKey, name.Get(),
                                  description.Get(), nullptr, 0, VARIANT_TRUE, setting.Put()));
  auto table = CastHostObject<IcvTableSetting_DVS>(setting.Get());
  auto schema = CastHostObject<IcvTableSettingSchema_DVS>(setting.Get());
  struct Column {
    std::int32_t kind;
    const char16_t* name;
    bool visible;
  };
  static constexpr Column kColumns[] = {
      {2, u"__Parent_Idx__", false}, {2, u"__Image_Handle__", false},  {1, u"__Is_Group_Node__", false},
      {1, u"Enabled", false},        {5, u"Description", true},        {5, u"Pattern Type", true},
      {5, u"ID Pattern", true},      {5, u"Stable ID Template", true}, {5, u"Pattern Types", false},
      {2, u"Tree control", false},
  };
  for (const auto& c : kColumns) {
    BString n(c.name);
    SafeCallCheck(schema->AddColumn(c.kind, n.Get(), c.visible ? VARIANT_TRUE : VARIANT_FALSE, VARIANT_FALSE));
  }
  SafeCallCheck(table->BeginUpdate());
  try {
    for (const auto& record : kBuiltIn) AddDynamicIdRecord(table.Get(), record);
    const Table t(table.Get());
    const std::int32_t custom = t.Append();
    SetDynamicIdRow(t, custom, -1, true, true, kCustom, u"", u"", u"");
    t.SetCurrent(t.Rows() - 1);
  } catch (...) {
    VARIANT_BOOL changed = VARIANT_FALSE;
    table->EndUpdate(&changed);
    throw;
  }
  VARIANT_BOOL changed = VARIANT_FALSE;
  SafeCallCheck(table->EndUpdate(&changed));
  return table;
}

WideString GetDynamicIdPatterns(IcvBaseManager* root, bool disableAll) {
  WideString text;
  auto table = FindDynamicIdTable(root);
  if (!table) return text;
  const Table t(table.Get());
  const std::int32_t rows = t.Rows();
  if (disableAll) {
    Update update(table.Get());
    for (std::int32_t r = 0; r < rows; ++r) t.Set(kDiEnabled, r, OleVariant(false));
    return text;
  }
  for (std::int32_t r = 0; r < rows; ++r) {
    if (t.IsGroup(r) || !t.True(kDiEnabled, r)) continue;
    if (!text.empty()) text += u'\n';
    text += t.Text(kDiPatternType, r) == kRegExp ? u"regexp:" : u"normal:";
    text += HookCell(t.Text(kDiPattern, r), true);
    text += u'\t';
    text += HookCell(t.Text(kDiTemplate, r), true);
  }
  return text;
}

void AddDynamicIdRecord(IcvTableSetting_DVS* table, const TDynamicIdDescription& record) {
  const Table t(table);
  WideString groupName = record.Group ? record.Group : u"";
  std::int32_t groupRow = -1;
  if (groupName.empty()) {
    groupName = kCustom;
    for (std::int32_t r = std::min(t.Current(), t.Rows() - 1); r >= 0; --r)
      if (t.IsGroup(r)) {
        groupRow = r;
        groupName = t.Text(kDiDescription, r);
        break;
      }
  }
  const WideStringView type = record.IsRegExp ? kRegExp : kWildcard;
  Update update(table);
  if (groupRow < 0) groupRow = FindOrAddDynamicIdGroup(t, groupName);
  const std::int32_t n = CountDynamicIdGroupItems(t, groupRow);
  const std::int32_t row = InsertTableSettingRow(table, groupRow + n + 1);
  SetDynamicIdRow(t, row, groupRow, false, record.Enabled, record.Description ? record.Description : u"", type,
                  record.IdPattern ? record.IdPattern : u"", record.StableIdTemplate ? record.StableIdTemplate : u"");
  ShiftDynamicIdParents(t, row + 1, 1);
  t.SetCurrent(row);
}

void AddPatternWithWizard(IcvBaseManager* root) {
  auto dialogs = DialogService(root);
  if (!dialogs) return;
  VARIANT_BOOL isRegExp = VARIANT_FALSE, ok = VARIANT_FALSE;
  BString pattern, templ, description;
  SafeCallCheck(dialogs->RunPatternWizard(&isRegExp, pattern.Put(), templ.Put(), description.Put(), 0, &ok));
  if (!ok) return;
  auto table = RequireTable(root);
  const Table t(table.Get());
  const WideString p(pattern.View());
  const std::int32_t rows = t.Rows();
  for (std::int32_t r = 0; r < rows; ++r)
    if (SameTextIgnoringCase(t.Text(kDiPattern, r), p)) {
      t.SetCurrent(r);
      return;
    }
  const WideString d(description.View()), tp(templ.View());
  AddDynamicIdRecord(table.Get(), {true, isRegExp != 0, d.c_str(), tp.c_str(), p.c_str(), u""});
}

void TestDynamicIdPatterns(IcvBaseManager* root) {
  auto dialogs = DialogService(root);
  if (!dialogs) return;
  std::int32_t result = 0;
  SafeCallCheck(dialogs->ShowPatternTest(0, &result));
}

void AddDynamicIdGroup(IcvBaseManager* root) {
  auto table = RequireTable(root);
  const Table t(table.Get());
  Update update(table.Get());
  const std::int32_t row = t.Append();
  SetDynamicIdRow(t, row, -1, true, true, kCustom, u"", u"", u"");
  t.SetCurrent(row);
}

void AddDynamicIdItem(IcvBaseManager* root) {
  auto table = RequireTable(root);
  AddDynamicIdRecord(table.Get(), {false, false, kCustom, u"", u"", u""});
}

void RemoveDynamicIdRow(IcvBaseManager* root) {
  auto table = RequireTable(root);
  const Table t(table.Get());
  std::int32_t row = t.Current();
  const std::int32_t rows = t.Rows();
  if (row < 0 || row >= rows) return;
  const bool group = t.IsGroup(row);
  if (group && row + 1 < rows && !t.IsGroup(row + 1)) {
    // Without a messenger nobody can confirm: the group and its items stay.
    if (!Ask(root, kDynamicIdRemoveGroupQuestion, 0).value_or(false)) return;
  }
  Update update(table.Get());
  std::int32_t deleted = 0;
  if (group) {
    const std::int32_t end = GroupBlockEnd(t, row);
    for (std::int32_t r = end - 1; r >= row; --r) t.Delete(r), ++deleted;
  } else {
    t.Delete(row);
    deleted = 1;
    if (row > 0 && row < t.Rows() && t.IsGroup(row)) t.SetCurrent(row - 1);
  }
  ShiftDynamicIdParents(t, row, -deleted);
}

void MoveDynamicIdRow(IcvBaseManager* root, bool up) {
  auto table = RequireTable(root);
  const Table t(table.Get());
  const std::int32_t row = t.Current();
  const std::int32_t rows = t.Rows();
  if (row < 0 || row >= rows) return;
  Update update(table.Get());
  if (t.IsGroup(row)) {
    MoveDynamicIdGroup(t, row, up);
    return;
  }
  const std::int32_t target = up ? row - 1 : row + 1;
  if (target < 0 || target >= rows) return;
  if (!t.IsGroup(target)) {
    t.Exchange(row, target);
    return;
  }
  // Leaving the group is asked; without a messenger the move goes ahead.
  if (!Ask(root, kDynamicIdMoveItemQuestion, -1).value_or(true)) return;
  MoveDynamicIdItemAcrossGroup(t, row, up);
}

bool IsFirstDynamicIdRow(IcvTableSetting_DVS* table, std::int32_t row) {
  const Table t(table);
  return row == 0 || (row == 1 && row < t.Rows() && !t.IsGroup(1));
}

bool IsLastDynamicIdRow(IcvTableSetting_DVS* table, std::int32_t row) {
  const Table t(table);
  const std::int32_t rows = t.Rows();
  if (row < 0 || row >= rows) return false;
  if (!t.IsGroup(row)) return row == rows - 1;
  return FindNextDynamicIdGroup(t, row + 1) < 0;
}

std::int32_t GetDynamicIdActionCount() { return static_cast<std::int32_t>(kActionOrder.size()); }

GUID GetDynamicIdActionId(std::int32_t index) {
  if (index < 0 || index >= GetDynamicIdActionCount()) return GUID_NULL;
  return *kActionOrder[static_cast<std::size_t>(index)];
}

void RegisterDynamicIdActions(IcvBaseManager* owner, const GUID& contextKey) {
  for (const auto& description : kActions) project::CreateActionFromDescription(owner, description, contextKey);
}

std::int32_t ExecuteDynamicIdAction(IcvBaseManager* root, IpwAction* action, const VARIANT&, GUID* result) {
  if (result) *result = GUID_NULL;
  GUID key = GUID_NULL;
  SafeCallCheck(action->GetKey(&key));
  if (key == kDynamicIdAddByWizard) AddPatternWithWizard(root);
  else if (key == kDynamicIdAddGroup) AddDynamicIdGroup(root);
  else if (key == kDynamicIdAddItem) AddDynamicIdItem(root);
  else if (key == kDynamicIdRemove) RemoveDynamicIdRow(root);
  else if (key == kDynamicIdTest) TestDynamicIdPatterns(root);
  else if (key == kDynamicIdMoveUp) MoveDynamicIdRow(root, true);
  else if (key == kDynamicIdMoveDown) MoveDynamicIdRow(root, false);
  return 0;
}

bool IsDynamicIdActionEnabled(IcvBaseManager* root, const GUID& action) {
  if (action == kDynamicIdAddByWizard || action == kDynamicIdAddGroup || action == kDynamicIdAddItem) return true;
  auto table = FindDynamicIdTable(root);
  if (!table) return false;
  const Table t(table.Get());
  if (t.Rows() == 0) return false;
  if (action == kDynamicIdRemove || action == kDynamicIdTest) return true;
  if (action == kDynamicIdMoveUp) return !IsFirstDynamicIdRow(table.Get(), t.Current());
  if (action == kDynamicIdMoveDown) return !IsLastDynamicIdRow(table.Get(), t.Current());
  return false;
}

void UpdateDynamicIdAction(IcvBaseManager* root, IpwAction* action) {
  GUID key = GUID_NULL;
  SafeCallCheck(action->GetKey(&key));
  if (key == kDynamicIdAddByWizard || key == kDynamicIdAddGroup || key == kDynamicIdAddItem) return;
  if (key != kDynamicIdRemove && key != kDynamicIdTest && key != kDynamicIdMoveUp && key != kDynamicIdMoveDown) return;
  SafeCallCheck(action->SetProperty(0, OleVariant(IsDynamicIdActionEnabled(root, key)).Get()));
}

void DynamicIdSettingChanged(IcvBaseManager* root, IpwSetting* setting) {
  if (!setting) return;
  GUID key = GUID_NULL;
  if (Failed(setting->GetKey(&key)) || key != kDynamicIdSettingKey) return;
  ComPtr<IcvTableSetting_DVS> table;
  if (Failed(setting->QueryInterface(IcvTableSetting_DVS::iid, table.PutVoid())) || !table) return;
  ComPtr<IcvSettingInternal> change;
  if (Failed(setting->QueryInterface(IcvSettingInternal::iid, change.PutVoid())) || !change) return;
  std::int32_t flags = 0;
  SafeCallCheck(change->GetChangeFlags(&flags));
  if ((flags & 2) == 0) return;
  const Table t(table.Get());
  const std::int32_t row = t.Current();
  std::int32_t column = -1;
  SafeCallCheck(table->GetCurrentColumn(&column));
  if (row < 0 || row >= t.Rows()) return;
  const bool regExp = t.Text(kDiPatternType, row) == kRegExp;
  if ((column == kDiEnabled && t.True(kDiEnabled, row)) || column == kDiPatternType || column == kDiPattern) {
    const WideString pattern = t.Text(kDiPattern, row);
    if (regExp && !pattern.empty() && !IsValidRegExpr(pattern)) {
      if (auto messenger = Messenger(root)) {
        BString text(kDynamicIdInvalidRegExpr);
        SafeCallCheck(messenger->ShowMessage(text.Get(), kDynamicIdInvalidRegExprHelp));
      }
    }
  } else if (column == kDiTemplate) {
    if (!regExp && !t.Text(kDiTemplate, row).empty()) {
      if (auto messenger = Messenger(root)) {
        BString text(kDynamicIdMisplacedTemplate);
        SafeCallCheck(messenger->ShowInformation(text.Get(), kDynamicIdMisplacedTemplateHelp, 0));
      }
    }
  }
}

bool IsValidRegExpr(WideStringView pattern) {
  ComPtr<IcvRegExprModule> module;
  GetRegExprModule(module);
  ComPtr<IcvRegExpr> expression;
  SafeCallCheck(module->CreateRegExpr(expression.Put()));
  const WideString p(pattern);
  if (Succeeded(expression->SetPattern(p.c_str()))) return true;
  // The library's error information is the answer here; taking it leaves none behind for a
  // later call to mistake as its own.
  ComPtr<IErrorInfo> info;
  GetErrorInfo(0, info.Put());
  return false;
}

}  // namespace pw::web
