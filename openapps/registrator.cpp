#include "openapps/registrator.h"

#include <map>
#include <mutex>

#include "openapps/open_app_plugins.h"
#include "platform/automation/out_params.h"
#include "platform/automation/bstr.h"
#include "platform/rtl/exceptions.h"
#include "platform/ui/resources.h"
#include "platform/rtl/rtl_lists.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

void CheckItemIndex(std::int32_t index, std::size_t count) {
  if (index < 0 || static_cast<std::size_t>(index) >= count) throw EListError(ListIndexErrorMessage(index));
}

void OutCount(std::int32_t* out, std::size_t count) { SetOutValue(out, static_cast<std::int32_t>(count)); }

// Item Index of one of a plug-in's GUID lists; an index outside the list fails.
void OutListItem(GUID* out, const std::vector<GUID>& list, std::int32_t index) {
  CheckItemIndex(index, list.size());
  SetOutValue(out, list[static_cast<std::size_t>(index)]);
}

constexpr GUID kHostPlugin = MakeGuid("{CB9ABF70-9469-4792-ADD4-2C9CB437D174}");
constexpr GUID kWebTestingKey = MakeGuid("{716200DB-CE5E-4E45-A405-B22EA6BBDDA8}");
constexpr GUID kWebCheckpointsKey = MakeGuid("{54A60A13-5B6E-43DF-BF93-3135C566996D}");
constexpr GUID kFirefoxKey = MakeGuid("{A66AF104-DAD8-4D80-BF5B-FE5892B482C1}");

constexpr GUID kRegistratorKey = MakeGuid("{C10173C7-470B-4D35-92DC-3B6756AE3328}");

constexpr GUID kListA[] = {
    MakeGuid("{7A5E736F-1621-4DF5-99E4-D7B24716BDC1}"), MakeGuid("{47813466-ECEE-4EB9-9430-FFB4D57BF803}"),
    MakeGuid("{6C2B7520-485E-458E-B6B6-5F316293ED04}"), MakeGuid("{BEAF6BE4-EBA4-4D09-B15A-C539F9D00090}"),
};

constexpr GUID kListB[] = {
    MakeGuid("{D0D30094-D31C-48F8-B428-72D95A738CF3}"), MakeGuid("{D0D30094-321C-41D3-BEEC-73C0FEC5CD12}"),
    MakeGuid("{E0D30094-47D6-477F-A6D7-0CA97FB91A43}"), MakeGuid("{A2D61F49-F13A-4392-BCE8-AFB0052F749A}"),
    MakeGuid("{73DE3752-41E0-43A3-8670-1B09F263C712}"), MakeGuid("{A9B5F4D5-74D8-4D74-9206-CD01A11CA7E3}"),
    MakeGuid("{C0D30094-2F7F-4669-9A33-FB081D60645B}"), MakeGuid("{C0D30094-F86B-427D-8642-E4DDDE3D551B}"),
    MakeGuid("{A0D30094-EE9A-45A5-A581-BA8E544DE1DC}"), MakeGuid("{A0D30094-4E82-49E4-A796-F30D7F8ED812}"),
    MakeGuid("{A0D30094-9B6D-46DF-B9A2-3A4938559E3A}"), MakeGuid("{A0D30094-FA0E-4009-97EA-036DC926E192}"),
    MakeGuid("{A0D30094-536C-4ED0-856B-A50A649A3DDB}"), MakeGuid("{A0D30094-0A97-4992-872F-B461C5FA0835}"),
};

// The plug-in classes by key, in table order. The web plug-ins are built by their own parts
// of the module; until they are, creating one fails and says so.
struct PluginClass {
  GUID key;
  ComPtr<IcvPlugin> (*create)();
};

template <class T>
ComPtr<IcvPlugin> Make() {
  return ComPtr<IcvPlugin>(MakeObject<T>().Get());
}

const PluginClass kClasses[] = {
    {kMSVCPluginKey, Make<TpwMSVCPlugin>},
    {kDelphiPluginKey, Make<TpwDelphiPlugin>},
    {kMSAAPluginKey, Make<TpwMSAAPlugin>},
    {kUiaPluginKey, Make<TpwUiaSupportPlugin>},
    {kVBPluginKey, Make<TpwVBAppPlugin>},
    {kWebTestingKey, nullptr},
    {kWebCheckpointsKey, nullptr},
    {kFirefoxKey, nullptr},
};

std::mutex gFactoriesLock;
std::map<GUID, PluginFactory>& Factories() {
  static std::map<GUID, PluginFactory> factories;
  return factories;
}

PluginFactory RegisteredFactory(const GUID& key) {
  std::lock_guard guard(gFactoriesLock);
  auto it = Factories().find(key);
  return it == Factories().end() ? nullptr : it->second;
}

}  // namespace

void RegisterPluginClass(const GUID& key, PluginFactory create) {
  std::lock_guard guard(gFactoriesLock);
  if (create) Factories()[key] = create;
  else Factories().erase(key);
}

