// The registrator: its own answers, the plug-in table as one table of cases, creation by index
// and the parsing of the table's GUID lists.
#include <gtest/gtest.h>

#include "openapps/open_app_plugins.h"
#include "openapps/registrator.h"
#include "openapps_fixture.h"

namespace pw {
namespace {

constexpr GUID kHostPlugin = MakeGuid("{CB9ABF70-9469-4792-ADD4-2C9CB437D174}");
constexpr GUID kHostPlugin2 = MakeGuid("{265112B9-6D34-4092-92B9-B036082EA04A}");
constexpr GUID kWebTesting = MakeGuid("{716200DB-CE5E-4E45-A405-B22EA6BBDDA8}");

struct Row {
  const char* key;
  const char16_t* name;
  const char16_t* description;
  std::vector<GUID> required;
  std::int32_t version;
  bool built;  // created by this build
};

const std::vector<Row>& ExpectedTable() {
  static const std::vector<Row> rows = {
      {"{B59AD9D6-201E-4C62-9E10-83F2F6C9D519}", u"Visual C++ Application Support",
       u"This plug-in provides support for Microsoft Visual C++ Open Applications.", {kHostPlugin}, 6, true},
      {"{5AF1CFBF-5D5E-49C9-B54B-694AB69A7ED6}", u"Delphi and C++Builder Application Support",
       u"This plug-in provides support for Delphi and C++Builder Open Applications.", {kHostPlugin}, 6, true},
      {"{4756B7F6-935E-44E9-B629-901EE9D8E0BC}", u"Microsoft Active Accessibility Support",
       u"This plug-in provides support for MSAA Open Applications.", {kHostPlugin}, 4, true},
      {"{5011462E-A0F5-41F6-92BA-783BB97DD1F0}", u"UI Automation Support",
       u"This plug-in provides support for Microsoft UI Automation.", {kHostPlugin}, 5, true},
      {"{62BBC87F-B65E-4366-AF8B-0002866DB7CD}", u"Visual Basic Application Support",
       u"This plug-in provides support for Visual Basic Open Applications.", {kHostPlugin}, 4, true},
      {"{716200DB-CE5E-4E45-A405-B22EA6BBDDA8}", u"Web Testing", u"This plug-in is used to test Web objects.",
       {kHostPlugin2, kHostPlugin}, 4, false},
      {"{54A60A13-5B6E-43DF-BF93-3135C566996D}", u"Web Checkpoints",
       u"Provides the Web Accessibility and Web Comparison checkpoint functionalities.", {kWebTesting}, 6, false},
      {"{A66AF104-DAD8-4D80-BF5B-FE5892B482C1}", u"Firefox Support",
       u"This plug-in provides support for the Firefox browser.", {kWebTesting}, 4, false},
  };
  return rows;
}

WideString Str(BString& s) { return WideString(s.View()); }

class Registrator : public OpenAppsTest {
 protected:
  ComPtr<IcvPluginRegistrator> r = CreatePluginRegistrator();
};

TEST_F(Registrator, AnswersItsOwnKeyNameDescriptionAndLists) {
  GUID key{};
  ASSERT_EQ(r->GetKey(&key), S_OK);
  EXPECT_EQ(key, MakeGuid("{C10173C7-470B-4D35-92DC-3B6756AE3328}"));
  BString name, description;
  ASSERT_EQ(r->GetName(name.Put()), S_OK);
  EXPECT_EQ(Str(name), u"Open Applications Support Plug-In Registator");  // the system's own spelling
  ASSERT_EQ(r->GetDescription(description.Put()), S_OK);
  WideString fromResource;
  ASSERT_TRUE(LoadModuleString(kRegistratorDescriptionString, fromResource));
  EXPECT_EQ(Str(description), fromResource);
  EXPECT_FALSE(fromResource.empty());

  const std::vector<std::pair<const char*, std::vector<const char*>>> lists = {
      {"A",
       {"{7A5E736F-1621-4DF5-99E4-D7B24716BDC1}", "{47813466-ECEE-4EB9-9430-FFB4D57BF803}",
        "{6C2B7520-485E-458E-B6B6-5F316293ED04}", "{BEAF6BE4-EBA4-4D09-B15A-C539F9D00090}"}},
      {"B",
       {"{D0D30094-D31C-48F8-B428-72D95A738CF3}", "{D0D30094-321C-41D3-BEEC-73C0FEC5CD12}",
        "{E0D30094-47D6-477F-A6D7-0CA97FB91A43}", "{A2D61F49-F13A-4392-BCE8-AFB0052F749A}",
        "{73DE3752-41E0-43A3-8670-1B09F263C712}", "{A9B5F4D5-74D8-4D74-9206-CD01A11CA7E3}",
        "{C0D30094-2F7F-4669-9A33-FB081D60645B}", "{C0D30094-F86B-427D-8642-E4DDDE3D551B}",
        "{A0D30094-EE9A-45A5-A581-BA8E544DE1DC}", "{A0D30094-4E82-49E4-A796-F30D7F8ED812}",
        "{A0D30094-9B6D-46DF-B9A2-3A4938559E3A}", "{A0D30094-FA0E-4009-97EA-036DC926E192}",
        "{A0D30094-536C-4ED0-856B-A50A649A3DDB}", "{A0D30094-0A97-4992-872F-B461C5FA0835}"}},
  };
  for (const auto& [which, expected] : lists) {
    SCOPED_TRACE(which);
    const bool a = which[0] == 'A';
    std::int32_t count = -1;
    ASSERT_EQ(a ? r->GetListACount(&count) : r->GetListBCount(&count), S_OK);
    ASSERT_EQ(count, static_cast<std::int32_t>(expected.size()));
    for (std::int32_t j = 0; j < count; ++j) {
      GUID g{};
      ASSERT_EQ(a ? r->GetListAItem(j, &g) : r->GetListBItem(j, &g), S_OK);
      EXPECT_EQ(GuidToString(g), expected[static_cast<std::size_t>(j)]);
    }
    // Items past either end are refused rather than read from outside the list.
    for (std::int32_t bad : {count, -1}) {
      GUID g{};
      EXPECT_TRUE(Failed(a ? r->GetListAItem(bad, &g) : r->GetListBItem(bad, &g))) << bad;
    }
  }
}

TEST_F(Registrator, PluginTableMatchesRowByRow) {
  std::int32_t count = 0;
  ASSERT_EQ(r->PluginCount(&count), S_OK);
  ASSERT_EQ(count, 8);
  for (std::int32_t i = 0; i < count; ++i) {
    const Row& row = ExpectedTable()[static_cast<std::size_t>(i)];
    SCOPED_TRACE(Narrow(row.name));
    GUID key{};
    ASSERT_EQ(r->PluginKey(i, &key), S_OK);
    EXPECT_EQ(GuidToString(key), row.key);
    BString name, description;
    ASSERT_EQ(r->PluginName(i, name.Put()), S_OK);
    ASSERT_EQ(r->PluginDescription(i, description.Put()), S_OK);
    EXPECT_EQ(Str(name), row.name);
    EXPECT_EQ(Str(description), row.description);
    std::int32_t version = -1, version2 = -1;
    ASSERT_EQ(r->PluginVersion(i, &version, &version2), S_OK);
    EXPECT_EQ(version, row.version);
    EXPECT_EQ(version2, 0);
    VARIANT_BOOL flag = VARIANT_FALSE;
    ASSERT_EQ(r->PluginFlag(i, &flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);  // all bits set
    std::int32_t required = -1, listA = -1;
    ASSERT_EQ(r->PluginRequiredCount(i, &required), S_OK);
    ASSERT_EQ(required, static_cast<std::int32_t>(row.required.size()));
    for (std::int32_t j = 0; j < required; ++j) {
      GUID g{};
      ASSERT_EQ(r->PluginRequired(i, j, &g), S_OK);
      EXPECT_EQ(g, row.required[static_cast<std::size_t>(j)]);
    }
    GUID g{};
    EXPECT_TRUE(Failed(r->PluginRequired(i, required, &g)));
    ASSERT_EQ(r->PluginListACount(i, &listA), S_OK);
    EXPECT_EQ(listA, 0);
    EXPECT_TRUE(Failed(r->PluginListAItem(i, 0, &g)));
  }
}

TEST_F(Registrator, PluginIndexOutsideTheTableFailsEverywhere) {
  for (std::int32_t bad : {8, -1}) {
    SCOPED_TRACE(bad);
    GUID g{};
    BString s;
    std::int32_t n = 0, m = 0;
    VARIANT_BOOL b = VARIANT_FALSE;
    EXPECT_EQ(r->PluginKey(bad, &g), E_UNEXPECTED);
    EXPECT_EQ(LastErrorText(), u"List index out of bounds (" + IntToWide(bad) + u")");
    EXPECT_TRUE(Failed(r->PluginName(bad, s.Put())));
    EXPECT_TRUE(Failed(r->PluginDescription(bad, s.Put())));
    EXPECT_TRUE(Failed(r->PluginVersion(bad, &n, &m)));
    EXPECT_TRUE(Failed(r->PluginFlag(bad, &b)));
    EXPECT_TRUE(Failed(r->PluginRequiredCount(bad, &n)));
    EXPECT_TRUE(Failed(r->PluginRequired(bad, 0, &g)));
    EXPECT_TRUE(Failed(r->PluginListACount(bad, &n)));
    EXPECT_TRUE(Failed(r->PluginListAItem(bad, 0, &g)));
    IcvPlugin* plugin = reinterpret_cast<IcvPlugin*>(0x1);
    EXPECT_TRUE(Failed(r->CreatePlugin(bad, &plugin)));
    EXPECT_EQ(plugin, nullptr);
  }
}

TEST_F(Registrator, CreatesTheBuiltPluginsAndRefusesTheOthersClearly) {
  for (std::int32_t i = 0; i < 8; ++i) {
    const Row& row = ExpectedTable()[static_cast<std::size_t>(i)];
    SCOPED_TRACE(Narrow(row.name));
    ComPtr<IcvPlugin> a, b;
    HRESULT hr = r->CreatePlugin(i, a.Put());
    if (!row.built) {
      EXPECT_EQ(hr, E_NOTIMPL);
      EXPECT_EQ(LastErrorText(), u"The plug-in \"" + WideString(row.name) + u"\" is not part of this build of the module.");
      EXPECT_FALSE(a);
      continue;
    }
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(r->CreatePlugin(i, b.Put()), S_OK);
    ASSERT_TRUE(a && b);
    EXPECT_NE(IdentityOf(a.Get()), IdentityOf(b.Get()));  // a new object every time
    GUID key{};
    ASSERT_EQ(a->GetKey(&key), S_OK);
    EXPECT_EQ(GuidToString(key), row.key);
  }
}

TEST_F(Registrator, KeyWithoutClassGivesNoPluginAndSucceeds) {
  std::vector<TRegPluginInfo> table = {{MakeGuid("{0F0E0D0C-0B0A-0908-0706-050403020100}"), u"Other", u"", u"", u"", 1, 0}};
  auto other = MakeObject<TpwOpenAppsRegistrator>(table);
  IcvPlugin* plugin = reinterpret_cast<IcvPlugin*>(0x1);
  EXPECT_EQ(other->CreatePlugin(0, &plugin), S_OK);
  EXPECT_EQ(plugin, nullptr);
}

TEST(RegistratorExport, FailedStartGivesNoRegistratorAndSaysWhy) {
  IcvPluginRegistrator* r = reinterpret_cast<IcvPluginRegistrator*>(0x1);
  EXPECT_EQ(GetPluginRegistratorImpl(&r, u"The COM helper library cannot be loaded."), E_FAIL);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(LastErrorText(), u"The module failed to start: The COM helper library cannot be loaded.");
  ASSERT_EQ(GetPluginRegistratorImpl(&r, u""), S_OK);
  ASSERT_NE(r, nullptr);
  r->Release();
  EXPECT_EQ(GetPluginRegistratorImpl(nullptr, u""), E_POINTER);
}

TEST(RegistratorTable, MalformedGuidLineFailsTheRegistrator) {
  std::vector<TRegPluginInfo> table = {
      {kWebTesting, u"Good", u"", u"", u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}", 1, 0},
      {kWebTesting, u"Bad", u"", u"", u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}\r\nnot a guid", 1, 0},
  };
  EXPECT_THROW(MakeObject<TpwOpenAppsRegistrator>(table), EOleSysError);
}

TEST(RegistratorTable, GuidLinesSplitLikeAStringList) {
  const GUID a = kHostPlugin, b = kHostPlugin2;
  const std::vector<std::pair<WideString, std::vector<GUID>>> cases = {
      {u"", {}},
      {u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}", {a}},
      {u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}\r\n{265112B9-6D34-4092-92B9-B036082EA04A}", {a, b}},
      {u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}\n{265112B9-6D34-4092-92B9-B036082EA04A}\r", {a, b}},
      {u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}\r{265112B9-6D34-4092-92B9-B036082EA04A}\r\n", {a, b}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseGuidLines(text), expected) << Narrow(text);
  EXPECT_THROW(ParseGuidLines(u"{CB9ABF70-9469-4792-ADD4-2C9CB437D174}\r\n\r\n{265112B9-6D34-4092-92B9-B036082EA04A}"),
               EOleSysError);  // an empty line in the middle is no GUID
}

// A registrator that leaves the description to the base.
class TBareRegistrator final : public TTestRegistrator {
 protected:
  ComPtr<IcvPlugin> CreatePluginInstance(const TPluginDescription&) override { return nullptr; }
};

TEST(RegistratorTable, BaseDescriptionIsEmpty) {
  auto r = MakeObject<TBareRegistrator>();
  BString d(u"x");
  ASSERT_EQ(r->GetDescription(d.Put()), S_OK);
  EXPECT_EQ(d.View(), u"");
  std::int32_t count = -1;
  ASSERT_EQ(r->PluginCount(&count), S_OK);
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace pw
