// The settings helpers against the test host's settings and options services.
#include <gtest/gtest.h>

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "host/test_host.h"
#include "platform/automation/bstr.h"
#include "platform/rtl/strings.h"

namespace pw {
namespace {

constexpr GUID kGroup = MakeGuid("{11111111-0000-0000-0000-000000000001}");
constexpr GUID kSettingA = MakeGuid("{11111111-0000-0000-0000-0000000000A1}");
constexpr GUID kSettingB = MakeGuid("{11111111-0000-0000-0000-0000000000B1}");
constexpr GUID kTable = MakeGuid("{11111111-0000-0000-0000-0000000000C1}");
constexpr GUID kWebGroup = MakeGuid("{11111111-0000-0000-0000-000000000002}");
constexpr GUID kPage = MakeGuid("{11111111-0000-0000-0000-000000000003}");
constexpr GUID kTypeKey = MakeGuid("{11111111-0000-0000-0000-000000000004}");

class Counting : public Implements<ComObject, IpwSettingsListener> {
 public:
  std::vector<GUID> changed;
  HRESULT SettingChanged(IpwSetting* setting) override {
    GUID k{};
    setting->GetKey(&k);
    changed.push_back(k);
    return S_OK;
  }
};

class SettingsHelpers : public ::testing::Test {
 protected:
  host::TestHost host;
  IcvBaseManager* manager = host.Manager();
};

TEST_F(SettingsHelpers, GroupIsCreatedOnceAndTheBitmapAlwaysPassesOn) {
  std::int32_t before = GdiObjectCount();
  HBITMAP first = CreateBitmapHandle();
  auto group = RegisterSettingsGroup(manager, kGroup, u"Open Applications", u"Settings of the plug-in", 3, first, u"Cat");
  ASSERT_TRUE(group);
  EXPECT_TRUE(IsGdiObject(first));  // the host keeps it
  auto kept = host.Settings().FindGroupByKey(kGroup);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->Caption(), u"Open Applications");
  EXPECT_EQ(kept->Description(), u"Settings of the plug-in");
  EXPECT_EQ(kept->ImageIndex(), 3);
  EXPECT_EQ(kept->Category(), u"Cat");
  EXPECT_EQ(kept->Bitmap(), first);

  HBITMAP second = CreateBitmapHandle();
  auto again = RegisterSettingsGroup(manager, kGroup, u"Other", u"", 0, second, u"");
  EXPECT_EQ(IdentityOf(again.Get()), IdentityOf(group.Get()));
  EXPECT_FALSE(IsGdiObject(second));  // freed: the group existed
  EXPECT_EQ(host.Settings().FindGroupByKey(kGroup)->Caption(), u"Open Applications");

  // Without a host, nothing is registered and nothing leaks.
  HBITMAP third = CreateBitmapHandle();
  EXPECT_FALSE(RegisterSettingsGroup(nullptr, kGroup, u"x", u"", 0, third, u""));
  EXPECT_FALSE(IsGdiObject(third));
  EXPECT_EQ(GdiObjectCount(), before + 1);
}

TEST_F(SettingsHelpers, SettingsGetTheirDefaultsAndAreReadByKey) {
  auto group = RegisterSettingsGroup(manager, kGroup, u"Open Applications", u"", 0, 0, u"");
  auto a = AddSettingToGroup(group.Get(), 1, kSettingA, kTypeKey, kGroup, u"Use hooks", u"Whether hooks are used",
                             u"Open Applications", OleVariant(true).Get());
  ASSERT_TRUE(a);
  auto b = RegisterSetting(group.Get(), 2, kSettingB, kPage, u"Timeout", u"ms", OleVariant(500).Get(), u"General", true);
  ASSERT_TRUE(b);

  EXPECT_EQ(GetSettingValue(manager, kSettingA).AsBool(), true);
  EXPECT_EQ(GetSettingOleValue(manager, kSettingB).AsInt(), 500);
  EXPECT_EQ(IdentityOf(GetSettingIntf(manager, kSettingA).Get()), IdentityOf(a.Get()));
  auto kept = host.Settings().FindSetting(kSettingA);
  EXPECT_EQ(kept->Path(), u"Open Applications|Use hooks");
  EXPECT_EQ(kept->Category(), u"Open Applications");
  EXPECT_EQ(kept->Kind(), 1);
  EXPECT_EQ(kept->TypeKey(), kTypeKey);
  auto timeout = host.Settings().FindSetting(kSettingB);
  EXPECT_EQ(timeout->Caption(), u"Timeout");
  EXPECT_EQ(timeout->Description(), u"ms");
  BString description;
  ASSERT_EQ(b->GetDescription(description.Put()), S_OK);  // what the options object documents
  EXPECT_EQ(description.View(), u"ms");
  EXPECT_EQ(timeout->Category(), u"General");
  EXPECT_EQ(timeout->OwnerKey(), kPage);
  EXPECT_TRUE(timeout->Visible());
  // The defaults went through the setting's value writer, in order.
  auto writes = host.Settings().Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].key, kSettingA);
  EXPECT_EQ(writes[1].value.AsInt(), 500);

  // Settings inside a setting.
  constexpr GUID kChild = MakeGuid("{11111111-0000-0000-0000-0000000000D1}");
  auto child = RegisterSetting(b.Get(), 5, kChild, GUID_NULL, u"Unit", u"", OleVariant(u"ms").Get(), u"", false);
  EXPECT_EQ(host.Settings().FindSetting(kChild)->Path(), u"Open Applications|Timeout|Unit");
  EXPECT_EQ(GetSettingValue(manager, kChild).AsString(), u"ms");
}

