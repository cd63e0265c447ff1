// The MSAA and UI Automation options pages through the host's plug-in driver: what the pages
// register, the accepted-windows text, and how changes travel to running hooks.
#include <gtest/gtest.h>

#include "host/plugin_host.h"
#include "openapps/open_app_plugins.h"
#include "openapps/registrator.h"
#include "openapps_fixture.h"

namespace pw {
namespace {

const WideString kDefaultMSAAText =
    u"MsoCommandBar*\r\n_Ww*\r\nOpusApp\r\nVfp*\r\nbosa_sdm_Microsoft Word *\r\nXTPToolBar\r\n"
    u"XTPDockingPaneTabbedContainer\r\nXTPTaskPanel\r\nXTPReport\r\nXTPPopupBar";

class Pages : public OpenAppsTest {
 protected:
  // Creates the MSAA (2) and UI Automation (3) plug-ins and starts them as the host does.
  void Start() {
    plugins = std::make_unique<host::TPluginHost>(*host);
    registrator = CreatePluginRegistrator();
    plugins->Create(registrator.Get(), 2, u"MSAA");
    plugins->Create(registrator.Get(), 3, u"UIA");
    ASSERT_EQ(plugins->Start(), 0u);
    msaa = static_cast<TpwMSAAPlugin*>(static_cast<IcvPlugin*>(plugins->Plugins()[0].object.Get()));
    uia = static_cast<TpwUiaSupportPlugin*>(static_cast<IcvPlugin*>(plugins->Plugins()[1].object.Get()));
  }
  ~Pages() override { plugins.reset(); }

  std::vector<std::pair<GUID, std::string>> Sent(std::size_t from = 0) {
    std::vector<std::pair<GUID, std::string>> out;
    auto all = host->HookParameters().Received();
    for (std::size_t i = from; i < all.size(); ++i) {
      const VARIANT& v = *all[i].value.Ptr();
      out.emplace_back(all[i].key, v.vt == VT_BOOL ? (v.boolVal ? "True" : "False") : Narrow(BstrView(v.bstrVal)));
    }
    return out;
  }

  std::unique_ptr<host::TPluginHost> plugins;
  ComPtr<IcvPluginRegistrator> registrator;
  TpwMSAAPlugin* msaa = nullptr;
  TpwUiaSupportPlugin* uia = nullptr;
};

TEST_F(Pages, RegisterTheirPagesAndSettings) {
  Start();
  auto pages = host->Options().Pages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0]->Path(), u"Open Applications|MSAA");
  EXPECT_EQ(pages[0]->Key(), kMSAAPluginKey);
  EXPECT_EQ(pages[0]->ImageIndex(), 6087);
  EXPECT_EQ(pages[0]->Order(), 6063);
  EXPECT_TRUE(IsGdiObject(pages[0]->Bitmap()));  // the page's image went to the host
  EXPECT_EQ(pages[1]->Path(), u"Open Applications|UI Automation");
  EXPECT_EQ(pages[1]->ImageIndex(), 6130);
  EXPECT_EQ(pages[1]->Order(), 6131);

