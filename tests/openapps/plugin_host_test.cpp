// The host's side of plug-ins: a plug-in that fails one step is reported with its reason, and
// the other plug-ins go on.
#include <gtest/gtest.h>

#include "host/plugin_host.h"
#include "openapps/extensions/node_builder.h"
#include "openapps/plugin_base.h"
#include "platform/automation/bstr.h"
#include "openapps_fixture.h"

namespace pw {
namespace {

// Which steps of a test plug-in fail.
struct Failing {
  bool install = false, remove = false, notify = false, finalize = false;
};

// Plug-ins also offer a list of project item types (an empty one).
class TStepPlugin final : public Implements<TcvBasePlugin, IpwOpenAppHookProvider, IpwProjectItemTypeProvider> {
 public:
  TStepPlugin(const GUID& key, Failing failing) : key_(key), failing_(failing) {}
  HRESULT GetKey(GUID* key) override { return TcvBasePlugin::GetKey(key); }
  HRESULT IsProcessSupported(IpwProcess*, VARIANT_BOOL* supported) override {
    *supported = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT InstallHook(IpwProcess*) override { return Step(failing_.install, u"the hook cannot be loaded"); }
  HRESULT RemoveHook(IpwProcess*) override { return Step(failing_.remove, u"the hook cannot be unloaded"); }
  HRESULT GetItemTypeCount(std::int32_t* count) override { return *count = 0, S_OK; }
  HRESULT CreateItem(const GUID&, const GUID&, IpwProjectNodeConfigInfo*, IUnknown*, IpwProjectNode*,
                     IpwProjectNode**) override {
    return E_NOTIMPL;
  }
  HRESULT AddNewItem(IpwProjectNode*, const GUID&, BSTR, IpwProjectNode**) override { return E_NOTIMPL; }
  HRESULT GetItemTypeInfo(std::int32_t, IpwProjectNodeInfo**) override { return E_INVALIDARG; }

 protected:
  GUID DoGetKey() override { return key_; }
  void DoNotify(std::int32_t) override {
    if (failing_.notify) throw Exception(u"the notification was refused");
  }
  void DoFinalize() override {
    TcvBasePlugin::DoFinalize();
    if (failing_.finalize) throw Exception(u"the plug-in cannot stop");
  }

 private:
  HRESULT Step(bool fails, const char16_t* why) {
    return SafeCall([&] {
      if (fails) throw Exception(why);
    });
  }

  GUID key_;
  Failing failing_;
};

// A registrator over the test plug-ins, one row each.
class TStepRegistrator final : public TTestRegistrator {
 public:
  explicit TStepRegistrator(std::vector<Failing> plugins) : failing_(std::move(plugins)) {
    for (std::size_t i = 0; i < failing_.size(); ++i) {
      GUID key{};
      key.Data1 = static_cast<std::uint32_t>(i + 1);
      AddPlugin({key, u"step", u"", u"", u"", 1, 0}, &failing_[i], true);
    }
  }

 protected:
  ComPtr<IcvPlugin> CreatePluginInstance(const TPluginDescription& d) override {
    auto made = MakeObject<TStepPlugin>(d.key, *static_cast<const Failing*>(d.data));
    return ComPtr<IcvPlugin>(made.Get());
  }

 private:
  std::vector<Failing> failing_;
};

using Failures = std::vector<std::pair<std::int32_t, WideString>>;

TEST_F(OpenAppsTest, PluginHostReportsEachFailingStepAndGoesOnWithTheOthers) {
  Failing fine, failsInstall, failsRemoveAndFinalize, failsNotify;
  failsInstall.install = true;
  failsRemoveAndFinalize.remove = failsRemoveAndFinalize.finalize = true;
  failsNotify.notify = true;
  auto registrator = MakeObject<TStepRegistrator>(std::vector<Failing>{fine, failsInstall, failsRemoveAndFinalize, failsNotify});
  host::TPluginHost plugins(*host);
  const char16_t* names[] = {u"fine", u"no install", u"no remove", u"no notify"};
  for (std::int32_t i = 0; i < 4; ++i) ASSERT_EQ(plugins.Create(registrator.Get(), i, names[i]).created, S_OK);
  auto lists = host->Projects().ItemTypeLists().size();
  ASSERT_EQ(plugins.Start(), 0u);
  // The item types of the running plug-ins join the registry's lists until they stop.
  EXPECT_EQ(host->Projects().ItemTypeLists().size(), lists + 4);

  auto process = AddProcess(21, u"app.exe", {}, {});
  auto attached = plugins.AttachProcess(*process);
  EXPECT_EQ(attached.done, (std::vector<std::int32_t>{0, 2, 3}));
  EXPECT_EQ(attached.failed, (Failures{{1, u"InstallHook: the hook cannot be loaded"}}));

  EXPECT_EQ(plugins.Notify(1), 1u);
  EXPECT_EQ(plugins.Plugins()[3].error, u"Notify: the notification was refused");
  EXPECT_FALSE(plugins.Running(plugins.Plugins()[3]));

  // The plug-in that stopped taking part still removes the hook it installed.
  auto detached = plugins.DetachProcess(*process);
  EXPECT_EQ(detached.done, (std::vector<std::int32_t>{0, 3}));
  EXPECT_EQ(detached.failed, (Failures{{2, u"RemoveHook: the hook cannot be unloaded"}}));
  EXPECT_TRUE(plugins.DetachProcess(*process).done.empty());  // nothing is removed twice

  EXPECT_EQ(plugins.Stop(), (std::vector<WideString>{u"no remove: Finalize: the plug-in cannot stop"}));
  EXPECT_TRUE(plugins.Plugins().empty());
  EXPECT_EQ(host->Projects().ItemTypeLists().size(), lists);
}

// A builder that counts the nodes it was offered.
class TCountingBuilder final : public TpwSysNodeBuilder {
 public:
  using TpwSysNodeBuilder::TpwSysNodeBuilder;
  int offered = 0;

