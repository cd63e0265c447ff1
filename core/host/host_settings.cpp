#include "core/host/host_settings.h"

#include "core/host/host_services.h"
#include "platform/automation/bstr.h"

namespace pw {

namespace {

// Frees a bitmap whose ownership passed to a registration that did not keep it.
void ReleaseBitmap(HBITMAP bitmap) {
  if (bitmap) DeleteObject(bitmap);
}

OleVariant ColumnDefault(std::int32_t kind) {
  switch (kind) {
    case 1: return OleVariant(false);
    case 2:
    case 3: return OleVariant(0);
    case 4: return OleVariant::Of(VT_CY, 0);
    case 5: return OleVariant(u"");
    default: return OleVariant();
  }
}

std::int32_t ColumnCount(IpwTableSetting* table) {
  auto schema = CastHostObject<IcvTableSettingSchema_DVS>(table);
  std::int32_t count = 0;
  SafeCallCheck(schema->GetColumnCount(&count));
  return count;
}

// Keeps a table in one update while rows move, ending it also when a step fails.
class TableUpdate {
 public:
  explicit TableUpdate(IpwTableSetting* table) : table_(table) { SafeCallCheck(table_->BeginUpdate()); }
  ~TableUpdate() noexcept(false) {
    VARIANT_BOOL changed = VARIANT_FALSE;
    HRESULT hr = table_->EndUpdate(&changed);
    if (std::uncaught_exceptions() == 0) SafeCallCheck(hr);
  }
  TableUpdate(const TableUpdate&) = delete;
  TableUpdate& operator=(const TableUpdate&) = delete;

