#include "host/settings.h"

#include <algorithm>

#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

WideString JoinPath(const WideString& parent, WideStringView caption) {
  if (parent.empty()) return WideString(caption);
  return parent + u"|" + WideString(caption);
}

// Walks a snapshot of settings items.
class TItemIterator final : public Implements<ComObject, IpwSettingsIterator> {
 public:
  explicit TItemIterator(std::vector<ComPtr<IUnknown>> items) : items_(std::move(items)) {}
  HRESULT Reset() override {
    index_ = 0;
    return S_OK;
  }
  HRESULT HasNext(VARIANT_BOOL* result) override {
    return SafeCall([&] { SetOutValue<VARIANT_BOOL>(result, ToWordBool(index_ < items_.size())); });
  }
  HRESULT GetCount(std::int32_t* count) override {
    return SafeCall([&] { SetOutCount(count, items_); });
  }
  HRESULT Next(IUnknown** item) override {
    return SafeCall([&] {
      if (index_ >= items_.size()) throw EOleSysError(u"No more items", E_FAIL);
      SetOut(item, items_[index_++]);
    });
  }

 private:
  std::vector<ComPtr<IUnknown>> items_;
  std::size_t index_ = 0;
};

class TItemContainer final : public Implements<ComObject, IpwSettingsItemContainer> {
 public:
  HRESULT Add(IUnknown* item) override {
    return SafeCall([&] {
      if (!item) throw EOleSysError(u"No item", E_INVALIDARG);
      std::lock_guard guard(lock_);
      items_.emplace_back(item);
    });
  }
  HRESULT GetCount(std::int32_t* count) override {
    return SafeCall([&] {
      std::lock_guard guard(lock_);
      SetOutCount(count, items_);
    });
  }
  HRESULT GetItem(std::int32_t index, IUnknown** item) override {
    return SafeCall([&] {
      std::lock_guard guard(lock_);
      SetOutItem(item, items_, index);
    });
  }

 private:
  std::mutex lock_;
  std::vector<ComPtr<IUnknown>> items_;
};

// IpwSettingsGroups of the settings and options services: a group from CreateGroup's
// arguments; its path is its caption.
ComPtr<TSettingsGroup> NewGroup(TSettingsManager* owner, const GUID& key, BSTR caption, BSTR description,
                                std::int32_t imageIndex, std::int32_t bitmap, BSTR category) {
  WideString name(BstrView(caption));
  return MakeObject<TSettingsGroup>(owner, key, name, WideString(BstrView(description)), imageIndex, bitmap,
                                    WideString(BstrView(category)), name);
}

// A refused group or page: the bitmap was handed over either way, so it goes.
[[noreturn]] void Refuse(std::int32_t bitmap, const char16_t* message) {
  if (bitmap) DeleteObject(bitmap);
  throw EOleSysError(message, E_INVALIDARG);
}

OleVariant ColumnDefault(std::int32_t kind) {
  switch (kind) {
    case kSettingBoolean: return OleVariant(false);
    case kSettingInteger:
    case kSettingEnumeration: return OleVariant(0);
    case kSettingCurrency: return OleVariant::Of(VT_CY, 0);
    case kSettingText: return OleVariant(u"");
    default: return OleVariant();
  }
}

}  // namespace

// ---- TSettingsNode ------------------------------------------------------------------------

std::vector<ComPtr<TSetting>> TSettingsNode::Children() const { return children_; }

ComPtr<TSetting> TSettingsNode::NewChild(std::int32_t kind, const GUID& key, WideString caption,
                                         WideString description, WideString category, bool visible) {
  if (!owner_) throw EOleSysError(u"The settings service is gone", E_UNEXPECTED);
  return owner_->MakeSetting(*this, kind, key, std::move(caption), std::move(description), std::move(category),
                             visible);
}

HRESULT TSettingsNode::ItemsOf(IpwSettingsIterator** items) {
  std::vector<ComPtr<IUnknown>> list;
  for (const auto& c : children_) list.emplace_back(static_cast<IpwSetting*>(c.Get()));
  try {
    SetOut(items, MakeObject<TItemIterator>(std::move(list)));
  } catch (...) {
    return E_POINTER;
  }
  return S_OK;
}

