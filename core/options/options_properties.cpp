#include "core/options/options_iterator.h"
#include "core/options/options_tree.h"
#include "platform/automation/out_params.h"
#include "platform/com/safecall.h"

namespace pw {

namespace {

// Walks the present properties of a table.
struct PropertyWalk {
  using Elements = TcvProperties;
  using Item = TcvTable::Entry;
  static ComPtr<IcvSimpleIterator> Source(TcvProperties* table) { return table->Table().GetIterator(imEntry); }
  static bool Live(const TcvTable::Entry* entry) { return static_cast<TcvPropertyStub*>(entry->value)->State == 1; }
};

class TcvPropertiesIterator final : public TcvOptionsIterator<IcvPropertiesIterator, PropertyWalk> {
 public:
  explicit TcvPropertiesIterator(TcvProperties* table)
      : TcvOptionsIterator(table, static_cast<IcvOptionsProperties*>(table)) {}

  void Next(CV_PROPERTY_DESCRIPTION& description) override {
    TakeNext([&](TcvTable::Entry* entry) {
      description.Name = NameOf(reinterpret_cast<TcvNameHandle>(entry->key));
      description.Type = static_cast<TcvPropertyStub*>(entry->value)->GetType();
    });
  }
};

TcvPropertyStub* StubOf(const TcvTable::Entry* entry) { return static_cast<TcvPropertyStub*>(entry->value); }

void CheckSize(std::int32_t size) {
  if (size < 0) OleError(E_INVALIDARG);
}

}  // namespace

TcvProperties::TcvProperties(TcvOptionsBuilder* owner, TcvOptionsNode* node) : TcvOptionsElements(owner), node_(node) {
  try {
    ReadStored();
  } catch (...) {
    ReleaseContent(nullptr);
    throw;
  }
}

TcvProperties::~TcvProperties() { ReleaseContent(nullptr); }

void TcvProperties::ReadStored() {
  IcvOptionsReader* reader = owner_->Reader();
  if (!reader || node_->Cookie() == 0) return;
  TPropertyCookiesArray ids;
  reader->GetPropertyList(node_->Cookie(), ids);
  TcvWideStringPool& pool = RequireOptionsNamePool();
  for (TcvCookie id : ids) {
    TPropertyDescription d;
    reader->GetPropertyDescription(id, d);
    std::unique_ptr<TcvPropertyStub> stub;
    switch (d.Type) {
      case ptInteger: stub = std::make_unique<TcvIntegerPropertyStub>(id, d.IntValue); break;
      case ptString: stub = std::make_unique<TcvStringPropertyStub>(id, std::move(d.StrValue)); break;
      case ptDouble: stub = std::make_unique<TcvDoublePropertyStub>(id, d.DoubleValue); break;
      case ptInt64: stub = std::make_unique<TcvLongPropertyStub>(id, d.Int64Value); break;
      case ptBinary: stub = std::make_unique<TcvBinaryPropertyStub>(id, reader, d.BinarySize, d.Name); break;
      case ptBoolean: stub = std::make_unique<TcvBooleanPropertyStub>(id, d.BoolValue ? 1 : 0); break;
      default: throw EcvOptionsException(kOptInvalidType);
    }
    TcvNameHandle handle = pool.Add(d.Name);
    auto key = reinterpret_cast<std::intptr_t>(handle);
    if (auto* earlier = static_cast<TcvPropertyStub*>(table_.Extract(key))) {
      // Two stored records of one name: the later one wins, the earlier record goes away at
      // the next save, so that the two cannot come back in another order.
      pool.Release(handle);
      Retire(earlier);
    }
    table_.SetValue(key, stub.release());
  }
  if (!ids.empty()) Changed();
}

HRESULT TcvProperties::QueryInterface(const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IUnknown::iid || riid == IcvOptionsProperties::iid) *ppv = static_cast<IcvOptionsProperties*>(this);
  else if (riid == IcvOptionsPropertyTypes::iid) *ppv = static_cast<IcvOptionsPropertyTypes*>(this);
  else return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG TcvProperties::AddRef() { return node_->AddRef(); }
ULONG TcvProperties::Release() { return node_->Release(); }

TcvPropertyStub* TcvProperties::Find(WideStringView name) const {
  TcvNameHandle handle = RequireOptionsNamePool().Find(name);
  if (!handle) return nullptr;
  return static_cast<TcvPropertyStub*>(table_.GetValue(reinterpret_cast<std::intptr_t>(handle)));
}

TcvPropertyStub* TcvProperties::FindPresent(WideStringView name) const {
  TcvPropertyStub* stub = Find(name);
  return stub && stub->State == 1 ? stub : nullptr;
}

template <class Stub>
Stub* TcvProperties::PresentOfType(WideStringView name, TcvPropertyType type) const {
  TcvPropertyStub* stub = FindPresent(name);
  if (!stub) return nullptr;
  if (stub->GetType() != type) throw EcvOptionsException(kOptInvalidType);
  return static_cast<Stub*>(stub);
}

void TcvProperties::Retire(TcvPropertyStub* stub) {
  if (stub->Cookie != 0) retired_.emplace_back(stub);
  else delete stub;
}

template <class Stub, class... Args>
Stub* TcvProperties::Prepare(WideStringView name, Args&&... args) {
  TcvWideStringPool& pool = RequireOptionsNamePool();
  TcvNameHandle handle = pool.Find(name);
  auto key = reinterpret_cast<std::intptr_t>(handle);
  auto* stub = handle ? static_cast<TcvPropertyStub*>(table_.GetValue(key)) : nullptr;
  Stub* result;
  if (stub && stub->GetType() == Stub::kType) {
    result = static_cast<Stub*>(stub);
  } else {
    auto fresh = std::make_unique<Stub>(0, std::forward<Args>(args)...);
    result = fresh.get();
    if (stub) {
      // A change of type: the old record is deleted at the next save; the name keeps its
      // handle and now holds the new stub.
      table_.Extract(key);
      Retire(stub);
    } else {
      handle = pool.Add(name);
      key = reinterpret_cast<std::intptr_t>(handle);
    }
    table_.SetValue(key, fresh.release());
    Changed();
  }
  // A deleted property that comes back joins the walk: iterators over the table must not go on.
  if (result->State == 0) Changed();
  result->State = 1;
  return result;
}

void TcvProperties::RemoveEntry(std::intptr_t key) {
  delete static_cast<TcvPropertyStub*>(table_.Extract(key));
  if (TcvWideStringPool* pool = OptionsNamePool()) pool->Release(reinterpret_cast<TcvNameHandle>(key));
  Changed();
}

bool TcvProperties::HasContent() const {
  for (TcvTable::Entry* e : TableEntries(const_cast<TcvTable*>(&table_)))
    if (StubOf(e)->State == 1) return true;
  return false;
}

bool TcvProperties::Modified() const {
  if (!retired_.empty()) return true;
  for (TcvTable::Entry* e : TableEntries(const_cast<TcvTable*>(&table_)))
    if (StubOf(e)->IsModified()) return true;
  return false;
}

void TcvProperties::MarkAllDeleted() {
  bool any = false;
  for (TcvTable::Entry* e : TableEntries(&table_)) {
    any = any || StubOf(e)->State == 1;
    StubOf(e)->State = 0;
  }
  // The present properties leave: iterators over the table must not go on.
  if (any) Changed();
}

void TcvProperties::Save(TcvCookie nodeCookie, IcvOptionsReader* reader) {
  while (!retired_.empty()) {
    reader->DeleteProperty(retired_.back()->Cookie);
    retired_.pop_back();
  }
  if (table_.Count() == 0) return;
  std::vector<std::intptr_t> gone;
  for (TcvTable::Entry* e : TableEntries(&table_)) {
    TcvPropertyStub* stub = StubOf(e);
    if (stub->State != 0) continue;
    if (stub->Cookie != 0) {
      reader->DeleteProperty(stub->Cookie);
      stub->Cookie = 0;
    }
    gone.push_back(e->key);
  }
  for (TcvTable::Entry* e : TableEntries(&table_)) {
    TcvPropertyStub* stub = StubOf(e);
    if (stub->State != 1) continue;
    if (stub->Cookie == 0) {
      stub->Cookie = reader->AddProperty(nodeCookie, NameOf(reinterpret_cast<TcvNameHandle>(e->key)), stub->GetType());
      stub->SaveTo(reader);
    } else if (stub->IsModified()) {
      stub->SaveTo(reader);
    }
  }
  for (std::intptr_t key : gone) RemoveEntry(key);
}

void TcvProperties::ResetStorage() {
  retired_.clear();
  for (TcvTable::Entry* e : TableEntries(&table_)) {
    TcvPropertyStub* stub = StubOf(e);
    if (stub->State == 0) RemoveEntry(e->key);
    else stub->Cookie = 0;
  }
}

void TcvProperties::ReleaseContent(IcvOptionsReader* reader) {
  for (auto& stub : retired_)
    if (reader) reader->DeleteProperty(stub->Cookie);
  retired_.clear();
  for (TcvTable::Entry* e : TableEntries(&table_)) {
    if (reader && StubOf(e)->Cookie != 0) reader->DeleteProperty(StubOf(e)->Cookie);
    RemoveEntry(e->key);
  }
}

void TcvProperties::CopyInto(IcvOptionsProperties* destination) {
  for (TcvTable::Entry* e : TableEntries(&table_)) {
    TcvPropertyStub* stub = StubOf(e);
    if (stub->State != 1) continue;
    const WideString& name = NameOf(reinterpret_cast<TcvNameHandle>(e->key));
    switch (stub->GetType()) {
      case ptInteger: SafeCallCheck(destination->SetInteger(name, static_cast<TcvIntegerPropertyStub*>(stub)->Value())); break;
      case ptString: SafeCallCheck(destination->SetString(name, static_cast<TcvStringPropertyStub*>(stub)->Value())); break;
      case ptDouble: SafeCallCheck(destination->SetDouble(name, static_cast<TcvDoublePropertyStub*>(stub)->Value())); break;
      case ptInt64: SafeCallCheck(destination->SetInt64(name, static_cast<TcvLongPropertyStub*>(stub)->Value())); break;
      case ptBoolean:
        SafeCallCheck(destination->SetBoolean(name, ToWordBool(static_cast<TcvBooleanPropertyStub*>(stub)->Value() != 0)));
        break;
      case ptBinary: {
        auto* binary = static_cast<TcvBinaryPropertyStub*>(stub);
        std::vector<std::uint8_t> value = binary->GetValue();
        SafeCallCheck(destination->SetBinary(name, value.data(), static_cast<std::int32_t>(value.size()),
                                             ToWordBool(binary->Compressed())));
        break;
      }
      default: throw EcvOptionsException(kOptInvalidType);
    }
  }
}

// ---- IcvOptionsProperties ----------------------------------------------------------------

template <class Stub, class T, class Default>
HRESULT TcvProperties::GetValue(WideStringView name, TcvPropertyType type, const Default& defaultValue, T* value) {
  if (!value) return E_POINTER;
  return SafeCallBoundary([&] {
    auto* stub = PresentOfType<Stub>(name, type);
    if (!stub) {
      *value = T(defaultValue);
    } else if constexpr (std::is_same_v<Stub, TcvBooleanPropertyStub>) {
      *value = ToWordBool(stub->Value() != 0);
    } else {
      *value = stub->Value();
    }
  });
}

HRESULT TcvProperties::GetInteger(WideStringView name, std::int32_t defaultValue, std::int32_t* value) {
  return GetValue<TcvIntegerPropertyStub>(name, ptInteger, defaultValue, value);
}

HRESULT TcvProperties::GetString(WideStringView name, WideStringView defaultValue, WideString* value) {
  return GetValue<TcvStringPropertyStub>(name, ptString, defaultValue, value);
}

HRESULT TcvProperties::GetInt64(WideStringView name, std::int64_t defaultValue, std::int64_t* value) {
  return GetValue<TcvLongPropertyStub>(name, ptInt64, defaultValue, value);
}

HRESULT TcvProperties::GetDouble(WideStringView name, double defaultValue, double* value) {
  return GetValue<TcvDoublePropertyStub>(name, ptDouble, defaultValue, value);
}

HRESULT TcvProperties::GetBinary(WideStringView name, void* buffer, std::int32_t bufferSize, std::int32_t* copied) {
  if (!copied) return E_POINTER;
  *copied = 0;
  return SafeCallBoundary([&] {
    CheckSize(bufferSize);
    if (bufferSize > 0) CheckOut(buffer);
    auto* stub = PresentOfType<TcvBinaryPropertyStub>(name, ptBinary);
    if (!stub) return;
    std::int32_t count = bufferSize;
    stub->GetData(buffer, count);
    *copied = count;
  });
}

HRESULT TcvProperties::GetBoolean(WideStringView name, WordBool defaultValue, WordBool* value) {
  return GetValue<TcvBooleanPropertyStub>(name, ptBoolean, defaultValue, value);
}

HRESULT TcvProperties::SetInteger(WideStringView name, std::int32_t value) {
  return SafeCallBoundary([&] { Prepare<TcvIntegerPropertyStub>(name, value)->Assign(value); });
}

HRESULT TcvProperties::SetString(WideStringView name, WideStringView value) {
  return SafeCallBoundary([&] { Prepare<TcvStringPropertyStub>(name, WideString(value))->Assign(WideString(value)); });
}

HRESULT TcvProperties::SetInt64(WideStringView name, std::int64_t value) {
  return SafeCallBoundary([&] { Prepare<TcvLongPropertyStub>(name, value)->Assign(value); });
}

HRESULT TcvProperties::SetDouble(WideStringView name, double value) {
  return SafeCallBoundary([&] { Prepare<TcvDoublePropertyStub>(name, value)->Assign(value); });
}

HRESULT TcvProperties::SetBinary(WideStringView name, const void* data, std::int32_t size, WordBool compressed) {
  return SafeCallBoundary([&] {
    CheckSize(size);
    if (size > 0) CheckOut(data);
    Prepare<TcvBinaryPropertyStub>(name, nullptr, 0)->SetValue(data, static_cast<std::uint32_t>(size), compressed != 0);
  });
}

HRESULT TcvProperties::SetBoolean(WideStringView name, WordBool value) {
  return SafeCallBoundary([&] {
    const std::uint8_t v = value != 0 ? 1 : 0;
    Prepare<TcvBooleanPropertyStub>(name, v)->Assign(v);
  });
}

HRESULT TcvProperties::GetBinarySize(WideStringView name, std::int32_t* size) {
  if (!size) return E_POINTER;
  *size = 0;
  return SafeCallBoundary([&] {
    auto* stub = PresentOfType<TcvBinaryPropertyStub>(name, ptBinary);
    if (!stub) throw EcvOptionsException(kOptNoProperty);
    *size = static_cast<std::int32_t>(stub->GetSize());
  });
}

HRESULT TcvProperties::PropertyExists(WideStringView name, WordBool* exists) {
  if (!exists) return E_POINTER;
  *exists = WordFalse;
  return SafeCallBoundary([&] { *exists = ToWordBool(FindPresent(name) != nullptr); });
}

HRESULT TcvProperties::GetIterator(IcvPropertiesIterator** iterator) {
  if (!iterator) return E_POINTER;
  *iterator = nullptr;
  return SafeCallBoundary([&] { *iterator = MakeObject<TcvPropertiesIterator>(this).Detach(); });
}

HRESULT TcvProperties::Clear() {
  return SafeCallBoundary([&] { MarkAllDeleted(); });
}

HRESULT TcvProperties::GetPropertyType(WideStringView name, TcvPropertyType* type) {
  if (!type) return E_POINTER;
  *type = ptNotExists;
  return SafeCallBoundary([&] {
    TcvPropertyStub* stub = FindPresent(name);
    *type = stub ? stub->GetType() : ptNotExists;
  });
}

}  // namespace pw
