#include "host/ui_services.h"

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "host/dynamic_id_matcher.h"
#include "platform/com/safecall.h"
#include "project/container/item_helpers.h"
#include "project/nodes/project_helpers.h"
#include "project/storage/node_file_helpers.h"

#include "platform/automation/out_params.h"
#include "platform/rtl/strings.h"

namespace pw::host {

// ---- TDialogService -----------------------------------------------------------------------

void TDialogService::QueueAnswer(DialogAnswer answer) {
  std::lock_guard guard(lock_);
  answers_.push_back(std::move(answer));
}

void TDialogService::QueueReadOnlyAnswer(std::int32_t answer) {
  std::lock_guard guard(lock_);
  readOnlyAnswers_.push_back(answer);
}

std::vector<DialogRecord> TDialogService::Dialogs() const {
  std::lock_guard guard(lock_);
  return dialogs_;
}

bool TDialogService::Show(DialogRecord::Kind kind, BSTR title, BSTR* value, std::int32_t options, BSTR filter) {
  CheckOut(value);
  WideString t(BstrView(title));
  if (!config_->Interactive()) throw EOleSysError(u"The host runs without dialogs: " + t, E_FAIL);
  std::lock_guard guard(lock_);
  if (answers_.empty()) throw EOleSysError(u"The test host has no answer for the dialog: " + t, E_FAIL);
  DialogAnswer a = answers_.front();
  answers_.pop_front();
  dialogs_.push_back({kind, t, WideString(BstrView(*value)), options, a.accept, WideString(BstrView(filter))});
  if (a.accept && !SysReAllocString(value, a.value)) throw EOutOfMemory();
  return a.accept;
}

HRESULT TDialogService::OpenFileDialog(GUID*, BSTR title, BSTR* fileNames, BSTR filter, std::int32_t*,
                                       std::int32_t options, VARIANT_BOOL* result) {
  return SafeCall([&] {
    SetOutValue<VARIANT_BOOL>(result, ToWordBool(Show(DialogRecord::OpenFile, title, fileNames, options, filter)));
  });
}

HRESULT TDialogService::SaveFileDialog(GUID*, BSTR title, BSTR* fileName, BSTR filter, std::int32_t*, BSTR,
                                       std::int32_t options, VARIANT_BOOL* result) {
  return SafeCall([&] {
    SetOutValue<VARIANT_BOOL>(result, ToWordBool(Show(DialogRecord::SaveFile, title, fileName, options, filter)));
  });
}

HRESULT TDialogService::SelectFolderDialog(GUID*, BSTR caption, BSTR* folder, VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutValue<VARIANT_BOOL>(result, ToWordBool(Show(DialogRecord::SelectFolder, caption, folder, 0))); });
}

void TDialogService::QueuePatternWizard(PatternWizardAnswer answer) {
  std::lock_guard guard(lock_);
  wizardAnswers_.push_back(std::move(answer));
}

void TDialogService::QueuePatternTest(WideString id) {
  std::lock_guard guard(lock_);
  testIds_.push_back(std::move(id));
}

void TDialogService::SetPatternTableSource(std::function<std::vector<std::vector<OleVariant>>()> source) {
  std::lock_guard guard(lock_);
  tableSource_ = std::move(source);
}

std::vector<PatternTestRecord> TDialogService::PatternTests() const {
  std::lock_guard guard(lock_);
  return patternTests_;
}

std::size_t TDialogService::PatternWizardRuns() const {
  std::lock_guard guard(lock_);
  return wizardRuns_;
}

HRESULT TDialogService::RunPatternWizard(VARIANT_BOOL* isRegExp, BSTR* pattern, BSTR* templ, BSTR* description,
                                         std::int32_t, VARIANT_BOOL* ok) {
  return SafeCall([&] {
    PatternWizardAnswer a;
    a.ok = false;
    {
      std::lock_guard guard(lock_);
      ++wizardRuns_;
      if (!wizardAnswers_.empty()) {
        a = std::move(wizardAnswers_.front());
        wizardAnswers_.pop_front();
      }
    }
    SetOutBool(isRegExp, a.ok && a.isRegExp);
    SetOut(pattern, a.ok ? a.pattern : WideString());
    SetOut(templ, a.ok ? a.templ : WideString());
    SetOut(description, a.ok ? a.description : WideString());
    SetOutBool(ok, a.ok);
  });
}

