// Test scripts on the host: late-bound calls into host and module objects, results, errors with
// file and line, the log; and pwhost run on the shipped example.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "core/automation/automation.h"
#include "core/automation/rect.h"
#include "host/script/script_engine.h"
#include "host/test_host.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/modules.h"
#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"

namespace pw {
namespace {

using test::HostDir;
using test::RunCommand;

class Scripts : public ::testing::Test {
 protected:
  void SetUp() override {
    // The module's own library describes its script objects (the rectangle among them); its
    // thunks are registered as the module registers them at its start.
    RegisterInterfaceThunks(pwWebTestingInterfaceThunks());
    TypeLibraries()->Add(LoadTypeLibraryChecked(Utf8ToWide(HostDir() + "/pwOpenApps2.so")).Get());
    rect = MakeObject<TpwRect>(TRect{10, 20, 110, 70});
    host.RuntimeObjects().Register(u"Rect", rect->Dispatch());
    auto process = host.Sys().AddChild(u"Process", {OleVariant(u"notepad")});
    process->AddChild(u"Window", {OleVariant(u"Notepad"), OleVariant(1)});
  }
  bool Run(const std::string& source) { return engine.Run("test.js", source, error); }
  std::vector<WideString> Texts() {
    std::vector<WideString> r;
    for (const auto& e : host.Log().Entries()) r.push_back(e.text);
    return r;
  }

