// The host's view of the project suite as far as the code model and the test run need it: the
// node registry (is a suite open, the current node, nodes by key, the current language), the
// run control (the item the run works on, the run state) and the diagnostic log. The project tree itself
// belongs to plug-ins; the host keeps nodes that tests or plug-ins hand it.
#pragma once

#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "host/run_state.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

// The type key of Project nodes.
inline constexpr GUID kProjectNodeType = MakeGuid("{362A8EE5-675E-43A9-869D-06ECE80B0CB4}");

// A plain project node the host can place in its registry: a key, a type, a parent and, for
// Project nodes, a language.
class THostProjectNode final : public Implements<ComObject, IpwProjectNode, IpwProject> {
 public:
  THostProjectNode(IpwProjectNode* parent, const GUID& typeKey, WideStringView name, const GUID& key = GUID_NULL);
  void SetLanguageKey(const GUID& key) { languageKey_ = key; }

  HRESULT GetKey(GUID* key) override;
  HRESULT GetName(BSTR* name) override;
  HRESULT SetName(BSTR name) override;
  HRESULT GetTypeKey(GUID* typeKey) override;
  HRESULT GetAttribute(std::int32_t id, VARIANT* value) override;
  HRESULT SetAttribute(std::int32_t id, const VARIANT& value) override;
  HRESULT GetGuidAttribute(std::int32_t index, GUID* value) override;
  HRESULT SetGuidAttribute(std::int32_t index, const GUID& value) override;
  HRESULT GetParent(IpwProjectNode** parent) override;
  // IpwProject
  HRESULT GetLanguageKey(GUID* key) override;

 protected:
  void* GetInterface(const IID& riid) noexcept override;

 private:
  ComPtr<IpwProjectNode> parent_;
  GUID typeKey_, key_;
  WideString name_;
  GUID languageKey_{};
};

class TProjectRegistry final : public Implements<ComObject, IpwProjectNodeRegistry, IpwProjectNodeRegistryService,
                                                 IpwRunControl, IpwTestEngineState> {
 public:
  // The run control answers the run state that `run` holds (GUID_NULL without one).
  explicit TProjectRegistry(ComPtr<TRunState> run = nullptr) : run_(std::move(run)) {}
  void SetSuiteOpen(bool open);
  void AddNode(IpwProjectNode* node);
  void SetCurrentNode(IpwProjectNode* node);
  void SetCurrentLanguage(const GUID& key);
  // The item the test run works on (nil: none).
  void SetRunItem(IcvKeyItem* item);
  void Clear();

  // IpwProjectNodeRegistry
  HRESULT GetNodeByKey(const GUID& key, IpwProjectNode** node) override;
  PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11)
  HRESULT IsSuiteOpen(VARIANT_BOOL* open) override;
  PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) PW_HOST_RESERVED(15) PW_HOST_RESERVED(16) PW_HOST_RESERVED(17)
  PW_HOST_RESERVED(18)
  HRESULT GetCurrentNode(IpwProjectNode** node) override;
  // IpwProjectNodeRegistryService
  HRESULT GetCurrentLanguageKey(GUID* key) override;
  // IpwRunControl
  HRESULT GetCurrentItem(IcvKeyItem** item) override;
  // IpwTestEngineState
  HRESULT GetRunState(GUID* state) override;

 private:
  ComPtr<TRunState> run_;
  mutable std::mutex lock_;
  bool suiteOpen_ = false;
  std::vector<ComPtr<IpwProjectNode>> nodes_;
  ComPtr<IpwProjectNode> current_;
  ComPtr<IcvKeyItem> runItem_;
  GUID language_{};
};

class TDiagnosticLog final : public Implements<ComObject, IpwDiagnosticLog> {
 public:
  std::vector<WideString> Lines() const;
  HRESULT Write(BSTR text) override;

 private:
  mutable std::mutex lock_;
  std::vector<WideString> lines_;
};

}  // namespace pw::host
