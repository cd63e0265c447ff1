#include "tools/pwhost/web_command.h"

#include <stdlib.h>

#include <charconv>
#include <filesystem>
#include <memory>

#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "host/name_mapping.h"
#include "host/node_type_registry.h"
#include "host/test_host.h"
#include "platform/automation/bstr.h"
#include "project/container/item_helpers.h"
#include "project/nodes/project_helpers.h"
#include "tools/pwhost/commands.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/guid.h"
#include "platform/rtl/strings.h"
#include "tools/pwhost/array_text.h"
#include "web/hooks/hook_settings.h"
#include "web/settings/dynamic_ids.h"
#include "web/settings/web_settings.h"

namespace pw::host {

const char* const kWebUsage =
    "settings [CAPTION=VALUE]...  build the web settings as a project load does, apply each change as the "
    "user's and print each publication and message, then the arrays the hook of an \"iexplore.exe\" gets | ids [row=N "
    "| add-group | add-item | remove | up | down | yes | no "
    "| test=ID]...  edit the dynamic "
    "identifier table and print it with its hook text";

namespace {

constexpr GUID kWebGroupKey = MakeGuid("{6CDE98FB-F9F5-44E4-A4D9-4FAAB091D8F8}");

int Misused(std::FILE* err, const std::string& what) {
  std::fprintf(err, "pwhost web: %s\n", what.c_str());
  return 2;
}

struct Step {
  enum Kind { Row, Action, Answer, Test } kind = Action;
  GUID action{};
  std::int32_t row = 0;
  bool yes = false;
  std::string text;  // the word as given; test: the identifier
};

std::string Cell(const OleVariant& v) {
  if (v.Get().vt == VT_EMPTY || v.Get().vt == VT_NULL) return {};
  return WideToUtf8(v.AsString());
}

bool True(const OleVariant& v) { return v.Get().vt == VT_BOOL && v.Get().boolVal != 0; }

void PrintTable(TestHost& host, std::FILE* out) {
  auto table = host.Settings().FindSetting(web::kDynamicIdSettingKey);
  std::int32_t current = -1;
  table->GetCurrentRow(&current);
  const auto rows = table->Rows();
  std::fprintf(out, "Dynamic Identifiers (%zu rows, current %d):\n", rows.size(), current);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& r = rows[i];
    const char* mark = static_cast<std::int32_t>(i) == current ? ">" : " ";
    if (True(r[web::kDiIsGroup])) {
      std::fprintf(out, "%s%3zu [%c] %s\n", mark, i, True(r[web::kDiEnabled]) ? 'x' : ' ',
                   Cell(r[web::kDiDescription]).c_str());
    } else {
      std::fprintf(out, "%s%3zu     [%c] %-8s \"%s\" \"%s\" %s (group %s)\n", mark, i,
                   True(r[web::kDiEnabled]) ? 'x' : ' ', Cell(r[web::kDiPatternType]).c_str(),
                   Cell(r[web::kDiPattern]).c_str(), Cell(r[web::kDiTemplate]).c_str(),
                   Cell(r[web::kDiDescription]).c_str(), Cell(r[web::kDiParent]).c_str());
    }
  }
}

void PrintHookText(IcvBaseManager* root, std::FILE* out) {
  const WideString text = web::GetDynamicIdPatterns(root, false);
  std::fprintf(out, "Hook text (TAB shown as \\t, one line each):\n");
  std::size_t start = 0;
  while (!text.empty()) {
    const std::size_t end = text.find(u'\n', start);
    std::string line = WideToUtf8(WideStringView(text).substr(start, end - start));
    std::string shown;
    for (char c : line) shown += c == '\t' ? std::string("\\t") : std::string(1, c);
    std::fprintf(out, "  %s\n", shown.c_str());
    if (end == WideString::npos) break;
    start = end + 1;
  }
}

int RunIds(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::vector<Step> steps;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    Step s;
    s.kind = Step::Action;
    s.text = a;
    if (a.rfind("row=", 0) == 0) {
      s.kind = Step::Row;
      const char* b = a.data() + 4;
      const char* e = a.data() + a.size();
      auto [p, ec] = std::from_chars(b, e, s.row);
      if (ec != std::errc() || p != e || b == e || s.row < 0) return Misused(err, "row= takes a row number: " + a);
    } else if (a.rfind("test=", 0) == 0) {
      s.kind = Step::Test;
      s.text = a.substr(5);
    } else if (a == "yes" || a == "no") {
      s.kind = Step::Answer;
      s.yes = a == "yes";
    } else if (a == "add-group") {
      s.action = web::kDynamicIdAddGroup;
    } else if (a == "add-item") {
      s.action = web::kDynamicIdAddItem;
    } else if (a == "remove") {
      s.action = web::kDynamicIdRemove;
    } else if (a == "up") {
      s.action = web::kDynamicIdMoveUp;
    } else if (a == "down") {
      s.action = web::kDynamicIdMoveDown;
    } else {
      return Misused(err, "unknown step " + a);
    }
    steps.push_back(std::move(s));
  }

