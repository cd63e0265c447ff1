#include "host/sample_desktop.h"

#include "host/name_mapping.h"
#include "host/test_host.h"
#include "platform/kernel/kernel.h"

namespace pw::host {

namespace {

const GUID kNameTextKey = MakeGuid("{A0572AB9-A386-439B-ABF4-D79E3FC9D2AC}");

ComPtr<TSysNode> AddProcess(TSysNode& sys, DWORD id, WideStringView name) {
  auto node = sys.AddChild(u"Process", {OleVariant(name)});
  node->SetProcess(static_cast<std::int32_t>(id), name, name);
  node->SetProperty(kNameTextKey, OleVariant(name));
  node->SetMemberValue(u"ProcessName", OleVariant(name));
  auto own = MakeObject<THostNodeIdentification>();
  own->properties = {{u"ProcessName", u"ProcessName"}};
  node->SetInterfaceObject(IpwNodeIdentification::iid, static_cast<IpwNodeIdentification*>(own.Get()));
  return node;
}

ComPtr<TSysNode> AddWindow(TSysManager& tree, TSysNode& parent, WideStringView className, WideStringView caption,
                           std::int32_t index, WideStringView name, TSysManager::ScreenRect rect) {
  auto node = parent.AddChild(u"Window", {OleVariant(className), OleVariant(caption), OleVariant(index)});
  node->SetObjectType(kTestedWindowTypeKey);
  node->SetProperty(kNameTextKey, OleVariant(name));
  node->SetMemberValue(u"WndClass", OleVariant(className));
  node->SetMemberValue(u"WndCaption", OleVariant(caption));
  node->SetMemberValue(u"Index", OleVariant(index));
  auto own = MakeObject<THostNodeIdentification>();
  own->properties = {{u"WndClass", u"WndClass"}, {u"WndCaption", u"WndCaption"}, {u"Index", u"Index"}};
  node->SetInterfaceObject(IpwNodeIdentification::iid, static_cast<IpwNodeIdentification*>(own.Get()));
  tree.SetScreenRect(node->Key(), rect);
  return node;
}

void Provide(TSysNode& node, std::vector<WideString> names, std::vector<WideString> extra, bool search, bool root) {
  auto provider = MakeObject<THostIdentificationProvider>();
  provider->identificationNames = std::move(names);
  provider->extraNames = std::move(extra);
  provider->searchCollisions = search;
  provider->isSearchRoot = root;
  auto services = MakeObject<THostNodeServices>();
  services->Set(IpwIdentificationProvider::iid, static_cast<IpwIdentificationProvider*>(provider.Get()));
  node.SetInterfaceObject(IpwSysNodeServices::iid, static_cast<IpwSysNodeServices*>(services.Get()));
}

}  // namespace

SampleDesktop AddSampleDesktop(TestHost& host) {
  TSysManager& tree = host.ObjectTree();
  TSysNode& sys = host.Sys();
  SampleDesktop d;
  sys.SetProperty(kNameTextKey, OleVariant(u"Sys"));
  d.process = AddProcess(sys, 4301, u"orders");
  d.form = AddWindow(tree, *d.process, u"TOrderForm", u"Orders", 1, u"Orders", {100, 100, 500, 400});
  d.leftPanel = AddWindow(tree, *d.form, u"TPanel", u"", 1, u"Panel", {110, 150, 290, 390});
  d.rightPanel = AddWindow(tree, *d.form, u"TPanel", u"", 2, u"Panel", {300, 150, 490, 390});
  d.leftButton = AddWindow(tree, *d.leftPanel, u"TButton", u"OK", 1, u"OK", {120, 350, 200, 380});
  d.rightButton = AddWindow(tree, *d.rightPanel, u"TButton", u"OK", 1, u"OK", {310, 350, 390, 380});
  d.leftButton->SetMemberValue(u"ControlId", OleVariant(11));
  d.rightButton->SetMemberValue(u"ControlId", OleVariant(12));
  Provide(*d.form, {u"WndClass", u"WndCaption"}, {}, false, true);
  for (auto* button : {d.leftButton.Get(), d.rightButton.Get()})
    Provide(*button, {u"WndClass", u"WndCaption", u"Index"}, {u"ControlId"}, true, false);
  d.ownProcess = AddProcess(sys, GetCurrentProcessId(), u"pwhost");
  d.ownWindow = AddWindow(tree, *d.ownProcess, u"TpwMain", u"pwhost", 1, u"pwhost", {600, 100, 900, 300});
  d.pdaProcess = AddProcess(sys, 4302, u"pda");
  d.screenPanel = AddWindow(tree, *d.pdaProcess, u"TpwPDAScreenPanel", u"", 1, u"Screen", {600, 400, 900, 700});
  return d;
}

}  // namespace pw::host