TEST_F(SettingsHelpers, MissingHostServiceOrSettingGivesNothing) {
  constexpr GUID kUnknown = MakeGuid("{11111111-0000-0000-0000-00000000FFFF}");
  EXPECT_TRUE(GetSettingValue(manager, kUnknown).IsEmpty());
  EXPECT_FALSE(GetSetting(manager, kUnknown));
  EXPECT_TRUE(GetSettingValue(nullptr, kSettingA).IsEmpty());
  EXPECT_FALSE(RegisterSetting(nullptr, 1, kSettingA, GUID_NULL, u"", u"", OleVariant(true).Get(), u"", true));
  EXPECT_FALSE(AddSettingToGroup(nullptr, 1, kSettingA, kTypeKey, kGroup, u"", u"", u"", OleVariant().Get()));

  host.SetService(host::services::kSettings, nullptr);
  EXPECT_FALSE(GetSettingsManager(manager));
  EXPECT_TRUE(GetSettingValue(manager, host::kCurrentLanguageSetting).IsEmpty());
  EXPECT_FALSE(EnumSettingsGroupItems(manager, nullptr));
  auto listener = MakeObject<Counting>();
  AddSettingsListener(manager, listener.Get());  // nothing to listen to: no failure

  // A service that is not what it claims to be raises the interface-cast error.
  host.SetService(host::services::kSettings, host.Log().Identity());
  EXPECT_THROW(GetSettingsManager(manager), EOleSysError);
}

TEST_F(SettingsHelpers, OptionsPagePathsAndExistingPages) {
  host.Options().DefineGroup(kWebGroup, u"Web");
  struct Case {
    const char16_t* name;
    GUID key;
    const char16_t* path;
  } cases[] = {
      {u"|Advanced", MakeGuid("{11111111-0000-0000-0000-000000000011}"), u"Web|Advanced"},
      {u"Advanced", MakeGuid("{11111111-0000-0000-0000-000000000012}"), u"Web|Advanced"},
      {u"Playback|Timing", MakeGuid("{11111111-0000-0000-0000-000000000013}"), u"Web|Playback|Timing"},
  };
  for (const auto& c : cases) {
    RegisterOptionsPage(manager, kWebGroup, c.key, c.name, 0, 2, 7, 0, u"Caption");
    auto page = host.Options().FindEntry(c.key);
    ASSERT_TRUE(page) << WideToUtf8(c.name);
    EXPECT_EQ(page->Path(), c.path);
    EXPECT_EQ(page->Caption(), u"Caption");
    EXPECT_EQ(page->ImageIndex(), 2);
    EXPECT_EQ(page->Order(), 7);
  }
  EXPECT_EQ(host.Options().Pages().size(), 3u);

  HBITMAP bitmap = CreateBitmapHandle();
  RegisterOptionsPage(manager, kWebGroup, kPage, u"New", 0, 0, 0, bitmap, u"New page");
  EXPECT_EQ(host.Options().FindEntry(kPage)->Bitmap(), bitmap);
  HBITMAP again = CreateBitmapHandle();
  RegisterOptionsPage(manager, kWebGroup, kPage, u"New", 0, 0, 0, again, u"Other");
  EXPECT_FALSE(IsGdiObject(again));
  EXPECT_EQ(host.Options().FindEntry(kPage)->Caption(), u"New page");
  EXPECT_EQ(host.Options().Pages().size(), 4u);
}

