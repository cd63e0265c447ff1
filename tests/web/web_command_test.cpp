// pwhost web ids: steps run in order on the built-in table; disabled actions and bad steps
// answer their exit codes. pwhost web settings: changes, publications, messages and questions,
// the hook arrays.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/host/module_proxy.h"
#include "platform/rtl/strings.h"
#include "tools/pwhost/web_command.h"

namespace {

struct Result {
  int code;
  std::string out, err;
};

std::string ReadAll(std::FILE* f) {
  std::string text;
  std::rewind(f);
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, f)) text.append(buffer, n);
  std::fclose(f);
  return text;
}

Result RunWeb(std::vector<std::string> args) {
  pw::SetHostExeFolderOverride(pw::Utf8ToWide(PW_TEST_HOST_DIR));
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int code = pw::host::RunWebCommand(args, out, err);
  return {code, ReadAll(out), ReadAll(err)};
}

TEST(WebIdsCommand, RunsStepsAndPrintsTableAndHookText) {
  const auto r = RunWeb({"ids", "row=10", "add-item", "yes", "row=9", "remove", "test=treepicker-1038-inputEl",
                         "test=j_id4", "test=plain"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Confirmation: Do you want to remove the selected group and its items?"), std::string::npos);
  EXPECT_NE(r.out.find("Dynamic Identifiers (23 rows, current 9):"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("test treepicker-1038-inputEl: row 13, treepicker-inputEl"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("test j_id4: row 16, not used"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("test plain: no match"), std::string::npos);
  EXPECT_NE(r.out.find("  normal:yui-gen*\\t\n"), std::string::npos);
  EXPECT_EQ(r.out.find("ctl[0-9]+"), std::string::npos);  // the ASP.NET rows went with their group
}

TEST(WebIdsCommand, UnansweredQuestionsAreAnsweredNo) {
  const auto r = RunWeb({"ids", "row=9", "remove"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("(27 rows"), std::string::npos);
}

TEST(WebIdsCommand, DisabledActionsAndBadSteps) {
  auto r = RunWeb({"ids", "row=0", "up"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("up is disabled"), std::string::npos);
  r = RunWeb({"ids", "row=0", "sideways"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(RunWeb({"ids", "row=-1"}).code, 2);
  EXPECT_EQ(RunWeb({"ids", "row=x"}).code, 2);
  EXPECT_EQ(RunWeb({"ids", "row=99"}).code, 2);
  EXPECT_EQ(RunWeb({"nothing"}).code, 2);
  EXPECT_EQ(RunWeb({}).code, 2);
}

TEST(WebSettingsCommand, AppliesChangesAsTheUserAndPrintsPublications) {
  const auto r = RunWeb({"settings", "Tree model=hybrid", "Ignore dynamic URL parameters=false",
                         "Dynamic parameters=sid, token", "Ignore dynamic URL parameters=true"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Message: The value of the project's \"Tree model\" property is 'Hybrid'."), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("tree model = 2"), std::string::npos);
  EXPECT_NE(r.out.find("ignore dynamic URL parameters = False"), std::string::npos);
  EXPECT_NE(r.out.find("dynamic parameters = \"sid\\ntoken\""), std::string::npos) << r.out;
}

// The sample project's mapped page: a change of the parameters asks, after printing what it
// published; the question is answered no and the page keeps its URL. Turning them off asks
// nothing.
TEST(WebSettingsCommand, AChangeOfTheParametersOffersToRemapTheSamplePage) {
  const auto asked = RunWeb({"settings", "Dynamic parameters=sessionid"});
  EXPECT_EQ(asked.code, 0) << asked.err;
  EXPECT_NE(asked.out.find("Dynamic parameters:\n  publish {33C0A94E-7F58-493C-BCCC-91685352F9B4} dynamic parameters "
                           "= \"sessionid\"\nConfirmation: Remap the web pages that were mapped earlier?\n"),
            std::string::npos)
      << asked.out;
  EXPECT_NE(asked.out.find("mapped page pageCart: URL = \"http://shop.example/cart.htm?sessionid=5E1&item=7\""),
            std::string::npos);
  const auto off = RunWeb({"settings", "Ignore dynamic URL parameters=false"});
  EXPECT_EQ(off.out.find("Confirmation:"), std::string::npos) << off.out;
}

TEST(WebSettingsCommand, UnknownCaptionsAndRefusedValuesChangeNothing) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"settings", "Nope=1"},
                                               {"settings", "Tree model=Forest"},
                                               {"settings", "Use legacy web testing features=maybe"},
                                               {"settings", "Web page loading timeout, ms=999"},
                                               {"settings", "Tree model"},
                                               {"settings", "Tree model=Tag", "Tested host"}}) {
    const auto r = RunWeb(args);
    EXPECT_EQ(r.code, 2) << args[1];
    EXPECT_EQ(r.out, "") << args[1];
  }
}

// The arrays the hook of an "iexplore.exe" gets after the changes: keys always the same seven,
// values as the settings stand at the end (tree model, identify by name as 0 or -1, legacy,
// ignore, the parameters' text, the host table's flag, the identifier patterns).
TEST(WebSettingsCommand, PrintsTheHookArraysOfAnIexploreAfterTheChanges) {
  const std::string keys =
      "hook of iexplore.exe (supported):\n  keys   [7: \"{66F235D3-108D-4961-A923-03333575E40E}\", "
      "\"{864E3A4C-B68F-4D37-84A9-3DA543AE07D4}\", \"{0787AA13-4C49-418A-A688-B23BE9F226F4}\", "
      "\"{BC2725AB-C90D-4761-BEB2-ABACE30FE554}\", \"{33C0A94E-7F58-493C-BCCC-91685352F9B4}\", "
      "\"{CC95DFE2-922E-4009-8786-5DB9446F979D}\", \"{DB42CEAB-BFC4-40DB-9F48-9197D35FB5E2}\"]\n  values [7: ";
  struct Case {
    std::vector<std::string> args;
    std::string values;
  };
  const Case cases[] = {
      {{"settings"}, "3, 0, False, True, \"*\", False, \"normal:yui-gen*\\t\\nnormal:*yui_3_*\\t\\n"},
      {{"settings", "Tree model=hybrid", "Identification attribute=name", "Use legacy web testing features=true",
        "Dynamic parameters=sid, token,"},
       "2, -1, True, True, \"sid\\ntoken\", False, \"normal:yui-gen*\\t\\nnormal:*yui_3_*\\t\\n"},
      {{"settings", "Ignore dynamic URL parameters=false", "Tree model=DOM"},
       "0, 0, False, False, \"*\", False, \"normal:yui-gen*\\t\\nnormal:*yui_3_*\\t\\n"},
  };
  for (const auto& c : cases) {
    const auto r = RunWeb(c.args);
    EXPECT_EQ(r.code, 0) << r.err;
    const std::size_t at = r.out.find(keys + c.values);
    ASSERT_NE(at, std::string::npos) << c.values << "\n" << r.out;
    const std::string tail = r.out.substr(at);
    // The last pattern ends the text: no LF after it.
    EXPECT_NE(tail.find("\\nregexp:^(x-(widget)|(auto)-.*[0-9]+)([-_]{.*})?$\\t$1\"]\n  command "
                        "{31B0A848-ACBE-4675-94E4-D6DE052D1C09} \"pwIEHook.dll\"\n"),
              std::string::npos)
        << tail;
  }
  EXPECT_EQ(RunWeb({"settings", "Tree model=forest"}).out.find("hook of"), std::string::npos);
}

}  // namespace