  TestHostOptions options;
  options.interactive = true;
  TestHost host(options);
  host.Messenger().SetDefaultConfirmation(false);
  host.SetPrinter([out](const WideString& line) { std::fprintf(out, "%s\n", WideToUtf8(line).c_str()); });
  IcvBaseManager* root = host.Manager();
  auto group = RegisterSettingsGroup(root, kWebGroupKey, u"Web Testing", u"", 0, 0, u"");
  auto table = web::CreateDynamicIdSetting(group.Get(), web::kDynamicIdSettingKey);
  const GUID context = web::kDynamicIdSettingKey;
  web::RegisterDynamicIdActions(root, context);

  auto run = [&](const GUID& key) {
    auto action = host.Actions().Find(key);
    // What the host's update asks (the three adds are never disabled).
    web::UpdateDynamicIdAction(root, action.Get());
    if (!web::IsDynamicIdActionEnabled(root, key)) return false;
    GUID result{};
    web::ExecuteDynamicIdAction(root, action.Get(), OleVariant().Get(), &result);
    return true;
  };
  int code = 0;
  for (const auto& s : steps) {
    switch (s.kind) {
      case Step::Row: {
        std::int32_t rows = 0;
        table->GetRowCount(&rows);
        if (s.row >= rows) {
          std::fprintf(err, "pwhost web: row %d does not exist (%d rows)\n", s.row, rows);
          code = 2;
          break;
        }
        table->SetCurrentRow(s.row);
        break;
      }
      case Step::Answer: host.Messenger().QueueConfirmation(s.yes); break;
      case Step::Action:
        std::fprintf(out, "%s\n", s.text.c_str());
        if (!run(s.action)) {
          std::fprintf(err, "pwhost web: %s is disabled here\n", s.text.c_str());
          code = 1;
        }
        break;
      case Step::Test: {
        host.Dialogs().QueuePatternTest(Utf8ToWide(s.text));
        if (!run(web::kDynamicIdTest)) {
          std::fprintf(err, "pwhost web: test is disabled here\n");
          code = 1;
          break;
        }
        const auto tests = host.Dialogs().PatternTests();
        const auto& t = tests.back();
        if (t.row < 0) std::fprintf(out, "test %s: no match\n", s.text.c_str());
        else std::fprintf(out, "test %s: row %d, %s\n", s.text.c_str(), t.row, WideToUtf8(t.shown).c_str());
        break;
      }
    }
    if (code != 0) break;
  }
  PrintTable(host, out);
  PrintHookText(root, out);
  table = nullptr;
  StopHelperModules();
  return code;
}

// ---- settings ------------------------------------------------------------------------------

constexpr GUID kProjectOwner = MakeGuid("{5C0F1E2D-3B4A-4C5D-8E6F-7A8B9C0D1E2F}");

struct Change {
  ComPtr<TSetting> setting;
  OleVariant value;              // plain settings
  std::int32_t row = -1;         // drop-down lists: the row chosen
  std::vector<WideString> rows;  // "Dynamic parameters": its rows (names joined by ",")
  bool isList = false, isRows = false;
};

std::string Text(const OleVariant& v) {
  if (v.Get().vt == VT_EMPTY) return "(empty)";
  if (v.Get().vt == VT_BOOL) return v.Get().boolVal ? "True" : "False";
  std::string t = WideToUtf8(v.AsString());
  std::string shown;
  for (char c : t) shown += c == '\n' ? std::string("\\n") : c == '\t' ? std::string("\\t") : std::string(1, c);
  return v.Get().vt == VT_BSTR ? "\"" + shown + "\"" : shown;
}

// What the browser hook of an "iexplore.exe" gets now: the process test, then the calls its
// hook agent receives from the install (the key and value arrays, the load command).
void PrintBrowserHook(TestHost& host, const web::TpwWebSettings& settings, std::FILE* out) {
  auto process = host.Processes().Add(
      {4103, u"iexplore.exe", {u"iexplore.exe", u"MSHTML.DLL", u"KERNEL32.DLL"}, {{0x10030, u"IEFrame"}}});
  const bool supported = web::IsBrowserHookProcessOf(host.Manager(), process.Get());
  std::fprintf(out, "hook of iexplore.exe (%s):\n", supported ? "supported" : "not supported");
  if (supported) web::InstallBrowserHook(process.Get(), host.Manager(), settings);
  for (const auto& call : process->Hooks().Calls()) {
    if (call.kind == HookCall::Parameters) {
      std::fprintf(out, "  keys   %s\n", ArrayText(call.value, Text).c_str());
      std::fprintf(out, "  values %s\n", ArrayText(call.values, Text).c_str());
    } else {
      std::fprintf(out, "  %s %s %s\n", call.kind == HookCall::Command ? "command" : "parameter",
                   WideToUtf8(call.name).c_str(), Text(call.value).c_str());
    }
  }
  host.Processes().Remove(process->Id());
}

