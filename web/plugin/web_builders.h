// The five web builders that the Web Testing plug-in hands the host. The host offers every new
// node of its object tree to each; a builder looks at the node's native object and attaches the
// script-visible slices that the node gets:
// - TpwWebElementExtenderBuilder (element kind {85B7275D-...}): an element's control slice by its
//   ControlType (select and list boxes, frames, check boxes, tab buttons and lists, buttons, the
//   IE8 address edit); an element whose type matches no row gets nothing;
// - TpwWebWindow (window kind): the IE frame slice on "IEFrame" windows, the page locator on
//   "Internet Explorer_Server" windows (the class is the windows manager's for the node's handle);
// - TpwWebProcess (process kind): page lookup (TpwPageFindMethods, made with the object tree) and
//   the process's ToUrl on the five browser processes, the IE frame method on "iexplore", and the
//   tracking call (-1) when the process object answers IpwProcessTracking;
// - TpwOpenAppContextTableBuilder (context-table kind {010C9CA9-...}): XPath, CSS selectors and
//   the page locator by the context's capabilities, the page picture and page actions on "page"
//   nodes, and the HTML 5 usage counters (registered at construction, counted per node only when
//   the CSS capability held);
// - TpwOpenAppSysBuilder: the browser methods (TpwBrowserMethods) on every node it is offered.
// Slices are made with the host's manager (the object tree's GetManager); the element slices
// carry the element kind's tag, every other slice 0x7FFFFFFF. The group of a slice is the
// NativeWebObject type key {85B7275D-...}, GUID_NULL for the browser methods and the CSS
// selector methods (the host's groups are GUIDs). A failure inside the element builder, once the
// element object is found, is swallowed (the node gets nothing); the other builders pass
// failures on to the host.
#pragma once

#include <functional>
#include <mutex>
#include <optional>

#include "interfaces/ProbewrightHost.h"
#include "openapps/extensions/node_builder.h"

namespace pw::web {

inline constexpr GUID kWebElementKind = MakeGuid("{85B7275D-2E99-4A15-8D21-821BCA3D04A1}");
inline constexpr GUID kWebWindowKind = MakeGuid("{E9E061ED-0F79-433C-941B-A6235328FA2C}");
inline constexpr GUID kWebProcessKind = MakeGuid("{89700BDC-D5D8-4BE2-ACC3-E934A765A45A}");
inline constexpr GUID kContextTableKind = MakeGuid("{010C9CA9-DAD6-477B-92A5-A435CF493762}");
inline constexpr GUID kSysBuilderKey = MakeGuid("{DF836F24-931E-45D1-9D09-A4E71DAFF97E}");
inline constexpr GUID kSysBuilderKind = MakeGuid("{4A9F9237-C1F7-4B80-9573-8440D7B37DC6}");

// The interface GUIDs under which the builders add their slices.
namespace slice_iids {
inline constexpr GUID kSelect = MakeGuid("{77468D05-DE9C-47E4-997D-8EC4555EF486}");
inline constexpr GUID kObjectLocator = MakeGuid("{714E4690-6256-49A9-B293-8D5AD32A3B2A}");
inline constexpr GUID kCheckBox = MakeGuid("{4C3AA205-4642-4493-B7B3-B9390098441D}");
inline constexpr GUID kButton = MakeGuid("{84D0550F-AE54-435F-B13F-2DEC777699F6}");
inline constexpr GUID kTabList = MakeGuid("{CAFBA2A9-8182-4B4C-85B8-B8558356D7F3}");
inline constexpr GUID kIE8Edit = MakeGuid("{CABCB848-E98E-4E3F-B171-63BFB12F4723}");
inline constexpr GUID kIEFrame = MakeGuid("{D3C616B2-C9B2-4233-ABFF-E351CD1CC21E}");
inline constexpr GUID kPageLocator = MakeGuid("{61B07B56-C300-445A-92EE-A7A90FDCD7DC}");
inline constexpr GUID kIEFrameMethod = MakeGuid("{B969890E-95D8-44BA-B147-1EB2AE0234A2}");
inline constexpr GUID kPageFind = MakeGuid("{90A78AA5-9B5C-4CBF-854F-9C2C41AAEDC5}");
inline constexpr GUID kBrowserMethods = MakeGuid("{5F857BD4-ED7B-4D5D-9529-0D544B86924A}");
inline constexpr GUID kEvaluateXPath = MakeGuid("{2A6B8696-1EB5-48D2-95D7-359958EBB906}");
inline constexpr GUID kCssSelector = MakeGuid("{5385C744-FFB4-4041-85B4-440DFB5E4A55}");
inline constexpr GUID kPagePicture = MakeGuid("{1EF9CCE5-D70F-4969-B3F3-36853B1F4396}");
inline constexpr GUID kPageActions = MakeGuid("{6D03B6B8-9212-4122-BBD4-958E1264A142}");
}  // namespace slice_iids

// The context capabilities the context-table builder asks for.
inline constexpr GUID kXPathCapability = MakeGuid("{24C6CDDA-2A15-403D-B047-DBE341A7D2D6}");
inline constexpr GUID kCssCapability = MakeGuid("{CBA753E9-BF83-424F-BD94-53A405683A68}");
inline constexpr GUID kToUrlCapability = MakeGuid("{2510B7B2-CC74-4676-ADEB-F3E2C2D6D46B}");

// The usage counters: registration by key and name, increments by key. The default goes to the
// statistics library (failures ignored); tests put their own.
struct TpwUsageCounters {
  std::function<void(const GUID& key, const char16_t* name)> registerCounter;
  std::function<void(const GUID& key, std::int32_t amount)> increment;
};
TpwUsageCounters& UsageCounters();

// The 16 HTML 5 counters ({10000000-0930-4EFF-86D4-91607D7DD117} + n) and the counter an object
// type text counts in (same length and equal ignoring case; the first of the 30 names wins).
GUID Html5CounterKey(int n);
const char16_t* Html5CounterName(int n);
std::optional<int> Html5CounterOf(WideStringView typeText);
void RegisterHtml5Counters();
void CountHtml5Usage(WideStringView typeText);

// The frame process of an IE tab process: the "SCODEF:" number of its command line, else the
// process's own id.
std::int32_t GetFrameProcessId(WideStringView commandLine, std::int32_t ownId);

// The ControlType (DISPID 0xC001) of a control information object, empty without one.
WideString GetControlType(IDispatch* info);

// The host's object tree, which every node builder is made over; raises E_NOINTERFACE without one.
ComPtr<IpwSysManager> RequireSysManager(IcvBaseManager* manager);

// The base of the five: the host's manager that slices are made with, asked of the object tree
// (its GetManager) at the first node that gets a slice and kept while the answer is not nil.
class TpwWebNodeBuilder : public TpwSysNodeBuilder {
 public:
  using TpwSysNodeBuilder::TpwSysNodeBuilder;