 private:
  IpwTableSetting* table_;
};

}  // namespace

ComPtr<IpwSettingsManager> GetSettingsManager(IcvBaseManager* host) {
  return GetHostService<IpwSettingsManager>(host, kSettingsService);
}

ComPtr<IpwSettingsGroup> RegisterSettingsGroup(IcvBaseManager* host, const GUID& key, WideStringView caption,
                                               WideStringView description, std::int32_t imageIndex, HBITMAP bitmap,
                                               WideStringView category) {
  auto manager = GetSettingsManager(host);
  if (!manager) {
    ReleaseBitmap(bitmap);  // nobody takes it
    return nullptr;
  }
  auto groups = CastHostObject<IpwSettingsGroups>(manager.Get());
  ComPtr<IpwSettingsGroup> group;
  SafeCallCheck(groups->FindGroup(key, group.Put()));
  if (group) {
    ReleaseBitmap(bitmap);
    return group;
  }
  BString c(caption), d(description), cat(category);
  SafeCallCheck(groups->CreateGroup(key, c.Get(), d.Get(), imageIndex, bitmap, cat.Get()));
  SafeCallCheck(groups->FindGroup(key, group.Put()));
  return group;
}

ComPtr<IpwSetting> RegisterSetting(IpwSettingsItem* owner, std::int32_t kind, const GUID& key, const GUID& parentKey,
                                   WideStringView name, WideStringView description, const VARIANT& defaultValue,
                                   WideStringView category, bool visible) {
  if (!owner) return nullptr;
  BString n(name), d(description), c(category);
  ComPtr<IpwSetting> setting;
  owner->CreateSetting(kind, key, parentKey, n.Get(), d.Get(), c.Get(), 0, ToWordBool(visible), setting.Put());
  if (setting) SafeCallCheck(setting->put_Value(defaultValue));
  return setting;
}

ComPtr<IpwSetting> AddSettingToGroup(IpwSettingsGroup* group, std::int32_t kind, const GUID& key,
                                     const GUID& typeKey, const GUID& ownerKey, WideStringView caption,
                                     WideStringView description, WideStringView category,
                                     const VARIANT& defaultValue) {
  if (!group) return nullptr;
  BString c(caption), d(description), cat(category);
  ComPtr<IpwSetting> setting;
  group->AddSetting(kind, key, typeKey, ownerKey, c.Get(), d.Get(), cat.Get(), 0, VARIANT_TRUE, setting.Put());
  if (setting) SafeCallCheck(setting->put_Value(defaultValue));
  return setting;
}

ComPtr<IpwSetting> GetSetting(IcvBaseManager* host, const GUID& key) {
  auto manager = GetSettingsManager(host);
  if (!manager) return nullptr;
  ComPtr<IpwSetting> setting;
  SafeCallCheck(manager->GetSetting(key, setting.Put()));
  return setting;
}

OleVariant GetSettingValue(IcvBaseManager* host, const GUID& key) {
  OleVariant value;
  if (auto setting = GetSetting(host, key)) SafeCallCheck(setting->get_Value(value.Put()));
  return value;
}

ComPtr<IpwSettingsItemContainer> EnumSettingsGroupItems(IcvBaseManager* host, IpwSettingsItem* source) {
  auto manager = GetSettingsManager(host);
  auto notifier = QueryAs<IpwSettingsNotifier>(manager.Get());
  if (!notifier) return nullptr;
  ComPtr<IpwSettingsItemContainer> container;
  SafeCallCheck(notifier->CreateItemContainer(container.Put()));
  if (!container || !source) return container;
  ComPtr<IpwSettingsIterator> items;
  SafeCallCheck(source->GetItems(items.Put()));
  if (!items) return container;
  ForEachHostItem<IUnknown>(items.Get(), [&](IUnknown* item) { SafeCallCheck(container->Add(item)); });
  return container;
}

namespace {
ComPtr<IpwSettingsNotifier> NotifierOf(IcvBaseManager* host) {
  return CastHostObject<IpwSettingsNotifier>(GetSettingsManager(host).Get());
}
}  // namespace

void AddSettingsListener(IcvBaseManager* host, IpwSettingsListener* listener) {
  if (!host || !listener) return;
  if (auto n = NotifierOf(host)) SafeCallCheck(n->AddListener(listener));
}

void RemoveSettingsListener(IcvBaseManager* host, IpwSettingsListener* listener) {
  if (!host || !listener) return;
  if (auto n = NotifierOf(host)) SafeCallCheck(n->RemoveListener(listener));
}

void AddSettingsKeyListener(IcvBaseManager* host, const GUID& key, IUnknown* listener) {
  if (!host || !listener) return;
  if (auto n = NotifierOf(host)) SafeCallCheck(n->AddKeyListener(key, listener));
}

void RemoveSettingsKeyListener(IcvBaseManager* host, const GUID& key, IUnknown* listener) {
  if (!host || !listener) return;
  if (auto n = NotifierOf(host)) SafeCallCheck(n->RemoveKeyListener(key, listener));
}

ComPtr<IpwOptionsService> GetOptionsService(IcvBaseManager* host) {
  return GetHostService<IpwOptionsService>(host, kOptionsService);
}

void RegisterOptionsPage(IcvBaseManager* host, const GUID& groupKey, const GUID& pageKey, WideStringView pageName,
                         std::int32_t flags, std::int32_t imageIndex, std::int32_t order, HBITMAP bitmap,
                         WideStringView caption) {
  try {
    auto service = GetOptionsService(host);
    if (!service) {
      ReleaseBitmap(bitmap);
      return;
    }
    auto groups = CastHostObject<IpwSettingsGroups>(service.Get());
    ComPtr<IpwSettingsGroup> group;
    SafeCallCheck(groups->FindGroup(groupKey, group.Put()));
    if (!group)
      throw Exception(u"Unable to register the '" + WideString(pageName) + u"' options page: the options group " +
                      GuidToWideString(groupKey) + u" does not exist.");
    BString groupPath;
    SafeCallCheck(group->GetPath(groupPath.Put()));
    WideString path = groupPath.Str();
    if (pageName.empty() || pageName.front() != u'|') path += u"|";
    path += pageName;

    ComPtr<IpwSettingsGroup> page;
    SafeCallCheck(groups->FindGroup(pageKey, page.Put()));
    if (page) {
      ReleaseBitmap(bitmap);
      return;
    }
    auto pages = CastHostObject<IpwOptionsPages>(service.Get());
    BString p(path), c(caption);
    HBITMAP handed = bitmap;
    bitmap = 0;  // from here on the service owns it
    SafeCallCheck(pages->CreatePage(pageKey, p.Get(), flags, imageIndex, order, handed, c.Get()));
  } catch (...) {
    ReleaseBitmap(bitmap);
    throw;
  }
}

std::int32_t InsertTableSettingRow(IpwTableSetting* table, std::int32_t index) {
  if (!table) return -1;
  std::int32_t rows = 0;
  SafeCallCheck(table->GetRowCount(&rows));
  std::int32_t appended = 0;
  if (index >= rows) {
    SafeCallCheck(table->AppendRow(&appended));
    return appended;
  }
  std::int32_t at = index < 0 ? 0 : index;
  auto schema = CastHostObject<IcvTableSettingSchema_DVS>(table);
  std::int32_t columns = ColumnCount(table);
  TableUpdate update(table);
  SafeCallCheck(table->AppendRow(&appended));
  for (std::int32_t row = rows - 1; row >= at; --row)
    for (std::int32_t col = 0; col < columns; ++col) {
      OleVariant cell;
      SafeCallCheck(table->GetCell(col, row, cell.Put()));
      SafeCallCheck(table->SetCell(col, row + 1, cell.Get()));
    }
  for (std::int32_t col = 0; col < columns; ++col) {
    std::int32_t kind = 0;
    SafeCallCheck(schema->GetColumnKind(col, &kind));
    SafeCallCheck(table->SetCell(col, at, ColumnDefault(kind).Get()));
  }
  return at;
}

void ExchangeTableSettingRows(IpwTableSetting* table, std::int32_t a, std::int32_t b) {
  if (!table) return;
  std::int32_t columns = ColumnCount(table);
  auto state = CastHostObject<IcvSettingInternal>(table);
  SafeCallCheck(state->ToggleFlags(0x80));
  bool restored = false;
  try {
    TableUpdate update(table);
    for (std::int32_t col = 0; col < columns; ++col) {
      OleVariant va, vb;
      SafeCallCheck(table->GetCell(col, a, va.Put()));
      SafeCallCheck(table->GetCell(col, b, vb.Put()));
      SafeCallCheck(table->SetCell(col, b, va.Get()));
      SafeCallCheck(table->SetCell(col, a, vb.Get()));
    }
    SafeCallCheck(table->SetCurrentRow(b));
    restored = true;
    SafeCallCheck(state->ToggleFlags(0x80));
  } catch (...) {
    if (!restored) state->ToggleFlags(0x80);  // the flag word is left as it was found
    throw;
  }
}

}  // namespace pw
