// The plug-in base: the manager kept from Initialize to Finalize.
#include <gtest/gtest.h>

#include "openapps/plugin_base.h"
#include "openapps_fixture.h"

namespace pw {
namespace {

constexpr GUID kKey = MakeGuid("{11111111-2222-3333-4444-555555555555}");

class TKeyedPlugin final : public TcvBasePlugin {
 protected:
  GUID DoGetKey() override { return kKey; }
};

TEST(PluginBase, KeepsTheManagerFromInitializeToFinalize) {
  host::TestHost first, second;
  auto plugin = MakeObject<TKeyedPlugin>();
  EXPECT_EQ(plugin->Manager(), nullptr);
  EXPECT_EQ(plugin->Finalize(), S_OK);  // without Initialize
  EXPECT_EQ(plugin->Manager(), nullptr);

  IcvBaseManager* m1 = first.Manager();
  m1->AddRef();
  const ULONG base1 = m1->Release();
  ASSERT_EQ(plugin->Initialize(m1), S_OK);
  EXPECT_EQ(plugin->Manager(), m1);
  m1->AddRef();
  EXPECT_EQ(m1->Release(), base1 + 1);  // held by the plug-in

  ASSERT_EQ(plugin->Initialize(second.Manager()), S_OK);  // replaces and releases the first
  EXPECT_EQ(plugin->Manager(), second.Manager());
  m1->AddRef();
  EXPECT_EQ(m1->Release(), base1);

  for (std::int32_t code : {0, 4, 5, -1}) EXPECT_EQ(plugin->Notify(code), S_OK);
  EXPECT_EQ(plugin->Manager(), second.Manager());
  EXPECT_EQ(plugin->PostInitialize(), S_OK);

  EXPECT_EQ(plugin->Finalize(), S_OK);
  EXPECT_EQ(plugin->Manager(), nullptr);
  GUID key{};
  ASSERT_EQ(plugin->GetKey(&key), S_OK);
  EXPECT_EQ(key, kKey);
  EXPECT_EQ(plugin->GetPluginKey(), kKey);
}

}  // namespace
}  // namespace pw
