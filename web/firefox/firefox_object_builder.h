// TpwFFObjectBuilder: the node builder of the "Firefox Support" plug-in (one new builder per
// GetBuilder, each with its own key; node kind NativeFirefoxObject {965345DC-...}). For a node
// whose native object of that kind answers the host's Firefox-object interface {D9833FFD-...}
// (IpwTabContext: GetTabObject the element's native object, GetElementValue, MakeObjectContext)
// it reads the native object's "ControlType" and attaches the slice of the first matching row,
// ignoring case:
//   "browser"                                       page locator (ToUrl)   key {61B07B56-...}
//   "frame"                                         object locator (Find)  key {714E4690-...}
//   "element!checkbox"                              check box              key {4C3AA205-...}
//   "element!button"/"!submit"/"!reset"/"!radio"    button (radio flag)    key {84D0550F-...}
//   "element!select", native "ComboBox" True        Firefox combo box      key {78265EDB-...}
//   "element!select" otherwise                      Firefox list box       key {78265EDB-...}
//   "element!tabbutton"                             tab button             key {84D0550F-...}
//   "element!menuitem"/"!menupopup"/"!menubar"/"!popup"/"!menu"  XUL menu  key {78265EDB-...}
//   "element!tree"                                  XUL tree               key {78265EDB-...}
// The browser, frame and check-box rows are made with the element value and the context type
// "NativeWebObject"; every other row first has the element make its object context for the
// row's context type ("NativeWebObject" for button and tab button, "NativeFirefoxObject" for
// the Firefox controls) and the element value, and the slice gets that context. Slices are
// attached in the group NativeFirefoxObject with tag 0x7FFFFFFF. Any other ControlType attaches
// nothing.
//
// Slices come from a table of factories, one per slice kind (FirefoxSliceFactories); a factory
// not set, or answering nil, attaches nothing. By default the web slices and the four Firefox
// controls (firefox_slices.h) are set.
//
// Errors: a COM error (EOleSysError and its descendants) while reading the element, making the
// context or the slice, or attaching, is swallowed and the node keeps what it had; any other
// exception reaches the host as the failure of ExtendNode.
#pragma once

#include <functional>

#include "interfaces/ProbewrightHost.h"
#include "openapps/extensions/node_builder.h"
#include "platform/automation/variant.h"

namespace pw::web {

// The key of the Firefox control slices.
inline constexpr GUID kFirefoxControlSliceKey = MakeGuid("{78265EDB-CE99-4D9C-B266-C2CC258CE8BB}");

// What a slice factory is given.
struct TpwFFSliceRequest {
  IcvBaseManager* host = nullptr;  // the object tree's host object
  IUnknown* context = nullptr;     // the context the element made (nil for browser, frame, check box)
  const VARIANT* elementValue = nullptr;
  WideStringView contextTypeName;  // "NativeWebObject" or "NativeFirefoxObject"
  bool radio = false;              // the button row: "element!radio"
};
using TpwFFSliceFactory = std::function<ComPtr<IDispatch>(const TpwFFSliceRequest&)>;

struct TpwFFSliceFactories {
  TpwFFSliceFactory browser, frame, checkBox, button, tabButton;  // the web slices
  TpwFFSliceFactory comboBox, listBox, xulMenu, xulTree;          // the Firefox controls
};
// The factories the builders use (process-wide; tests replace entries and put them back).
TpwFFSliceFactories& FirefoxSliceFactories();
// The defaults: the web slices and the Firefox controls.
TpwFFSliceFactories DefaultFirefoxSliceFactories();

class TpwFFObjectBuilder final : public TpwSysNodeBuilder {
 public:
  // The builder of the plug-in's manager: the object tree its host gives (raises without one).
  explicit TpwFFObjectBuilder(IcvBaseManager* manager);

 protected:
  void DoExtendNode(IpwSysNode* node) override;
  bool DoOperation7(IUnknown*) override { return false; }
};

}  // namespace pw::web
