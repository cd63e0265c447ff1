// The recording file and the host's recorder stand-in: the examples against their kept
// outputs, the writer's bytes through a second round, and bad files refused with a clear
// message and no output.
#include "host/recording_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/recorder.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/recording_fixture.h"
#include "tools/pwhost/commands.h"

namespace pw::web::test {
namespace {

const char* const kExamples[] = {"activate",       "page_close",    "not_ready", "useless",
                                 "select_change",  "dbl_click",     "checkbox",  "refresh",
                                 "flash_combobox", "flash_tablist", "ie8_edit",  "simplification"};

std::string ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string SourceFile(const std::string& relative) { return std::string(PW_TEST_SOURCE_DIR) + "/" + relative; }

struct RecorderRun {
  int result = 0;
  std::string out, err;
};

RecorderRun Record(host::TestHost& host, const host::RecorderRequest& request) {
  RecorderRun run;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  run.result = host::RunRecorder(host, request, out, err);
  for (auto [file, text] : {std::pair{out, &run.out}, std::pair{err, &run.err}}) {
    std::rewind(file);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
    std::fclose(file);
  }
  return run;
}

class Recorder : public ::testing::Test {
 protected:
  void SetUp() override {
    analyzer = MakeObject<TpwWebEventAnalyzer>(host.Manager());
    OleCheck(host.Recording().Register(static_cast<IpwRecordingAnalyzer*>(analyzer.Get())));
  }
  void TearDown() override { host.Recording().Remove(static_cast<IpwRecordingAnalyzer*>(analyzer.Get())); }

  host::TestHost host;
  ComPtr<TpwWebEventAnalyzer> analyzer;
  pw::test::ScratchDir scratch;
};

TEST_F(Recorder, ExamplesGiveTheirKeptOutputs) {
  for (const char* name : kExamples) {
    host::TestHost fresh;
    auto own = MakeObject<TpwWebEventAnalyzer>(fresh.Manager());
    OleCheck(fresh.Recording().Register(static_cast<IpwRecordingAnalyzer*>(own.Get())));
    std::string file = SourceFile(std::string("examples/recordings/") + name + ".json");
    auto run = Record(fresh, {file, scratch.Utf8File(std::string(name) + ".json"), host::kJavaScriptLanguageKey});
    EXPECT_EQ(run.result, 0) << name << ": " << run.err;
    // What it gave is left beside the test for a look when it differs.
    std::filesystem::create_directories("recordings");
    std::ofstream(std::string("recordings/") + name + ".txt", std::ios::binary) << run.out;
    EXPECT_EQ(run.out, ReadAll(SourceFile(std::string("examples/recordings/") + name + ".txt"))) << name;
    // The rewritten recording reads back and writes the same bytes.
    std::string written = ReadAll(scratch.Utf8File(std::string(name) + ".json"));
    auto again = host::ParseRecording(written);
    EXPECT_EQ(host::WriteRecording(again.settings, *again.actions), written) << name;
    OleCheck(fresh.Recording().Remove(static_cast<IpwRecordingAnalyzer*>(own.Get())));
  }
}

TEST_F(Recorder, VBScriptOutput) {
  // The comment's URL follows the host's scripting language, the code the requested one.
  OleCheck(host.Settings().FindSetting(host::kCurrentLanguageSetting)->put_Value(OleVariant(u"VBScript").Get()));
  auto run = Record(host, {SourceFile("examples/recordings/refresh.json"), "", host::kVBScriptLanguageKey});
  ASSERT_EQ(run.result, 0) << run.err;
  EXPECT_NE(run.out.find("' Please wait until download completes: \"http://\" & Project.Variables.Host & \"/?sid=1\""),
            std::string::npos)
      << run.out;
}

struct BadFile {
  const char* text;
  const char* message;
};

TEST_F(Recorder, BadFilesAreRefusedAndNothingIsWritten) {
  const BadFile cases[] = {
      {"{\"actions\": [", "line 1, column 14"},
      {"{\"actions\": [{\"kind\": \"clik\"}]}", "actions[0].kind: unknown kind \"clik\""},
      {"{\"actions\": [{\"kind\": \"click\", \"object\": \"{00000000-0000-0000-0000-000000000009}\"}]}",
       "actions[0].object: unknown object {00000000-0000-0000-0000-000000000009}"},
      {"{\"actions\": [{\"kind\": \"click\", \"params\": {\"screen block\": {\"hex\": \"00ff\"}}}]}",
       "actions[0].params.screen block: a block of 1056 bytes expected, 2 given"},
      {"{\"actions\": [{\"kind\": \"click\", \"params\": {\"click count\": 3}}]}",
       "actions[0].params.click count: expected {\"hex\": ...} of 4 bytes"},
      {"{\"actions\": [{\"kind\": \"click\", \"params\": {\"x\": [1]}}]}", "actions[0].params.x: expected a number"},
      {"{\"actions\": [{\"kind\": \"click\", \"params\": {\"nope\": 1}}]}", "unknown parameter \"nope\""},
      {"{\"objects\": [{\"id\": \"{00000000-0000-0000-0000-000000000001}\", \"name\": \"a\", "
       "\"parent\": \"{00000000-0000-0000-0000-000000000001}\"}]}",
       "objects[0].parent: the parents form a loop"},
      {"{\"objects\": [{\"id\": \"{00000000-0000-0000-0000-000000000001}\", \"name\": \"a\", "
       "\"parent\": \"{00000000-0000-0000-0000-000000000002}\"}, {\"id\": \"{00000000-0000-0000-0000-000000000002}\", "
       "\"name\": \"b\", \"parent\": \"{00000000-0000-0000-0000-000000000001}\"}]}",
       "the parents form a loop"},
      {"{\"settings\": {\"Tested host\": 5}}", "settings.Tested host: expected a text"},
      {"{\"settings\": {\"Colour\": 5}}", "settings.Colour: unknown setting"},
      {"[]", "expected an object"},
  };
  for (const auto& c : cases) {
    std::string in = scratch.Utf8File("bad.json"), out = scratch.Utf8File("out.json");
    std::ofstream(in, std::ios::binary) << c.text;
    auto run = Record(host, {in, out, host::kJavaScriptLanguageKey});
    EXPECT_EQ(run.result, 1) << c.text;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(std::filesystem::exists(out)) << c.text;
  }
  auto missing = Record(host, {scratch.Utf8File("none.json"), "", host::kJavaScriptLanguageKey});
  EXPECT_EQ(missing.result, 1);
  EXPECT_NE(missing.err.find("cannot be read"), std::string::npos);
}

TEST(RecorderWithoutAnalyzer, SaysSoAndFails) {
  host::TestHost host;
  auto run = Record(host, {SourceFile("examples/recordings/checkbox.json"), "", host::kJavaScriptLanguageKey});
  EXPECT_EQ(run.result, 1);
  EXPECT_NE(run.err.find("no plug-in registered a recording analyzer"), std::string::npos);
}

TEST(RecordCommand, BadArgumentsExitWith2) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"a.json", "b.json"}, {"a.json", "--language", "Perl"}, {"a.json", "--bogus"}}) {
    host::CommandContext context{"/nonexistent/module.so", args};
    EXPECT_EQ(host::RunRecordCommand(context), 2);
  }
}

}  // namespace
}  // namespace pw::web::test
