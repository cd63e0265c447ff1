#include "platform/rtl/rtl_lists.h"

#include "platform/rtl/strings.h"

namespace pw {

namespace {
bool InRange(std::int32_t index, std::size_t size) {
  return index >= 0 && static_cast<std::size_t>(index) < size;
}
}  // namespace

WideString ListIndexErrorMessage(std::int32_t index) {
  return u"List index out of bounds (" + IntToWide(index) + u")";
}

void* TList::Get(std::int32_t index) const {
  if (!InRange(index, items_.size())) throw EListError(ListIndexErrorMessage(index));
  return items_[static_cast<std::size_t>(index)];
}

std::int32_t TList::Add(void* item) {
  items_.push_back(item);
  return Count() - 1;
}

void TList::Delete(std::int32_t index) {
  if (!InRange(index, items_.size())) throw EListError(ListIndexErrorMessage(index));
  items_.erase(items_.begin() + index);
}

std::string TStringList::Get(std::int32_t index) const {
  if (!InRange(index, items_.size())) throw EStringListError(ListIndexErrorMessage(index));
  return items_[static_cast<std::size_t>(index)];
}

std::int32_t TStringList::Add(std::string s) {
  items_.push_back(std::move(s));
  return Count() - 1;
}

ComPtr<IUnknown> TInterfaceList::Get(std::int32_t index) {
  if (!InRange(index, items_.size())) throw EListError(ListIndexErrorMessage(index));
  return items_[static_cast<std::size_t>(index)];
}

std::int32_t TInterfaceList::Add(IUnknown* item) {
  items_.emplace_back(item);
  return Count() - 1;
}

}  // namespace pw