// ---- TSettingsItem ------------------------------------------------------------------------

template <class... Intfs>
HRESULT TSettingsItem<Intfs...>::GetKey(GUID* key) {
  return this->SafeCall([&] { SetOutValue(key, key_); });
}

template <class... Intfs>
HRESULT TSettingsItem<Intfs...>::GetPath(BSTR* path) {
  return this->SafeCall([&] { SetOut(path, path_); });
}

template <class... Intfs>
HRESULT TSettingsItem<Intfs...>::GetItems(IpwSettingsIterator** items) {
  return ItemsOf(items);
}

template <class... Intfs>
HRESULT TSettingsItem<Intfs...>::CreateSetting(std::int32_t kind, const GUID& key, const GUID& parentKey, BSTR name,
                                               BSTR description, BSTR category, std::int32_t, VARIANT_BOOL visible,
                                               IpwSetting** setting) {
  return this->SafeCall([&] {
    auto s = NewChild(kind, key, WideString(BstrView(name)), WideString(BstrView(description)),
                      WideString(BstrView(category)), visible != 0);
    s->SetTypeKeys(GUID_NULL, parentKey);
    SetOut(setting, ComPtr<IpwSetting>(s.Get()));
  });
}

template class TSettingsItem<IpwSettingsGroup, IpwSettingsGroupFactory>;
template class TSettingsItem<IcvTableSetting_DVS, IcvTableSettingSchema_DVS, IcvSettingInternal>;

// ---- TSettingsGroup -----------------------------------------------------------------------

TSettingsGroup::TSettingsGroup(TSettingsManager* owner, const GUID& key, WideString caption, WideString description,
                               std::int32_t imageIndex, HBITMAP bitmap, WideString category, WideString path)
    : TSettingsItem(owner, key, std::move(path)),
      caption_(std::move(caption)),
      description_(std::move(description)),
      category_(std::move(category)),
      imageIndex_(imageIndex),
      bitmap_(bitmap) {}

TSettingsGroup::~TSettingsGroup() {
  if (bitmap_) DeleteObject(bitmap_);
}

HRESULT TSettingsGroup::GetCaption(BSTR* caption) {
  return SafeCall([&] { SetOut(caption, caption_); });
}
HRESULT TSettingsGroup::GetDescription(BSTR* description) {
  return SafeCall([&] { SetOut(description, description_); });
}

HRESULT TSettingsGroup::AddSetting(std::int32_t kind, const GUID& key, const GUID& typeKey, const GUID& ownerKey,
                                   BSTR caption, BSTR description, BSTR category, std::int32_t, VARIANT_BOOL visible,
                                   IpwSetting** setting) {
  return SafeCall([&] {
    auto s = NewChild(kind, key, WideString(BstrView(caption)), WideString(BstrView(description)),
                      WideString(BstrView(category)), visible != 0);
    s->SetTypeKeys(typeKey, ownerKey);
    SetOut(setting, ComPtr<IpwSetting>(s.Get()));
  });
}

HRESULT TSettingsGroup::CreateSetting(std::int32_t kind, const GUID& typeKey, const GUID& key, const GUID& ownerKey,
                                      BSTR caption, BSTR description, BSTR category, std::int32_t reserved,
                                      std::int32_t visible, IpwSetting** setting) {
  return AddSetting(kind, key, typeKey, ownerKey, caption, description, category, reserved, ToWordBool(visible != 0),
                    setting);
}

// ---- TSetting -----------------------------------------------------------------------------

TSetting::TSetting(TSettingsManager* owner, std::int32_t kind, const GUID& key, WideString caption,
                   WideString description, WideString category, bool visible, WideString path)
    : TSettingsItem(owner, key, std::move(path)),
      kind_(kind),
      caption_(std::move(caption)),
      description_(std::move(description)),
      category_(std::move(category)),
      visible_(visible) {}

void* TSetting::GetInterface(const IID& riid) noexcept {
  // Only table settings answer the table interfaces.
  if (kind_ != kSettingTable && (riid == IpwTableSetting::iid || riid == IcvTableSetting_DVS::iid || riid == IcvTableSettingSchema_DVS::iid)) return nullptr;
  return TSettingsItem::GetInterface(riid);
}

