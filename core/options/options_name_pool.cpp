#include "core/options/options_name_pool.h"

#include <mutex>

#include "platform/rtl/strings.h"

namespace pw {

namespace {
TcvWideStringPool* gPool = nullptr;
int gStarts = 0;
std::mutex gStartLock;
}  // namespace

TcvWideStringPool::TcvWideStringPool() : TcvWideStringTable(0, 11) {}

TcvWideStringPool::~TcvWideStringPool() { Clear(); }

TcvNameHandle TcvWideStringPool::Add(WideStringView name) {
  const WideString lower = WideLowerCase(name);
  std::lock_guard guard(lock_);
  Entry* e = FindEntry(lower);
  if (!e) {
    SetValue(lower, nullptr);
    e = FindEntry(lower);
  }
  e->value = reinterpret_cast<void*>(reinterpret_cast<std::intptr_t>(e->value) + 1);
  return e;
}

void TcvWideStringPool::Release(TcvNameHandle handle) {
  if (!handle) return;
  std::lock_guard guard(lock_);
  auto* e = const_cast<Entry*>(handle);
  const std::intptr_t count = reinterpret_cast<std::intptr_t>(e->value) - 1;
  if (count > 0) {
    e->value = reinterpret_cast<void*>(count);
    return;
  }
  const WideString key = e->key;  // the entry goes away with the removal
  Remove(key);
}

TcvNameHandle TcvWideStringPool::Find(WideStringView name) {
  const WideString lower = WideLowerCase(name);
  std::lock_guard guard(lock_);
  return FindEntry(lower);
}

std::intptr_t TcvWideStringPool::UseCount(WideStringView name) {
  const WideString lower = WideLowerCase(name);
  std::lock_guard guard(lock_);
  Entry* e = FindEntry(lower);
  return e ? reinterpret_cast<std::intptr_t>(e->value) : 0;
}

TcvWideStringPool* OptionsNamePool() { return gPool; }

TcvWideStringPool& RequireOptionsNamePool() {
  if (!gPool) throw EcvOptionsException(u"The options name pool has not been started");
  return *gPool;
}

void StartOptionsNamePool() {
  std::lock_guard guard(gStartLock);
  if (gStarts++ == 0) gPool = new TcvWideStringPool();
}

void StopOptionsNamePool() {
  std::lock_guard guard(gStartLock);
  if (gStarts == 0) return;
  if (--gStarts == 0) {
    delete gPool;
    gPool = nullptr;
  }
}

}  // namespace pw
