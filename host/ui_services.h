// The host's user-interface services as a test host keeps them: file and folder dialogs that
// answer from scripted answers, the file-watch service, and the action and menu services, which
// keep what plug-ins register.
#pragma once

#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "host/com_support.h"
#include "host/host_config.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

// One scripted answer of a dialog: accepted or cancelled, with the names it gives back.
struct DialogAnswer {
  bool accept = true;
  WideString value;  // file names, file name or folder
};

struct DialogRecord {
  enum Kind { OpenFile, SaveFile, SelectFolder, ReadOnlyFile };
  Kind kind;
  WideString title;      // the title, caption or file name shown
  WideString initial;    // the names the dialog started with
  std::int32_t options;  // the option bits (0 for folders and read-only files)
  bool accepted;
  WideString filter;  // file dialogs: the filter
};

// The pattern wizard's scripted answer: what the user entered, and whether the wizard was
// finished (ok) or cancelled.
struct PatternWizardAnswer {
  bool ok = true;
  bool isRegExp = false;
  WideString pattern, templ, description;
};

// One run of the patterns' test dialog: the identifier the user typed and what the dialog
// showed: the matching row of the table ("no match": -1), "not used" or the stable ID.
struct PatternTestRecord {
  WideString id;
  std::int32_t row = -1;
  bool notUsed = false;
  WideString stableId;
  WideString shown;  // the dialog's result line
};

// The New Item dialog's scripted answer: accepted with a name typed (empty: the name the
// creation parameters propose) or cancelled.
struct NewItemAnswer {
  bool accept = true;
  WideString name;
};

// One run of the New Item dialog: the type asked for, the name typed (empty: the proposed one),
// whether a node came out of it and that node's file.
struct NewItemRecord {
  GUID typeKey;
  WideString name;
  bool accepted = true;
  bool made = false;
  WideString file;  // the made node's file (its attribute 0), when it has one
};

// The key of the dynamic identifier table that the test dialog reads.
inline constexpr GUID kDynamicIdTableKey = MakeGuid("{DB42CEAB-BFC4-40DB-9F48-9197D35FB5E2}");

class TDialogService final : public Implements<ComObject, IpwDialogService> {
 public:
  explicit TDialogService(std::shared_ptr<HostConfig> config) : config_(std::move(config)) {}

  // Answers for the next file and folder dialogs, in order; and for read-only files.
  void QueueAnswer(DialogAnswer answer);
  void QueueReadOnlyAnswer(std::int32_t answer);
  std::vector<DialogRecord> Dialogs() const;
  // The pattern wizard (70): answers in order; without one the wizard is cancelled.
  void QueuePatternWizard(PatternWizardAnswer answer);
  // The test dialog (71): the identifiers typed, in order; without one the dialog is closed
  // without a test. It matches against the table's enabled pattern rows in their order (the
  // rows come from the source given here: the host's table setting).
  void QueuePatternTest(WideString id);
  void SetPatternTableSource(std::function<std::vector<std::vector<OleVariant>>()> source);
  std::vector<PatternTestRecord> PatternTests() const;
  std::size_t PatternWizardRuns() const;
  // The New Item dialog (17): answers in order. Without one the dialog is accepted as it comes
  // up (the creation parameters' own values), with or without dialogs: it stands for the user
  // of the host's project explorer, whose commands name the item.
  void QueueNewItem(NewItemAnswer answer);
  std::vector<NewItemRecord> NewItems() const;
  // The manager whose node-type registry the New Item dialog asks (not held: it owns this).
  void SetNodeManager(IcvBaseManager* manager);