std::vector<GUID> ParseGuidLines(WideStringView text) {
  std::vector<GUID> result;
  if (text.empty()) return result;
  // The lines of a string list's text: CR LF, CR or LF end a line; a last empty line is none.
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", pos);
    if (end == WideStringView::npos) end = text.size();
    result.push_back(StringToGuid(text.substr(pos, end - pos)));
    pos = end;
    if (pos < text.size() && text[pos] == u'\r') ++pos;
    if (pos < text.size() && text[pos] == u'\n') ++pos;
  }
  return result;
}

const std::vector<TRegPluginInfo>& OpenAppsPluginTable() {
  static const std::vector<TRegPluginInfo> table = {
      {kMSVCPluginKey, u"Visual C++ Application Support",
       u"This plug-in provides support for Microsoft Visual C++ Open Applications.", u"",
       u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}", 6, 0},
      {kDelphiPluginKey, u"Delphi and C++Builder Application Support",
       u"This plug-in provides support for Delphi and C++Builder Open Applications.", u"",
       u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}", 6, 0},
      {kMSAAPluginKey, u"Microsoft Active Accessibility Support",
       u"This plug-in provides support for MSAA Open Applications.", u"", u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}",
       4, 0},
      {kUiaPluginKey, u"UI Automation Support", u"This plug-in provides support for Microsoft UI Automation.", u"",
       u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}", 5, 0},
      {kVBPluginKey, u"Visual Basic Application Support",
       u"This plug-in provides support for Visual Basic Open Applications.", u"",
       u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}", 4, 0},
      {kWebTestingKey, u"Web Testing", u"This plug-in is used to test Web objects.", u"",
       u"{265112B9-6D34-4092-92B9-B036082EA04A}\r\n{CB9ABF70-9469-4792-ADD4-2C9CB437D174}", 4, 0},
      {kWebCheckpointsKey, u"Web Checkpoints",
       u"Provides the Web Accessibility and Web Comparison checkpoint functionalities.", u"",
       u"{716200DB-CE5E-4E45-A405-B22EA6BBDDA8}", 6, 0},
      {kFirefoxKey, u"Firefox Support", u"This plug-in provides support for the Firefox browser.", u"",
       u"{716200DB-CE5E-4E45-A405-B22EA6BBDDA8}", 4, 0},
  };
  static_assert(kHostPlugin != GUID_NULL);
  return table;
}

// ---- TcvBaseExtensionRegistrator ----------------------------------------------------------

TcvBaseExtensionRegistrator::~TcvBaseExtensionRegistrator() {
  // The descriptions go last first, then the list.
  while (!list_.empty()) list_.pop_back();
}

void TcvBaseExtensionRegistrator::AddPlugin(const TRegPluginInfo& info, const void* data, bool flag) {
  auto d = std::make_unique<TPluginDescription>();
  d->key = info.key;
  d->name = info.name ? info.name : u"";
  d->description = info.description ? info.description : u"";
  d->version = info.version;
  d->version2 = info.version2;
  d->flag = flag;
  d->data = data;
  d->required = ParseGuidLines(info.required ? info.required : u"");
  d->listA = ParseGuidLines(info.listA ? info.listA : u"");
  list_.push_back(std::move(d));
}

const TPluginDescription& TcvBaseExtensionRegistrator::Description(std::int32_t plugin) const {
  CheckItemIndex(plugin, list_.size());
  return *list_[static_cast<std::size_t>(plugin)];
}

