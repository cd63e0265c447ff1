// cvStatistic: usage counters, kept in memory for the life of the process. ReadCounter lets a
// reader (a test, a report) see a counter's name and value.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "helpers/common/helper_module.h"

namespace {

struct Counter {
  std::u16string name;
  std::int32_t value = 0;
};

struct Counters {
  std::mutex lock;
  std::map<pw::GUID, Counter> byKey;
};

Counters& All() {
  static Counters counters;
  return counters;
}

}  // namespace

// 0 on success; 1 for a nil key.
PW_HELPER_EXPORT std::int32_t RegisterCounter(const pw::GUID* key, const char16_t* name) {
  if (!key) return 1;
  auto& c = All();
  std::lock_guard g(c.lock);
  c.byKey[*key].name = name ? name : u"";
  return 0;
}

PW_HELPER_EXPORT std::int32_t IncCounter(const pw::GUID* key, std::int32_t amount) {
  if (!key) return 1;
  auto& c = All();
  std::lock_guard g(c.lock);
  c.byKey[*key].value += amount;
  return 0;
}

// 0 and the counter's value and name (cut to `capacity` units with the terminating zero);
// 1 when no such counter exists.
PW_HELPER_EXPORT std::int32_t ReadCounter(const pw::GUID* key, std::int32_t* value, char16_t* name,
                                          std::uint32_t capacity) {
  if (!key) return 1;
  auto& c = All();
  std::lock_guard g(c.lock);
  auto it = c.byKey.find(*key);
  if (it == c.byKey.end()) return 1;
  if (value) *value = it->second.value;
  if (name && capacity > 0) {
    std::size_t n = std::min<std::size_t>(it->second.name.size(), capacity - 1);
    std::memcpy(name, it->second.name.data(), n * sizeof(char16_t));
    name[n] = 0;
  }
  return 0;
}
