// Helpers over the host's settings: register settings groups, options pages and settings with
// their defaults, read a setting by its key, walk a group's items, edit the rows of a table
// setting, and add or remove change listeners. A nil host, a missing service or a missing
// setting gives nil or a cleared value; failures of services that exist raise.
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/ui/gdi.h"
#include "platform/automation/variant.h"

namespace pw {

inline constexpr GUID kSettingsService = MakeGuid("{B2B8BD2F-363E-48DD-9FB1-FD64DE2428B7}");
inline constexpr GUID kOptionsService = MakeGuid("{F3B20D9E-6BE1-468C-9120-F3D33E254B27}");

ComPtr<IpwSettingsManager> GetSettingsManager(IcvBaseManager* host);

// The group with the key, created when missing. The bitmap passes to the host in every case.
ComPtr<IpwSettingsGroup> RegisterSettingsGroup(IcvBaseManager* host, const GUID& key, WideStringView caption,
                                               WideStringView description, std::int32_t imageIndex, HBITMAP bitmap,
                                               WideStringView category);

// A setting inside an owner (a group or a setting), shown on the options page ParentKey, set to
// its default value.
ComPtr<IpwSetting> RegisterSetting(IpwSettingsItem* owner, std::int32_t kind, const GUID& key, const GUID& parentKey,
                                   WideStringView name, WideStringView description, const VARIANT& defaultValue,
                                   WideStringView category, bool visible);

// A setting of a group, set to its default value.
ComPtr<IpwSetting> AddSettingToGroup(IpwSettingsGroup* group, std::int32_t kind, const GUID& key,
                                     const GUID& typeKey, const GUID& ownerKey, WideStringView caption,
                                     WideStringView description, WideStringView category,
                                     const VARIANT& defaultValue);

ComPtr<IpwSetting> GetSetting(IcvBaseManager* host, const GUID& key);
inline ComPtr<IpwSetting> GetSettingIntf(IcvBaseManager* host, const GUID& key) { return GetSetting(host, key); }
// The setting's value; Unassigned when there is no such setting.
OleVariant GetSettingValue(IcvBaseManager* host, const GUID& key);
inline OleVariant GetSettingOleValue(IcvBaseManager* host, const GUID& key) { return GetSettingValue(host, key); }

// A new item container of the settings service holding the items of the source; nil without
// a settings service.
ComPtr<IpwSettingsItemContainer> EnumSettingsGroupItems(IcvBaseManager* host, IpwSettingsItem* source);

void AddSettingsListener(IcvBaseManager* host, IpwSettingsListener* listener);
void RemoveSettingsListener(IcvBaseManager* host, IpwSettingsListener* listener);
// A listener of one key: an IpwSettingValueValidator is asked about each change of the setting,
// an IpwSettingsListener told of it.
void AddSettingsKeyListener(IcvBaseManager* host, const GUID& key, IUnknown* listener);
void RemoveSettingsKeyListener(IcvBaseManager* host, const GUID& key, IUnknown* listener);

ComPtr<IpwOptionsService> GetOptionsService(IcvBaseManager* host);

// An options page under an options group: its path is the group's path, "|" and the page
// name (a name that starts with "|" brings its own). An existing page is kept. Raises when the
// group does not exist. The bitmap passes to the host in every case.
void RegisterOptionsPage(IcvBaseManager* host, const GUID& groupKey, const GUID& pageKey, WideStringView pageName,
                         std::int32_t flags, std::int32_t imageIndex, std::int32_t order, HBITMAP bitmap,
                         WideStringView caption);

// Inserts a row of column defaults at the index (appends at or past the end); the new row's
// index, -1 for a nil table.
std::int32_t InsertTableSettingRow(IpwTableSetting* table, std::int32_t index);
// Swaps two rows cell by cell and makes the second one current.
void ExchangeTableSettingRows(IpwTableSetting* table, std::int32_t a, std::int32_t b);

}  // namespace pw