 protected:
  IcvBaseManager* HostObject();

 private:
  std::mutex hostLock_;
  ComPtr<IcvBaseManager> host_;
};

class TpwWebElementExtenderBuilder final : public TpwWebNodeBuilder {
 public:
  explicit TpwWebElementExtenderBuilder(IcvBaseManager* manager);

 protected:
  void DoExtendNode(IpwSysNode* node) override;
  bool DoOperation7(IUnknown*) override { return false; }
};

class TpwWebWindow final : public TpwWebNodeBuilder {
 public:
  explicit TpwWebWindow(IcvBaseManager* manager);

 protected:
  void DoExtendNode(IpwSysNode* node) override;
  bool DoOperation7(IUnknown*) override { return false; }
};

class TpwWebProcess final : public TpwWebNodeBuilder {
 public:
  explicit TpwWebProcess(IcvBaseManager* manager);

 protected:
  void DoExtendNode(IpwSysNode* node) override;
  bool DoOperation7(IUnknown*) override { return false; }
};

class TpwOpenAppContextTableBuilder final : public TpwWebNodeBuilder {
 public:
  TpwOpenAppContextTableBuilder(IpwSysManager* sysManager, const GUID& key, const GUID& kind);

 protected:
  void DoExtendNode(IpwSysNode* node) override;
  bool DoOperation7(IUnknown*) override { return false; }
};

class TpwOpenAppSysBuilder final : public TpwWebNodeBuilder {
 public:
  using TpwWebNodeBuilder::TpwWebNodeBuilder;

 protected:
  void DoExtendNode(IpwSysNode* node) override;
  bool DoOperation7(IUnknown*) override { return false; }
};

// The slices of other parts that the builders attach, made by factories so that the builders
// do not depend on their classes: the page lookup (with the object tree), the browser methods
// (with the object tree), the XPath and the CSS selector slices (with the host's manager). A
// factory that is not set, or that answers nil, attaches nothing.
struct TpwWebSliceFactories {
  std::function<ComPtr<IDispatch>(IpwSysManager*)> pageFind;
  std::function<ComPtr<IDispatch>(IpwSysManager*)> browserMethods;
  std::function<ComPtr<IDispatch>(IcvBaseManager*)> evaluateXPath;
  std::function<ComPtr<IDispatch>(IcvBaseManager*)> cssSelector;
};
TpwWebSliceFactories& WebSliceFactories();

}  // namespace pw::web