  PW_HOST_RESERVED(3)
  PW_HOST_RESERVED(4)
  PW_HOST_RESERVED(5)
  PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10)
      PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13) PW_HOST_RESERVED(18) PW_HOST_RESERVED(19)
          PW_HOST_RESERVED(20) PW_HOST_RESERVED(21) PW_HOST_RESERVED(22) PW_HOST_RESERVED(23) PW_HOST_RESERVED(24)
              PW_HOST_RESERVED(25) PW_HOST_RESERVED(26) PW_HOST_RESERVED(27) PW_HOST_RESERVED(28) PW_HOST_RESERVED(29)
                  PW_HOST_RESERVED(31) PW_HOST_RESERVED(32) PW_HOST_RESERVED(33) PW_HOST_RESERVED(34)
                      PW_HOST_RESERVED(35) PW_HOST_RESERVED(36) PW_HOST_RESERVED(37) PW_HOST_RESERVED(38)
                          PW_HOST_RESERVED(39) PW_HOST_RESERVED(40) PW_HOST_RESERVED(41) PW_HOST_RESERVED(42)
                              PW_HOST_RESERVED(43) PW_HOST_RESERVED(44) PW_HOST_RESERVED(45) PW_HOST_RESERVED(46)
                                  PW_HOST_RESERVED(47) PW_HOST_RESERVED(48) PW_HOST_RESERVED(49) PW_HOST_RESERVED(50)
                                      PW_HOST_RESERVED(51) PW_HOST_RESERVED(52) PW_HOST_RESERVED(53)
                                          PW_HOST_RESERVED(54) PW_HOST_RESERVED(55) PW_HOST_RESERVED(56)
                                              PW_HOST_RESERVED(57) PW_HOST_RESERVED(58) PW_HOST_RESERVED(59)
                                                  PW_HOST_RESERVED(60) PW_HOST_RESERVED(61) PW_HOST_RESERVED(62)
                                                      PW_HOST_RESERVED(63) PW_HOST_RESERVED(64) PW_HOST_RESERVED(65)
                                                          PW_HOST_RESERVED(66) PW_HOST_RESERVED(67) PW_HOST_RESERVED(68)
                                                              PW_HOST_RESERVED(69) HRESULT
      RunPatternWizard(VARIANT_BOOL* isRegExp, BSTR* pattern, BSTR* templ, BSTR* description, std::int32_t reserved,
                       VARIANT_BOOL* ok) override;
  HRESULT ShowPatternTest(std::int32_t reserved, std::int32_t* result) override;
  HRESULT OpenFileDialog(GUID* context, BSTR title, BSTR* fileNames, BSTR filter, std::int32_t* filterIndex,
                         std::int32_t options, VARIANT_BOOL* result) override;
  HRESULT SaveFileDialog(GUID* context, BSTR title, BSTR* fileName, BSTR filter, std::int32_t* filterIndex,
                         BSTR defaultExt, std::int32_t options, VARIANT_BOOL* result) override;
  HRESULT SelectFolderDialog(GUID* context, BSTR caption, BSTR* folder, VARIANT_BOOL* result) override;
  HRESULT ResolveReadOnlyFile(BSTR fileName, std::int32_t* answer) override;
  HRESULT NewItem(IpwProjectNode* parent, const GUID& typeKey, IpwProjectNode** node, VARIANT_BOOL* result) override;

 private:
  // Shows one dialog: takes the next answer and, when accepted, writes its value to *value.
  bool Show(DialogRecord::Kind kind, BSTR title, BSTR* value, std::int32_t options, BSTR filter = nullptr);

  std::shared_ptr<HostConfig> config_;
  mutable std::mutex lock_;
  std::deque<DialogAnswer> answers_;
  std::deque<std::int32_t> readOnlyAnswers_;
  std::vector<DialogRecord> dialogs_;
  std::deque<PatternWizardAnswer> wizardAnswers_;
  std::deque<NewItemAnswer> newItemAnswers_;
  std::vector<NewItemRecord> newItems_;
  IcvBaseManager* nodeManager_ = nullptr;
  std::size_t wizardRuns_ = 0;
  std::deque<WideString> testIds_;
  std::vector<PatternTestRecord> patternTests_;
  std::function<std::vector<std::vector<OleVariant>>()> tableSource_;
};

// Watches the files of its clients: CheckFiles compares each file with the state it had when
// it was registered or last checked and notifies the client (IpwFileWatchClient's flags
// again). Clients are checked in the order they registered; a client is found by an index, so
// registering and unregistering cost the same however many files are watched.
class TFileWatchService final : public Implements<ComObject, IpwFileWatchService> {
 public:
  std::size_t ClientCount() const;
  // Checks every client's file; the number of notifications sent.
  std::size_t CheckFiles();
  void Clear();

  HRESULT Register(IpwFileWatchClient* client) override;
  HRESULT Unregister(IpwFileWatchClient* client) override;
  HRESULT Refresh(IpwFileWatchClient* client) override;
  HRESULT CheckNow(IpwFileWatchClient* client) override;

 private:
  struct FileState {
    bool exists = false;
    std::int64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
    std::uint64_t inode = 0;
    std::uint32_t mode = 0;
    friend bool operator==(const FileState&, const FileState&) = default;
  };
  struct Entry {
    ComPtr<IpwFileWatchClient> client;
    WideString fileName;
    FileState state;
  };
  static FileState StateOf(const WideString& fileName);
  static std::int32_t FlagsFor(const FileState& before, const FileState& now);
  // Compares and notifies (outside the lock); true when it notified.
  bool Check(IpwFileWatchClient* client);
  // The client's entry (under the lock); raises when it is not watched.
  Entry& EntryOf(IpwFileWatchClient* client);

  mutable std::mutex lock_;
  std::list<Entry> entries_;
  std::unordered_map<IpwFileWatchClient*, std::list<Entry>::iterator> index_;
};

class TAction final : public Implements<ComObject, IpwAction> {
 public:
  TAction(std::int32_t kind, const GUID& key, WideString category, bool flag, const GUID& group);
  std::int32_t Kind() const { return kind_; }
  const WideString& Category() const { return category_; }
  bool Flag() const { return flag_; }
  const GUID& Group() const { return group_; }
  OleVariant Property(std::int32_t index) const;

  HRESULT GetKey(GUID* key) override;
  HRESULT GetProperty(std::int32_t index, VARIANT* value) override;
  HRESULT SetProperty(std::int32_t index, const VARIANT& value) override;

