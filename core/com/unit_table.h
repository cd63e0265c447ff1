// The explicit, ordered start-up table of the module's units. Each unit starts once, after the
// units before it; stops run in reverse order, each once, and only for units that started.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace pw {

struct UnitEntry {
  const char* name;
  void (*start)();  // may be nil
  void (*stop)();   // may be nil
};

class UnitTable {
 public:
  explicit UnitTable(std::span<const UnitEntry> units);

  // Starts every unit not yet started, in order. When a start raises, the units started so
  // far are stopped in reverse order and the exception goes on to the caller.
  void Start();
  // Stops every started unit in reverse order. A stop that raises does not keep the others
  // from stopping; the first failure is rethrown at the end.
  void Stop();

  bool IsStarted(std::size_t index) const { return started_[index] > 0; }
  std::size_t Size() const { return units_.size(); }

 private:
  std::span<const UnitEntry> units_;
  std::vector<int> started_;  // per-unit counter
};

}  // namespace pw