OleVariant TSetting::CurrentValue() const {
  std::lock_guard guard(lock_);
  // A table's value is the first cell of its current row.
  if (kind_ == kSettingTable) {
    if (currentRow_ < 0 || static_cast<std::size_t>(currentRow_) >= rows_.size() || columns_.empty()) return {};
    return rows_[static_cast<std::size_t>(currentRow_)][0];
  }
  return value_;
}

std::vector<std::vector<OleVariant>> TSetting::Rows() const {
  std::lock_guard guard(lock_);
  return rows_;
}

std::vector<TSetting::Column> TSetting::Columns() const {
  std::lock_guard guard(lock_);
  return columns_;
}

void TSetting::CheckTable() const {
  if (kind_ != kSettingTable) throw EOleSysError(u"The setting is not a table", E_NOINTERFACE);
}

void TSetting::CheckCell(std::int32_t column, std::int32_t row) const {
  CheckTable();
  CheckIndex(column, columns_.size());
  CheckIndex(row, rows_.size());
}

void TSetting::Changed(std::int32_t flags) {
  bool notify = false;
  {
    std::lock_guard guard(lock_);
    changeFlags_ |= flags;
    if (updateCount_ == 0) {
      notify = (flags_ & kSettingQuietFlag) == 0;
      toldFlags_ = changeFlags_;
      changeFlags_ = 0;
    }
  }
  if (notify && owner_) owner_->NotifyChanged(*this);
}

HRESULT TSetting::BeginUpdate() {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    if (updateCount_++ == 0) changeFlags_ = 0;
  });
}

HRESULT TSetting::EndUpdate(VARIANT_BOOL* changed) {
  return SafeCall([&] {
    bool notify = false, wasChanged = false;
    {
      std::lock_guard guard(lock_);
      if (updateCount_ == 0) throw EOleSysError(u"EndUpdate without BeginUpdate", E_UNEXPECTED);
      wasChanged = changeFlags_ != 0;
      if (--updateCount_ == 0) {
        notify = wasChanged && (flags_ & kSettingQuietFlag) == 0;
        toldFlags_ = changeFlags_;
        changeFlags_ = 0;
      }
    }
    if (changed) *changed = ToWordBool(wasChanged);
    if (notify && owner_) owner_->NotifyChanged(*this);
  });
}

HRESULT TSetting::GetKind(std::int32_t* kind) {
  return SafeCall([&] { SetOutValue(kind, kind_); });
}
HRESULT TSetting::GetCaption(BSTR* caption) {
  return SafeCall([&] { SetOut(caption, caption_); });
}

HRESULT TSetting::GetDescription(BSTR* description) {
  return SafeCall([&] { SetOut(description, description_); });
}

HRESULT TSetting::get_Value(VARIANT* value) {
  return SafeCall([&] { SetOut(value, CurrentValue()); });
}

HRESULT TSetting::put_Value(const VARIANT& value) {
  return SafeCall([&] {
    OleVariant v(VariantDeref(value));
    {
      std::lock_guard guard(lock_);
      if (limits_ && kind_ == kSettingInteger) {
        const std::int32_t n = v.AsInt();
        if (n < limits_->first || n > limits_->second)
          throw EOleSysError(u"The value is outside the setting's limits", E_INVALIDARG);
      }
      value_ = v;
    }
    if (owner_) owner_->Record(key_, u"Value", v);
    Changed(kChangedValue);
  });
}

HRESULT TSetting::AppendRow(std::int32_t* row) {
  return SafeCall([&] {
    std::int32_t index;
    {
      std::lock_guard guard(lock_);
      CheckTable();
      rows_.emplace_back(columns_.size());
      index = static_cast<std::int32_t>(rows_.size() - 1);
    }
    SetOutValue(row, index);
    if (owner_) owner_->Record(key_, u"AppendRow", OleVariant(index));
    Changed(kChangedRows);
  });
}

HRESULT TSetting::DeleteRow(std::int32_t row) {
  return SafeCall([&] {
    {
      std::lock_guard guard(lock_);
      CheckTable();
      CheckIndex(row, rows_.size());
      rows_.erase(rows_.begin() + row);
      if (currentRow_ >= static_cast<std::int32_t>(rows_.size()))
        currentRow_ = static_cast<std::int32_t>(rows_.size()) - 1;
    }
    if (owner_) owner_->Record(key_, u"DeleteRow", OleVariant(row));
    Changed(kChangedRows);
  });
}

