// The host's state answers (IpwHostState), its indicator (texts, progress bars, update brackets),
// and host objects by key.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "host/host_config.h"
#include "host/run_state.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

// The state question "how does the host run" and its answer while it runs with dialogs.
inline constexpr GUID kHostModeQuestion = MakeGuid("{73BD8AE3-0F50-47B6-B1E0-14669814AE32}");
inline constexpr GUID kHostModeInteractive = MakeGuid("{160E9506-4F8D-440F-BEF4-81AC3D40C9D9}");

class THostState final : public Implements<ComObject, IpwHostState> {
 public:
  // The run-state question answers what `run` holds (GUID_NULL without one).
  THostState(std::shared_ptr<HostConfig> config, ComPtr<TRunState> run = nullptr)
      : config_(std::move(config)), run_(std::move(run)) {}
  // A fixed answer to a question (GUID_NULL answer: back to the host's own).
  void SetAnswer(const GUID& question, const GUID& answer);

  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12)
  // The mode question answers kHostModeInteractive while the host runs with dialogs and
  // GUID_NULL otherwise, the run-state question the run state, unless an answer was set; other
  // questions answer what was set.
  HRESULT GetState(const GUID& question, GUID* answer) override;

 private:
  std::shared_ptr<HostConfig> config_;
  ComPtr<TRunState> run_;
  std::mutex lock_;
  std::map<GUID, GUID> answers_;
};

class TIndicator final : public Implements<ComObject, IpwIndicatorInternal> {
 public:
  // A progress bar shown now.
  struct Progress {
    std::int32_t id;
    WideString text;
    std::int32_t min, max, position;
  };
  // The text shown now ("" when nothing is pushed) and every text shown so far.
  WideString Text() const;
  std::vector<WideString> History() const;
  // The progress bars shown now, in the order they were started.
  std::vector<Progress> Bars() const;
  // The nesting of BeginUpdate (0 outside every bracket).
  int UpdateLevel() const;
  // What the indicator was asked, in order: "push TEXT", "restore", "begin", "end",
  // "start ID TEXT MIN MAX", "update ID POSITION", "stop ID".
  std::vector<WideString> Events() const;

  HRESULT BeginUpdate() override;
  // An EndUpdate without a BeginUpdate is ignored.
  HRESULT EndUpdate() override;
  PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  HRESULT PushText(BSTR text) override;
  HRESULT RestoreText() override;
  PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13) PW_HOST_RESERVED(14)
  PW_HOST_RESERVED(15) PW_HOST_RESERVED(16) PW_HOST_RESERVED(17) PW_HOST_RESERVED(18) PW_HOST_RESERVED(19)
  PW_HOST_RESERVED(20) PW_HOST_RESERVED(21) PW_HOST_RESERVED(22)
  std::int32_t StartProgress(BSTR text, std::int32_t min, std::int32_t max) override;
  void StopProgress(std::int32_t id) override;
  // The position is kept within the bar's range.
  void UpdateProgress(std::int32_t id, std::int32_t position) override;

 private:
  void Record(WideString what);
  mutable std::mutex lock_;
  std::vector<WideString> stack_;
  std::vector<WideString> history_;
  std::vector<Progress> bars_;
  std::vector<WideString> events_;
  std::int32_t nextId_ = 1;
  int updateLevel_ = 0;
};

// Host objects by key (test objects of the object tree, and objects registered by key) and the
// indicator.
class THostObjectProvider final : public Implements<ComObject, IpwHostObjectProvider> {
 public:
  using Finder = std::function<ComPtr<IUnknown>(const GUID& key)>;
  THostObjectProvider(ComPtr<TIndicator> indicator, Finder finder)
      : indicator_(std::move(indicator)), finder_(std::move(finder)) {}
  void RegisterObject(const GUID& key, IUnknown* object);
  // Script-style names: an object registered under a name (compared ignoring case) comes first,
  // then the finder's answer (TestHost: "Page" the front browser's page, Page("url") a page of
  // that URL); anything else gives a placeholder node named by the text whose Exists is False.
  using NameFinder = std::function<ComPtr<IUnknown>(WideStringView name)>;
  void RegisterName(WideStringView name, IUnknown* object);
  void SetNameFinder(NameFinder finder);
  // The names asked for, in order.
  std::vector<WideString> NameRequests() const;

  HRESULT GetObjectByKey(const GUID& key, IUnknown** object) override;
  HRESULT GetObjectByName(BSTR name, IUnknown** object) override;
  PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13)
  PW_HOST_RESERVED(14) PW_HOST_RESERVED(15) PW_HOST_RESERVED(16)
  HRESULT GetIndicator(IUnknown** indicator) override;

 private:
  ComPtr<TIndicator> indicator_;
  Finder finder_;
  mutable std::mutex lock_;
  std::map<GUID, ComPtr<IUnknown>> objects_;
  NameFinder nameFinder_;
  std::vector<std::pair<WideString, ComPtr<IUnknown>>> names_;
  std::vector<WideString> nameRequests_;
};

}  // namespace pw::host