 protected:
  void DoExtendNode(IpwSysNode*) override { ++offered; }
  bool DoOperation7(IUnknown*) override { return false; }
};

const GUID kWidgetType = MakeGuid("{7A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9}");

// A plug-in with one builder and one object type ("Widget").
class TBuilderPlugin final
    : public Implements<TcvBasePlugin, IpwSysNodeBuilderProvider, IpwSubProviderList, IpwObjectTypeDescriptor> {
 public:
  explicit TBuilderPlugin(const GUID& key) : key_(key) {}
  HRESULT GetKey(GUID* key) override { return TcvBasePlugin::GetKey(key); }
  // IpwSysNodeBuilderProvider
  HRESULT GetProviderKey(GUID* key) override { return *key = key_, S_OK; }
  std::int32_t GetBuilderCount() override { return 1; }
  HRESULT GetBuilder(std::int32_t index, IpwSysNodeBuilder** builder) override {
    return SafeCall([&] {
      if (index != 0) OleError(E_INVALIDARG);
      if (!builder_) builder_ = MakeObject<TCountingBuilder>(Manager(), key_, GUID_NULL);
      *builder = builder_.Get();
      (*builder)->AddRef();
    });
  }
  std::int32_t BuilderProviderOperation6() override { return 0; }
  HRESULT BuilderProviderOperation7(IUnknown** object) override { return *object = nullptr, S_OK; }
  // IpwSubProviderList: the one descriptor, itself.
  std::int32_t GetCount() override { return 1; }
  VARIANT_BOOL GetItem(std::int32_t index, IUnknown** item) override {
    *item = nullptr;
    if (index != 0) return VARIANT_FALSE;
    *item = static_cast<IpwObjectTypeDescriptor*>(this);
    (*item)->AddRef();
    return VARIANT_TRUE;
  }
  // IpwObjectTypeDescriptor
  HRESULT GetTypeKey(GUID* key) override { return *key = kWidgetType, S_OK; }
  HRESULT GetTypeName(BSTR* name) override { return *name = SysAllocString(u"Widget"), S_OK; }
  HRESULT GetOrder(std::int32_t* order) override { return *order = 0, S_OK; }
  HRESULT GetTag(std::int32_t* tag) override { return *tag = 0, S_OK; }
  HRESULT SetTag(std::int32_t) override { return S_OK; }
  HRESULT GetBitmap(std::int32_t* bitmap) override { return *bitmap = 0, S_OK; }

  ComPtr<TCountingBuilder> builder_;

 protected:
  GUID DoGetKey() override { return key_; }

 private:
  GUID key_;
};

class TBuilderRegistrator final : public TTestRegistrator {
 public:
  TBuilderRegistrator() {
    AddPlugin({MakeGuid("{7A1B2C3D-4E5F-4071-8293-A4B5C6D7E800}"), u"builders", u"", u"", u"", 1, 0}, nullptr, true);
  }
  ComPtr<TBuilderPlugin> made;

 protected:
  ComPtr<IcvPlugin> CreatePluginInstance(const TPluginDescription& d) override {
    made = MakeObject<TBuilderPlugin>(d.key);
    return ComPtr<IcvPlugin>(made.Get());
  }
};

// Starting the plug-ins fills the object tree's type registry from their object-type
// descriptors and hands their builders every node: the nodes there, and those added later.
TEST_F(OpenAppsTest, PluginHostRegistersObjectTypesAndBuilders) {
  auto registrator = MakeObject<TBuilderRegistrator>();
  host::TPluginHost plugins(*host);
  ASSERT_EQ(plugins.Create(registrator.Get(), 0, u"builders").created, S_OK);
  auto registry = QueryAs<IpwObjectTypeRegistry>(static_cast<IpwSysManager*>(&host->ObjectTree()));
  BString name;
  VARIANT_BOOL found = VARIANT_TRUE;
  ASSERT_EQ(registry->FindTypeName(kWidgetType, name.Put(), &found), S_OK);
  EXPECT_EQ(found, VARIANT_FALSE);

  ASSERT_EQ(plugins.Start(), 0u);
  ASSERT_EQ(registry->FindTypeName(kWidgetType, name.Put(), &found), S_OK);
  EXPECT_EQ(found, VARIANT_TRUE);
  EXPECT_EQ(name.View(), u"Widget");
  auto& builder = *registrator->made->builder_;
  EXPECT_EQ(builder.offered, 1);  // Sys
  host->Sys().AddChild(u"Widget");
  EXPECT_EQ(builder.offered, 2);
  plugins.Stop();
  host->Sys().AddChild(u"Later");
  EXPECT_EQ(builder.offered, 2);
}

}  // namespace
}  // namespace pw