HRESULT TSetting::SetRowCount(std::int32_t count) {
  return SafeCall([&] {
    {
      std::lock_guard guard(lock_);
      CheckTable();
      if (count < 0) throw EOleSysError(u"A row count below 0", E_INVALIDARG);
      const std::size_t n = static_cast<std::size_t>(count);
      if (n == rows_.size()) return;
      while (rows_.size() > n) rows_.pop_back();
      while (rows_.size() < n) rows_.emplace_back(columns_.size());
      if (currentRow_ >= count) currentRow_ = count - 1;
    }
    if (owner_) owner_->Record(key_, u"SetRowCount", OleVariant(count));
    Changed(kChangedRows);
  });
}

HRESULT TSetting::GetRowCount(std::int32_t* count) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckTable();
    SetOutCount(count, rows_);
  });
}

HRESULT TSetting::GetCell(std::int32_t column, std::int32_t row, VARIANT* value) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckCell(column, row);
    SetOut(value, rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
  });
}

HRESULT TSetting::SetCell(std::int32_t column, std::int32_t row, const VARIANT& value) {
  return SafeCall([&] {
    OleVariant v(VariantDeref(value));
    {
      std::lock_guard guard(lock_);
      CheckCell(column, row);
      rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = v;
    }
    if (owner_) owner_->Record(key_, u"Cell", v);
    Changed(kChangedCell);
  });
}

HRESULT TSetting::GetCurrentRow(std::int32_t* row) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckTable();
    SetOutValue(row, currentRow_);
  });
}

HRESULT TSetting::SetCurrentRow(std::int32_t row) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckTable();
    if (row != -1) CheckIndex(row, rows_.size());
    currentRow_ = row;
  });
}

HRESULT TSetting::GetCurrentColumn(std::int32_t* column) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckTable();
    SetOutValue(column, currentColumn_);
  });
}

HRESULT TSetting::SetCurrentColumn(std::int32_t column) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckTable();
    if (column != -1) CheckIndex(column, columns_.size());
    currentColumn_ = column;
  });
}

HRESULT TSetting::AddColumn(std::int32_t kind, BSTR name, VARIANT_BOOL visible, VARIANT_BOOL readOnly) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckTable();
    columns_.push_back({kind, WideString(BstrView(name)), visible != 0, readOnly != 0});
    for (auto& r : rows_) r.push_back(ColumnDefault(kind));
  });
}

HRESULT TSetting::GetColumnCount(std::int32_t* count) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutCount(count, columns_);
  });
}

HRESULT TSetting::GetColumnKind(std::int32_t column, std::int32_t* kind) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckIndex(column, columns_.size());
    SetOutValue(kind, columns_[static_cast<std::size_t>(column)].kind);
  });
}

HRESULT TSetting::GetFlags(std::int32_t* flags) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue(flags, flags_);
  });
}
HRESULT TSetting::SetFlags(std::int32_t flags) {
  std::lock_guard guard(lock_);
  flags_ = flags;
  return S_OK;
}
HRESULT TSetting::ToggleFlags(std::int32_t flags) {
  std::lock_guard guard(lock_);
  flags_ ^= flags;
  return S_OK;
}

HRESULT TSetting::GetChangeFlags(std::int32_t* flags) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue(flags, toldFlags_);
  });
}

HRESULT TSetting::SetLimits(std::int32_t minimum, std::int32_t maximum) {
  return SafeCall([&] {
    if (minimum > maximum) throw EOleSysError(u"The lower limit is above the upper", E_INVALIDARG);
    std::lock_guard guard(lock_);
    limits_.emplace(minimum, maximum);
  });
}

HRESULT TSetting::CheckStoredVersion(std::int32_t* major, std::int32_t* minor, VARIANT_BOOL* current) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    const auto version = storedVersion_.value_or(kStoringVersion);
    SetOutValue(major, version.first);
    SetOutValue(minor, version.second);
    SetOutBool(current, !storedVersion_ || *storedVersion_ == kStoringVersion);
  });
}