const char* PublishedName(const GUID& key) {
  if (key == web::kPublishedTreeModelKey) return "tree model";
  if (key == web::kPublishedIdentifyByNameKey) return "identify by name";
  if (key == web::kLegacyFeaturesKey) return "legacy features";
  if (key == web::kIgnoreDynamicUrlParamsKey) return "ignore dynamic URL parameters";
  if (key == web::kDynamicParametersKey) return "dynamic parameters";
  if (key == web::kDynamicIdSettingKey) return "dynamic identifiers";
  return "?";
}

// A project in a scratch folder whose name mapping holds one mapped web page, so that a change of
// the dynamic URL parameters offers to re-map it (the question is answered no). The folder goes
// with the object.
class SampleMappedProject {
 public:
  explicit SampleMappedProject(TestHost& host) : host_(host), mappings_(host) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pwhost-web-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw Exception(u"No scratch folder for the sample project");
    folder_ = pattern;
    GUID key{};
    OleCheck(CreateGuid(key));
    project_ = MakeObject<THostProject>(nullptr, key);
    OleCheck(project_->Initialize(host.Manager()));
    project_->ReloadFromFileName(Utf8ToWide((folder_ / "Sample.pwp").string()), true);
    host.Projects().SetDefaultProject(project_->AsNode());
    host.Projects().SetSuiteOpen(true);
    project::CreateProjectItem(host.Manager(), project_->AsNode(), kNameMappingItemTypeKey, {}, u"", false, true,
                               item_);
    auto repository = mappings_.Repository(project::GetProjectKey(project_->AsNode()));
    if (!repository) throw Exception(u"The sample project has no name mapping");
    ComPtr<IpwNameMappingRepositoryItem> page;
    OleCheck(repository->Root().AddChild(BString(u"pageCart").Get(), page.Put()));
    page_ = static_cast<TNameMappingItem*>(page.Get());
    page_->Identification().AddProperty(BString(u"ObjectType").Get(), VARIANT_TRUE, OleVariant(u"Page").Get());
    page_->Identification().AddProperty(BString(u"URL").Get(), VARIANT_TRUE,
                                        OleVariant(u"http://shop.example/cart.htm?sessionid=5E1&item=7").Get());
  }
  ~SampleMappedProject() {
    item_ = nullptr;
    page_ = nullptr;
    host_.Projects().SetDefaultProject(nullptr);
    host_.Projects().SetSuiteOpen(false);
    project_->Finalize();
    project_ = nullptr;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  SampleMappedProject(const SampleMappedProject&) = delete;
  SampleMappedProject& operator=(const SampleMappedProject&) = delete;

  WideString PageUrl() const {
    for (const auto& p : page_->Identification().Properties())
      if (p.name == u"URL") return p.value.AsString();
    return {};
  }

 private:
  TestHost& host_;
  TNameMappings mappings_;
  std::filesystem::path folder_;
  ComPtr<THostProject> project_;
  ComPtr<IpwProjectNode> item_;
  ComPtr<TNameMappingItem> page_;
};

