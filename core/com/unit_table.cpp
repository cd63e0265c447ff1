#include "core/com/unit_table.h"

#include <exception>

namespace pw {

UnitTable::UnitTable(std::span<const UnitEntry> units) : units_(units), started_(units.size(), 0) {}

void UnitTable::Start() {
  for (std::size_t i = 0; i < units_.size(); ++i) {
    if (started_[i]) continue;
    try {
      if (units_[i].start) units_[i].start();
    } catch (...) {
      auto failure = std::current_exception();
      try {
        Stop();
      } catch (...) {
        // The start failure is the one worth reporting.
      }
      std::rethrow_exception(failure);
    }
    started_[i] = 1;
  }
}

void UnitTable::Stop() {
  std::exception_ptr first;
  for (std::size_t i = units_.size(); i-- > 0;) {
    if (!started_[i]) continue;
    started_[i] = 0;
    try {
      if (units_[i].stop) units_[i].stop();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

}  // namespace pw
