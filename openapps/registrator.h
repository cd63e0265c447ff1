// The module's door for the host: the registrator that lists the module's plug-ins and creates
// them by their position in its table.
//
// TcvBaseExtensionRegistrator keeps the list of plug-in descriptions and answers every
// per-plug-in question from it; TpwOpenAppsRegistrator fills the list from the module's
// constant plug-in table, answers its own key, name, description and GUID lists, and creates
// the plug-in objects.
#pragma once

#include <memory>
#include <vector>

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"

namespace pw {

// One row of a plug-in table. The GUID lists are CR LF separated registry-form GUIDs.
struct TRegPluginInfo {
  GUID key;
  const char16_t* name;
  const char16_t* description;
  const char16_t* listA;
  const char16_t* required;  // the plug-ins this one requires
  std::int32_t version;
  std::int32_t version2;
};

// One registered plug-in, with its GUID lists parsed.
struct TPluginDescription {
  GUID key{};
  WideString name, description;
  std::vector<GUID> listA, required;
  std::int32_t version = 0, version2 = 0;
  bool flag = false;
  const void* data = nullptr;  // for the subclass's factory
};

// Parses a CR LF (or CR, or LF) separated list of registry-form GUIDs; a line that is not a
// GUID raises the conversion error. An empty text is an empty list.
std::vector<GUID> ParseGuidLines(WideStringView text);

class TcvBaseExtensionRegistrator : public Implements<TcvInterfacedObject, IcvPluginRegistrator> {
 public:
  // IcvPluginRegistrator, slots 3 to 9: through the virtual operations below.
  HRESULT GetKey(GUID* key) override;
  HRESULT GetName(BSTR* name) override;
  HRESULT GetDescription(BSTR* text) override;
  HRESULT GetListACount(std::int32_t* count) override;
  HRESULT GetListAItem(std::int32_t index, GUID* item) override;
  HRESULT GetListBCount(std::int32_t* count) override;
  HRESULT GetListBItem(std::int32_t index, GUID* item) override;
  // Slots 10 to 20: from the list. A plug-in or item index outside its list fails.
  HRESULT PluginCount(std::int32_t* count) override;
  HRESULT PluginKey(std::int32_t plugin, GUID* key) override;
  HRESULT PluginName(std::int32_t plugin, BSTR* name) override;
  HRESULT PluginDescription(std::int32_t plugin, BSTR* text) override;
  HRESULT PluginVersion(std::int32_t plugin, std::int32_t* version, std::int32_t* version2) override;
  HRESULT PluginFlag(std::int32_t plugin, VARIANT_BOOL* flag) override;
  HRESULT PluginRequiredCount(std::int32_t plugin, std::int32_t* count) override;
  HRESULT PluginRequired(std::int32_t plugin, std::int32_t index, GUID* key) override;
  HRESULT PluginListACount(std::int32_t plugin, std::int32_t* count) override;
  HRESULT PluginListAItem(std::int32_t plugin, std::int32_t index, GUID* item) override;
  HRESULT CreatePlugin(std::int32_t plugin, IcvPlugin** result) override;

  const std::vector<std::unique_ptr<TPluginDescription>>& Descriptions() const { return list_; }

 protected:
  TcvBaseExtensionRegistrator() = default;
  ~TcvBaseExtensionRegistrator() override;

  // Appends one description; a malformed GUID line raises and adds nothing.
  void AddPlugin(const TRegPluginInfo& info, const void* data, bool flag);

  virtual ComPtr<IcvPlugin> CreatePluginInstance(const TPluginDescription& description) = 0;
  virtual GUID DoGetKey() = 0;
  virtual WideString DoGetName() = 0;
  virtual WideString DoGetDescription() { return {}; }
  virtual std::int32_t DoGetListACount() = 0;
  // Index is in range: the callers check it against the count.
  virtual GUID DoGetListAItem(std::int32_t index) = 0;
  virtual std::int32_t DoGetListBCount() = 0;
  virtual GUID DoGetListBItem(std::int32_t index) = 0;

 private:
  const TPluginDescription& Description(std::int32_t plugin) const;

  std::vector<std::unique_ptr<TPluginDescription>> list_;
};

// The module's plug-in table (eight rows, in the order the host indexes them).
const std::vector<TRegPluginInfo>& OpenAppsPluginTable();

// The class of a table row that another library of the module builds (the web plug-ins): the
// module registers it at start (nil withdraws it). A row without a class fails with E_NOTIMPL.
using PluginFactory = ComPtr<IcvPlugin> (*)();
void RegisterPluginClass(const GUID& key, PluginFactory create);

// Where the registrator's description lives in the module's string table.
inline constexpr std::uint32_t kRegistratorDescriptionString = 65521;

class TpwOpenAppsRegistrator final : public TcvBaseExtensionRegistrator {
 public:
  TpwOpenAppsRegistrator();
  // A registrator over another table (tests): the factory finds classes by key as usual.
  explicit TpwOpenAppsRegistrator(const std::vector<TRegPluginInfo>& table);

 protected:
  ComPtr<IcvPlugin> CreatePluginInstance(const TPluginDescription& description) override;
  GUID DoGetKey() override;
  WideString DoGetName() override;
  WideString DoGetDescription() override;
  std::int32_t DoGetListACount() override;
  GUID DoGetListAItem(std::int32_t index) override;
  std::int32_t DoGetListBCount() override;
  GUID DoGetListBItem(std::int32_t index) override;
};

// What the export GetPluginRegistrator hands out: a new registrator (one reference).
ComPtr<IcvPluginRegistrator> CreatePluginRegistrator();
// The export's body: clears the out value; with a start error (the module's start failed)
// answers E_FAIL with error information that carries it, else a new registrator and S_OK.
HRESULT GetPluginRegistratorImpl(IcvPluginRegistrator** registrator, const WideString& startError);

}  // namespace pw
