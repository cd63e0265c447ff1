#include "web/firefox/firefox_object_builder.h"

#include <initializer_list>

#include "core/automation/dispatch_helpers.h"
#include "openapps/extensions/controls.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/controls/tab_controls.h"
#include "web/firefox/firefox_slices.h"
#include "web/firefox/firefox_support_plugin.h"
#include "web/navigation/check_box.h"
#include "web/navigation/object_locator.h"
#include "web/navigation/window_to_url.h"
#include "web/plugin/web_builders.h"

namespace pw::web {

namespace {

constexpr std::int32_t kNoTag = 0x7FFFFFFF;
constexpr char16_t kWebContextType[] = u"NativeWebObject";
constexpr char16_t kFirefoxContextType[] = u"NativeFirefoxObject";

enum class Made { WithValue, WithContext };

struct Row {
  std::initializer_list<const char16_t*> types;
  TpwFFSliceFactory TpwFFSliceFactories::*factory;
  const char16_t* contextType;
  Made made;
  GUID key;
};

// In order; the first row whose type matches decides. The select row is split by "ComboBox".
const Row kRows[] = {
    {{u"browser"}, &TpwFFSliceFactories::browser, kWebContextType, Made::WithValue, slice_iids::kPageLocator},
    {{u"frame"}, &TpwFFSliceFactories::frame, kWebContextType, Made::WithValue, slice_iids::kObjectLocator},
    {{u"element!checkbox"}, &TpwFFSliceFactories::checkBox, kWebContextType, Made::WithValue, slice_iids::kCheckBox},
    {{u"element!button", u"element!submit", u"element!reset", u"element!radio"},
     &TpwFFSliceFactories::button,
     kWebContextType,
     Made::WithContext,
     slice_iids::kButton},
    {{u"element!select"},
     &TpwFFSliceFactories::listBox,
     kFirefoxContextType,
     Made::WithContext,
     kFirefoxControlSliceKey},
    {{u"element!tabbutton"}, &TpwFFSliceFactories::tabButton, kWebContextType, Made::WithContext, slice_iids::kButton},
    {{u"element!menuitem", u"element!menupopup", u"element!menubar", u"element!popup", u"element!menu"},
     &TpwFFSliceFactories::xulMenu,
     kFirefoxContextType,
     Made::WithContext,
     kFirefoxControlSliceKey},
    {{u"element!tree"}, &TpwFFSliceFactories::xulTree, kFirefoxContextType, Made::WithContext, kFirefoxControlSliceKey},
};

const Row* FindRow(WideStringView type) {
  for (const auto& row : kRows)
    for (const char16_t* name : row.types)
      if (SameTextIgnoringCase(type, name)) return &row;
  return nullptr;
}

GUID NewKey() {
  GUID key{};
  OleCheck(CreateGuid(key));
  return key;
}

bool IsTrue(OleVariant value) {
  OleVariant b;
  if (Failed(VariantChangeType(b.Ptr(), value.Ptr(), 0, VT_BOOL))) return false;
  return b.Get().boolVal != VARIANT_FALSE;
}

template <class T>
ComPtr<IDispatch> DispatchOf(const ComPtr<T>& slice) {
  return ComPtr<IDispatch>(static_cast<IDispatch*>(slice->Dispatch()));
}

}  // namespace

TpwFFSliceFactories DefaultFirefoxSliceFactories() {
  TpwFFSliceFactories f;
  f.browser = [](const TpwFFSliceRequest& r) {
    return DispatchOf(MakeObject<TpwWebToUrlMethod>(r.host, kFirefoxObjectType, true));
  };
  f.frame = [](const TpwFFSliceRequest& r) { return DispatchOf(MakeObject<TpwWebObjectLocator>(r.host)); };
  f.checkBox = [](const TpwFFSliceRequest& r) { return DispatchOf(MakeObject<TpwWebCheckBoxControl>(r.host)); };
  f.button = [](const TpwFFSliceRequest& r) {
    auto context = QueryAs<IpwObjectContext2>(r.context);
    return DispatchOf(MakeObject<TpwGenericButton>(r.host, context.Get(), r.radio));
  };
  f.tabButton = [](const TpwFFSliceRequest& r) {
    return DispatchOf(MakeObject<TpwWebTabButtonControl>(r.host, kFirefoxObjectType, false));
  };
  auto control = [](ComPtr<IDispatch> (*create)(IcvBaseManager*, IpwObjectContext2*)) {
    return [create](const TpwFFSliceRequest& r) {
      auto context = QueryAs<IpwObjectContext2>(r.context);
      return create(r.host, context.Get());
    };
  };
  f.comboBox = control(&CreateFFComboElement);
  f.listBox = control(&CreateFFListBoxElement);
  f.xulMenu = control(&CreateFFXULMenuElement);
  f.xulTree = control(&CreateFFXULTreeElement);
  return f;
}

TpwFFSliceFactories& FirefoxSliceFactories() {
  static TpwFFSliceFactories factories = DefaultFirefoxSliceFactories();
  return factories;
}

TpwFFObjectBuilder::TpwFFObjectBuilder(IcvBaseManager* manager)
    : TpwSysNodeBuilder(RequireSysManager(manager).Get(), NewKey(), kFirefoxObjectType) {}

void TpwFFObjectBuilder::DoExtendNode(IpwSysNode* node) {
  auto extensible = QueryAs<IpwExtensibleSysNode>(node);
  if (!extensible) return;
  ComPtr<IUnknown> object;
  SafeCallCheck(extensible->GetNativeObject(kFirefoxObjectType, object.Put()));
  auto element = QueryAs<IpwTabContext>(object.Get());
  if (!element) return;  // not a Firefox element
  try {
    ComPtr<IDispatch> native;
    SafeCallCheck(element->GetTabObject(native.Put()));
    OleVariant typeText = DispGetProperty(native.Get(), u"ControlType", OleVariant(u""));
    if (typeText.Get().vt != VT_BSTR) {
      OleVariant converted;
      if (Failed(VariantChangeType(converted.Ptr(), typeText.Ptr(), 0, VT_BSTR))) return;
      typeText = std::move(converted);
    }
    const WideStringView type = BstrView(typeText.Get().bstrVal);
    const Row* row = FindRow(type);
    if (!row) return;
    TpwFFSliceFactory TpwFFSliceFactories::*factory = row->factory;
    if (factory == &TpwFFSliceFactories::listBox &&
        IsTrue(DispGetProperty(native.Get(), u"ComboBox", OleVariant(false))))
      factory = &TpwFFSliceFactories::comboBox;
    const TpwFFSliceFactory make = FirefoxSliceFactories().*factory;  // a copy: the table may be replaced
    if (!make) return;
    // The element value only for an element that gets a slice.
    OleVariant value;
    SafeCallCheck(element->GetElementValue(value.Put()));
    ComPtr<IcvBaseManager> host;
    if (auto sys = SysManager()) SafeCallCheck(sys->GetManager(host.Put()));
    TpwFFSliceRequest request;
    request.host = host.Get();
    request.elementValue = value.Ptr();
    request.contextTypeName = row->contextType;
    request.radio = SameTextIgnoringCase(type, u"element!radio");
    ComPtr<IUnknown> context;
    if (row->made == Made::WithContext) {
      BString name(row->contextType);
      SafeCallCheck(element->MakeObjectContext(name.Get(), value.Get(), context.Put()));
      request.context = context.Get();
    }
    auto slice = make(request);
    if (!slice) return;
    SafeCallCheck(extensible->AddExtension(row->key, slice.Get(), kFirefoxObjectType, kNoTag));
  } catch (const EOleSysError&) {
    // A COM error of the host or the browser: the node is left without the slice.
  }
}

}  // namespace pw::web