namespace {

// A cell of the pattern table as text; anything that is no text reads as empty.
WideString CellText(const std::vector<OleVariant>& row, std::size_t column) {
  if (column >= row.size() || row[column].Get().vt != VT_BSTR) return {};
  return row[column].AsString();
}

bool CellTrue(const std::vector<OleVariant>& row, std::size_t column) {
  return column < row.size() && row[column].Get().vt == VT_BOOL && row[column].Get().boolVal != 0;
}

}  // namespace

HRESULT TDialogService::ShowPatternTest(std::int32_t, std::int32_t* result) {
  return SafeCall([&] {
    std::optional<WideString> id;
    std::function<std::vector<std::vector<OleVariant>>()> source;
    {
      std::lock_guard guard(lock_);
      source = tableSource_;
      if (!testIds_.empty()) {
        id = std::move(testIds_.front());
        testIds_.pop_front();
      }
    }
    SetOutValue(result, id ? 1 : 0);
    if (!id) return;
    // The enabled pattern rows, one line each (the table's columns: 2 group row, 3 enabled,
    // 5 type, 6 pattern, 7 template); a line break or tab inside a cell would split a line or
    // its fields, so it becomes "_" as in the hook's text.
    std::vector<std::vector<OleVariant>> rows = source ? source() : std::vector<std::vector<OleVariant>>{};
    WideString text;
    std::vector<std::int32_t> lineRows;
    auto clean = [](WideString v) {
      for (auto& c : v)
        if (c == u'\r' || c == u'\n' || c == u'\t') c = u'_';
      return v;
    };
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (CellTrue(rows[r], 2) || !CellTrue(rows[r], 3)) continue;
      if (!lineRows.empty()) text += u'\n';
      text += CellText(rows[r], 5) == u"RegExp" ? u"regexp:" : u"normal:";
      text += clean(CellText(rows[r], 6)) + u'\t' + clean(CellText(rows[r], 7));
      lineRows.push_back(static_cast<std::int32_t>(r));
    }
    PatternTestRecord record;
    record.id = *id;
    if (!lineRows.empty()) {
      TDynamicIdMatcher matcher(text);
      const DynamicIdMatch m = matcher.Match(*id);
      if (m.kind != DynamicIdMatch::NoMatch) {
        record.row = lineRows[static_cast<std::size_t>(m.line)];
        record.notUsed = m.kind == DynamicIdMatch::NotUsed;
        record.stableId = m.stableId;
      }
    }
    record.shown = record.row < 0   ? WideString(u"no match")
                   : record.notUsed ? WideString(u"not used")
                                    : record.stableId;
    config_->Print(u"Pattern test: " + record.id + u" -> " + record.shown);
    std::lock_guard guard(lock_);
    patternTests_.push_back(std::move(record));
  });
}

void TDialogService::QueueNewItem(NewItemAnswer answer) {
  std::lock_guard guard(lock_);
  newItemAnswers_.push_back(std::move(answer));
}

std::vector<NewItemRecord> TDialogService::NewItems() const {
  std::lock_guard guard(lock_);
  return newItems_;
}

void TDialogService::SetNodeManager(IcvBaseManager* manager) {
  std::lock_guard guard(lock_);
  nodeManager_ = manager;
}