  auto table = host->Settings().FindSetting(kMSAAAcceptedWindowsSetting);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Kind(), 6);
  EXPECT_EQ(table->Caption(), u"List of &accepted windows");
  EXPECT_EQ(table->Description(), u"A list of windows that will be shown as MSAA objects.");
  EXPECT_EQ(table->Category(), u"Open Applications");
  EXPECT_EQ(table->TypeKey(), kOpenAppSettingType);
  EXPECT_EQ(table->OwnerKey(), kMSAAPluginKey);
  std::int32_t kind = 0;
  ASSERT_EQ(table->GetColumnKind(0, &kind), S_OK);
  EXPECT_EQ(kind, 1);
  ASSERT_EQ(table->GetColumnKind(1, &kind), S_OK);
  EXPECT_EQ(kind, 5);
  auto columns = table->Columns();
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_TRUE(columns[1].visible);  // added as (kind, no name, visible, not read-only)
  EXPECT_FALSE(columns[1].readOnly);
  EXPECT_EQ(columns[1].name, u"");
  auto rows = table->Rows();
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(Narrow(BstrView(rows[0][1].Ptr()->bstrVal)), "*");
  EXPECT_EQ(rows[0][0].Ptr()->boolVal, VARIANT_FALSE);
  EXPECT_EQ(Narrow(BstrView(rows[6][1].Ptr()->bstrVal)), "Internet Explorer_Server");
  EXPECT_EQ(Narrow(BstrView(rows[11][1].Ptr()->bstrVal)), "XTPPopupBar");
  EXPECT_EQ(rows[11][0].Ptr()->boolVal, VARIANT_TRUE);

  auto compatibility = host->Settings().FindSetting(kMSAACompatibilitySetting);
  ASSERT_TRUE(compatibility);
  EXPECT_EQ(compatibility->Kind(), 1);
  EXPECT_EQ(compatibility->Caption(), u"Work with MSAA objects in mode compatible with Probewright 6 and earlier");
  EXPECT_EQ(compatibility->CurrentValue().Ptr()->boolVal, VARIANT_FALSE);

  auto uiaTable = host->Settings().FindSetting(kUiaAcceptedWindowsSetting);
  ASSERT_TRUE(uiaTable);
  EXPECT_EQ(uiaTable->Description(), u"A list of windows that will be shown as UIA objects.");
  EXPECT_EQ(uiaTable->Rows().size(), 1u);
}

TEST_F(Pages, AcceptedWindowsTexts) {
  // Before the pages exist the settings are missing: "*" for both, the flag false.
  TAcceptedWindowsPage msaaPage(MSAAPageInfo()), uiaPage(UiaPageInfo());
  EXPECT_EQ(msaaPage.AcceptedWindowsText(host->Manager()), u"*");
  EXPECT_EQ(uiaPage.AcceptedWindowsText(host->Manager()), u"*");
  EXPECT_FALSE(msaaPage.CompatibilityFlag(host->Manager()));
  Start();
  EXPECT_EQ(msaa->Page().AcceptedWindowsText(host->Manager()), kDefaultMSAAText);
  EXPECT_EQ(uia->Page().AcceptedWindowsText(host->Manager()), u"");  // the one row is not accepted
}

TEST_F(Pages, NamingTheGroupSendsWhatDiffersFromNothingSent) {
  Start();
  // The host named each setting back: the MSAA text went out; the false flag and the empty
  // UIA text equal what counts as sent already and stay home.
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].first, kMSAAAcceptedWindowsParameter);
  EXPECT_EQ(sent[0].second, Narrow(kDefaultMSAAText));
  EXPECT_EQ(msaa->Page().SettingsGroupKey(), kMSAAPluginKey);
  EXPECT_EQ(uia->Page().SettingsGroupKey(), kUiaPluginKey);
}

TEST_F(Pages, ChangesReachRunningHooksOnce) {
  Start();
  auto process = AddProcess(11, u"app.exe", {}, {});
  ASSERT_EQ(plugins->AttachProcess(*process).done.size(), 1u);  // MSAA (UIA's library is not on this machine's path)
  std::size_t before = host->HookParameters().Received().size();
  auto compatibility = host->Settings().FindSetting(kMSAACompatibilitySetting);
  auto table = host->Settings().FindSetting(kMSAAAcceptedWindowsSetting);

  compatibility->put_Value(OleVariant(true).Get());
  compatibility->put_Value(OleVariant(false).Get());
  table->SetCell(0, 0, OleVariant(true).Get());  // accept "*"
  table->SetCell(1, 3, OleVariant(u"OpusApp").Get());  // the same content again: nothing new
  auto sent = Sent(before);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], std::make_pair(kMSAACompatibilityParameter, std::string("True")));
  EXPECT_EQ(sent[1], std::make_pair(kMSAACompatibilityParameter, std::string("False")));
  EXPECT_EQ(sent[2], std::make_pair(kMSAAAcceptedWindowsParameter, "*\r\n" + Narrow(kDefaultMSAAText)));
  // The running hook of the process got the same values.
  auto parameters = process->Hooks().Parameters();
  EXPECT_EQ(Narrow(BstrView(parameters[u"{113608F6-48E7-4F3E-9C3D-E51E3D827266}"].Ptr()->bstrVal)),
            "*\r\n" + Narrow(kDefaultMSAAText));
  EXPECT_EQ(parameters[u"{3BAA9083-AE46-48CE-BFF4-A656DECF8E2F}"].Ptr()->boolVal, VARIANT_FALSE);
}

