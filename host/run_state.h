// The test host's one run state and stop flag. Every question about the test run reads them:
// the test-engine state (IpwTestEngineState, answered by the run-control service too), the
// host state's run-state question and the stop-request service (IpwStopRequestService).
// Tests and pwhost set them; reading and setting are safe from any thread.
#pragma once

#include <mutex>

#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

// The two run states in which a test run is in progress (GUID_NULL: no run).
inline constexpr GUID kRunStateRunning = MakeGuid("{3DACEED8-213B-43BB-9443-511B441BACDF}");
inline constexpr GUID kRunStateAlternate = MakeGuid("{E0583945-014B-4BFC-B8C3-0F5B419797F4}");
// The host-state question (IpwHostState::GetState) that the run state answers.
inline constexpr GUID kRunStateQuestion = MakeGuid("{D8418F0B-3CD9-40C6-9FCF-B30068D2BF3C}");

class TRunState final : public Implements<ComObject, IpwTestEngineState, IpwStopRequestService> {
 public:
  GUID State() const;
  void SetState(const GUID& state);
  bool Stopping() const;
  void SetStopping(bool stopping);

  // IpwTestEngineState
  HRESULT GetRunState(GUID* state) override;
  // IpwStopRequestService
  PW_HOST_RESERVED(3)
  VARIANT_BOOL IsStopping() override;

 private:
  mutable std::mutex lock_;
  GUID state_{};
  bool stopping_ = false;
};

// Sets a run state for its lifetime and puts back the one before (the stop flag is cleared at both ends).
class ScopedRunState {
 public:
  ScopedRunState(TRunState& run, const GUID& state);
  ~ScopedRunState();
  ScopedRunState(const ScopedRunState&) = delete;
  ScopedRunState& operator=(const ScopedRunState&) = delete;

 private:
  TRunState& run_;
  GUID before_;
};

}  // namespace pw::host