TEST_F(SettingsHelpers, OptionsPageUnderAMissingGroupRaisesAndFreesTheBitmap) {
  HBITMAP bitmap = CreateBitmapHandle();
  try {
    RegisterOptionsPage(manager, kWebGroup, kPage, u"Advanced", 0, 0, 0, bitmap, u"");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(u"'Advanced' options page"), WideString::npos) << WideToUtf8(e.Message());
  }
  EXPECT_FALSE(IsGdiObject(bitmap));
  EXPECT_TRUE(host.Options().Pages().empty());
  // No host: nothing happens, the bitmap is still freed.
  HBITMAP other = CreateBitmapHandle();
  RegisterOptionsPage(nullptr, kWebGroup, kPage, u"Advanced", 0, 0, 0, other, u"");
  EXPECT_FALSE(IsGdiObject(other));
}

TEST_F(SettingsHelpers, GroupItemsAreCollectedInOrder) {
  auto group = RegisterSettingsGroup(manager, kGroup, u"G", u"", 0, 0, u"");
  for (std::uint32_t i = 0; i < 3; ++i) {
    GUID key = kSettingA;
    key.Data1 += i;
    AddSettingToGroup(group.Get(), 2, key, kTypeKey, kGroup, u"S" + IntToWide(i), u"", u"", OleVariant(0).Get());
  }
  auto container = EnumSettingsGroupItems(manager, group.Get());
  ASSERT_TRUE(container);
  std::int32_t count = 0;
  container->GetCount(&count);
  ASSERT_EQ(count, 3);
  for (std::int32_t i = 0; i < 3; ++i) {
    ComPtr<IUnknown> item;
    ASSERT_EQ(container->GetItem(i, item.Put()), S_OK);
    auto s = QueryAs<IpwSettingsItem>(item.Get());
    GUID key{};
    s->GetKey(&key);
    EXPECT_EQ(key.Data1, kSettingA.Data1 + static_cast<std::uint32_t>(i));
  }
  // Without a source the container stays empty.
  auto empty = EnumSettingsGroupItems(manager, nullptr);
  ASSERT_TRUE(empty);
  empty->GetCount(&count);
  EXPECT_EQ(count, 0);
}

TEST_F(SettingsHelpers, ListenersHearChangesOfAllOrOfTheirKey) {
  auto group = RegisterSettingsGroup(manager, kGroup, u"G", u"", 0, 0, u"");
  auto a = AddSettingToGroup(group.Get(), 2, kSettingA, kTypeKey, kGroup, u"A", u"", u"", OleVariant(0).Get());
  auto b = AddSettingToGroup(group.Get(), 2, kSettingB, kTypeKey, kGroup, u"B", u"", u"", OleVariant(0).Get());
  auto all = MakeObject<Counting>();
  auto onlyB = MakeObject<Counting>();
  AddSettingsListener(manager, all.Get());
  AddSettingsKeyListener(manager, kSettingB, static_cast<IpwSettingsListener*>(onlyB.Get()));
  AddSettingsListener(manager, nullptr);  // ignored
  EXPECT_EQ(host.Settings().ListenerCount(), 2u);

  a->put_Value(OleVariant(1).Get());
  b->put_Value(OleVariant(2).Get());
  EXPECT_EQ(all->changed, (std::vector<GUID>{kSettingA, kSettingB}));
  EXPECT_EQ(onlyB->changed, (std::vector<GUID>{kSettingB}));

  RemoveSettingsListener(manager, all.Get());
  RemoveSettingsKeyListener(manager, kSettingB, static_cast<IpwSettingsListener*>(onlyB.Get()));
  EXPECT_EQ(host.Settings().ListenerCount(), 0u);
  b->put_Value(OleVariant(3).Get());
  EXPECT_EQ(all->changed.size(), 2u);
  EXPECT_EQ(onlyB->changed.size(), 1u);
}

// A validator of a key and a listener writing into one journal, so the order shows.
class Journaled : public Implements<ComObject, IpwSettingValueValidator, IpwSettingsListener> {
 public:
  Journaled(std::vector<WideString>& journal, WideString name, HRESULT answer = S_OK)
      : journal_(journal), name_(std::move(name)), answer_(answer) {}
  HRESULT GetKey(GUID* key) override { return *key = GUID_NULL, S_OK; }
  HRESULT ValidatorOperation4() override { return S_OK; }
  HRESULT ValidateSetting(IpwSetting* setting, const VARIANT& value) override {
    OleVariant v(value), text;
    if (Failed(VariantChangeType(text.Ptr(), v.Ptr(), 0, VT_BSTR))) text = OleVariant(u"?");
    GUID key{};
    setting->GetKey(&key);
    journal_.push_back(name_ + u" validates " + IntToWide(static_cast<std::int32_t>(key.Data4[7])) + u" = " +
                       text.AsString());
    return answer_;
  }
  HRESULT ValidatorOperation6(const VARIANT&) override { return S_OK; }
  HRESULT SettingChanged(IpwSetting*) override { return S_OK; }  // never asked: it validates