HRESULT TDialogService::NewItem(IpwProjectNode* parent, const GUID& typeKey, IpwProjectNode** node,
                                VARIANT_BOOL* result) {
  if (node) *node = nullptr;
  return SafeCall([&] {
    NewItemAnswer answer;
    IcvBaseManager* manager = nullptr;
    std::size_t record = 0;
    {
      std::lock_guard guard(lock_);
      if (!newItemAnswers_.empty()) {
        answer = std::move(newItemAnswers_.front());
        newItemAnswers_.pop_front();
      }
      manager = nodeManager_;
      record = newItems_.size();
      newItems_.push_back({typeKey, answer.name, answer.accept, false, {}});
    }
    SetOutValue<VARIANT_BOOL>(result, VARIANT_FALSE);
    if (!answer.accept || !manager) return;
    ComPtr<IpwProjectItemTypeProvider> factory;
    ComPtr<IpwProjectNodeInfo> info;
    if (!project::FindNodeType(manager, typeKey, factory, info)) return;
    // The dialog's page: the type's creation parameters, the name typed into the name field, the
    // check the dialog's OK button runs (its messages go through the messenger).
    ComPtr<IpwProjectNodeConfigInfo> config;
    SafeCallCheck(info->CreateConfigInfo(parent, config.Put()));
    if (config) {
      if (!answer.name.empty()) {
        const std::int32_t nameParam = project::FindNameParam(config.Get());
        if (nameParam >= 0) SafeCallCheck(config->SetValue(nameParam, OleVariant(answer.name).Get()));
      }
      std::int32_t bad = -1;
      VARIANT_BOOL ok = VARIANT_FALSE;
      SafeCallCheck(config->Validate(&bad, &ok));
      if (!ok) return;
    }
    GUID key{};
    SafeCallCheck(CreateGuid(key));
    ComPtr<IpwProjectNode> made;
    SafeCallCheck(factory->CreateItem(typeKey, key, config.Get(), manager, parent, made.Put()));
    if (!made) return;
    OleVariant file;
    if (Failed(made->GetAttribute(0, file.Put())) || file.Type() != VT_BSTR) file = OleVariant();
    {
      std::lock_guard guard(lock_);
      newItems_[record].made = true;
      if (!file.IsEmpty()) newItems_[record].file = file.AsString();
    }
    SetOutValue<VARIANT_BOOL>(result, VARIANT_TRUE);
    if (node) *node = made.Detach();
  });
}

HRESULT TDialogService::ResolveReadOnlyFile(BSTR fileName, std::int32_t* answer) {
  return SafeCall([&] {
    WideString name(BstrView(fileName));
    std::int32_t a = 0;  // without an answer the user is asked for another name
    {
      std::lock_guard guard(lock_);
      if (!readOnlyAnswers_.empty()) {
        a = readOnlyAnswers_.front();
        readOnlyAnswers_.pop_front();
      }
      dialogs_.push_back({DialogRecord::ReadOnlyFile, name, name, 0, a != 2, {}});
    }
    SetOutValue(answer, a);
  });
}

// ---- TFileWatchService --------------------------------------------------------------------

TFileWatchService::FileState TFileWatchService::StateOf(const WideString& fileName) {
  FileState s;
  struct stat st {};
  if (fileName.empty() || ::stat(WideToUtf8(fileName).c_str(), &st) != 0) return s;
  s.exists = true;
  s.size = st.st_size;
  s.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.inode = static_cast<std::uint64_t>(st.st_ino);
  s.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
  return s;
}

std::int32_t TFileWatchService::FlagsFor(const FileState& before, const FileState& now) {
  if (before == now) return 0;
  if (before.exists && !now.exists) return 1;
  if (!before.exists && now.exists) return 2 | 4;
  if (before.inode != now.inode) return 1 | 2;  // gone and back between two checks
  std::int32_t flags = 0;
  if (before.size != now.size || before.modified != now.modified) flags |= 2;
  if (before.mode != now.mode) flags |= 8;
  return flags;
}

std::size_t TFileWatchService::ClientCount() const {
  std::lock_guard guard(lock_);
  return entries_.size();
}

TFileWatchService::Entry& TFileWatchService::EntryOf(IpwFileWatchClient* client) {
  auto at = index_.find(client);
  if (at == index_.end()) throw EOleSysError(u"The file is not watched", E_INVALIDARG);
  return *at->second;
}

bool TFileWatchService::Check(IpwFileWatchClient* client) {
  std::int32_t flags = 0;
  {
    std::lock_guard guard(lock_);
    Entry& entry = EntryOf(client);
    FileState now = StateOf(entry.fileName);
    flags = FlagsFor(entry.state, now);
    entry.state = now;
  }
  if (flags) client->Notify(flags);
  return flags != 0;
}