  host::TestHost host;
  ComPtr<TpwRect> rect;
  host::ScriptEngine engine{host.RuntimeObjects()};
  host::ScriptError error;
};

TEST_F(Scripts, CallIntoObjectsAndGetValuesBack) {
  ASSERT_TRUE(Run(R"(
    Log.Message("width " + Rect.Width + ", height " + Rect.Height);
    Rect.Left = 60;
    Log.Message("after moving: " + Rect.Width);
    var w = Sys.Child(0).Child(0);
    Log.Message(w.FullName, w.Name);
    Log.Message(typeof Sys.Child + " " + (Sys.Child(0).Parent.Name === Sys.Name));
    Log.Warning("Grüße \u2713", undefined, 100);
  )")) << error.Text();
  EXPECT_EQ(Texts(), (std::vector<WideString>{u"width 100, height 50", u"after moving: 50",
                                              u"Sys.Process(\"notepad\").Window(\"Notepad\", 1)", u"function true",
                                              u"Grüße \u2713"}));
  std::int32_t left = 0;
  rect->get_Left(&left);
  EXPECT_EQ(left, 60);
  auto entries = host.Log().Entries();
  EXPECT_EQ(entries[2].additionalText, u"Window(\"Notepad\", 1)");
  EXPECT_EQ(entries[4].priority, 100);
  EXPECT_EQ(entries[4].kind, host::LogEntry::Warning);
}

TEST_F(Scripts, FailedCallsRaiseErrorsTheScriptCanReport) {
  ASSERT_TRUE(Run(R"(
    try { Sys.Child(5); } catch (e) { Log.Error(e.message, "number " + (e.number >>> 0).toString(16)); }
    try { Rect.Width = 3; } catch (e) { Log.Error("read-only: " + e.message); }
    try { Rect.Left = "wide"; } catch (e) { Log.Error("bad value: " + e.message); }
    try { Rect.Nothing(); } catch (e) { Log.Error(e.message); }
    Log.Message("errors: " + Log.ErrCount);
  )")) << error.Text();
  auto entries = host.Log().Entries();
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].text, u"The object has no child with index 5");
  EXPECT_EQ(entries[0].additionalText, u"number 80070057");  // the callee's code, not DISP_E_EXCEPTION
  EXPECT_EQ(entries[1].text.rfind(u"read-only: ", 0), 0u);
  EXPECT_EQ(entries[2].text, u"bad value: Type mismatch");
  EXPECT_EQ(entries[3].text, u"Object doesn't support this property or method: Nothing");
  EXPECT_EQ(entries[4].text, u"errors: 4");
}

// A node's own members as a script reaches them: a method runs only when it is called (reading
// it gives a function; a put is refused), a property function at each read; a member that
// yields to slices is the slice's while a slice answers its name, the node's own before; the
// other own members come before the slices.
TEST_F(Scripts, MethodsRunWhenCalledAndYieldingMembersGiveWayToSlices) {
  auto node = host.Sys().AddChild(u"Page");
  std::vector<WideString> calls;
  node->SetMethod(u"Go", [&](std::vector<OleVariant>& args) {
    calls.push_back(args.empty() ? WideString(u"-") : args[0].AsString());
    return OleVariant(static_cast<std::int32_t>(args.size()));
  });
  int reads = 0;
  node->SetMember(u"Count", [&](std::vector<OleVariant>&) { return OleVariant(++reads); });
  node->SetMember(u"Width", [](std::vector<OleVariant>&) { return OleVariant(-1); });
  node->YieldToSlices(u"Width");
  node->SetMember(u"Height", [](std::vector<OleVariant>&) { return OleVariant(-2); });
  const char* sizes = R"(
    var page = Sys.Child(1);
    Log.Message("size " + page.Width + " " + page.Height);
  )";
  ASSERT_TRUE(Run(R"(
    var page = Sys.Child(1);
    var go = page.Go;
    Log.Message(typeof go);
    Log.Message("args " + page.Go("there", 2));
    Log.Message("count " + page.Count + " " + page.Count);
    try { page.Go = 3; } catch (e) { Log.Message("put refused"); }
  )")) << error.Text();
  EXPECT_EQ(calls, std::vector<WideString>{u"there"});  // the read ran nothing
  ASSERT_TRUE(Run(sizes)) << error.Text();
  OleCheck(node->AddExtension(IpwRect::iid, rect->Dispatch(), GUID_NULL, 0));
  ASSERT_TRUE(Run(sizes)) << error.Text();
  EXPECT_EQ(Texts(), (std::vector<WideString>{u"function", u"args 2", u"count 1 2", u"put refused", u"size -1 -2",
                                              u"size 100 -2"}));
}

TEST_F(Scripts, AnUncaughtErrorEndsTheRunWithFileLineAndMessage) {
  EXPECT_FALSE(Run("Log.Message('one');\n\nSys.Child(9);\nLog.Message('never');\n"));
  EXPECT_EQ(error.fileName, "test.js");
  EXPECT_EQ(error.line, 3);
  EXPECT_EQ(error.message, u"The object has no child with index 9");
  EXPECT_EQ(error.Text(), "test.js:3: The object has no child with index 9");
  EXPECT_EQ(Texts(), (std::vector<WideString>{u"one"}));

  EXPECT_FALSE(Run("var a = 1;\nthrow new TypeError('bad input');\n"));
  EXPECT_EQ(error.line, 2);
  EXPECT_EQ(error.message, u"TypeError: bad input");
  EXPECT_FALSE(Run("Log.Message('x'\n"));
  EXPECT_EQ(error.message.rfind(u"SyntaxError", 0), 0u);
  // A thrown value that is no Error carries no line: the place of its throw is reported.
  EXPECT_FALSE(Run("try { throw 'caught'; } catch (e) {}\nfunction fail() {\n  throw 42;\n}\nfail();\n"));
  EXPECT_EQ(error.message, u"uncaught: 42");
  EXPECT_EQ(error.Text(), "test.js:3: uncaught: 42");
  EXPECT_FALSE(engine.Run("other.js", "throw 'boom';", error));
  EXPECT_EQ(error.Text(), "other.js:1: uncaught: boom");
  EXPECT_FALSE(engine.RunFile("/nonexistent/script.js", error));
  EXPECT_EQ(error.line, 0);
}

TEST_F(Scripts, ObjectsTheScriptHoldsAreReleasedWithTheEngine) {
  LONG before = rect->RefCount();
  {
    host::ScriptEngine other(host.RuntimeObjects());
    ASSERT_TRUE(other.Run("t.js", "var keep = Rect; var again = Rect;", error)) << error.Text();
    EXPECT_GT(rect->RefCount(), before);
  }
  EXPECT_EQ(rect->RefCount(), before);
}

// The hook that releases an object when the script lets it go is out of the script's reach: a
// script that tries to replace it, read it or run it early neither leaks the object nor
// releases it twice, and the object keeps working.
TEST_F(Scripts, AScriptCannotReplaceOrRunTheReleaseHook) {
  const LONG before = rect->RefCount();
  const char* attempts[] = {
      "Duktape.fin(Rect, function () {});",
      "var hook = Duktape.fin(Rect); if (hook) { hook(Rect); hook(Rect); }",
      "var o = Rect; Duktape.fin(o, function (x) { Log.Message('mine'); }); o = null; Duktape.gc();",
      "Object.defineProperty(Rect, 'x', {value: 1}); delete Rect.x;",
  };
  for (const char* attempt : attempts) {
    SCOPED_TRACE(attempt);
    {
      host::ScriptEngine other(host.RuntimeObjects());
      const std::string source =
          std::string("try { ") + attempt + " } catch (e) {}\nLog.Message('width ' + Rect.Width);";
      ASSERT_TRUE(other.Run("t.js", source, error)) << error.Text();
      EXPECT_GT(rect->RefCount(), before);
    }
    EXPECT_EQ(rect->RefCount(), before);
  }
  for (const auto& text : Texts()) EXPECT_EQ(text, u"width 100");
}

TEST(PwhostRun, RunsTheExampleAndWritesTheLog) {
  const std::string src = test::SourceDir();
  test::ScratchDir scratch;
  std::string log = scratch.Utf8File("pwhost_run_example.log");
  int status = 0;
  std::string out =
      RunCommand(HostDir() + "/pwhost run " + src + "/examples/hello.js --log " + log, status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("Message: Hello from Sys\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Warning: Expected failure: The object has no child with index 7\n"), std::string::npos) << out;
  std::ifstream in(log);
  std::stringstream written;
  written << in.rdbuf();
  EXPECT_EQ(written.str(), out);
  std::remove(log.c_str());
}

// The settings example with a home folder of its own: the IE, zone and Flash objects answer
// from the registry stand-in and the profile under that home (no HKLM file: the version text is
// empty and the base IE class answers), "Web" takes a drop-down entry by its text in any case
// and refuses a text that is none, listing the entries. A second run finds what the first one
// stored.
TEST(PwhostRun, TheWebSettingsExampleReadsAndWritesTheSettingsObjects) {
  const std::string src = test::SourceDir();
  test::ScratchDir home;
  const std::string config = home.Utf8File(".config");
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    int status = 0;
    const std::string out = RunCommand("HOME=" + home.Path().string() + " XDG_CONFIG_HOME=" + config + " " +
                                           HostDir() + "/pwhost run " + src + "/examples/web-settings.js",
                                       status);
    EXPECT_EQ(status, 0) << out;
    // Each stored setting is logged before it is written: the defaults on the first run, what
    // the first run stored on the second (same home).
    const std::string before = run == 0 ? "false" : "true";
    const std::string expected[] = {
        "Message: \n",
        "Message: 6\n",
        "Message: ExpandAltText before: " + before + "\n",
        "Message: True\n",
        "Message: 1 Local intranet\n",
        "Message: ActiveScripting before: " + std::string(run == 0 ? "0" : "3") + "\n",
        "Message: 3\n",
        "Message: IsInjectorInstalled before: " + before + "\n",
        "Message: True\n",
        "Message: " + home.Utf8File("mm.cfg") + "\n",
        "Message: null\n",
        "Message: DOM\n",
        "Message: Unable to apply the \"x\" value.",
        "Possible values: \"DOM\", \"Tag\", \"Hybrid\", \"Tree\"",
        "Message: DOM\n",
        "Message: ID\n",
        "Message: 60000\n",
    };
    std::size_t at = 0;
    for (const std::string& line : expected) {
      const std::size_t found = out.find(line, at);
      ASSERT_NE(found, std::string::npos) << line << "\n" << out;
      at = found + 1;
    }
    EXPECT_EQ(out.find("not available"), std::string::npos) << out;
    // The current user's registry and the player's configuration are files under that home.
    EXPECT_TRUE(std::filesystem::exists(config + "/probewright/registry/HKCU.reg"));
    EXPECT_TRUE(std::filesystem::exists(home.Utf8File("mm.cfg")));
  }
}

TEST(PwhostRun, AScriptErrorGivesFileLineAndAFailingExit) {
  test::ScratchDir scratch;
  std::string script = scratch.Utf8File("pwhost_run_failing.js");
  std::ofstream(script) << "Log.Message('before');\nSys.Nope();\n";
  int status = 0;
  std::string out = RunCommand(HostDir() + "/pwhost run " + script, status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("Message: before\n"), std::string::npos) << out;
  EXPECT_NE(out.find(script + ":2: Object doesn't support this property or method: Nope"), std::string::npos) << out;
  out = RunCommand(HostDir() + "/pwhost run", status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("usage: pwhost run SCRIPT.js"), std::string::npos);
  std::ofstream(script) << "Log.Message('in a function');\nfunction f() { throw 'not an Error'; }\nf();\n";
  out = RunCommand(HostDir() + "/pwhost run " + script, status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find(script + ":2: uncaught: not an Error"), std::string::npos) << out;
  out = RunCommand(HostDir() + "/pwhost run " + script + " --log /nonexistent/folder/run.log", status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("unable to write the log file /nonexistent/folder/run.log"), std::string::npos) << out;
  std::remove(script.c_str());
}

// The log may not destroy the script, wait on a FIFO or fail silently: each case ends before
// or after the run with a message and a failing exit, and the script is untouched. A script
// that is missing or cannot be read as text ends the run before the old log is touched.
TEST(PwhostRun, HostileLogFilesAreRefused) {
  test::ScratchDir scratch;
  const std::string script = scratch.Utf8File("s.js"), link = scratch.Utf8File("link.js");
  const std::string fifo = scratch.Utf8File("fifo.log");
  const std::string text = "Log.Message('ran');\n";
  std::ofstream(script) << text;
  std::filesystem::create_symlink(script, link);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string script, log;
    int status;
    std::string message;
    bool runs;
  };
  const Case cases[] = {
      {script, script, 2, "it is the script itself", false},
      {script, link, 2, "it is the script itself", false},
      {link, script, 2, "it is the script itself", false},
      {script, fifo, 1, "it is not a regular file", false},
      {script, "/dev/full", 1, "No space left on device", true},
      {scratch.Utf8File("missing.js"), scratch.Utf8File("kept.log"), 1, "cannot read the script", false},
      {scratch.Utf8File("binary.js"), scratch.Utf8File("kept.log"), 1, "is not UTF-8 or UTF-16 text", false},
  };
  std::ofstream(scratch.Utf8File("kept.log")) << "old";
  std::ofstream(scratch.Utf8File("binary.js"), std::ios::binary) << "Log.Message('\xC0\x80');\n";
  for (const Case& c : cases) {
    int status = 0;
    const std::string out = RunCommand(HostDir() + "/pwhost run '" + c.script + "' --log '" + c.log + "'", status);
    EXPECT_EQ(status, c.status) << c.log << ": " << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(out.find("Message: ran") != std::string::npos, c.runs) << out;
    std::ifstream in(script);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
  }
  std::ifstream kept(scratch.Utf8File("kept.log"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "old");
}

// A NUL inside a logged text does not cut the line short: it is printed escaped.
TEST(PwhostRun, NulCharactersArePrintedEscaped) {
  test::ScratchDir scratch;
  const std::string script = scratch.Utf8File("nul.js"), log = scratch.Utf8File("nul.log");
  std::ofstream(script) << "Log.Message('before\\u0000after');\n";
  int status = 0;
  const std::string out = RunCommand(HostDir() + "/pwhost run '" + script + "' --log '" + log + "'", status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("Message: before\\0after\n"), std::string::npos) << out;
  EXPECT_EQ(test::ReadFileBytes(log), out);
}

// Script files in UTF-8 (with or without the mark) and UTF-16 of either order with the mark;
// what is neither is refused without a line, and so is a folder.
TEST_F(Scripts, ScriptFilesAreUtf8OrUtf16WithTheirMark) {
  test::ScratchDir scratch;
  const std::u16string text = u"Log.Message(\"h\u00E9 \u4E2D\");\n";
  auto utf16 = [&](bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
      const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
      bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return bytes;
  };
  const struct {
    const char* name;
    std::string bytes;
  } readable[] = {
      {"plain.js", WideToUtf8(text)},
      {"marked.js", "\xEF\xBB\xBF" + WideToUtf8(text)},
      {"le.js", utf16(false)},
      {"be.js", utf16(true)},
  };
  for (const auto& c : readable) {
    const std::string file = scratch.Utf8File(c.name);
    std::ofstream(file, std::ios::binary) << c.bytes;
    ASSERT_TRUE(engine.RunFile(file, error)) << c.name << ": " << error.Text();
    EXPECT_EQ(Texts().back(), u"h\u00E9 \u4E2D") << c.name;
  }
  const struct {
    const char* name;
    std::string bytes;
  } unreadable[] = {
      {"latin1.js", "Log.Message('h\xE9');"},
      {"odd.js", utf16(false) + "x"},
      {"lone.js", std::string("\xFF\xFE\x00\xD8\x41\x00", 6)},  // an unpaired surrogate
      {"cut.js", "Log.Message('\xE4\xB8');"},                   // a sequence cut short
  };
  for (const auto& c : unreadable) {
    const std::string file = scratch.Utf8File(c.name);
    std::ofstream(file, std::ios::binary) << c.bytes;
    EXPECT_FALSE(engine.RunFile(file, error)) << c.name;
    EXPECT_EQ(error.Text(), file + ": The script file is not UTF-8 or UTF-16 text") << c.name;
  }
  EXPECT_FALSE(engine.RunFile(scratch.Path().string(), error));
  EXPECT_EQ(error.line, 0);
  EXPECT_EQ(error.message, u"This is a folder, not a script file");
}

// A script that never ends is stopped: by Stop from another thread, by the run control, by its
// time-out on the host clock; a try/catch does not keep it alive, and the engine runs the next
// script as usual.
TEST(ScriptLimits, ARunningScriptIsStoppedAndTheEngineGoesOn) {
  ManualClock clock;
  ScopedClock useClock(clock);
  host::TestHost host;
  const std::string loop = "Log.Message('looping');\nwhile (true) { try { for (;;) {} } catch (e) {} }\n";
  auto whenLooping = [&](std::function<void()> stop) {
    const std::size_t before = host.Log().Entries().size();
    return std::thread([&host, stop, before] {
      // The script has logged: it has reached its loop.
      while (host.Log().Entries().size() == before) std::this_thread::yield();
      stop();
    });
  };
  host::ScriptError error;
  {
    host::ScriptEngine engine(host.RuntimeObjects());
    auto stopper = whenLooping([&] { engine.Stop(); });
    EXPECT_FALSE(engine.Run("loop.js", loop, error));
    stopper.join();
    EXPECT_EQ(error.message, u"The script was stopped");
    EXPECT_EQ(error.line, 2);
    ASSERT_TRUE(engine.Run("next.js", "Log.Message('next');", error)) << error.Text();
  }
  {
    host::ScriptLimits limits;
    limits.shouldStop = [&host] { return host.Projects().StopRequested(); };
    host::ScriptEngine engine(host.RuntimeObjects(), limits);
    auto stopper = whenLooping([&] { host.Projects().RequestStop(); });
    EXPECT_FALSE(engine.Run("loop.js", loop, error));
    stopper.join();
    EXPECT_EQ(error.Text(), "loop.js:2: The script was stopped");
    host.Projects().ClearStop();
  }
  {
    host::ScriptLimits limits;
    limits.timeoutMs = 30000;
    host::ScriptEngine engine(host.RuntimeObjects(), limits);
    auto stopper = whenLooping([&] { clock.Advance(30000); });
    EXPECT_FALSE(engine.Run("loop.js", loop, error));
    stopper.join();
    EXPECT_EQ(error.Text(), "loop.js:2: The script was stopped");
  }
}

TEST(ScriptLimits, AHeapPastItsLimitIsAScriptErrorWithFileAndLine) {
  host::TestHost host;
  host::ScriptLimits limits;
  limits.heapBytes = std::size_t{16} << 20;
  host::ScriptEngine engine(host.RuntimeObjects(), limits);
  host::ScriptError error;
  EXPECT_FALSE(engine.Run("grow.js", "var s = 'x';\nfor (var i = 0; i < 40; ++i) s = s + s;\n", error));
  EXPECT_EQ(error.Text(), "grow.js:2: The script ran out of memory (its heap may take 16 MB)");
  ASSERT_TRUE(engine.Run("small.js", "var t = 'still fine';", error)) << error.Text();
}

TEST(PwhostRun, TheTimeOutMustBeSecondsAboveZero) {
  test::ScratchDir scratch;
  const std::string script = scratch.Utf8File("t.js");
  std::ofstream(script) << "Log.Message('x');\n";
  for (const char* bad : {"0", "-1", "abc", "1x", ""}) {
    int status = 0;
    std::string out = RunCommand(HostDir() + "/pwhost run " + script + " --timeout '" + bad + "'", status);
    EXPECT_EQ(status, 2) << bad;
    EXPECT_NE(out.find("the time-out must be a number of seconds above 0"), std::string::npos) << out;
  }
}

TEST(PwhostRun, AFolderIsNoScript) {
  test::ScratchDir scratch;
  int status = 0;
  std::string out = RunCommand(HostDir() + "/pwhost run " + scratch.Path().string(), status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(out.find(scratch.Path().string() + " is a folder, not a script file"), std::string::npos) << out;
}

TEST(PwhostRun, TheModuleMustHandOutItsPlugins) {
  // A library that is no plug-in module: the run does not start.
  test::ScratchDir scratch;
  std::string script = scratch.Utf8File("pwhost_run_no_plugins.js");
  std::ofstream(script) << "Log.Message('never');\n";
  int status = 0;
  std::string out = RunCommand(HostDir() + "/pwhost --module " + HostDir() + "/cvStatistic.so run " + script, status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("the module does not export GetPluginRegistrator"), std::string::npos) << out;
  EXPECT_EQ(out.find("never"), std::string::npos) << out;
  std::remove(script.c_str());
}

}  // namespace
}  // namespace pw
