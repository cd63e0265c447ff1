// The host's settings: the settings service (settings by key, groups, change listeners) and the
// options-page service (option groups and pages). Values live in memory; every write is kept
// in a journal that tests read back.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/ui/gdi.h"

namespace pw::host {

// Value kinds of settings and table columns.
enum SettingKind : std::int32_t {
  kSettingBoolean = 1,
  kSettingInteger = 2,
  kSettingEnumeration = 3,
  kSettingCurrency = 4,
  kSettingText = 5,
  kSettingTable = 6,
  kSettingVariant = 10,
};

// The version pair that this host stores settings with (IcvSettingInternal's stored version).
inline constexpr std::pair<std::int32_t, std::int32_t> kStoringVersion{9, 0};

// Held in IcvSettingInternal: while set, the setting keeps its changes from listeners.
inline constexpr std::int32_t kSettingQuietFlag = 0x80;

class TSettingsManager;
class TSetting;

// What settings groups, options pages and settings have in common: a key, a path and the
// settings inside them.
class TSettingsNode {
 public:
  virtual ~TSettingsNode() = default;
  const GUID& Key() const { return key_; }
  const WideString& Path() const { return path_; }
  std::vector<ComPtr<TSetting>> Children() const;

 protected:
  TSettingsNode(TSettingsManager* owner, const GUID& key, WideString path)
      : owner_(owner), key_(key), path_(std::move(path)) {}
  ComPtr<TSetting> NewChild(std::int32_t kind, const GUID& key, WideString caption, WideString description,
                            WideString category, bool visible);
  HRESULT ItemsOf(IpwSettingsIterator** items);

  friend class TSettingsManager;
  friend class TOptionsService;
  TSettingsManager* owner_;  // cleared when the service goes
  GUID key_;
  WideString path_;
  std::vector<ComPtr<TSetting>> children_;
};

// The settings item (IpwSettingsItem) of a group, page or setting: its key and path, the
// settings inside it and new settings under it. Each of Intfs extends IpwSettingsItem.
template <class... Intfs>
class TSettingsItem : public Implements<ComObject, Intfs...>, public TSettingsNode {
 public:
  // IpwSettingsItem
  HRESULT GetKey(GUID* key) override;
  HRESULT GetPath(BSTR* path) override;
  HRESULT GetItems(IpwSettingsIterator** items) override;
  HRESULT CreateSetting(std::int32_t kind, const GUID& key, const GUID& parentKey, BSTR name, BSTR description,
                        BSTR category, std::int32_t reserved, VARIANT_BOOL visible, IpwSetting** setting) override;

 protected:
  TSettingsItem(TSettingsManager* owner, const GUID& key, WideString path)
      : TSettingsNode(owner, key, std::move(path)) {}
};

class TSettingsGroup final : public TSettingsItem<IpwSettingsGroup, IpwSettingsGroupFactory> {
 public:
  TSettingsGroup(TSettingsManager* owner, const GUID& key, WideString caption, WideString description,
                 std::int32_t imageIndex, HBITMAP bitmap, WideString category, WideString path);
  ~TSettingsGroup() override;

  const WideString& Caption() const { return caption_; }
  const WideString& Description() const { return description_; }
  const WideString& Category() const { return category_; }
  std::int32_t ImageIndex() const { return imageIndex_; }
  HBITMAP Bitmap() const { return bitmap_; }
  // Options pages: the three values passed at creation.
  std::int32_t Flags() const { return flags_; }
  std::int32_t Order() const { return order_; }
  void SetPageValues(std::int32_t flags, std::int32_t order) { flags_ = flags, order_ = order; }

  // IpwSettingsGroup
  HRESULT GetCaption(BSTR* caption) override;
  HRESULT GetDescription(BSTR* description) override;
  HRESULT AddSetting(std::int32_t kind, const GUID& key, const GUID& typeKey, const GUID& ownerKey, BSTR caption,
                     BSTR description, BSTR category, std::int32_t reserved, VARIANT_BOOL visible,
                     IpwSetting** setting) override;
  // IpwSettingsGroupFactory: the same as AddSetting, with the type key before the key.
  using TSettingsItem::CreateSetting;
  HRESULT CreateSetting(std::int32_t kind, const GUID& typeKey, const GUID& key, const GUID& ownerKey, BSTR caption,
                        BSTR description, BSTR category, std::int32_t reserved, std::int32_t visible,
                        IpwSetting** setting) override;