TEST_F(Pages, ChangeOfAnotherGroupIsIgnored) {
  Start();
  std::size_t before = host->HookParameters().Received().size();
  auto compatibility = host->Settings().FindSetting(kMSAACompatibilitySetting);
  compatibility->put_Value(OleVariant(true).Get());  // reaches the plug-in with the right group: one
  ASSERT_EQ(Sent(before).size(), 1u);
  auto table = host->Settings().FindSetting(kMSAAAcceptedWindowsSetting);
  table->SetCell(0, 0, OleVariant(true).Get());
  std::size_t now = host->HookParameters().Received().size();
  // The same setting told with another group key sends nothing.
  static_cast<IpwSettingsChangeListener*>(msaa)->SettingChanged(table.Get(), kUiaPluginKey);
  EXPECT_EQ(host->HookParameters().Received().size(), now);
}

TEST_F(Pages, FailedSendIsMadeAgainAtTheNextChange) {
  Start();
  std::size_t before = host->HookParameters().Received().size();
  auto compatibility = host->Settings().FindSetting(kMSAACompatibilitySetting);
  host->HookParameters().FailWith(E_FAIL);
  compatibility->put_Value(OleVariant(true).Get());
  EXPECT_EQ(Sent(before).size(), 0u);
  EXPECT_FALSE(msaa->Page().CompatibilitySent());
  host->HookParameters().FailWith(S_OK);
  // The flag still counts as unsent, so the next notification of it sends it.
  static_cast<IpwSettingsChangeListener*>(msaa)->SettingChanged(compatibility.Get(), kMSAAPluginKey);
  auto sent = Sent(before);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], std::make_pair(kMSAACompatibilityParameter, std::string("True")));
  EXPECT_TRUE(msaa->Page().CompatibilitySent());
}

// A notification has no caller to answer to: its failure is written to the host's diagnostic
// log and stays the thread's error information.
TEST_F(Pages, AFailedSendIsWrittenToTheDiagnosticLog) {
  Start();
  auto compatibility = host->Settings().FindSetting(kMSAACompatibilitySetting);
  const std::size_t before = host->Diagnostics().Lines().size();
  host->HookParameters().FailWith(E_FAIL);
  SetErrorInfo(0, nullptr);
  compatibility->put_Value(OleVariant(true).Get());  // the host tells the plug-in, whose send fails
  auto lines = host->Diagnostics().Lines();
  ASSERT_EQ(lines.size(), before + 1);
  EXPECT_NE(lines.back().find(u"a settings change did not reach the hooks: "), WideString::npos)
      << Narrow(lines.back());
  ComPtr<IErrorInfo> info;
  EXPECT_EQ(GetErrorInfo(0, info.Put()), S_OK) << "the error information stays the thread's";
  host->HookParameters().FailWith(S_OK);
  static_cast<IpwSettingsChangeListener*>(msaa)->SettingChanged(compatibility.Get(), kMSAAPluginKey);
  EXPECT_EQ(host->Diagnostics().Lines().size(), before + 1) << "a send that works writes nothing";
}