HRESULT TcvBaseExtensionRegistrator::GetKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, DoGetKey()); });
}
HRESULT TcvBaseExtensionRegistrator::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, DoGetName()); });
}
HRESULT TcvBaseExtensionRegistrator::GetDescription(BSTR* text) {
  return SafeCall([&] { SetOut(text, DoGetDescription()); });
}
HRESULT TcvBaseExtensionRegistrator::GetListACount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, DoGetListACount()); });
}
HRESULT TcvBaseExtensionRegistrator::GetListAItem(std::int32_t index, GUID* item) {
  return SafeCall([&] {
    CheckItemIndex(index, static_cast<std::size_t>(std::max(DoGetListACount(), 0)));
    SetOutValue(item, DoGetListAItem(index));
  });
}
HRESULT TcvBaseExtensionRegistrator::GetListBCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, DoGetListBCount()); });
}
HRESULT TcvBaseExtensionRegistrator::GetListBItem(std::int32_t index, GUID* item) {
  return SafeCall([&] {
    CheckItemIndex(index, static_cast<std::size_t>(std::max(DoGetListBCount(), 0)));
    SetOutValue(item, DoGetListBItem(index));
  });
}
HRESULT TcvBaseExtensionRegistrator::PluginCount(std::int32_t* count) {
  return SafeCall([&] { OutCount(count, list_.size()); });
}
HRESULT TcvBaseExtensionRegistrator::PluginKey(std::int32_t plugin, GUID* key) {
  return SafeCall([&] { SetOutValue(key, Description(plugin).key); });
}
HRESULT TcvBaseExtensionRegistrator::PluginName(std::int32_t plugin, BSTR* name) {
  return SafeCall([&] { SetOut(name, Description(plugin).name); });
}
HRESULT TcvBaseExtensionRegistrator::PluginDescription(std::int32_t plugin, BSTR* text) {
  return SafeCall([&] { SetOut(text, Description(plugin).description); });
}
HRESULT TcvBaseExtensionRegistrator::PluginVersion(std::int32_t plugin, std::int32_t* version,
                                                   std::int32_t* version2) {
  return SafeCall([&] {
    const auto& d = Description(plugin);
    SetOutValue(version, d.version);
    SetOutValue(version2, d.version2);
  });
}
HRESULT TcvBaseExtensionRegistrator::PluginFlag(std::int32_t plugin, VARIANT_BOOL* flag) {
  return SafeCall([&] { SetOutBool(flag, Description(plugin).flag); });
}
HRESULT TcvBaseExtensionRegistrator::PluginRequiredCount(std::int32_t plugin, std::int32_t* count) {
  return SafeCall([&] { OutCount(count, Description(plugin).required.size()); });
}
HRESULT TcvBaseExtensionRegistrator::PluginRequired(std::int32_t plugin, std::int32_t index, GUID* key) {
  return SafeCall([&] { OutListItem(key, Description(plugin).required, index); });
}
HRESULT TcvBaseExtensionRegistrator::PluginListACount(std::int32_t plugin, std::int32_t* count) {
  return SafeCall([&] { OutCount(count, Description(plugin).listA.size()); });
}
HRESULT TcvBaseExtensionRegistrator::PluginListAItem(std::int32_t plugin, std::int32_t index, GUID* item) {
  return SafeCall([&] { OutListItem(item, Description(plugin).listA, index); });
}
HRESULT TcvBaseExtensionRegistrator::CreatePlugin(std::int32_t plugin, IcvPlugin** result) {
  if (result) *result = nullptr;
  return SafeCall([&] {
    CheckOut(result);
    ComPtr<IcvPlugin> made = CreatePluginInstance(Description(plugin));
    *result = made.Detach();
  });
}

// ---- TpwOpenAppsRegistrator ---------------------------------------------------------------

TpwOpenAppsRegistrator::TpwOpenAppsRegistrator() : TpwOpenAppsRegistrator(OpenAppsPluginTable()) {}

TpwOpenAppsRegistrator::TpwOpenAppsRegistrator(const std::vector<TRegPluginInfo>& table) {
  for (const auto& row : table) AddPlugin(row, nullptr, true);
}

ComPtr<IcvPlugin> TpwOpenAppsRegistrator::CreatePluginInstance(const TPluginDescription& description) {
  for (const auto& c : kClasses) {
    if (c.key != description.key) continue;
    // A class the table leaves open is made by the factory registered for it, when there is one.
    const PluginFactory create = c.create ? c.create : RegisteredFactory(c.key);
    if (!create)
      throw EOleSysError(u"The plug-in \"" + description.name + u"\" is not part of this build of the module.",
                         E_NOTIMPL);
    return create();
  }
  return nullptr;  // a key with no class: success with no plug-in
}

GUID TpwOpenAppsRegistrator::DoGetKey() { return kRegistratorKey; }

WideString TpwOpenAppsRegistrator::DoGetName() { return u"Open Applications Support Plug-In Registator"; }

WideString TpwOpenAppsRegistrator::DoGetDescription() {
  WideString text;
  LoadModuleString(kRegistratorDescriptionString, text);
  return text;
}

std::int32_t TpwOpenAppsRegistrator::DoGetListACount() { return static_cast<std::int32_t>(std::size(kListA)); }
GUID TpwOpenAppsRegistrator::DoGetListAItem(std::int32_t index) { return kListA[index]; }
std::int32_t TpwOpenAppsRegistrator::DoGetListBCount() { return static_cast<std::int32_t>(std::size(kListB)); }
GUID TpwOpenAppsRegistrator::DoGetListBItem(std::int32_t index) { return kListB[index]; }

ComPtr<IcvPluginRegistrator> CreatePluginRegistrator() {
  return ComPtr<IcvPluginRegistrator>(MakeObject<TpwOpenAppsRegistrator>().Get());
}

HRESULT GetPluginRegistratorImpl(IcvPluginRegistrator** registrator, const WideString& startError) {
  if (registrator) *registrator = nullptr;
  return SafeCallBoundary([&] {
    CheckOut(registrator);
    if (!startError.empty()) throw EOleSysError(u"The module failed to start: " + startError, E_FAIL);
    *registrator = CreatePluginRegistrator().Detach();
  });
}

}  // namespace pw