void TSetting::SetStoredVersion(std::optional<std::pair<std::int32_t, std::int32_t>> version) {
  std::lock_guard guard(lock_);
  storedVersion_ = version;
}

// ---- TSettingsGroupList -------------------------------------------------------------------

bool TSettingsGroupList::InsertIfAbsent(const GUID& key, Kind kind,
                                        const std::function<ComPtr<TSettingsGroup>()>& make) {
  std::lock_guard guard(lock_);
  for (const auto& e : entries_)
    if (e.second->Key() == key) return false;
  entries_.emplace_back(kind, make());
  return true;
}

ComPtr<TSettingsGroup> TSettingsGroupList::Find(const GUID& key) const {
  std::lock_guard guard(lock_);
  for (const auto& e : entries_)
    if (e.second->Key() == key) return e.second;
  return nullptr;
}

std::vector<ComPtr<TSettingsGroup>> TSettingsGroupList::Entries(Kind kind) const {
  std::lock_guard guard(lock_);
  std::vector<ComPtr<TSettingsGroup>> result;
  for (const auto& e : entries_)
    if (e.first == kind) result.push_back(e.second);
  return result;
}

std::int32_t TSettingsGroupList::Count(Kind kind) const {
  std::lock_guard guard(lock_);
  return static_cast<std::int32_t>(
      std::count_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == kind; }));
}

ComPtr<TSettingsGroup> TSettingsGroupList::At(Kind kind, long index) const {
  auto list = Entries(kind);
  CheckIndex(index, list.size());
  return list[static_cast<std::size_t>(index)];
}

std::vector<ComPtr<TSettingsGroup>> TSettingsGroupList::TakeAll() {
  std::vector<std::pair<Kind, ComPtr<TSettingsGroup>>> taken;
  {
    std::lock_guard guard(lock_);
    taken.swap(entries_);
  }
  std::vector<ComPtr<TSettingsGroup>> result;
  for (auto& e : taken) result.push_back(std::move(e.second));
  return result;
}

// ---- TSettingsManager ---------------------------------------------------------------------

namespace {
constexpr GUID kHostGroupKey = MakeGuid("{5C596A8D-4A66-4E19-8658-C096056F3809}");
}

TSettingsManager::TSettingsManager() {
  hostGroup_ = MakeObject<TSettingsGroup>(this, kHostGroupKey, u"Probewright", u"", -1, 0, u"", u"Probewright");
  groups_.InsertIfAbsent(kHostGroupKey, TSettingsGroupList::kGroup, [&] { return hostGroup_; });
}

TSettingsManager::~TSettingsManager() { Shutdown(); }

void TSettingsManager::Shutdown() {
  std::vector<ComPtr<TSettingsGroup>> groups = groups_.TakeAll();
  std::map<GUID, ComPtr<TSetting>> settings;
  std::vector<ComPtr<IpwSettingsListener>> listeners;
  std::vector<std::pair<GUID, ComPtr<IUnknown>>> keyListeners;
  {
    std::lock_guard guard(lock_);
    settings.swap(settings_);
    listeners.swap(listeners_);
    keyListeners.swap(keyListeners_);
    hostGroup_ = nullptr;
  }
  // Settings that someone still holds answer without their service from now on.
  for (auto& g : groups) g->owner_ = nullptr, g->children_.clear();
  for (auto& [key, s] : settings) s->owner_ = nullptr, s->children_.clear();
}

ComPtr<TSetting> TSettingsManager::MakeSetting(TSettingsNode& parent, std::int32_t kind, const GUID& key,
                                               WideString caption, WideString description, WideString category,
                                               bool visible) {
  std::lock_guard guard(lock_);
  auto found = settings_.find(key);
  if (found != settings_.end()) return found->second;
  WideString path = JoinPath(parent.Path(), caption);
  auto s = MakeObject<TSetting>(this, kind, key, std::move(caption), std::move(description), std::move(category),
                                visible, std::move(path));
  settings_.emplace(key, s);
  parent.children_.push_back(s);
  return s;
}

