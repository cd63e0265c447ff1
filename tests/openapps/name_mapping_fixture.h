// A test host with a current project whose name mapping is published, helpers that build small
// object trees of test objects for the mapping to read, and an object tree that forwards to the
// host's own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/host/module_proxy.h"
#include "core/options/options_name_pool.h"
#include "host/com_support.h"
#include "host/name_mapping.h"
#include "host/node_type_registry.h"
#include "host/object_tree.h"
#include "host/settings.h"
#include "host/test_host.h"
#include "openapps/namemapping/name_mapping.h"
#include "platform/com/comobject.h"

namespace pw {

// An object tree that hands every call to the host's own; a test overrides the calls it watches
// or spoils.
class TForwardingSysManager : public Implements<ComObject, IpwSysManager> {
 public:
  explicit TForwardingSysManager(IpwSysManager* inner) : inner_(inner) {}
  HRESULT GetRoot(IpwSysNode** root) override { return inner_->GetRoot(root); }
  HRESULT GetWindowNode(std::int32_t w, IpwSysNode** node) override { return inner_->GetWindowNode(w, node); }
  HRESULT GetObjectAtPoint(std::int32_t x, std::int32_t y, IpwSysNode** node) override {
    return inner_->GetObjectAtPoint(x, y, node);
  }
  HRESULT VisitNodes(IpwSysNode* root, IpwSysNodeVisitor* visitor, std::uint8_t* data, std::int32_t a,
                     std::int32_t depth, std::int32_t b) override {
    return inner_->VisitNodes(root, visitor, data, a, depth, b);
  }
  HRESULT GetManager(IcvBaseManager** manager) override { return inner_->GetManager(manager); }
  PW_SYS_MANAGER_RESERVED
  HRESULT FindByIdentification(IpwSysNode* start, VARIANT_BOOL startOnly, const VARIANT& names, const VARIANT& values,
                               std::int32_t flags, IUnknown** object) override {
    return inner_->FindByIdentification(start, startOnly, names, values, flags, object);
  }

 private:
  ComPtr<IpwSysManager> inner_;
};

class NameMappingTest : public ::testing::Test {
 protected:
  NameMappingTest() {
    StartOptionsNamePool();
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = false;
    host = std::make_unique<host::TestHost>(options);
    GUID key{};
    CreateGuid(key);
    folder = std::filesystem::temp_directory_path() /
             ("pw-namemapping-" + WideToUtf8(GuidToWideString(key)).substr(1, 8) + "-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    project = MakeObject<host::THostProject>(nullptr, key);
    project->Initialize(host->Manager());
    project->ReloadFromFileName(Utf8ToWide((folder / "Project.pwp").string()), false);
    host->Projects().SetDefaultProject(project->AsNode());
    mappings = std::make_unique<host::TNameMappings>(*host);
    host->Sys().SetProperty(kNodeNameTextProperty, OleVariant(u"Sys"));
  }
  ~NameMappingTest() override {
    mappings.reset();
    host->Projects().SetDefaultProject(nullptr);
    project->Finalize();
    project = nullptr;
    host.reset();
    StopHelperModules();
    SetHostExeFolderOverride(u"");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    StopOptionsNamePool();
  }

  GUID ProjectKey() { return project::GetProjectKey(project->AsNode()); }
  ComPtr<host::TNameMappingRepository> Publish() { return mappings->Publish(ProjectKey()); }
  void SetProviders(bool on) {
    host->Settings().DefineSetting(kIdentificationProviderSetting, host::kSettingBoolean, u"Providers", OleVariant(on));
  }

  // A node named Name(args) with the name property and script members given; its own
  // identification lists `identify` (names read as they are).
  ComPtr<host::TSysNode> Add(host::TSysNode& parent, WideStringView name,
                             std::vector<std::pair<WideString, OleVariant>> members = {},
                             std::vector<WideString> identify = {}) {
    auto node = parent.AddChild(name, {});
    node->SetProperty(kNodeNameTextProperty, OleVariant(name));
    for (auto& [member, value] : members) node->SetMemberValue(member, value);
    if (!identify.empty()) {
      auto own = MakeObject<host::THostNodeIdentification>();
      for (auto& n : identify) own->properties.emplace_back(n, n);
      node->SetInterfaceObject(IpwNodeIdentification::iid, static_cast<IpwNodeIdentification*>(own.Get()));
    }
    return node;
  }
  // Gives the node an identification provider.
  ComPtr<host::THostIdentificationProvider> Provide(host::TSysNode& node, std::vector<WideString> names,
                                                    std::vector<WideString> extra = {}, bool search = true,
                                                    bool root = false) {
    auto provider = MakeObject<host::THostIdentificationProvider>();
    provider->identificationNames = std::move(names);
    provider->extraNames = std::move(extra);
    provider->searchCollisions = search;
    provider->isSearchRoot = root;
    auto services = MakeObject<host::THostNodeServices>();
    services->Set(IpwIdentificationProvider::iid, static_cast<IpwIdentificationProvider*>(provider.Get()));
    node.SetInterfaceObject(IpwSysNodeServices::iid, static_cast<IpwSysNodeServices*>(services.Get()));
    return provider;
  }
  static IpwSysNode* AsNode(host::TSysNode* node) { return static_cast<IpwSysNodeEx*>(node); }

  std::filesystem::path folder;
  std::unique_ptr<host::TestHost> host;
  ComPtr<host::THostProject> project;
  std::unique_ptr<host::TNameMappings> mappings;
};

}  // namespace pw
