#include "host/recording.h"

#include <algorithm>
#include <cstring>

#include "host/code_model.h"
#include "platform/rtl/strings.h"

namespace pw::host {

// ---- Test objects
// -----------------------------------------------------------------------------

void TRecordedObject::SetProperty(WideStringView name, const OleVariant& value) {
  for (auto& p : properties_)
    if (SameTextIgnoringCase(p.first, name)) {
      p.second = value;
      return;
    }
  properties_.emplace_back(WideString(name), value);
}

HRESULT TRecordedObject::GetId(GUID* id) {
  return SafeCall([&] { SetOutValue(id, id_); });
}
HRESULT TRecordedObject::GetKind(GUID* kind) {
  return SafeCall([&] { SetOutValue(kind, kind_); });
}
HRESULT TRecordedObject::GetRelated(IUnknown** node) {
  return SafeCall([&] {
    if (!node) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *node = parent_ ? parent_->Identity() : nullptr;
    if (*node) (*node)->AddRef();
  });
}
VARIANT_BOOL TRecordedObject::GetProperty(BSTR name, VARIANT* value) {
  if (!value) return VARIANT_FALSE;
  VariantInit(value);
  for (const auto& p : properties_)
    if (SameTextIgnoringCase(p.first, BstrView(name)))
      return Succeeded(VariantCopy(value, p.second.Ptr())) ? VARIANT_TRUE : VARIANT_FALSE;
  return VARIANT_FALSE;
}

// ---- Actions
// ----------------------------------------------------------------------------------

void TRecordedAction::SetParamValue(const GUID& key, const OleVariant& value) {
  for (auto& p : params_)
    if (p.first == key) {
      p.second = value;
      return;
    }
  params_.emplace_back(key, value);
}

void TRecordedAction::SetBlock(const GUID& key, std::vector<std::uint8_t> data) {
  for (auto& b : blocks_)
    if (b.first == key) {
      b.second = std::move(data);
      return;
    }
  blocks_.emplace_back(key, std::move(data));
}

HRESULT TRecordedAction::GetKind(GUID* kind) {
  return SafeCall([&] { SetOutValue(kind, kind_); });
}
HRESULT TRecordedAction::GetObject(IUnknown** object) {
  return SafeCall([&] { SetOut(object, object_); });
}
HRESULT TRecordedAction::GetTargetId(GUID* target) {
  return SafeCall([&] { SetOutValue(target, target_); });
}
HRESULT TRecordedAction::SetParam(const GUID& key, const VARIANT& value) {
  return SafeCall([&] { SetParamValue(key, OleVariant(VariantDeref(value))); });
}
VARIANT_BOOL TRecordedAction::GetParam(const GUID& key, VARIANT* value) {
  if (!value) return VARIANT_FALSE;
  VariantInit(value);
  for (const auto& p : params_)
    if (p.first == key) return Succeeded(VariantCopy(value, p.second.Ptr())) ? VARIANT_TRUE : VARIANT_FALSE;
  return VARIANT_FALSE;
}
HRESULT TRecordedAction::SetParamData(const GUID& key, std::uint8_t* buffer, std::int32_t size) {
  return SafeCall([&] {
    if (size < 0 || (size > 0 && !buffer)) throw EOleSysError(u"Invalid block", E_INVALIDARG);
    SetBlock(key, std::vector<std::uint8_t>(buffer, buffer + size));
  });
}
VARIANT_BOOL TRecordedAction::GetParamData(const GUID& key, std::uint8_t* buffer, std::int32_t size) {
  if (size < 0 || (size > 0 && !buffer)) return VARIANT_FALSE;
  for (const auto& b : blocks_)
    if (b.first == key) {
      // The caller's buffer gets Size bytes: the block, zero-filled when it is
      // shorter.
      std::memset(buffer, 0, static_cast<std::size_t>(size));
      std::memcpy(buffer, b.second.data(), std::min(b.second.size(), static_cast<std::size_t>(size)));
      return VARIANT_TRUE;
    }
  return VARIANT_FALSE;
}

// ---- The list
// ---------------------------------------------------------------------------------

TRecordedActionList::TRecordedActionList() : cursor_(entries_.end()) {}

void TRecordedActionList::AddObject(TRecordedObject* object) {
  if (objects_.count(object->Id()))
    throw EOleSysError(u"Two objects have the id " + GuidToWideString(object->Id()), E_INVALIDARG);
  objects_[object->Id()] = object;
  objectOrder_.emplace_back(object);
}

TRecordedObject* TRecordedActionList::FindObjectById(const GUID& id) const {
  auto found = objects_.find(id);
  return found == objects_.end() ? nullptr : found->second.Get();
}

ComPtr<TRecordedAction> TRecordedActionList::Append(const GUID& kind, const GUID& target) {
  return Append(kind, target, FindObjectById(target));
}

ComPtr<TRecordedAction> TRecordedActionList::Append(const GUID& kind, const GUID& target, TRecordedObject* object) {
  auto action = MakeObject<TRecordedAction>(kind, target, object ? object->Identity() : nullptr);
  action->owner_ = this;
  action->position_ = entries_.insert(entries_.end(), action);
  return action;
}

std::vector<ComPtr<TRecordedAction>> TRecordedActionList::LiveActions() const {
  std::vector<ComPtr<TRecordedAction>> live;
  for (const auto& a : entries_)
    if (a->state_ == RecordedActionState::Live) live.push_back(a);
  return live;
}

std::vector<ComPtr<TRecordedAction>> TRecordedActionList::AllActions() const {
  return {entries_.begin(), entries_.end()};
}

TRecordedAction* TRecordedActionList::Own(IpwRecordedAction* action) const {
  auto* own = dynamic_cast<TRecordedAction*>(action);
  if (!own || own->owner_ != this) throw EOleSysError(u"The action is not part of this recording", E_INVALIDARG);
  return own;
}

ComPtr<TRecordedAction> TRecordedActionList::MakeFrom(TRecordedAction* source, const GUID& kind, const GUID& target) {
  auto object = FindObjectById(target);
  auto made = MakeObject<TRecordedAction>(kind, target, object ? object->Identity() : source->Object());
  made->params_ = source->params_;
  made->blocks_ = source->blocks_;
  made->owner_ = this;
  return made;
}

TRecordedActionList::Entries::iterator TRecordedActionList::PositionOf(std::int32_t position, TRecordedAction* source) {
  if (position < 0) return source->position_;
  std::int32_t index = 0;
  for (auto it = entries_.begin(); it != entries_.end(); ++it)
    if ((*it)->state_ == RecordedActionState::Live && index++ == position) return it;
  return entries_.end();
}

void TRecordedActionList::SkipDead() {
  while (cursor_ != entries_.end() && (*cursor_)->state_ != RecordedActionState::Live) ++cursor_;
}

HRESULT TRecordedActionList::FindObject(const GUID& id, IUnknown** object) {
  return SafeCall([&] {
    if (!object) throw EOleSysError(u"Invalid pointer", E_POINTER);
    auto found = FindObjectById(id);
    *object = found ? found->Identity() : nullptr;
    if (*object) (*object)->AddRef();
  });
}

VARIANT_BOOL TRecordedActionList::HasNext() {
  SkipDead();
  return cursor_ != entries_.end() ? VARIANT_TRUE : VARIANT_FALSE;
}

HRESULT TRecordedActionList::Reset() {
  cursor_ = entries_.begin();
  return S_OK;
}

HRESULT TRecordedActionList::Next(IpwRecordedAction** action) {
  return SafeCall([&] {
    if (!action) throw EOleSysError(u"Invalid pointer", E_POINTER);
    SkipDead();
    if (cursor_ == entries_.end()) throw EOleSysError(u"The recording has no further action", E_FAIL);
    SetOut(action, *cursor_);
    ++cursor_;
  });
}

HRESULT TRecordedActionList::DetachAction(IpwRecordedAction* action) {
  return SafeCall([&] {
    auto own = Own(action);
    if (own->state_ == RecordedActionState::Detached)
      throw EOleSysError(u"The action was detached already", E_INVALIDARG);
    own->state_ = RecordedActionState::Detached;
    ++own->detachCount_;
  });
}

HRESULT TRecordedActionList::DeleteAction(IpwRecordedAction* action) {
  return SafeCall([&] {
    auto own = Own(action);
    if (own->state_ == RecordedActionState::Live) own->state_ = RecordedActionState::Deleted;
  });
}

HRESULT TRecordedActionList::AddAction(const GUID& kind, const GUID& target) {
  return SafeCall([&] {
    auto object = FindObjectById(target);
    auto made = MakeObject<TRecordedAction>(kind, target, object ? object->Identity() : nullptr);
    made->owner_ = this;
    made->position_ = entries_.insert(cursor_, made);
  });
}

HRESULT TRecordedActionList::CreateAction(IpwRecordedAction* source, const GUID& kind, const GUID& target,
                                          IpwRecordedAction** made) {
  return CreateActionAt(source, kind, target, -1, made);
}

HRESULT TRecordedActionList::CreateActionAt(IpwRecordedAction* source, const GUID& kind, const GUID& target,
                                            std::int32_t position, IpwRecordedAction** made) {
  return SafeCall([&] {
    if (!made) throw EOleSysError(u"Invalid pointer", E_POINTER);
    auto own = Own(source);
    auto action = MakeFrom(own, kind, target);
    action->position_ = entries_.insert(PositionOf(position, own), action);
    SetOut(made, action);
  });
}

HRESULT TRecordedActionList::CreateActionLike(IpwRecordedAction* source, const GUID& kind, const GUID& target,
                                              std::int32_t position, IpwRecordedAction** made) {
  return CreateActionAt(source, kind, target, position, made);
}

HRESULT TRecordedActionList::LinkSource(IpwRecordedAction* made, IpwRecordedAction* source) {
  return SafeCall([&] { Own(made)->sources_.emplace_back(Own(source)); });
}

HRESULT TRecordedActionList::InsertBefore(IpwRecordedAction* made, IpwRecordedAction* action) {
  return SafeCall([&] {
    auto moving = Own(made);
    auto before = Own(action);
    if (moving == before) return;
    if (cursor_ == moving->position_) ++cursor_;
    entries_.splice(before->position_, entries_, moving->position_);
  });
}

// ---- Calls and the code writer
// ----------------------------------------------------------------

HRESULT TRecordedSetParam::AddMember(BSTR name, std::int32_t code) {
  return SafeCall([&] { call_->params_[index_].members.emplace_back(WideString(BstrView(name)), code); });
}

HRESULT TRecordedCall::SetObject(IUnknown* object) {
  return SafeCall([&] { object_ = object; });
}
HRESULT TRecordedCall::SetMethod(BSTR name) {
  return SafeCall([&] { method_ = WideString(BstrView(name)); });
}
HRESULT TRecordedCall::AddParam(const VARIANT& value) {
  return SafeCall([&] { params_.push_back({OleVariant(VariantDeref(value)), false, {}}); });
}
HRESULT TRecordedCall::AddSetParam(IpwRecordedSetParam** set) {
  return SafeCall([&] {
    params_.push_back({OleVariant(), true, {}});
    SetOut(set, MakeObject<TRecordedSetParam>(this, params_.size() - 1));
  });
}
HRESULT TRecordedCall::SetFlag(VARIANT_BOOL flag) {
  flag_ = flag != VARIANT_FALSE;
  return S_OK;
}
HRESULT TRecordedCall::SetDescription(BSTR text) {
  return SafeCall([&] { description_ = WideString(BstrView(text)); });
}

HRESULT TRecordedCodeWriter::NewCall(IpwRecordedCall** call) {
  return SafeCall([&] { SetOut(call, MakeObject<TRecordedCall>()); });
}

HRESULT TRecordedCodeWriter::SetActionCode(IpwRecordedAction* action, IpwRecordedCall* call, VARIANT_BOOL flag) {
  return SafeCall([&] {
    auto own = dynamic_cast<TRecordedAction*>(action);
    auto ownCall = dynamic_cast<TRecordedCall*>(call);
    if (!own || !ownCall) throw EOleSysError(u"The action or the call is not the host's", E_INVALIDARG);
    own->call_ = ownCall;
    own->codeFlag_ = flag != VARIANT_FALSE;
  });
}

HRESULT TRecordedCodeWriter::AddStatementBefore(IpwRecordedAction* action, IcvSyntaxElement* statement) {
  return SafeCall([&] {
    auto own = dynamic_cast<TRecordedAction*>(action);
    if (!own || !statement) throw EOleSysError(u"No action or statement", E_INVALIDARG);
    own->statements_.emplace_back(statement);
  });
}

namespace {

WideString ObjectName(IUnknown* object) {
  if (!object) return {};
  auto recorded = QueryAs<IpwRecordedObject>(object);
  if (auto own = dynamic_cast<TRecordedObject*>(recorded.Get())) return own->Name();
  return u"(object)";
}

WideString RenderValue(const OleVariant& value, const GUID& languageKey) {
  if (value.Type() == VT_UNKNOWN || value.Type() == VT_DISPATCH)
    if (auto element = QueryAs<IcvSyntaxElement>(value.Get().punkVal))
      return RenderSyntaxElement(element.Get(), languageKey);
  auto constant = MakeObject<TSyntaxConstantExpression>();
  OleCheck(constant->put_Value(value.Get()));
  return RenderSyntaxElement(constant.Get(), languageKey);
}

WideString RenderParam(const RecordedCallParam& p, const GUID& languageKey) {
  if (!p.isSet) return RenderValue(p.value, languageKey);
  WideString r;
  for (const auto& m : p.members) {
    if (!r.empty()) r += languageKey == kVBScriptLanguageKey ? u" Or " : u" | ";
    r += m.first;
  }
  return r;
}

// A parameter as the description shows it: a constant's text, code as its
// source.
WideString PlainParam(const RecordedCallParam& p, const GUID& languageKey) {
  if (!p.isSet && (p.value.Type() == VT_UNKNOWN || p.value.Type() == VT_DISPATCH))
    if (auto constant = QueryAs<IcvSyntaxConstantExpression>(p.value.Get().punkVal)) {
      RecordedCallParam inner;
      OleCheck(constant->get_Value(inner.value.Put()));
      return PlainParam(inner, languageKey);
    }
  if (p.isSet || p.value.Type() == VT_UNKNOWN || p.value.Type() == VT_DISPATCH) return RenderParam(p, languageKey);
  if (p.value.IsEmpty() || p.value.IsNull()) return {};
  if (p.value.Type() == VT_BOOL) return p.value.Get().boolVal ? u"True" : u"False";
  return p.value.AsString();
}

}  // namespace

WideString RenderRecordedCall(const TRecordedCall& call, const GUID& languageKey) {
  WideString r = ObjectName(call.Object());
  if (!r.empty()) r += u".";
  r += call.Method();
  // JavaScript calls take parentheses; VBScript statements list their arguments after a blank.
  WideString args;
  for (const auto& p : call.Params()) {
    if (!args.empty()) args += u", ";
    args += RenderParam(p, languageKey);
  }
  if (languageKey == kVBScriptLanguageKey)
    r += args.empty() ? WideString() : u" " + args;
  else
    r += u"(" + args + u")";
  return r;
}

WideString ExpandRecordedDescription(const TRecordedCall& call, const GUID& languageKey) {
  WideString name = ObjectName(call.Object());
  WideString first = call.Params().empty() ? WideString() : PlainParam(call.Params()[0], languageKey);
  WideString r;
  const WideString& t = call.Description();
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t.compare(i, 2, u"%n") == 0) {
      r += name;
      ++i;
    } else if (t.compare(i, 3, u"%p1") == 0) {
      r += first;
      i += 2;
    } else {
      r += t[i];
    }
  }
  return r;
}

// ---- The recording service
// --------------------------------------------------------------------

HRESULT TRecordingService::Register(IUnknown* analyzer) {
  return SafeCall([&] {
    if (!analyzer) throw EOleSysError(u"No analyzer", E_INVALIDARG);
    std::lock_guard guard(lock_);
    analyzers_.emplace_back(analyzer);
  });
}

HRESULT TRecordingService::Remove(IUnknown* analyzer) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    IUnknown* id = IdentityOf(analyzer);
    auto it =
        std::find_if(analyzers_.begin(), analyzers_.end(), [&](const auto& a) { return IdentityOf(a.Get()) == id; });
    if (it == analyzers_.end()) throw EOleSysError(u"The analyzer is not registered", E_INVALIDARG);
    analyzers_.erase(it);
  });
}

std::vector<ComPtr<IUnknown>> TRecordingService::Analyzers() const {
  std::lock_guard guard(lock_);
  return analyzers_;
}

}  // namespace pw::host