 private:
  WideString caption_, description_, category_;
  std::int32_t imageIndex_;
  HBITMAP bitmap_;  // owned
  std::int32_t flags_ = 0, order_ = 0;
};

class TSetting : public TSettingsItem<IcvTableSetting_DVS, IcvTableSettingSchema_DVS, IcvSettingInternal> {
 public:
  TSetting(TSettingsManager* owner, std::int32_t kind, const GUID& key, WideString caption, WideString description,
           WideString category, bool visible, WideString path);

  std::int32_t Kind() const { return kind_; }
  const WideString& Caption() const { return caption_; }
  const WideString& Description() const { return description_; }
  const WideString& Category() const { return category_; }
  bool Visible() const { return visible_; }
  OleVariant CurrentValue() const;
  // Table settings: the cells in rows, and the columns.
  std::vector<std::vector<OleVariant>> Rows() const;
  struct Column {
    std::int32_t kind;
    WideString name;
    bool visible, readOnly;
  };
  std::vector<Column> Columns() const;
  void SetTypeKeys(const GUID& typeKey, const GUID& ownerKey) { typeKey_ = typeKey, ownerKey_ = ownerKey; }
  const GUID& TypeKey() const { return typeKey_; }
  const GUID& OwnerKey() const { return ownerKey_; }

  // IpwSetting
  HRESULT BeginUpdate() override;
  HRESULT EndUpdate(VARIANT_BOOL* changed) override;
  HRESULT GetCaption(BSTR* caption) override;
  HRESULT GetKind(std::int32_t* kind) override;
  // Slot 14 of IpwSetting (the slot 14 reserved below is IcvSettingInternal's).
  HRESULT GetDescription(BSTR* description) override;
  PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) PW_HOST_RESERVED(15)
  PW_HOST_RESERVED(16) PW_HOST_RESERVED(17) PW_HOST_RESERVED(18) PW_HOST_RESERVED(19) PW_HOST_RESERVED(20)
  HRESULT get_Value(VARIANT* value) override;
  HRESULT put_Value(const VARIANT& value) override;
  // IpwTableSetting
  PW_HOST_RESERVED(23) PW_HOST_RESERVED(24) PW_HOST_RESERVED(26) HRESULT AppendRow(std::int32_t* row) override;
  HRESULT DeleteRow(std::int32_t row) override;
  HRESULT SetRowCount(std::int32_t count) override;
  HRESULT GetRowCount(std::int32_t* count) override;
  HRESULT GetCell(std::int32_t column, std::int32_t row, VARIANT* value) override;
  HRESULT SetCell(std::int32_t column, std::int32_t row, const VARIANT& value) override;
  HRESULT GetCurrentRow(std::int32_t* row) override;
  HRESULT SetCurrentRow(std::int32_t row) override;
  HRESULT GetCurrentColumn(std::int32_t* column) override;
  HRESULT SetCurrentColumn(std::int32_t column) override;
  // IcvTableSettingSchema_DVS
  HRESULT AddColumn(std::int32_t kind, BSTR name, VARIANT_BOOL visible, VARIANT_BOOL readOnly) override;
  HRESULT GetColumnCount(std::int32_t* count) override;
  HRESULT GetColumnKind(std::int32_t column, std::int32_t* kind) override;
  // IcvSettingInternal
  PW_HOST_RESERVED(3)
  PW_HOST_RESERVED(9)
  PW_HOST_RESERVED(10) HRESULT
      CheckStoredVersion(std::int32_t* major, std::int32_t* minor, VARIANT_BOOL* current) override;
  HRESULT GetFlags(std::int32_t* flags) override;
  HRESULT SetFlags(std::int32_t flags) override;
  HRESULT ToggleFlags(std::int32_t flags) override;
  HRESULT GetChangeFlags(std::int32_t* flags) override;
  HRESULT SetLimits(std::int32_t minimum, std::int32_t maximum) override;

