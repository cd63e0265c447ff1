// The stored logical folders of a container from outside: an options XML file whose root is the
// node a container gives its folder collection. Whatever loads saves, loads again and saves as
// the same folders (names, descriptions, monikers, references in order, nesting); a reference
// is kept only once per folder; nothing raises out of a load.
#include "core/options/options_name_pool.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "fuzz/fuzz_support.h"
#include "platform/com/guid.h"
#include "platform/rtl/strings.h"
#include "project/folders/virtual_folders.h"

using namespace pw;

namespace {

// Keys are their own context identifiers; every edit is allowed.
class TIdentityOwner final : public project::TpwFolderCollectionOwner {
 public:
  void Detach() override {}
  WideString GetDefaultFolderDescription() override { return u"default"; }
  GUID GetContextId() override { return GUID_NULL; }
  GUID GetNewItemActionKey() override { return GUID_NULL; }
  GUID GetAddExistingItemActionKey() override { return GUID_NULL; }
  ComPtr<project::IpwProjectVirtualFolders> GetVirtualFoldersInterface() override { return nullptr; }
  ComPtr<project::IpwProjectVirtualFolderHost> GetChildFactory() override { return nullptr; }
  GUID ContextIdToKey(const GUID& id) override { return id; }
  GUID KeyToContextId(const GUID& key) override { return key; }
  bool RequestEdit() override { return true; }
  void DeleteReferencedItems(std::span<const GUID>, bool) override {}
  void MarkNodeModified() override {}
  void NotifyNodeChanged() override {}
};

void Describe(const project::TpwFolderList& list, std::string& out) {
  out += '[';
  for (const auto& f : list) {
    out += WideToUtf8(f->Caption()) + '\x01';
    BString text;
    f->GetDescription(text.Put());
    out += WideToUtf8(text.Str()) + '\x01';
    f->GetMoniker(text.Put());
    out += WideToUtf8(text.Str()) + '\x01';
    for (std::size_t i = 0; i < f->References().size(); ++i) {
      for (std::size_t j = 0; j < i; ++j)
        pw::fuzz::Check(f->References()[i] != f->References()[j], "a folder refers to a child twice");
      out += GuidToString(f->References()[i]);
    }
    Describe(const_cast<project::TpwProjectVirtualFolder&>(*f).FolderList(), out);
  }
  out += ']';
}

// Loads the node into a new collection and describes it.
ComPtr<project::TpwProjectVirtualFolderCollection> LoadInto(IcvOptionsNode* node, std::string& description) {
  auto collection = MakeObject<project::TpwProjectVirtualFolderCollection>(nullptr, std::make_unique<TIdentityOwner>());
  collection->Load(node);
  Describe(collection->FolderList(), description);
  return collection;
}

struct NamePool {
  NamePool() { StartOptionsNamePool(); }
} namePool;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto reader = MakeObject<TcvSAX2OptionsReader>(u"folders.xml", false);
  reader->LoadFromMemory(fuzz::AsText(data, size));
  if (reader->GetLoadFailure().failed) return 0;
  ComPtr<IcvOptionsBuilder> input = CreateOptionsBuilder();
  try {
    input->SetReader(reader.Get());
    input->ReleaseReader();
  } catch (const EcvOptionsException&) {
    return 0;
  }
  std::string first, second, third;
  auto loaded = LoadInto(input->GetRoot().Get(), first);

  ComPtr<IcvOptionsBuilder> saved = CreateOptionsBuilder();
  loaded->Save(saved->GetRoot().Get());
  auto again = LoadInto(saved->GetRoot().Get(), second);
  fuzz::Check(first == second, "the saved folders load as other folders");

  ComPtr<IcvOptionsBuilder> savedAgain = CreateOptionsBuilder();
  again->Save(savedAgain->GetRoot().Get());
  auto third_ = LoadInto(savedAgain->GetRoot().Get(), third);
  fuzz::Check(second == third, "a second save differs");
  loaded->FinalizeFolders();
  again->FinalizeFolders();
  third_->FinalizeFolders();
  return 0;
}