 private:
  std::int32_t kind_;
  GUID key_;
  WideString category_;
  bool flag_;
  GUID group_;
  mutable std::mutex lock_;
  std::map<std::int32_t, OleVariant> properties_;
};

// Answers its own interface also for {41338AB1-...} (the project view's action registry).
// Handlers are kept per (action, context) pair in the order of their first registration (a
// second registration of a pair replaces its handler in place); registering, unregistering and
// finding one costs the same however many nodes have registered theirs.
class TActionService final : public Implements<ComObject, IpwActionService> {
 public:
  struct Registration {
    GUID actionKey, contextKey;
    ComPtr<IpwProjectActionHandler> handler;
  };
  ComPtr<TAction> Find(const GUID& key) const;
  // The actions added under a context, in the order they came.
  std::vector<ComPtr<TAction>> ActionsOf(const GUID& contextKey) const;
  // In the order of their first registration.
  std::vector<Registration> Registrations() const;
  // Runs an action for a context through its registered handler, as the user's click does: the
  // handler's code (0 executed, 2 not executed); E_INVALIDARG (as a code) without a handler.
  std::int32_t Execute(const GUID& actionKey, const GUID& contextKey, const OleVariant& param = {});
  void Clear();

  HRESULT CreateAction(std::int32_t kind, const GUID& key, BSTR category, VARIANT_BOOL flag, const GUID& group,
                       IpwAction** action) override;
  HRESULT AddAction(const GUID& contextKey, IpwAction* action) override;
  PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8) PW_HOST_RESERVED(9)
  PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13)
  HRESULT RegisterHandler(const GUID& actionKey, const GUID& contextKey, IpwProjectActionHandler* handler) override;
  HRESULT UnregisterHandler(const GUID& actionKey, const GUID& contextKey) override;
  PW_HOST_RESERVED(16) PW_HOST_RESERVED(17) PW_HOST_RESERVED(18) PW_HOST_RESERVED(19) PW_HOST_RESERVED(20)
  HRESULT FindAction(const GUID& key, IpwAction** action) override;

 protected:
  void* GetInterface(const IID& riid) noexcept override;

 private:
  struct PairHash {
    std::size_t operator()(const std::pair<GUID, GUID>& p) const noexcept {
      return (GuidHash()(p.first) * 31) ^ GuidHash()(p.second);
    }
  };
  mutable std::mutex lock_;
  std::vector<ComPtr<TAction>> actions_;
  std::vector<std::pair<GUID, ComPtr<TAction>>> added_;
  std::list<Registration> registrations_;
  std::unordered_map<std::pair<GUID, GUID>, std::list<Registration>::iterator, PairHash> registrationIndex_;
};

class TMenu final : public Implements<ComObject, IpwMenu, IpwMenuItems> {
 public:
  struct Item {
    OleVariant item;  // an action (VT_UNKNOWN) or a key (text)
    std::int32_t kind, value, state = 0;
  };
  TMenu(const GUID& parentKey, const GUID& key, bool submenu) : parentKey_(parentKey), key_(key), submenu_(submenu) {}
  const GUID& ParentKey() const { return parentKey_; }
  bool IsSubmenu() const { return submenu_; }
  std::vector<Item> Items() const;
  std::int32_t UpdateDepth() const;

  HRESULT GetKey(GUID* key) override;
  HRESULT BeginUpdate() override;
  HRESULT EndUpdate() override;
  HRESULT Clear() override;
  HRESULT AddItem(const VARIANT& item, std::int32_t kind, std::int32_t value) override;
  HRESULT SetItemState(const GUID& key, std::int32_t state) override;
  HRESULT GetItemCount(std::int32_t* count) override;
  HRESULT SetCaption(BSTR caption) override;
  HRESULT GetCaption(BSTR* caption) override;
  PW_HOST_RESERVED(12)
  HRESULT GetItems(IpwMenuItems** items) override;
  // IpwMenuItems
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT HasItems(VARIANT_BOOL* result) override;

 private:
  WideString caption_;
  GUID parentKey_, key_;
  bool submenu_;
  mutable std::mutex lock_;
  std::vector<Item> items_;
  std::int32_t updating_ = 0;
};

class TMenuService final : public Implements<ComObject, IpwMenuService> {
 public:
  explicit TMenuService(ComPtr<TActionService> actions) : actions_(std::move(actions)) {}
  ComPtr<TMenu> Find(const GUID& key, bool submenu) const;
  void Clear();

  HRESULT FindMenu(const GUID& key, IpwMenu** menu) override;
  HRESULT CreateMenu(const GUID& parentKey, const GUID& key, IpwMenu** menu) override;
  HRESULT FindSubmenu(const GUID& key, IpwMenu** menu) override;
  HRESULT CreateSubmenu(const GUID& parentKey, const GUID& key, IpwMenu** menu) override;
  HRESULT FindAction(const GUID& key, IpwAction** action) override;

 private:
  HRESULT Create(const GUID& parentKey, const GUID& key, bool submenu, IpwMenu** menu);

  ComPtr<TActionService> actions_;
  mutable std::mutex lock_;
  std::vector<ComPtr<TMenu>> menus_;
};

}  // namespace pw::host