std::size_t TFileWatchService::CheckFiles() {
  std::vector<ComPtr<IpwFileWatchClient>> clients;
  {
    std::lock_guard guard(lock_);
    for (const auto& e : entries_) clients.push_back(e.client);
  }
  std::size_t n = 0;
  for (const auto& c : clients) {
    try {
      if (Check(c.Get())) ++n;
    } catch (const EOleSysError&) {
      // unregistered while the others were checked
    }
  }
  return n;
}

void TFileWatchService::Clear() {
  std::list<Entry> old;
  std::lock_guard guard(lock_);
  old.swap(entries_);
  index_.clear();
}

HRESULT TFileWatchService::Register(IpwFileWatchClient* client) {
  return SafeCall([&] {
    if (!client) throw EOleSysError(u"No client", E_INVALIDARG);
    BString name;
    OleCheck(client->GetFileName(name.Put()));
    Entry e{client, name.Str(), StateOf(name.Str())};
    std::lock_guard guard(lock_);
    // A client registered again watches its (possibly new) file from its present state.
    if (auto at = index_.find(client); at != index_.end()) {
      std::swap(*at->second, e);
      return;
    }
    entries_.push_back(std::move(e));
    try {
      index_.emplace(client, std::prev(entries_.end()));
    } catch (...) {
      entries_.pop_back();
      throw;
    }
  });
}

HRESULT TFileWatchService::Unregister(IpwFileWatchClient* client) {
  return SafeCall([&] {
    std::list<Entry> gone;  // released outside the lock
    std::lock_guard guard(lock_);
    auto at = index_.find(client);
    if (at == index_.end()) return;
    gone.splice(gone.end(), entries_, at->second);
    index_.erase(at);
  });
}

HRESULT TFileWatchService::Refresh(IpwFileWatchClient* client) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    Entry& entry = EntryOf(client);
    entry.state = StateOf(entry.fileName);
  });
}

HRESULT TFileWatchService::CheckNow(IpwFileWatchClient* client) {
  return SafeCall([&] { Check(client); });
}

// ---- Actions ------------------------------------------------------------------------------

TAction::TAction(std::int32_t kind, const GUID& key, WideString category, bool flag, const GUID& group)
    : kind_(kind), key_(key), category_(std::move(category)), flag_(flag), group_(group) {}

OleVariant TAction::Property(std::int32_t index) const {
  std::lock_guard guard(lock_);
  auto at = properties_.find(index);
  return at == properties_.end() ? OleVariant() : at->second;
}

HRESULT TAction::GetKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, key_); });
}
HRESULT TAction::GetProperty(std::int32_t index, VARIANT* value) {
  return SafeCall([&] { SetOut(value, Property(index)); });
}
HRESULT TAction::SetProperty(std::int32_t index, const VARIANT& value) {
  return SafeCall([&] {
    OleVariant v(VariantDeref(value));
    std::lock_guard guard(lock_);
    properties_[index] = std::move(v);
  });
}

ComPtr<TAction> TActionService::Find(const GUID& key) const {
  std::lock_guard guard(lock_);
  for (const auto& a : actions_) {
    GUID k{};
    a->GetKey(&k);
    if (k == key) return a;
  }
  return nullptr;
}

std::vector<ComPtr<TAction>> TActionService::ActionsOf(const GUID& contextKey) const {
  std::lock_guard guard(lock_);
  std::vector<ComPtr<TAction>> r;
  for (const auto& [ctx, a] : added_)
    if (ctx == contextKey) r.push_back(a);
  return r;
}

std::vector<TActionService::Registration> TActionService::Registrations() const {
  std::lock_guard guard(lock_);
  return {registrations_.begin(), registrations_.end()};
}

std::int32_t TActionService::Execute(const GUID& actionKey, const GUID& contextKey, const OleVariant& param) {
  ComPtr<IpwProjectActionHandler> handler;
  {
    std::lock_guard guard(lock_);
    auto at = registrationIndex_.find({actionKey, contextKey});
    if (at != registrationIndex_.end()) handler = at->second->handler;
  }
  if (!handler) return E_INVALIDARG;
  OleVariant result;
  return handler->ExecuteAction(actionKey, param.Get(), result.Put());
}