ComPtr<TSetting> TSettingsManager::DefineSetting(const GUID& key, std::int32_t kind, WideStringView caption,
                                                 const OleVariant& value) {
  ComPtr<TSettingsGroup> group;
  {
    std::lock_guard guard(lock_);
    group = hostGroup_;
  }
  if (!group) throw Exception(u"The settings service is shut down");
  auto s = MakeSetting(*group, kind, key, WideString(caption), u"", u"", true);
  {
    std::lock_guard guard(s->lock_);
    s->value_ = value;
  }
  return s;
}

ComPtr<TSetting> TSettingsManager::FindSetting(const GUID& key) const {
  std::lock_guard guard(lock_);
  auto found = settings_.find(key);
  return found == settings_.end() ? nullptr : found->second;
}

ComPtr<TSettingsGroup> TSettingsManager::FindGroupByKey(const GUID& key) const { return groups_.Find(key); }

std::vector<ComPtr<TSettingsGroup>> TSettingsManager::Groups() const {
  return groups_.Entries(TSettingsGroupList::kGroup);
}

std::vector<SettingWrite> TSettingsManager::Writes() const {
  std::lock_guard guard(lock_);
  return writes_;
}

std::size_t TSettingsManager::ListenerCount() const {
  std::lock_guard guard(lock_);
  return listeners_.size() + keyListeners_.size();
}

void TSettingsManager::Record(const GUID& key, const char16_t* what, const OleVariant& value) {
  std::lock_guard guard(lock_);
  writes_.push_back({key, what, value});
}

void TSettingsManager::NotifyChanged(TSetting& setting) {
  std::vector<ComPtr<IpwSettingsListener>> targets;
  std::vector<ComPtr<IpwSettingValueValidator>> validators;
  {
    std::lock_guard guard(lock_);
    targets = listeners_;
    for (const auto& [key, l] : keyListeners_) {
      if (key != setting.Key()) continue;
      if (auto validator = QueryAs<IpwSettingValueValidator>(l.Get())) validators.push_back(std::move(validator));
      else if (auto listener = QueryAs<IpwSettingsListener>(l.Get())) targets.push_back(std::move(listener));
    }
  }
  // Validators and listeners are called outside the lock: they may read or write settings.
  auto* s = static_cast<IpwSetting*>(&setting);
  if (!validators.empty()) {
    const OleVariant value = setting.CurrentValue();
    for (const auto& v : validators) (void)v->ValidateSetting(s, value.Get());
  }
  for (const auto& l : targets) l->SettingChanged(s);
}

HRESULT TSettingsManager::GetSetting(const GUID& key, IpwSetting** setting) {
  return SafeCall([&] {
    auto s = FindSetting(key);
    SetOut(setting, ComPtr<IpwSetting>(s.Get()));
  });
}

HRESULT TSettingsManager::CreateGroup(const GUID& key, BSTR caption, BSTR description, std::int32_t imageIndex,
                                      std::int32_t bitmap, BSTR category) {
  return SafeCall([&] {
    if (!groups_.InsertIfAbsent(key, TSettingsGroupList::kGroup, [&] {
          return NewGroup(this, key, caption, description, imageIndex, bitmap, category);
        }))
      Refuse(bitmap, u"A settings group with this key already exists");
  });
}

HRESULT TSettingsManager::GetCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, groups_.Count(TSettingsGroupList::kGroup)); });
}

HRESULT TSettingsManager::GetGroup(std::int32_t index, IpwSettingsGroup** group) {
  return SafeCall([&] { SetOut(group, groups_.At(TSettingsGroupList::kGroup, index)); });
}

HRESULT TSettingsManager::FindGroup(const GUID& key, IpwSettingsGroup** group) {
  return SafeCall([&] { SetOut(group, FindGroupByKey(key)); });
}

HRESULT TSettingsManager::AddListener(IpwSettingsListener* listener) {
  return SafeCall([&] {
    if (!listener) throw EOleSysError(u"No listener", E_INVALIDARG);
    std::lock_guard guard(lock_);
    listeners_.emplace_back(listener);
  });
}

HRESULT TSettingsManager::RemoveListener(IpwSettingsListener* listener) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    auto at = std::find_if(listeners_.begin(), listeners_.end(), [&](const auto& l) { return l.Get() == listener; });
    if (at != listeners_.end()) listeners_.erase(at);
  });
}