 private:
  std::vector<WideString>& journal_;
  WideString name_;
  HRESULT answer_;
};
class JournaledListener : public Implements<ComObject, IpwSettingsListener> {
 public:
  explicit JournaledListener(std::vector<WideString>& journal) : journal_(journal) {}
  HRESULT SettingChanged(IpwSetting*) override {
    journal_.push_back(u"told");
    return S_OK;
  }

 private:
  std::vector<WideString>& journal_;
};

// A key listener that validates is asked with the setting and its value before any listener is
// told; a failing one stops neither the others nor the listeners; a quiet setting asks nobody;
// removal goes by the object, whichever of its interfaces is handed over.
TEST_F(SettingsHelpers, ValidatorsOfAKeyAreAskedBeforeTheListenersAreTold) {
  auto group = RegisterSettingsGroup(manager, kGroup, u"G", u"", 0, 0, u"");
  auto a = AddSettingToGroup(group.Get(), 2, kSettingA, kTypeKey, kGroup, u"A", u"", u"", OleVariant(0).Get());
  auto t =
      AddSettingToGroup(group.Get(), host::kSettingTable, kTable, kTypeKey, kGroup, u"T", u"", u"", OleVariant().Get());
  auto table = QueryAs<IcvTableSetting_DVS>(t.Get());
  QueryAs<IcvTableSettingSchema_DVS>(t.Get())->AddColumn(5, nullptr, VARIANT_TRUE, VARIANT_FALSE);
  table->SetRowCount(2);
  std::vector<WideString> journal;
  auto refusing = MakeObject<Journaled>(journal, u"first", E_INVALIDARG);
  auto second = MakeObject<Journaled>(journal, u"second");
  auto told = MakeObject<JournaledListener>(journal);
  AddSettingsListener(manager, told.Get());
  AddSettingsKeyListener(manager, kSettingA, static_cast<IpwSettingValueValidator*>(refusing.Get()));
  AddSettingsKeyListener(manager, kSettingA, static_cast<IpwSettingValueValidator*>(second.Get()));
  AddSettingsKeyListener(manager, kTable, static_cast<IpwSettingValueValidator*>(second.Get()));

  ASSERT_EQ(a->put_Value(OleVariant(7).Get()), S_OK);
  EXPECT_EQ(journal, (std::vector<WideString>{u"first validates 161 = 7", u"second validates 161 = 7", u"told"}));
  EXPECT_EQ(host.Settings().FindSetting(kSettingA)->CurrentValue().AsInt(), 7);  // the refusal undoes nothing

  // A table's value is its current row's first cell.
  journal.clear();
  table->SetCurrentRow(1);
  ASSERT_EQ(table->SetCell(0, 1, OleVariant(u"picked").Get()), S_OK);
  EXPECT_EQ(journal, (std::vector<WideString>{u"second validates 193 = picked", u"told"}));

  // Quiet: nobody is asked or told.
  journal.clear();
  auto internal = QueryAs<IcvSettingInternal>(a.Get());
  internal->SetFlags(host::kSettingQuietFlag);
  a->put_Value(OleVariant(8).Get());
  EXPECT_TRUE(journal.empty());
  internal->SetFlags(0);

  // Withdrawn through another of its interfaces.
  RemoveSettingsKeyListener(manager, kSettingA, static_cast<IpwSettingsListener*>(refusing.Get()));
  RemoveSettingsKeyListener(manager, kSettingA,
                            static_cast<IUnknown*>(static_cast<IpwSettingValueValidator*>(second.Get())));
  a->put_Value(OleVariant(9).Get());
  EXPECT_EQ(journal, (std::vector<WideString>{u"told"}));
  RemoveSettingsListener(manager, told.Get());
  RemoveSettingsKeyListener(manager, kTable, static_cast<IpwSettingValueValidator*>(second.Get()));
  EXPECT_EQ(host.Settings().ListenerCount(), 0u);
}

