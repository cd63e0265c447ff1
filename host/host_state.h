// The host's state answers (IpwHostState), its indicator, and host objects by key.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "host/host_config.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

// The state question "how does the host run" and its answer while it runs with dialogs.
inline constexpr GUID kHostModeQuestion = MakeGuid("{73BD8AE3-0F50-47B6-B1E0-14669814AE32}");
inline constexpr GUID kHostModeInteractive = MakeGuid("{160E9506-4F8D-440F-BEF4-81AC3D40C9D9}");

class THostState final : public Implements<ComObject, IpwHostState> {
 public:
  explicit THostState(std::shared_ptr<HostConfig> config) : config_(std::move(config)) {}
  // A fixed answer to a question (GUID_NULL answer: back to the host's own).
  void SetAnswer(const GUID& question, const GUID& answer);

  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12)
  // The mode question answers kHostModeInteractive while the host runs with dialogs and
  // GUID_NULL otherwise, unless an answer was set; other questions answer what was set.
  HRESULT GetState(const GUID& question, GUID* answer) override;

 private:
  std::shared_ptr<HostConfig> config_;
  std::mutex lock_;
  std::map<GUID, GUID> answers_;
};

class TIndicator final : public Implements<ComObject, IpwIndicatorInternal> {
 public:
  // The text shown now ("" when nothing is pushed) and every text shown so far.
  WideString Text() const;
  std::vector<WideString> History() const;

  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  HRESULT PushText(BSTR text) override;
  HRESULT RestoreText() override;

 private:
  mutable std::mutex lock_;
  std::vector<WideString> stack_;
  std::vector<WideString> history_;
};

// Host objects by key (test objects of the object tree, and objects registered by key) and the
// indicator.
class THostObjectProvider final : public Implements<ComObject, IpwHostObjectProvider> {
 public:
  using Finder = std::function<ComPtr<IUnknown>(const GUID& key)>;
  THostObjectProvider(ComPtr<TIndicator> indicator, Finder finder)
      : indicator_(std::move(indicator)), finder_(std::move(finder)) {}
  void RegisterObject(const GUID& key, IUnknown* object);

  HRESULT GetObjectByKey(const GUID& key, IUnknown** object) override;
  PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13)
  PW_HOST_RESERVED(14) PW_HOST_RESERVED(15) PW_HOST_RESERVED(16)
  HRESULT GetIndicator(IUnknown** indicator) override;

 private:
  ComPtr<TIndicator> indicator_;
  Finder finder_;
  std::mutex lock_;
  std::map<GUID, ComPtr<IUnknown>> objects_;
};

}  // namespace pw::host
