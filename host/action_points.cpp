#include "host/action_points.h"

#include "platform/com/comobject.h"

namespace pw::host {

namespace {

class TActionPointSink final : public Implements<ComObject, IpwActionPointSink> {
 public:
  // Weakly: the store keeps its sinks.
  TActionPointSink(std::weak_ptr<ActionPointStore> store, const GUID& item) : store_(std::move(store)), item_(item) {}
  HRESULT ReportKey(const GUID& key) override {
    ActionPointReport r;
    r.item = item_;
    r.key = key;
    Record(r);
    return S_OK;
  }
  HRESULT ReportPoint(std::int32_t window, std::int32_t x, std::int32_t y, std::int32_t flag) override {
    ActionPointReport r;
    r.item = item_;
    r.isPoint = true;
    r.window = window, r.x = x, r.y = y, r.flag = flag;
    Record(r);
    return S_OK;
  }

 private:
  void Record(const ActionPointReport& r) {
    auto store = store_.lock();
    if (!store) return;
    std::lock_guard lock(store->mutex);
    store->reports.push_back(r);
  }
  std::weak_ptr<ActionPointStore> store_;
  const GUID item_;
};

}  // namespace

TActionPointService::TActionPointService() {
  provider_ = MakeObject<THostObjectProvider>(nullptr, [store = store_](const GUID& key) -> ComPtr<IUnknown> {
    std::lock_guard lock(store->mutex);
    auto& sink = store->sinks[key];
    if (!sink)
      sink = ComPtr<IUnknown>(
          static_cast<IpwActionPointSink*>(MakeObject<TActionPointSink>(std::weak_ptr(store), key).Get()));
    return sink;
  });
}

IUnknown* TActionPointService::Provider() const { return static_cast<IpwHostObjectProvider*>(provider_.Get()); }

std::vector<ActionPointReport> TActionPointService::Reports() const {
  std::lock_guard lock(store_->mutex);
  return store_->reports;
}

}  // namespace pw::host
