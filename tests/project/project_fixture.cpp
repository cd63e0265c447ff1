#include "tests/project/project_fixture.h"

#include "host/com_support.h"

namespace pw::test {

namespace {
const GUID kWidgetTypeValue = kWidgetType;
const GUID kSingleTypeValue = kSingleType;
const GUID kFixedTypeValue = kFixedType;
const GUID kProjectTypeValue = host::kProjectNodeType;
const WideString kWidget = u"Widget", kWidgetCaption = u"Widget Item", kWidgetDescription = u"A widget.";
const WideString kWidgetExtension = u".wdg";
const WideString kSingle = u"Single", kSingleCaption = u"Single Item";
const WideString kFixed = u"Settings", kFixedCaption = u"Settings Item";
const WideString kPlugin = u"Tests";
}  // namespace

TTestItemTypes::TTestItemTypes(IcvBaseManager* manager) : manager_(manager) {
  project::TProjectNodeInfo widget;
  widget.typeKey = &kWidgetTypeValue;
  widget.typeName = &kWidget;
  widget.caption = &kWidgetCaption;
  widget.description = &kWidgetDescription;
  widget.parentTypeKey = &kProjectTypeValue;
  widget.numberedNames = true;
  widget.configClass = &project::ConfigInfoClass<project::TpwFileProjectNodeConfigInfo>;
  widget.defaultFileName = &kWidget;
  widget.fileExtension = &kWidgetExtension;
  widget.pluginName = &kPlugin;
  types_.push_back(widget);
  project::TProjectNodeInfo single = widget;
  single.typeKey = &kSingleTypeValue;
  single.typeName = &kSingle;
  single.caption = &kSingleCaption;
  single.singleInstance = true;
  single.defaultFileName = &kSingle;
  types_.push_back(single);
  project::TProjectNodeInfo fixed = widget;
  fixed.typeKey = &kFixedTypeValue;
  fixed.typeName = &kFixed;
  fixed.caption = &kFixedCaption;
  fixed.singleInstance = true;
  fixed.numberedNames = false;
  fixed.configClass = &project::ConfigInfoClass<project::TpwNamedProjectNodeConfigInfo>;
  types_.push_back(fixed);
}

HRESULT TTestItemTypes::GetKey(GUID* key) {
  *key = MakeGuid("{0B1D1C39-6D0E-4E0B-8A0B-8C1E5E2C00FF}");
  return S_OK;
}
HRESULT TTestItemTypes::GetItemTypeCount(std::int32_t* count) {
  *count = static_cast<std::int32_t>(types_.size());
  return S_OK;
}
HRESULT TTestItemTypes::GetItemTypeInfo(std::int32_t index, IpwProjectNodeInfo** info) {
  if (index < 0 || index >= static_cast<std::int32_t>(types_.size())) return E_INVALIDARG;
  ComPtr<IpwProjectNodeInfo> made =
      MakeObject<project::TpwFileProjectNodeInfo>(manager_, types_[static_cast<std::size_t>(index)]);
  *info = made.Detach();
  return S_OK;
}

ProjectTest::ProjectTest() {
  types = MakeObject<TTestItemTypes>(host.Manager());
  host.Projects().AddItemTypes(types.Get());
  project = MakeObject<host::THostProjectNode>(nullptr, host::kProjectNodeType, u"Project1");
}

ProjectTest::~ProjectTest() {
  project->ClearChildren();
  host.Projects().Clear();
}

ComPtr<TTestNode> ProjectTest::MakeNode(const GUID& type, IpwProjectNode* parent, WideStringView name) {
  GUID key{};
  OleCheck(CreateGuid(key));
  auto node = MakeObject<TTestNode>(parent, type, key);
  OleCheck(node->Initialize(host.Manager()));
  if (!name.empty()) {
    node->BeginUpdate();
    node->ChangeName(name);
    node->EndUpdate();
  }
  return node;
}

ComPtr<host::THostProjectNode> ProjectTest::AddSibling(WideStringView name, const GUID& type) {
  auto sibling = MakeObject<host::THostProjectNode>(project.Get(), type, name);
  project->AddChild(sibling.Get());
  return sibling;
}

std::vector<WideString> ProjectTest::MessageTexts() const {
  std::vector<WideString> texts;
  for (const auto& m : const_cast<host::TestHost&>(host).Messenger().Messages()) texts.push_back(m.text);
  return texts;
}

}  // namespace pw::test
