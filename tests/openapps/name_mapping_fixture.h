// A test host with a current project whose name mapping is published, and helpers that build
// small object trees of test objects for the mapping to read.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/host/module_proxy.h"
#include "core/options/options_name_pool.h"
#include "host/name_mapping.h"
#include "host/node_type_registry.h"
#include "host/object_tree.h"
#include "host/settings.h"
#include "host/test_host.h"
#include "openapps/namemapping/name_mapping.h"

namespace pw {

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