  // The host version that stored the value (a project stored by another version); none: the
  // value was never stored, which counts as this version's.
  void SetStoredVersion(std::optional<std::pair<std::int32_t, std::int32_t>> version);
  // The change flags of IcvSettingInternal.
  static constexpr std::int32_t kChangedValue = 1, kChangedCell = 2, kChangedRows = 4;

 protected:
  void* GetInterface(const IID& riid) noexcept override;

 private:
  friend class TSettingsManager;
  void CheckTable() const;
  void CheckCell(std::int32_t column, std::int32_t row) const;
  // Records a change: told to the listeners now, or at the end of the update.
  void Changed(std::int32_t flags);

  mutable std::mutex lock_;
  std::int32_t kind_;
  WideString caption_, description_, category_;
  bool visible_;
  GUID typeKey_{}, ownerKey_{};
  OleVariant value_;
  std::vector<Column> columns_;
  std::vector<std::vector<OleVariant>> rows_;
  std::int32_t currentRow_ = -1;
  std::int32_t currentColumn_ = -1;
  std::int32_t changeFlags_ = 0;  // of the change being gathered (an update; none: unchanged)
  std::int32_t toldFlags_ = 0;    // of the change last told to listeners
  std::optional<std::pair<std::int32_t, std::int32_t>> storedVersion_, limits_;
  std::int32_t updateCount_ = 0;
  std::int32_t flags_ = 0;
};

// The groups of a settings service (and the options service's pages), in the order they were
// made, with unique keys across both kinds: the check for a key and the insert happen under
// one lock, so two creates with one key never both succeed.
class TSettingsGroupList {
 public:
  enum Kind { kGroup, kPage };

  // Adds what `make` builds unless an entry of either kind has the key; false then, and nothing
  // is built. `make` runs under the list's lock and must not call back into the list.
  bool InsertIfAbsent(const GUID& key, Kind kind, const std::function<ComPtr<TSettingsGroup>()>& make);
  ComPtr<TSettingsGroup> Find(const GUID& key) const;
  std::vector<ComPtr<TSettingsGroup>> Entries(Kind kind) const;
  std::int32_t Count(Kind kind) const;
  // The entry of a kind at an index; an index out of range is a bad argument.
  ComPtr<TSettingsGroup> At(Kind kind, long index) const;
  // Empties the list and answers what it held.
  std::vector<ComPtr<TSettingsGroup>> TakeAll();

 private:
  mutable std::mutex lock_;
  std::vector<std::pair<Kind, ComPtr<TSettingsGroup>>> entries_;
};

// One write that reached a setting, in the order they came.
struct SettingWrite {
  GUID key;
  WideString what;  // "Value", "Cell", "AppendRow", "DeleteRow"
  OleVariant value;
};

