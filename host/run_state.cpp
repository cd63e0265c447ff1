#include "host/run_state.h"

namespace pw::host {

GUID TRunState::State() const {
  std::lock_guard guard(lock_);
  return state_;
}

void TRunState::SetState(const GUID& state) {
  std::lock_guard guard(lock_);
  state_ = state;
}

bool TRunState::Stopping() const {
  std::lock_guard guard(lock_);
  return stopping_;
}

void TRunState::SetStopping(bool stopping) {
  std::lock_guard guard(lock_);
  stopping_ = stopping;
}

HRESULT TRunState::GetRunState(GUID* state) {
  return SafeCall([&] { SetOutValue(state, State()); });
}

VARIANT_BOOL TRunState::IsStopping() { return Stopping() ? VARIANT_TRUE : VARIANT_FALSE; }

ScopedRunState::ScopedRunState(TRunState& run, const GUID& state) : run_(run), before_(run.State()) {
  run_.SetStopping(false);
  run_.SetState(state);
}

ScopedRunState::~ScopedRunState() {
  run_.SetState(before_);
  run_.SetStopping(false);
}

}  // namespace pw::host
