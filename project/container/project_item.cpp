#include "project/container/project_item.h"

#include "platform/com/guid.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/rtl.h"
#include "platform/rtl/strings.h"

namespace pw::project {

TpwProjectItem::TpwProjectItem(IpwProjectNode* parent, const GUID& typeKey, const GUID& key)
    : Implements(parent, typeKey, key, false) {}

void* TpwProjectItem::GetInterface(const IID& riid) noexcept {
  if (riid == IpwProjectNode::iid || riid == IcvKeyItem::iid)
    return static_cast<IpwProjectNode*>(static_cast<IpwProjectNodeInternal*>(this));
  return Implements::GetInterface(riid);
}

namespace {
// Every text must be a GUID; the list is the iterator's from the call on, so a refused list is
// freed here.
TStringList* CheckedGuidTexts(TStringList* strings) {
  if (!strings) return strings;
  try {
    for (std::int32_t i = 0; i < strings->Count(); ++i) StringToGuid(SystemCodePageToWide(strings->Get(i)));
  } catch (...) {
    FreeObject(strings);
    throw;
  }
  return strings;
}
}  // namespace

TpwGUIDIterator::TpwGUIDIterator(TStringList* strings) : Implements(CheckedGuidTexts(strings), 0, true) {}

ComPtr<TpwGUIDIterator> TpwGUIDIterator::FromKeys(const std::vector<GUID>& keys) {
  auto* list = new TStringList;
  for (const auto& key : keys) list->Add(GuidToString(key));
  return MakeObject<TpwGUIDIterator>(list);
}

void TpwGUIDIterator::Next(GUID& value) {
  WideString text;
  TcvBaseStringIterator::Next(text);
  value = StringToGuid(text);
}

}  // namespace pw::project
