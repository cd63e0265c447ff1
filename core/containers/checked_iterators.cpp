#include "core/containers/checked_iterators.h"

#include <algorithm>
#include <limits>

#include "platform/rtl/codepage.h"

namespace pw {

void TcvBaseIterator::CheckGeneration() {
  if (OnGetGeneration && OnGetGeneration() != generation_) throw EcvIteratorInvalidUsage(kInvalidIteratorUsage);
}

std::int32_t TcvBaseIterator::Advanced(std::int32_t index, std::int32_t count) {
  const std::int64_t sum = std::int64_t{index} + count;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

void TcvBaseIterator::Skip(std::int32_t) { CheckGeneration(); }

WordBool TcvBaseIterator::HasNext() {
  CheckGeneration();
  return WordFalse;
}

void TcvBaseIterator::Reset() { CheckGeneration(); }

// Container iterator.

void* TcvBaseSimpleIterator::Next() {
  CheckGeneration();
  if (!source_) throw EpfException(kNoSuchElement);
  return source_->Next();
}

void TcvBaseSimpleIterator::Skip(std::int32_t) { CheckGeneration(); }

WordBool TcvBaseSimpleIterator::HasNext() {
  CheckGeneration();
  return ToWordBool(source_ && source_->HasNext());
}

void TcvBaseSimpleIterator::Reset() {
  CheckGeneration();
  if (source_) source_->Reset();
}

// Strings.

TcvBaseStringIterator::~TcvBaseStringIterator() {
  if (ownsStrings_) {
    FreeObject(strings_);
    strings_ = nullptr;
  }
}

void TcvBaseStringIterator::Next(WideString& value) {
  if (!strings_) throw EStringListError(ListIndexErrorMessage(index_));
  value = SystemCodePageToWide(strings_->Get(index_));
  ++index_;
}

void TcvBaseStringIterator::Skip(std::int32_t count) {
  CheckGeneration();
  index_ = Advanced(index_, count);
}

WordBool TcvBaseStringIterator::HasNext() {
  CheckGeneration();
  return ToWordBool(strings_ && strings_->Count() > index_);
}

void TcvBaseStringIterator::Reset() {
  CheckGeneration();
  index_ = 0;
}

}  // namespace pw