// A table setting with a Boolean, an integer, a currency, a text and a free column.
class TableRows : public SettingsHelpers {
 protected:
  void SetUp() override {
    auto group = RegisterSettingsGroup(manager, kGroup, u"G", u"", 0, 0, u"");
    auto s = AddSettingToGroup(group.Get(), host::kSettingTable, kTable, kTypeKey, kGroup, u"T", u"", u"",
                               OleVariant().Get());
    table = QueryAs<IpwTableSetting>(s.Get());
    ASSERT_TRUE(table);
    auto schema = QueryAs<IcvTableSettingSchema_DVS>(table.Get());
    for (std::int32_t kind : {1, 2, 4, 5, 10}) schema->AddColumn(kind, 0, -1, 0);
    for (std::int32_t r = 0; r < 3; ++r) {
      std::int32_t row = -1;
      table->AppendRow(&row);
      for (std::int32_t c = 0; c < 5; ++c) table->SetCell(c, row, OleVariant(u"r" + IntToWide(r) + u"c" + IntToWide(c)).Get());
    }
    listener = MakeObject<Counting>();
    AddSettingsKeyListener(manager, kTable, static_cast<IpwSettingsListener*>(listener.Get()));
  }
  WideString Cell(std::int32_t c, std::int32_t r) {
    OleVariant v;
    EXPECT_EQ(table->GetCell(c, r, v.Put()), S_OK);
    return v.Type() == VT_BSTR ? v.AsString() : u"<" + IntToWide(v.Type()) + u">";
  }
  ComPtr<IpwTableSetting> table;
  ComPtr<Counting> listener;
};

TEST_F(TableRows, InsertAtTheTopMovesEveryRowDownAndFillsDefaults) {
  EXPECT_EQ(InsertTableSettingRow(table.Get(), 0), 0);
  std::int32_t rows = 0;
  table->GetRowCount(&rows);
  ASSERT_EQ(rows, 4);
  for (std::int32_t r = 1; r < 4; ++r)
    for (std::int32_t c = 0; c < 5; ++c) EXPECT_EQ(Cell(c, r), u"r" + IntToWide(r - 1) + u"c" + IntToWide(c));
  OleVariant v;
  table->GetCell(0, 0, v.Put());
  EXPECT_EQ(v.Type(), VT_BOOL);
  EXPECT_FALSE(v.AsBool());
  table->GetCell(1, 0, v.Put());
  EXPECT_EQ(v.Type(), VT_I4);
  table->GetCell(2, 0, v.Put());
  EXPECT_EQ(v.Type(), VT_CY);
  EXPECT_EQ(v.Get().cyVal.int64, 0);
  EXPECT_EQ(Cell(3, 0), u"");
  table->GetCell(4, 0, v.Put());
  EXPECT_TRUE(v.IsEmpty());  // a kind without a default is left unassigned
  EXPECT_EQ(listener->changed.size(), 1u);  // one update, one notification
}

TEST_F(TableRows, InsertPastTheEndOnlyAppends) {
  EXPECT_EQ(InsertTableSettingRow(table.Get(), 7), 3);
  EXPECT_EQ(Cell(0, 2), u"r2c0");
  OleVariant v;
  table->GetCell(0, 3, v.Put());
  EXPECT_TRUE(v.IsEmpty());  // appended rows are not filled with defaults
  EXPECT_EQ(InsertTableSettingRow(table.Get(), -5), 0);  // a negative index inserts at the top
  EXPECT_EQ(Cell(0, 1), u"r0c0");
  EXPECT_EQ(InsertTableSettingRow(nullptr, 0), -1);
}

TEST_F(TableRows, ExchangeSwapsRowsAndLeavesTheFlagsAsTheyWere) {
  ExchangeTableSettingRows(table.Get(), 0, 2);
  for (std::int32_t c = 0; c < 5; ++c) {
    EXPECT_EQ(Cell(c, 0), u"r2c" + IntToWide(c));
    EXPECT_EQ(Cell(c, 2), u"r0c" + IntToWide(c));
    EXPECT_EQ(Cell(c, 1), u"r1c" + IntToWide(c));
  }
  std::int32_t current = -1, flags = -1;
  table->GetCurrentRow(&current);
  EXPECT_EQ(current, 2);
  QueryAs<IcvSettingInternal>(table.Get())->GetFlags(&flags);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(listener->changed.size(), 1u);

  // A bad row raises; the flags and the update are undone.
  EXPECT_THROW(ExchangeTableSettingRows(table.Get(), 0, 9), EOleSysError);
  QueryAs<IcvSettingInternal>(table.Get())->GetFlags(&flags);
  EXPECT_EQ(flags, 0);
  table->put_Value(OleVariant(1).Get());  // not held in an update any more
  EXPECT_EQ(listener->changed.size(), 2u);
}

}  // namespace
}  // namespace pw