// The settings service (IpwSettingsManager, IpwSettingsGroups, IpwSettingsNotifier).
class TSettingsManager final
    : public Implements<ComObject, IpwSettingsManager, IpwSettingsGroups, IpwSettingsNotifier> {
 public:
  TSettingsManager();
  ~TSettingsManager() override;

  // The host's own settings: a setting with a value, in the host's group "Probewright".
  ComPtr<TSetting> DefineSetting(const GUID& key, std::int32_t kind, WideStringView caption, const OleVariant& value);
  ComPtr<TSetting> FindSetting(const GUID& key) const;
  ComPtr<TSettingsGroup> FindGroupByKey(const GUID& key) const;
  std::vector<ComPtr<TSettingsGroup>> Groups() const;
  std::vector<SettingWrite> Writes() const;
  std::size_t ListenerCount() const;
  // Drops every group, setting and listener (the host's shutdown; breaks reference cycles).
  void Shutdown();

  // IpwSettingsManager (and the slots shared with IpwSettingsNotifier)
  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12)
  PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) PW_HOST_RESERVED(15) PW_HOST_RESERVED(16)
  HRESULT GetSetting(const GUID& key, IpwSetting** setting) override;
  // IpwSettingsGroups
  HRESULT CreateGroup(const GUID& key, BSTR caption, BSTR description, std::int32_t imageIndex, std::int32_t bitmap,
                      BSTR category) override;
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetGroup(std::int32_t index, IpwSettingsGroup** group) override;
  HRESULT FindGroup(const GUID& key, IpwSettingsGroup** group) override;
  // IpwSettingsNotifier
  HRESULT AddListener(IpwSettingsListener* listener) override;
  HRESULT RemoveListener(IpwSettingsListener* listener) override;
  HRESULT CreateItemContainer(IpwSettingsItemContainer** container) override;
  HRESULT AddKeyListener(const GUID& key, IUnknown* listener) override;
  HRESULT RemoveKeyListener(const GUID& key, IUnknown* listener) override;

 private:
  friend class TSettingsNode;
  friend class TSetting;
  // A setting under a parent; an existing setting with the key is answered as it is.
  ComPtr<TSetting> MakeSetting(TSettingsNode& parent, std::int32_t kind, const GUID& key, WideString caption,
                               WideString description, WideString category, bool visible);
  void Record(const GUID& key, const char16_t* what, const OleVariant& value);
  // Asks the validators of the setting's key about the change (its value now), then tells the
  // listeners: every plain listener, then those of the key. A validator's failure leaves the
  // change as it is (it is made already) and the others are asked all the same.
  void NotifyChanged(TSetting& setting);

  mutable std::mutex lock_;
  TSettingsGroupList groups_;
  std::map<GUID, ComPtr<TSetting>> settings_;
  std::vector<ComPtr<IpwSettingsListener>> listeners_;
  std::vector<std::pair<GUID, ComPtr<IUnknown>>> keyListeners_;
  std::vector<SettingWrite> writes_;
  ComPtr<TSettingsGroup> hostGroup_;
};

// The options-page service (IpwOptionsService, IpwSettingsGroups, IpwOptionsPages): the host's
// option groups and the pages that plug-ins add to them.
class TOptionsService final
    : public Implements<ComObject, IpwOptionsService, IpwSettingsGroups, IpwOptionsPages> {
 public:
  explicit TOptionsService(TSettingsManager* settings) : settings_(settings) {}

  // A group of the host's options tree (its path is its caption); the group that has the key
  // already, when there is one.
  ComPtr<TSettingsGroup> DefineGroup(const GUID& key, WideStringView caption);
  ComPtr<TSettingsGroup> FindEntry(const GUID& key) const;
  std::vector<ComPtr<TSettingsGroup>> Pages() const;
  void Shutdown();
  // The host's project service is reached through this service's lookup key: its interface is
  // handed out from the object given here.
  void SetProjectService(IUnknown* service) { projectService_ = service; }

  // IpwOptionsService
  HRESULT GetPageCount(std::int32_t* count) override;
  // IpwSettingsGroups
  HRESULT CreateGroup(const GUID& key, BSTR caption, BSTR description, std::int32_t imageIndex, std::int32_t bitmap,
                      BSTR category) override;
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetGroup(std::int32_t index, IpwSettingsGroup** group) override;
  HRESULT FindGroup(const GUID& key, IpwSettingsGroup** group) override;
  // IpwOptionsPages
  HRESULT CreatePage(const GUID& key, BSTR path, std::int32_t flags, std::int32_t imageIndex, std::int32_t order,
                     std::int32_t bitmap, BSTR caption) override;

 protected:
  HRESULT QueryMissingInterface(const IID& riid, void** ppv) noexcept override {
    return projectService_ ? projectService_->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }

 private:
  ComPtr<IUnknown> projectService_;
  mutable std::mutex lock_;
  TSettingsManager* settings_;  // owned by the host, outlives this service
  TSettingsGroupList entries_;  // groups and pages: one key space
};

}  // namespace pw::host