TEST_F(Pages, MSAASendsOnlyTheValueOfTheSettingNamed) {
  Start();
  auto table = host->Settings().FindSetting(kMSAAAcceptedWindowsSetting);
  auto compatibility = host->Settings().FindSetting(kMSAACompatibilitySetting);
  host->HookParameters().FailWith(E_FAIL);
  table->SetCell(0, 0, OleVariant(true).Get());  // the new text stays unsent
  host->HookParameters().FailWith(S_OK);
  std::size_t before = host->HookParameters().Received().size();
  compatibility->put_Value(OleVariant(true).Get());
  auto sent = Sent(before);
  ASSERT_EQ(sent.size(), 1u);  // the flag only: the table was not named
  EXPECT_EQ(sent[0], std::make_pair(kMSAACompatibilityParameter, std::string("True")));
  static_cast<IpwSettingsChangeListener*>(msaa)->SettingChanged(table.Get(), kMSAAPluginKey);
  sent = Sent(before);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1], std::make_pair(kMSAAAcceptedWindowsParameter, "*\r\n" + Narrow(kDefaultMSAAText)));
  // A setting of neither key sends nothing.
  host->HookParameters().FailWith(E_FAIL);
  table->SetCell(0, 0, OleVariant(false).Get());
  host->HookParameters().FailWith(S_OK);
  auto other = host->Settings().FindSetting(kUiaAcceptedWindowsSetting);
  static_cast<IpwSettingsChangeListener*>(msaa)->SettingChanged(other.Get(), kMSAAPluginKey);
  EXPECT_EQ(Sent(before).size(), 2u);
}

TEST_F(Pages, UiAutomationSendsItsTextWhicheverSettingIsNamed) {
  Start();
  auto table = host->Settings().FindSetting(kUiaAcceptedWindowsSetting);
  std::size_t before = host->HookParameters().Received().size();
  table->SetCell(0, 0, OleVariant(true).Get());
  table->SetCell(1, 0, OleVariant(u"Chrome*").Get());
  auto sent = Sent(before);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], std::make_pair(kUiaAcceptedWindowsParameter, std::string("*")));
  EXPECT_EQ(sent[1], std::make_pair(kUiaAcceptedWindowsParameter, std::string("Chrome*")));
  // A change that did not reach the service goes out when the plug-in is told of any setting.
  host->HookParameters().FailWith(E_FAIL);
  table->SetCell(1, 0, OleVariant(u"Qt5*").Get());
  host->HookParameters().FailWith(S_OK);
  auto compatibility = host->Settings().FindSetting(kMSAACompatibilitySetting);
  static_cast<IpwSettingsChangeListener*>(uia)->SettingChanged(compatibility.Get(), kUiaPluginKey);
  sent = Sent(before);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2], std::make_pair(kUiaAcceptedWindowsParameter, std::string("Qt5*")));
  EXPECT_EQ(uia->Page().AcceptedWindowsSent(), u"Qt5*");
}

TEST_F(Pages, InstallSendsTheCurrentValuesBeforeTheLoadCommand) {
  Start();
  host->Settings().FindSetting(kMSAACompatibilitySetting)->put_Value(OleVariant(true).Get());
  auto process = AddProcess(12, u"app.exe", {}, {});
  plugins->AttachProcess(*process);
  auto calls = process->Hooks().Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].kind, host::HookCall::Parameter);
  EXPECT_EQ(calls[0].name, u"{113608F6-48E7-4F3E-9C3D-E51E3D827266}");
  EXPECT_EQ(WideString(BstrView(calls[0].value.Ptr()->bstrVal)), kDefaultMSAAText);
  EXPECT_EQ(calls[1].name, u"{3BAA9083-AE46-48CE-BFF4-A656DECF8E2F}");
  EXPECT_EQ(calls[1].value.Ptr()->boolVal, VARIANT_TRUE);
  EXPECT_EQ(calls[2].kind, host::HookCall::Command);
  EXPECT_EQ(calls[2].name, u"{31B0A848-ACBE-4675-94E4-D6DE052D1C09}");
}

TEST_F(Pages, RegisterPageFailsWithoutTheOptionsGroup) {
  // A host without the "Open Applications" options group: the page cannot be registered.
  host->Options().Shutdown();
  plugins = std::make_unique<host::TPluginHost>(*host);
  registrator = CreatePluginRegistrator();
  plugins->Create(registrator.Get(), 2, u"MSAA");
  EXPECT_EQ(plugins->Start(), 1u);
  EXPECT_NE(plugins->Plugins()[0].error.find(u"RegisterPage"), WideString::npos);
}

}  // namespace
}  // namespace pw
