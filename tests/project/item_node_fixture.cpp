#include "tests/project/item_node_fixture.h"

#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "platform/com/safecall.h"
#include "platform/ui/resources.h"
#include "project/nodes/node_helpers.h"
#include "project/storage/node_file_helpers.h"
#include "tests/support/options_pool_environment.h"

namespace pw::test {

namespace {
// The tests start the options name pool once for the binary.
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new OptionsNamePoolEnvironment);

// The module's bitmap of the not-reloaded mark.
const BitmapResource kMarker[] = {{"ICON_NONRELOADED_MARKER", 2, 2, 1, 2, 3}};
const ResourceTable kResources{{}, kMarker};

GUID NewKey() {
  GUID key{};
  OleCheck(CreateGuid(key));
  return key;
}
}  // namespace

TItemNode::TItemNode(IpwProjectNode* parent, std::uint8_t kind, const GUID& type)
    : TpwProjectNode(parent, type, NewKey(), kind) {}

bool TItemNode::Load() {
  if (!TpwProjectNode::Load()) return false;
  ++loads;
  modifiedInLoad = IsModified();
  if (failLoad) throw EOleSysError(u"The data cannot be read.", E_FAIL);
  if (auto data = DataNode()) SafeCallCheck(project::PropertiesOf(data.Get())->GetString(u"Value", u"", &value));
  return true;
}

std::int32_t TItemNode::Save() {
  if (auto data = DataNode()) {
    SafeCallCheck(project::PropertiesOf(data.Get())->SetString(u"Value", value));
    // A child node whose name no file may hold.
    const WideString bad(300, u'n');
    if (unsaveable) {
      ComPtr<IcvOptionsNode> child;
      SafeCallCheck(data->GetNode(bad, child.Put()));
    } else {
      SafeCallCheck(data->DeleteNode(bad));
    }
  }
  return TpwProjectNode::Save();
}

ItemNodeTest::ItemNodeTest(bool interactive)
    : host([&] {
        host::TestHostOptions options;
        options.interactive = interactive;
        return options;
      }()) {
  RegisterModuleResources(&kResources);
}

ItemNodeTest::~ItemNodeTest() {
  for (auto& node : nodes_) node->Finalize();
  nodes_.clear();
  project::ReleaseNotReloadedMarker();
  RegisterModuleResources(nullptr);
}

void ItemNodeTest::Finalize(TItemNode* node) {
  node->Finalize();
  std::erase_if(nodes_, [&](const ComPtr<TItemNode>& n) { return n.Get() == node; });
}

ComPtr<TItemNode> ItemNodeTest::MakeFileNode() {
  auto node = MakeObject<TItemNode>(nullptr, project::kFileStorageKind);
  OleCheck(node->Initialize(host.Manager()));
  nodes_.push_back(node);
  return node;
}

ComPtr<TItemNode> ItemNodeTest::Open(const WideString& fileName, bool quiet) {
  auto node = MakeFileNode();
  if (!node->ReloadFromFileName(fileName, quiet)) return nullptr;
  return node;
}

void ItemNodeTest::WriteItemFile(const std::string& name, WideStringView value, WideStringView version,
                                 WideStringView signature) {
  auto reader = CreateOptionsXmlReader(dir.File(name), true);
  auto builder = CreateOptionsBuilder();
  builder->SetReader(reader.Get());
  auto root = builder->GetRoot();
  SafeCallCheck(project::PropertiesOf(root.Get())->SetString(u"Signature", signature));
  SafeCallCheck(project::PropertiesOf(root.Get())->SetString(u"Version", version));
  SafeCallCheck(project::PropertiesOf(root.Get())->SetString(u"Value", value));
  builder->Save();
}

std::vector<WideString> ItemNodeTest::Messages() const {
  std::vector<WideString> texts;
  for (const auto& m : const_cast<host::TestHost&>(host).Messenger().Messages()) texts.push_back(m.text);
  return texts;
}

}  // namespace pw::test
