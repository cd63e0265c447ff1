#include "web/recording/recorded_actions.h"

#include "platform/automation/bstr.h"
#include "platform/rtl/exceptions.h"

namespace pw::web {

namespace {

ComPtr<IpwRecordedObject> AsObject(IUnknown* object) {
  auto o = QueryAs<IpwRecordedObject>(object);
  if (!o) throw EOleSysError(u"The recorded object is no test object", E_NOINTERFACE);
  return o;
}

}  // namespace

GUID ActionKind(IpwRecordedAction* action) {
  GUID kind{};
  OleCheck(action->GetKind(&kind));
  return kind;
}

GUID ActionTarget(IpwRecordedAction* action) {
  GUID target{};
  OleCheck(action->GetTargetId(&target));
  return target;
}

ComPtr<IUnknown> ActionObject(IpwRecordedAction* action) {
  ComPtr<IUnknown> object;
  OleCheck(action->GetObject(object.Put()));
  return object;
}

std::optional<OleVariant> GetActionParam(IpwRecordedAction* action, const GUID& key) {
  OleVariant value;
  if (!action->GetParam(key, value.Put())) return std::nullopt;
  return value;
}

bool ParamIsTrue(IpwRecordedAction* action, const GUID& key) {
  auto v = GetActionParam(action, key);
  if (!v || v->IsEmpty() || v->IsNull()) return false;
  try {
    return v->AsBool();
  } catch (const Exception&) {
    return false;
  }
}

WideString ParamText(IpwRecordedAction* action, const GUID& key) {
  auto v = GetActionParam(action, key);
  if (!v || v->IsEmpty() || v->IsNull()) return {};
  return v->AsString();
}

std::optional<std::int32_t> ParamInt(IpwRecordedAction* action, const GUID& key) {
  auto v = GetActionParam(action, key);
  if (!v || v->IsEmpty() || v->IsNull()) return std::nullopt;
  try {
    return v->AsInt();
  } catch (const Exception&) {
    return std::nullopt;
  }
}

void SetActionParam(IpwRecordedAction* action, const GUID& key, const OleVariant& value) {
  OleCheck(action->SetParam(key, value.Get()));
}

std::optional<std::vector<std::uint8_t>> GetActionData(IpwRecordedAction* action, const GUID& key, std::int32_t size) {
  std::vector<std::uint8_t> block(static_cast<std::size_t>(size));
  if (!action->GetParamData(key, block.data(), size)) return std::nullopt;
  return block;
}

bool ReadActionData(IpwRecordedAction* action, const GUID& key, std::uint8_t* buffer, std::int32_t size) {
  return action->GetParamData(key, buffer, size) != VARIANT_FALSE;
}

std::uint32_t FirstWord(const std::vector<std::uint8_t>& block) {
  std::uint32_t w = 0;
  for (std::size_t i = 0; i < 4 && i < block.size(); ++i) w |= static_cast<std::uint32_t>(block[i]) << (8 * i);
  return w;
}

bool IsSpecialClick(IpwRecordedAction* action, const GUID& kind) {
  if (kind != kinds::kClick) return false;
  std::uint8_t block[kClickBlockSize];
  if (!ReadActionData(action, keys::kClickBlock, block, kClickBlockSize)) return false;
  return (block[0] | block[1] | block[2] | block[3]) != 0;
}

bool SameAction(IpwRecordedAction* a, IpwRecordedAction* b) { return IdentityOf(a) == IdentityOf(b); }

GUID ObjectId(IUnknown* object) {
  GUID id{};
  OleCheck(AsObject(object)->GetId(&id));
  return id;
}

GUID ObjectKind(IUnknown* object) {
  GUID kind{};
  OleCheck(AsObject(object)->GetKind(&kind));
  return kind;
}

ComPtr<IUnknown> ObjectRelated(IUnknown* object) {
  ComPtr<IUnknown> related;
  OleCheck(AsObject(object)->GetRelated(related.Put()));
  return related;
}

std::optional<OleVariant> ObjectProperty(IUnknown* object, WideStringView name) {
  OleVariant value;
  BString n(name);
  if (!AsObject(object)->GetProperty(n.Get(), value.Put())) return std::nullopt;
  return value;
}

}  // namespace pw::web