void* TActionService::GetInterface(const IID& riid) noexcept {
  static constexpr IID kActionRegistry = MakeGuid("{41338AB1-D596-4A0E-B12C-F33A6708E84C}");
  if (riid == kActionRegistry) return static_cast<IpwActionService*>(this);
  return Implements::GetInterface(riid);
}

void TActionService::Clear() {
  std::list<Registration> regs;
  std::vector<ComPtr<TAction>> actions;
  std::lock_guard guard(lock_);
  regs.swap(registrations_);
  registrationIndex_.clear();
  actions.swap(actions_);
  added_.clear();
}

HRESULT TActionService::CreateAction(std::int32_t kind, const GUID& key, BSTR category, VARIANT_BOOL flag,
                                     const GUID& group, IpwAction** action) {
  return SafeCall([&] {
    if (Find(key)) throw EOleSysError(u"An action with the key " + GuidToWideString(key) + u" already exists", E_INVALIDARG);
    auto a = MakeObject<TAction>(kind, key, WideString(BstrView(category)), flag != 0, group);
    {
      std::lock_guard guard(lock_);
      actions_.push_back(a);
    }
    SetOut(action, ComPtr<IpwAction>(a.Get()));
  });
}

HRESULT TActionService::AddAction(const GUID& contextKey, IpwAction* action) {
  return SafeCall([&] {
    GUID key{};
    if (!action) throw EOleSysError(u"No action", E_INVALIDARG);
    OleCheck(action->GetKey(&key));
    auto own = Find(key);
    if (!own || static_cast<IpwAction*>(own.Get()) != action)
      throw EOleSysError(u"The action was not made by this host", E_INVALIDARG);
    std::lock_guard guard(lock_);
    added_.emplace_back(contextKey, own);
  });
}

HRESULT TActionService::FindAction(const GUID& key, IpwAction** action) {
  return SafeCall([&] { SetOut(action, ComPtr<IpwAction>(Find(key).Get())); });
}

HRESULT TActionService::RegisterHandler(const GUID& actionKey, const GUID& contextKey,
                                        IpwProjectActionHandler* handler) {
  return SafeCall([&] {
    if (!handler) throw EOleSysError(u"No handler", E_INVALIDARG);
    ComPtr<IpwProjectActionHandler> replaced;  // released outside the lock
    std::lock_guard guard(lock_);
    auto at = registrationIndex_.find({actionKey, contextKey});
    if (at != registrationIndex_.end()) {
      replaced = std::exchange(at->second->handler, ComPtr<IpwProjectActionHandler>(handler));
      return;
    }
    registrations_.push_back({actionKey, contextKey, handler});
    try {
      registrationIndex_.emplace(std::pair{actionKey, contextKey}, std::prev(registrations_.end()));
    } catch (...) {
      registrations_.pop_back();
      throw;
    }
  });
}

HRESULT TActionService::UnregisterHandler(const GUID& actionKey, const GUID& contextKey) {
  return SafeCall([&] {
    std::list<Registration> gone;  // released outside the lock
    std::lock_guard guard(lock_);
    auto at = registrationIndex_.find({actionKey, contextKey});
    if (at == registrationIndex_.end()) return;
    gone.splice(gone.end(), registrations_, at->second);
    registrationIndex_.erase(at);
  });
}

// ---- Menus --------------------------------------------------------------------------------

std::vector<TMenu::Item> TMenu::Items() const {
  std::lock_guard guard(lock_);
  return items_;
}

std::int32_t TMenu::UpdateDepth() const {
  std::lock_guard guard(lock_);
  return updating_;
}

