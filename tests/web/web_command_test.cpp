// pwhost web ids: steps run in order on the built-in table; disabled actions and bad steps
// answer their exit codes.
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

}  // namespace
