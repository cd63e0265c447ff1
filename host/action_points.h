// The host's action-point service: one sink per run item (IpwActionPointSink), reached through
// IpwHostObjectProvider's GetObjectByKey with the run item's key; a sink is made the first time
// its key is asked for. Every report of every sink is kept, in order, with the item's key.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "host/host_state.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

inline constexpr GUID kActionPointServiceKey = MakeGuid("{F0EF4AF3-39E1-492E-BEB8-569F810FB43A}");

struct ActionPointReport {
  GUID item{};                                      // the run item whose sink got the report
  bool isPoint = false;                             // a point (else the key of the targeted test object)
  GUID key{};                                       // ReportKey
  std::int32_t window = 0, x = 0, y = 0, flag = 0;  // ReportPoint
};

// The reports, shared with the sinks (which may outlive the service in the manager's hands).
struct ActionPointStore {
  std::mutex mutex;
  std::vector<ActionPointReport> reports;
  std::map<GUID, ComPtr<IUnknown>> sinks;  // one per run item key
};

class TActionPointService {
 public:
  TActionPointService();
  // What the host manager serves under kActionPointServiceKey.
  IUnknown* Provider() const;
  std::vector<ActionPointReport> Reports() const;

 private:
  std::shared_ptr<ActionPointStore> store_ = std::make_shared<ActionPointStore>();
  ComPtr<THostObjectProvider> provider_;
};

}  // namespace pw::host