int RunSettings(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  NamePoolUnit names;
  TestHostOptions options;
  options.interactive = true;
  TestHost host(options);
  host.Messenger().SetDefaultConfirmation(false);
  // Publications are printed in the order they came, before any message that follows them.
  std::size_t printed = 0;
  auto flush = [&] {
    const auto published = host.HookParameters().Received();
    for (; printed < published.size(); ++printed)
      std::fprintf(out, "  publish %s %s = %s\n", GuidToString(published[printed].key).c_str(),
                   PublishedName(published[printed].key), Text(published[printed].value).c_str());
  };
  auto plain = [out](const WideString& line) { std::fprintf(out, "%s\n", WideToUtf8(line).c_str()); };
  host.SetPrinter([&](const WideString& line) {
    flush();
    plain(line);
  });
  // The printer above goes before what it refers to: the host prints plainly from then on.
  struct PrinterReset {
    TestHost& host;
    decltype(plain) printer;
    ~PrinterReset() { host.SetPrinter(printer); }
  } reset{host, plain};
  IcvBaseManager* root = host.Manager();
  SampleMappedProject sample(host);
  auto group = RegisterSettingsGroup(root, kWebGroupKey, u"Web Testing", u"", 0, 0, u"");
  web::TpwWebSettings settings(root);
  settings.BuildSettings(group.Get(), nullptr);
  const auto all = host.Settings().FindGroupByKey(kWebGroupKey)->Children();

  // Every change is checked before any is made.
  std::vector<Change> changes;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::size_t eq = args[i].find('=');
    if (eq == std::string::npos) return Misused(err, "CAPTION=VALUE expected: " + args[i]);
    const WideString caption = Utf8ToWide(args[i].substr(0, eq));
    const WideString value = Utf8ToWide(args[i].substr(eq + 1));
    Change c;
    for (const auto& s : all)
      if (s->Key() != web::kDynamicIdSettingKey && SameTextIgnoringCase(s->Caption(), caption)) c.setting = s;
    if (!c.setting) return Misused(err, "no web setting has the caption " + args[i].substr(0, eq));
    const std::string bad = "the value " + args[i].substr(eq + 1) + " is refused for " + args[i].substr(0, eq);
    switch (c.setting->Kind()) {
      case 1:
        if (SameTextIgnoringCase(value, u"true") || SameTextIgnoringCase(value, u"false"))
          c.value = OleVariant(SameTextIgnoringCase(value, u"true"));
        else return Misused(err, bad + " (True or False)");
        break;
      case 2: {
        std::int32_t n = 0;
        const std::string v = args[i].substr(eq + 1);
        auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
        if (ec != std::errc() || p != v.data() + v.size() || v.empty() || n < 1000)
          return Misused(err, bad + " (an integer from 1000 to 2147483647)");
        c.value = OleVariant(n);
        break;
      }
      case 6:
        if (c.setting->Key() == web::kDynamicParametersKey) {
          c.isRows = true;
          std::size_t start = 0;
          while (true) {
            const std::size_t comma = value.find(u',', start);
            c.rows.push_back(value.substr(start, comma - start));
            if (comma == WideString::npos) break;
            start = comma + 1;
          }
        } else {
          c.isList = true;
          const auto rows = c.setting->Rows();
          for (std::size_t r = 0; r < rows.size(); ++r)
            if (SameTextIgnoringCase(rows[r][0].AsString(), value)) c.row = static_cast<std::int32_t>(r);
          if (c.row < 0) return Misused(err, bad + " (not one of its choices)");
        }
        break;
      default: c.value = OleVariant(WideStringView(value));
    }
    changes.push_back(std::move(c));
  }

  std::fprintf(out, "load:\n");
  for (const auto& s : all) {
    settings.SettingLoaded(static_cast<IcvTableSetting_DVS*>(s.Get()), kProjectOwner);
    flush();
  }
  for (const auto& c : changes) {
    auto* table = static_cast<IcvTableSetting_DVS*>(c.setting.Get());
    std::fprintf(out, "%s:\n", WideToUtf8(c.setting->Caption()).c_str());
    if (c.isList) {
      table->SetCurrentRow(c.row);
    } else if (c.isRows) {
      table->SetRowCount(static_cast<std::int32_t>(c.rows.size()));
      for (std::size_t r = 0; r < c.rows.size(); ++r)
        table->SetCell(0, static_cast<std::int32_t>(r), OleVariant(WideStringView(c.rows[r])).Get());
    } else if (Failed(table->put_Value(c.value.Get()))) {
      std::fprintf(err, "pwhost web: the host refused the value\n");
      return 2;
    }
    settings.SettingChanged(table, kProjectOwner);
    flush();
  }
  std::fprintf(out, "values:\n");
  for (const auto& s : all)
    if (s->Key() != web::kDynamicIdSettingKey)
      std::fprintf(out, "  %s = %s\n", WideToUtf8(s->Caption()).c_str(), Text(s->CurrentValue()).c_str());
  std::fprintf(out, "  mapped page pageCart: URL = \"%s\"\n", WideToUtf8(sample.PageUrl()).c_str());
  PrintBrowserHook(host, settings, out);
  StopHelperModules();
  return 0;
}

}  // namespace

int RunWebCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.empty()) return Misused(err, std::string("usage: pwhost web ") + kWebUsage);
  try {
    if (args[0] == "ids") return RunIds(args, out, err);
    if (args[0] == "settings") return RunSettings(args, out, err);
  } catch (const Exception& e) {
    std::fprintf(err, "pwhost web: %s\n", WideToUtf8(e.Message()).c_str());
    return 1;
  }
  return Misused(err, "unknown web command " + args[0]);
}

}  // namespace pw::host
