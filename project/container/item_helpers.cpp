#include "project/container/item_helpers.h"

#include <filesystem>
#include <system_error>

#include "core/files/file_copy.h"
#include "platform/automation/variant.h"
#include "platform/com/guid.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/container/node_container.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

bool FindNodeType(IcvBaseManager* manager, const GUID& typeKey, ComPtr<IpwProjectItemTypeProvider>& factory,
                  ComPtr<IpwProjectNodeInfo>& typeInfo) {
  factory = nullptr;
  typeInfo = nullptr;
  auto registry = GetNodeTypeRegistry(manager);
  if (!registry) return false;
  std::int32_t factories = 0;
  SafeCallCheck(registry->GetFactoryCount(&factories));
  for (std::int32_t i = 0; i < factories; ++i) {
    ComPtr<IpwProjectItemTypeProvider> candidate;
    SafeCallCheck(registry->GetFactory(i, candidate.Put()));
    if (!candidate) continue;
    std::int32_t count = 0;
    SafeCallCheck(candidate->GetItemTypeCount(&count));
    for (std::int32_t j = 0; j < count; ++j) {
      ComPtr<IpwProjectNodeInfo> info;
      SafeCallCheck(candidate->GetItemTypeInfo(j, info.Put()));
      GUID key{};
      if (info && Succeeded(info->GetKey(&key)) && key == typeKey) {
        factory = candidate;
        typeInfo = info;
        return true;
      }
    }
  }
  return false;
}

namespace {

// Copies Source to Target through a temporary file beside Target renamed into place; a failure
// leaves neither the temporary file nor a partial target.
bool CopyThroughTemporary(WideStringView source, WideStringView target) {
  namespace fs = std::filesystem;
  const fs::path to(WideToUtf8(target));
  std::error_code ec;
  if (to.has_parent_path()) fs::create_directories(to.parent_path(), ec);
  if (ec) return false;
  fs::path temporary = to;
  temporary += ".~copy";
  if (!WideCopyFile(source, Utf8ToWide(temporary.string()), false)) {
    fs::remove(temporary, ec);
    return false;
  }
  fs::rename(temporary, to, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

}  // namespace

void CreateProjectItem(IcvBaseManager* manager, IpwProjectNode* parent, const GUID& typeKey,
                       const std::vector<GUID>& guids, WideStringView fileName, bool /*flag*/, bool addToParent,
                       ComPtr<IpwProjectNode>& node) {
  node = nullptr;
  ComPtr<IpwProjectItemTypeProvider> factory;
  ComPtr<IpwProjectNodeInfo> info;
  if (!FindNodeType(manager, typeKey, factory, info)) return;
  OleVariant single;
  if (Succeeded(info->GetProperty(9, single.Put())) && single.AsBool()) {
    if (auto existing = FindChildItemByType(parent, typeKey)) {
      node = existing;
      return;
    }
  }
  GUID key{};
  SafeCallCheck(CreateGuid(key));
  ComPtr<IpwProjectNodeConfigInfo> config;
  SafeCallCheck(info->CreateConfigInfo(parent, config.Put()));
  if (config) {
    for (std::size_t i = 0; i < guids.size(); ++i)
      SafeCallCheck(config->SetValue(static_cast<std::int32_t>(i), OleVariant(GuidToWideString(guids[i])).Get()));
    std::int32_t bad = -1;
    VARIANT_BOOL ok = VARIANT_FALSE;
    SafeCallCheck(config->Validate(&bad, &ok));
    if (!ok) {
      OleVariant caption;
      info->GetProperty(2, caption.Put());
      ReportToUser(manager,
                   WideFormat(u"The project item \"%s\" was not created. The specified parameters are invalid.",
                              {caption.AsString()}),
                   0);
      return;
    }
  }
  auto fileConfig = QueryAs<IpwFileProjectNodeConfigInfo>(config.Get());
  if (!fileName.empty() && fileConfig) {
    BString path;
    SafeCallCheck(fileConfig->GetFullFileName(path.Put()));
    if (!CopyThroughTemporary(fileName, path.Str())) return;
    auto loader = QueryAs<IpwProjectItemFileLoader>(factory.Get());
    if (!loader) return;
    SafeCallCheck(loader->LoadItemFromFile(manager, parent, path.Get(), node.Put()));
  } else {
    SafeCallCheck(factory->CreateItem(typeKey, key, config.Get(), manager, parent, node.Put()));
  }
  if (addToParent && node) AddNodeToParent(parent, node.Get());
}

bool AddNodeToParent(IpwProjectNode* parent, IpwProjectNode* node) {
  auto container = QueryAs<IpwProjectNodeContainer>(parent);
  if (!container) return false;
  VARIANT_BOOL added = VARIANT_FALSE;
  SafeCallCheck(container->AddChild(node, &added));
  if (added) return true;
  if (auto internal = QueryAs<IpwProjectNodeInternal>(node)) internal->Finalize();
  return false;
}

ComPtr<IpwProjectNode> FindChildItemByName(IpwProjectNode* parent, WideStringView name) {
  ComPtr<IpwProjectNode> found;
  if (!parent) return found;
  ForEachChild(parent, [&](IpwProjectNode* child) {
    if (!SameTextIgnoringCase(NodeName(child), name)) return true;
    found = child;
    return false;
  });
  return found;
}

ComPtr<IpwProjectNode> FindChildItemByType(IpwProjectNode* parent, const GUID& typeKey) {
  ComPtr<IpwProjectNode> found;
  if (!parent) return found;
  ForEachChild(parent, [&](IpwProjectNode* child) {
    if (NodeTypeKey(child) != typeKey) return true;
    found = child;
    return false;
  });
  return found;
}

}  // namespace pw::project