HRESULT TSettingsManager::CreateItemContainer(IpwSettingsItemContainer** container) {
  return SafeCall([&] { SetOut(container, MakeObject<TItemContainer>()); });
}

HRESULT TSettingsManager::AddKeyListener(const GUID& key, IUnknown* listener) {
  return SafeCall([&] {
    if (!listener) throw EOleSysError(u"No listener", E_INVALIDARG);
    std::lock_guard guard(lock_);
    keyListeners_.emplace_back(key, listener);
  });
}

HRESULT TSettingsManager::RemoveKeyListener(const GUID& key, IUnknown* listener) {
  return SafeCall([&] {
    // By identity: the listener may be handed over as another of its interfaces than at the add.
    IUnknown* const identity = IdentityOf(listener);
    std::lock_guard guard(lock_);
    auto at = std::find_if(keyListeners_.begin(), keyListeners_.end(),
                           [&](const auto& e) { return e.first == key && IdentityOf(e.second.Get()) == identity; });
    if (at != keyListeners_.end()) keyListeners_.erase(at);
  });
}

// ---- TOptionsService ----------------------------------------------------------------------

ComPtr<TSettingsGroup> TOptionsService::DefineGroup(const GUID& key, WideStringView caption) {
  TSettingsManager* settings;
  {
    std::lock_guard guard(lock_);
    settings = settings_;
  }
  entries_.InsertIfAbsent(key, TSettingsGroupList::kGroup, [&] {
    return MakeObject<TSettingsGroup>(settings, key, WideString(caption), u"", -1, 0, u"", WideString(caption));
  });
  return entries_.Find(key);
}

ComPtr<TSettingsGroup> TOptionsService::FindEntry(const GUID& key) const { return entries_.Find(key); }

std::vector<ComPtr<TSettingsGroup>> TOptionsService::Pages() const {
  return entries_.Entries(TSettingsGroupList::kPage);
}

void TOptionsService::Shutdown() {
  for (const auto& g : entries_.TakeAll()) g->owner_ = nullptr;
  std::lock_guard guard(lock_);
  settings_ = nullptr;
}

HRESULT TOptionsService::GetPageCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, entries_.Count(TSettingsGroupList::kPage)); });
}

HRESULT TOptionsService::CreateGroup(const GUID& key, BSTR caption, BSTR description, std::int32_t imageIndex,
                                     std::int32_t bitmap, BSTR category) {
  return SafeCall([&] {
    TSettingsManager* settings;
    {
      std::lock_guard guard(lock_);
      settings = settings_;
    }
    if (!entries_.InsertIfAbsent(key, TSettingsGroupList::kGroup, [&] {
          return NewGroup(settings, key, caption, description, imageIndex, bitmap, category);
        }))
      Refuse(bitmap, u"An options group with this key already exists");
  });
}

HRESULT TOptionsService::GetCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, entries_.Count(TSettingsGroupList::kGroup)); });
}

HRESULT TOptionsService::GetGroup(std::int32_t index, IpwSettingsGroup** group) {
  return SafeCall([&] { SetOut(group, entries_.At(TSettingsGroupList::kGroup, index)); });
}

HRESULT TOptionsService::FindGroup(const GUID& key, IpwSettingsGroup** group) {
  return SafeCall([&] { SetOut(group, FindEntry(key)); });
}

HRESULT TOptionsService::CreatePage(const GUID& key, BSTR path, std::int32_t flags, std::int32_t imageIndex,
                                    std::int32_t order, std::int32_t bitmap, BSTR caption) {
  return SafeCall([&] {
    WideString p(BstrView(path));
    TSettingsManager* settings;
    {
      std::lock_guard guard(lock_);
      settings = settings_;
    }
    if (!entries_.InsertIfAbsent(key, TSettingsGroupList::kPage, [&] {
          if (WideTrim(p).empty()) Refuse(bitmap, u"An options page needs a path");
          auto page = MakeObject<TSettingsGroup>(settings, key, WideString(BstrView(caption)), u"", imageIndex, bitmap,
                                                 u"", std::move(p));
          page->SetPageValues(flags, order);
          return page;
        }))
      Refuse(bitmap, u"An options page with this key already exists");
  });
}

}  // namespace pw::host