HRESULT TMenu::GetKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, key_); });
}
HRESULT TMenu::BeginUpdate() {
  std::lock_guard guard(lock_);
  ++updating_;
  return S_OK;
}
HRESULT TMenu::EndUpdate() {
  std::lock_guard guard(lock_);
  if (updating_ == 0) return E_UNEXPECTED;
  --updating_;
  return S_OK;
}
HRESULT TMenu::Clear() {
  std::vector<Item> old;
  std::lock_guard guard(lock_);
  old.swap(items_);
  return S_OK;
}
HRESULT TMenu::AddItem(const VARIANT& item, std::int32_t kind, std::int32_t value) {
  return SafeCall([&] {
    OleVariant v(VariantDeref(item));
    std::lock_guard guard(lock_);
    items_.push_back({std::move(v), kind, value});
  });
}
HRESULT TMenu::SetItemState(const GUID& key, std::int32_t state) {
  return SafeCall([&] {
    WideString text = GuidToWideString(key);
    std::lock_guard guard(lock_);
    for (auto& i : items_) {
      GUID k{};
      const VARIANT& v = i.item.Get();
      if (v.vt == VT_BSTR && SameTextIgnoringCase(BstrView(v.bstrVal), text)) k = key;
      if (v.vt == VT_UNKNOWN)
        if (auto a = QueryAs<IpwAction>(v.punkVal)) a->GetKey(&k);
      if (k == key) {
        i.state = state;
        return;
      }
    }
    throw EOleSysError(u"The menu has no item " + text, E_INVALIDARG);
  });
}
HRESULT TMenu::GetItemCount(std::int32_t* count) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutCount(count, items_);
  });
}

HRESULT TMenu::SetCaption(BSTR caption) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    caption_ = WideString(BstrView(caption));
  });
}

HRESULT TMenu::GetCaption(BSTR* caption) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(caption, caption_);
  });
}

HRESULT TMenu::GetItems(IpwMenuItems** items) {
  return SafeCall([&] { SetOut(items, ComPtr<IpwMenuItems>(static_cast<IpwMenuItems*>(this))); });
}

HRESULT TMenu::GetCount(std::int32_t* count) { return GetItemCount(count); }

HRESULT TMenu::HasItems(VARIANT_BOOL* result) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue<VARIANT_BOOL>(result, ToWordBool(!items_.empty()));
  });
}

ComPtr<TMenu> TMenuService::Find(const GUID& key, bool submenu) const {
  std::lock_guard guard(lock_);
  for (const auto& m : menus_) {
    GUID k{};
    m->GetKey(&k);
    if (k == key && m->IsSubmenu() == submenu) return m;
  }
  return nullptr;
}

void TMenuService::Clear() {
  std::vector<ComPtr<TMenu>> old;
  std::lock_guard guard(lock_);
  old.swap(menus_);
}

HRESULT TMenuService::FindMenu(const GUID& key, IpwMenu** menu) {
  return SafeCall([&] { SetOut(menu, ComPtr<IpwMenu>(Find(key, false).Get())); });
}
HRESULT TMenuService::FindSubmenu(const GUID& key, IpwMenu** menu) {
  return SafeCall([&] { SetOut(menu, ComPtr<IpwMenu>(Find(key, true).Get())); });
}
HRESULT TMenuService::CreateMenu(const GUID& parentKey, const GUID& key, IpwMenu** menu) {
  return Create(parentKey, key, false, menu);
}
HRESULT TMenuService::CreateSubmenu(const GUID& parentKey, const GUID& key, IpwMenu** menu) {
  return Create(parentKey, key, true, menu);
}

HRESULT TMenuService::Create(const GUID& parentKey, const GUID& key, bool submenu, IpwMenu** menu) {
  return SafeCall([&] {
    if (Find(key, submenu)) throw EOleSysError(u"A menu with the key " + GuidToWideString(key) + u" already exists", E_INVALIDARG);
    auto m = MakeObject<TMenu>(parentKey, key, submenu);
    {
      std::lock_guard guard(lock_);
      menus_.push_back(m);
    }
    SetOut(menu, ComPtr<IpwMenu>(m.Get()));
  });
}

HRESULT TMenuService::FindAction(const GUID& key, IpwAction** action) {
  return SafeCall([&] { SetOut(action, ComPtr<IpwAction>(actions_ ? actions_->Find(key).Get() : nullptr)); });
}

}  // namespace pw::host
