// TpwIndicatorBar: a progress bar of the host's indicator (node-lookup service) for the time of
// a scope: shown with a text and a maximum, moved by Update, taken down by the destructor
// (also when an exception leaves the scope). Nothing happens on a host without an indicator.
#pragma once

#include "core/host/host_services.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/automation/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/safecall.h"
#include "web/navigation/page_search.h"

namespace pw::web {

class TpwIndicatorBar {
 public:
  TpwIndicatorBar(IcvBaseManager* manager, WideStringView text, std::int32_t max) {
    auto provider = GetHostService<IpwHostObjectProvider>(manager, kNodeLookupService);
    if (!provider) return;
    ComPtr<IUnknown> object;
    SafeCallCheck(provider->GetIndicator(object.Put()));
    indicator_ = QueryAs<IpwIndicatorInternal>(object.Get());
    if (!indicator_) return;
    BString t(text);
    id_ = indicator_->StartProgress(t.Get(), 0, max);
  }
  ~TpwIndicatorBar() {
    if (indicator_ && id_ != -1) indicator_->StopProgress(id_);
  }
  void Update(std::int32_t position) {
    if (indicator_ && id_ != -1) indicator_->UpdateProgress(id_, position);
  }
  TpwIndicatorBar(const TpwIndicatorBar&) = delete;
  TpwIndicatorBar& operator=(const TpwIndicatorBar&) = delete;

 private:
  ComPtr<IpwIndicatorInternal> indicator_;
  std::int32_t id_ = -1;
};

}  // namespace pw::web
