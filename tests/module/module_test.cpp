// The built module as the host sees it: loaded from the host folder, two exports, clean unload.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/com/exposed_objects.h"
#include "core/files/milestone.h"
#include "host/module_loader.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/automation/bstr.h"
#include "platform/com/errorinfo.h"
#include "platform/kernel/modules.h"
#include "platform/rtl/strings.h"
#include "platform/ui/gdi.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"

namespace pw {
namespace {

using test::HostDir;
using test::RunCommand;

TEST(Module, ExportsOnlyItsEntryPoints) {
  int status = 0;
  std::string syms = RunCommand("nm -D --defined-only " + HostDir() + "/pwOpenApps2.so", status);
  ASSERT_EQ(status, 0) << syms;
  std::string names;
  for (std::size_t pos = 0; pos < syms.size();) {
    std::size_t eol = syms.find('\n', pos);
    std::string line = syms.substr(pos, eol - pos);
    pos = eol == std::string::npos ? syms.size() : eol + 1;
    if (line.empty()) continue;
    names += line.substr(line.rfind(' ') + 1) + " ";
  }
  EXPECT_EQ(names.find("DisconnectExposedObjects "), 0u) << names;
  for (const char* allowed : {"DisconnectExposedObjects", "GetPluginRegistrator"}) {
    auto at = names.find(std::string(allowed) + " ");
    if (at != std::string::npos) names.erase(at, std::string(allowed).size() + 1);
  }
  EXPECT_EQ(names, "") << "symbols that should be hidden";
}

TEST(Module, LoadsDisconnectsAndUnloads) {
  auto module = std::make_unique<host::LoadedModule>(HostDir() + "/pwOpenApps2.so");
  auto disconnect = module->ExportAs<DisconnectExposedObjectsProc>(kDisconnectExposedObjectsExport);
  ASSERT_NE(disconnect, nullptr);
  EXPECT_EQ(disconnect(WordFalse, 0), S_OK);
  // With every module: the walk finds the module's own export (and no other in this process).
  EXPECT_EQ(disconnect(WordTrue, 0), S_OK);
  EXPECT_TRUE(module->Unload());
}

TEST(Module, AllModulesWalkCallsEveryOtherModulesExport) {
  // Two copies of the module under different names are two modules with the export; asking one
  // to disconnect all modules must reach both (seen through their registries' emptiness only,
  // so the check here is that the walk runs and returns).
  int status = 0;
  test::ScratchDir scratch;
  std::string copy = scratch.Utf8File("pwOpenApps2-copy.so");
  RunCommand("cp " + HostDir() + "/pwOpenApps2.so " + copy, status);
  ASSERT_EQ(status, 0);
  host::LoadedModule a(HostDir() + "/pwOpenApps2.so");
  host::LoadedModule b(copy);
  int found = 0;
  ForEachModuleExport(kDisconnectExposedObjectsExport, [&](void*, const std::string&) { ++found; });
  EXPECT_EQ(found, 2);
  EXPECT_EQ(a.ExportAs<DisconnectExposedObjectsProc>(kDisconnectExposedObjectsExport)(WordTrue, 0), S_OK);
  EXPECT_TRUE(b.Unload());
  EXPECT_TRUE(a.Unload());
  std::remove(copy.c_str());
}

TEST(Module, TheAllModulesWalkHoldsEachModuleWhileItsExportRuns) {
  int status = 0;
  test::ScratchDir scratch;
  const std::string copy = scratch.Utf8File("pwOpenApps2-held.so");
  RunCommand("cp " + HostDir() + "/pwOpenApps2.so " + copy, status);
  ASSERT_EQ(status, 0);
  void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  bool visited = false, stillLoaded = false;
  HRESULT hr = E_FAIL;
  ForEachModuleExport(kDisconnectExposedObjectsExport, [&](void* address, const std::string& path) {
    if (path != copy) return;
    visited = true;
    dlclose(handle);  // its only other user lets go while the walk is at it
    stillLoaded = !ModuleFileOfAddress(address).empty();
    if (stillLoaded) hr = reinterpret_cast<DisconnectExposedObjectsProc>(address)(WordFalse, 0);
  });
  EXPECT_TRUE(visited);
  EXPECT_TRUE(stillLoaded);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(dlopen(copy.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "unloaded once the walk let go";
  std::remove(copy.c_str());
}

TEST(Module, RegistratorCrossesTheModuleBoundary) {
  // This program shares its system stand-ins with the module, so the module's objects and
  // error information reach it as they reach the host.
  host::LoadedModule module(HostDir() + "/pwOpenApps2.so");
  using Proc = HRESULT (*)(IcvPluginRegistrator**);
  auto get = module.ExportAs<Proc>("GetPluginRegistrator");
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get(nullptr), E_POINTER);
  {
    ComPtr<IcvPluginRegistrator> registrator;
    ASSERT_EQ(get(registrator.Put()), S_OK);
    std::int32_t count = 0;
    ASSERT_EQ(registrator->PluginCount(&count), S_OK);
    EXPECT_EQ(count, 8);
    BString description;
    ASSERT_EQ(registrator->GetDescription(description.Put()), S_OK);
    EXPECT_FALSE(description.View().empty());  // the module's string table answers
    ComPtr<IcvPlugin> plugin;
    EXPECT_EQ(registrator->CreatePlugin(6, plugin.Put()), E_NOTIMPL);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    BString text;
    info->GetDescription(text.Put());
    EXPECT_EQ(WideToUtf8(text.View()), "The plug-in \"Web Checkpoints\" is not part of this build of the module.");
    ASSERT_EQ(registrator->CreatePlugin(5, plugin.Put()), S_OK);  // Web Testing
    EXPECT_TRUE(QueryAs<IpwSysNodeBuilderProvider>(plugin.Get()));
    ASSERT_EQ(registrator->CreatePlugin(0, plugin.Put()), S_OK);
    // A bitmap the module made is one the host can free.
    std::int32_t bitmap = 0;
    ASSERT_EQ(QueryAs<IpwObjectTypeDescriptor>(plugin.Get())->GetBitmap(&bitmap), S_OK);
    EXPECT_TRUE(IsGdiObject(bitmap));
  }
  EXPECT_TRUE(module.Unload());
}

// The resource script compiler refuses what would not compile or would be ambiguous, naming
// the line, and writes the rest as it stands.
TEST(ResourceScript, RefusesEntriesItCannotCompileFaithfully) {
  test::ScratchDir scratch;
  const std::string dir = scratch.Utf8File("pw-rc2cpp");
  int status = 0;
  RunCommand("rm -rf " + dir + " && mkdir -p " + dir, status);
  auto compile = [&](const std::string& script, std::string& generated) {
    {
      std::FILE* f = std::fopen((dir + "/t.rc").c_str(), "wb");
      std::fputs(script.c_str(), f);
      std::fclose(f);
    }
    std::remove((dir + "/t.cpp").c_str());
    std::string out = RunCommand(std::string(PW_TEST_CMAKE) + " -DINPUT=" + dir + "/t.rc -DOUTPUT=" + dir +
                                     "/t.cpp -DFUNCTION=F -P " + test::SourceDir() + "/resources/rc2cpp.cmake",
                                 status);
    generated = RunCommand("cat " + dir + "/t.cpp", status);
    return out;
  };
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"STRING 1 \"ends in a backslash\\\"\n", "t.rc:1: the text may hold"},
      {"STRING 1 \"a\"quote\"\n", "t.rc:1: the text may hold"},
      {"STRING 1 \"a\\nnewline\"\n", "t.rc:1: the text may hold"},
      {"STRING 1 \"\xC3\xBC\"\n", "t.rc:1: the text may hold"},
      {"// two\n\nSTRING 9 \"a\"\nSTRING 9 \"b\"\n", "t.rc:4: string 9 is defined twice"},
      {"BITMAP A 1 1 0x1 0x2 0x3\nBITMAP A 2 2 0x1 0x2 0x3\n", "t.rc:2: bitmap A is defined twice"},
      {"BITMAP A 0 2 0x1 0x2 0x3\n", "t.rc:1: bitmap A has no pixels"},
      {"STRIN 1 \"a\"\n", "t.rc:1: not a resource entry"},
  };
  std::string generated;
  for (const auto& [script, message] : refused) {
    std::string out = compile(script, generated);
    EXPECT_NE(out.find(message), std::string::npos) << script << out;
    EXPECT_EQ(generated.find("kStrings"), std::string::npos) << script;  // nothing written
  }
  std::string out = compile("STRING 1 \"say \\\"hi\\\" \\\\ [x]; 100%\"\nBITMAP A 2 3 0x1 0x2 0x3\n", generated);
  EXPECT_NE(generated.find("{1u, u\"say \\\"hi\\\" \\\\ [x]; 100%\"},"), std::string::npos) << out << generated;
  EXPECT_NE(generated.find("{\"A\", 2, 3, 0x1u, 0x2u, 0x3u},"), std::string::npos) << out << generated;
  RunCommand("rm -rf " + dir, status);
}

TEST(Pwhost, MainCommandLoadsDisconnectsAndUnloads) {
  int status = 0;
  std::string out = RunCommand(HostDir() + "/pwhost main", status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("Loaded module"), std::string::npos) << out;
  EXPECT_NE(out.find("DisconnectExposedObjects(True, 5000) returned 0x00000000"), std::string::npos) << out;
  EXPECT_NE(out.find("Unloaded module\n"), std::string::npos) << out;
}

TEST(Pwhost, AModuleThatCannotFindTheComHelperLibraryFailsToLoad) {
  // A host folder of its own, with pwhost and the shared libraries it runs on (the platform and
  // the graphics layer), and without the helper libraries.
  int status = 0;
  test::ScratchDir scratch;
  std::string dir = scratch.Utf8File("pw-host-without-helpers");
  RunCommand("rm -rf " + dir + " && mkdir -p " + dir + "/Extensions && cp " + HostDir() + "/pwhost " + HostDir() +
                 "/libpw*.so " + dir,
             status);
  ASSERT_EQ(status, 0);
  std::string out = RunCommand(dir + "/pwhost --module " + HostDir() + "/pwOpenApps2.so", status);
  // Exactly the failure's exit code: a sanitized build that finds a leak exits otherwise.
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("Unable to load the module '" + HostDir() + "/pwOpenApps2.so': The file cvComHelp.so not found. "
                     "The product is located in the " + dir + "/ folder."),
            std::string::npos)
      << out;
  // In the "Extensions" folder the library is found and the module starts (the Web Testing
  // plug-in loads the host's type libraries from there).
  RunCommand("cp " + HostDir() + "/cvComHelp.so " + HostDir() + "/Extensions/*.tlb " + dir + "/Extensions/", status);
  out = RunCommand(dir + "/pwhost --module " + HostDir() + "/pwOpenApps2.so", status);
  EXPECT_EQ(status, 0) << out;
  RunCommand("rm -rf " + dir, status);
}

// A truncated copy of the module (cut inside its headers, inside its segments) is refused with
// a clear error before the system loader maps it past its end; pwhost fails, it does not crash.
TEST(Pwhost, ADamagedModuleIsRefusedBeforeLoading) {
  test::ScratchDir scratch;
  const std::string original = test::ReadFileBytes(HostDir() + "/pwOpenApps2.so");
  ASSERT_GT(original.size(), 65536u);
  for (std::size_t cut : {std::size_t{100}, std::size_t{4096}, original.size() / 2}) {
    const std::string copy = scratch.Utf8File("cut" + std::to_string(cut) + ".so");
    test::WriteFileBytes(copy, original.substr(0, cut));
    int status = 0;
    const std::string out = RunCommand(HostDir() + "/pwhost --module " + copy, status);
    EXPECT_EQ(status, 1) << cut << ": " << out;
    EXPECT_NE(out.find("Unable to load the module '" + copy + "': The file " + copy + " is damaged: "),
              std::string::npos)
        << out;
  }
}

TEST(Pwhost, PluginsIsTheDefaultAndDrivesTheFivePlugins) {
  int status = 0;
  std::string out = RunCommand(HostDir() + "/pwhost", status);
  EXPECT_EQ(status, 0) << out;
  for (const char* expected :
       {"Registrator {C10173C7-470B-4D35-92DC-3B6756AE3328} \"Open Applications Support Plug-In Registator\"",
        "Plug-ins: 8", "  4 \"Visual Basic Application Support\": created", "  5 \"Web Testing\": created",
        "  6 \"Web Checkpoints\": not created (0x80004001)",
        "  \"Web Testing\": running\n      points: builders, object type, sub-providers, hooks, settings pages, "
        "setting changes, object kinds, call information, runtime objects, event subscription, engine events, node "
        "events, actions, warning options, settings groups, setting validator\n",
        "      warning option {2CC97723-B13B-41D7-B6F8-360974A2AE2A} \"Show the \"Application was not prepared "
        "properly\" message\"\n      Flash mapping \"Global\\ProbewrightLCIntf9_",
        "\"Microsoft Active Accessibility Support\", \"Web Testing\"\n",  // "iexplore.exe" is served
        "      keys      [7: \"{66F235D3-108D-4961-A923-03333575E40E}\", ",
        "      values    [7: 3, 0, False, True, \"*\", False, ",
        "command   {31B0A848-ACBE-4675-94E4-D6DE052D1C09} \"pwIEHook.dll\"",
        "command   {C9657614-62FE-4DDD-AD5F-6AB17BD0FB96} \"pwIEHook.dll\"",
        "      action {2029BF1C-8A23-4F9F-86D3-6596DFD3BE57} \"Add...\": enabled\n",
        "options page \"Open Applications|Web Testing|Object Identification\" (values 6434, 0)",
        "  7 \"Firefox Support\": created", "options page \"Open Applications|MSAA\" (values 6087, 6063)",
        "  \"Firefox Support\": running\n      points: builders, object type, sub-providers, hooks, object kinds, "
        "call information, warning options\n      warning option {7938FD75-A005-40C9-BA6C-F7705FEDFEBB} \"Show the "
        "'Firefox Is Running the Flash Player Plug-In in Out-Of-Process Mode' message\"\n      object type "
        "{965345DC-52EC-41E8-8815-B4BC0B41E4E0} \"NativeFirefoxObject\"",
        "parameter {66F235D3-108D-4961-A923-03333575E40E} ", "parameter {BC2725AB-C90D-4761-BEB2-ABACE30FE554} ",
        "command   {31B0A848-ACBE-4675-94E4-D6DE052D1C09} \"pwVBHook.dll\"",
        "command   {03AEE08F-351A-4D0C-AA18-588992B94152} Null", "Finalize\nUnloaded module\n"})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
  const std::size_t firefox = out.find("  4104 firefox.exe: served by ");
  ASSERT_NE(firefox, std::string::npos) << out;
  EXPECT_NE(out.substr(firefox, out.find('\n', firefox) - firefox).find("\"Firefox Support\""), std::string::npos)
      << out;
  // The sample Firefox gets the hook of its core's major version: the installed one, else 128.
  const auto installed = ReadMilestone();
  const std::string library = "\"pwFF" + std::to_string(installed ? installed->major : 128) + "Hook.dll\"";
  EXPECT_NE(out.find("command   {31B0A848-ACBE-4675-94E4-D6DE052D1C09} " + library), std::string::npos) << out;
  EXPECT_NE(out.find("command   {C9657614-62FE-4DDD-AD5F-6AB17BD0FB96} " + library), std::string::npos) << out;
  EXPECT_EQ(out.find("Initialize: "), std::string::npos) << out;  // no plug-in failed its start
}

TEST(Pwhost, ReportsAMissingModuleAndBadCommands) {
  int status = 0;
  std::string out = RunCommand(HostDir() + "/pwhost --module /nonexistent/pwOpenApps2.so", status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("Unable to load the module '/nonexistent/pwOpenApps2.so'"), std::string::npos) << out;
  out = RunCommand(HostDir() + "/pwhost frobnicate", status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("unknown command frobnicate"), std::string::npos) << out;
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

// A copy of the host folder loads its own platform library, not the build tree's: the run
// paths are relative to each binary. The copy also runs the main job.
TEST(HostFolder, ACopiedHostFolderUsesItsOwnLibraries) {
  test::ScratchDir scratch;
  const std::filesystem::path copy = scratch.Path() / "moved host";
  std::filesystem::copy(test::HostDir(), copy, std::filesystem::copy_options::recursive);
  for (const std::string binary : {"pwhost", "pwOpenApps2.so", "cvComHelp.so", "Extensions/cvRegExpr.so"}) {
    int status = -1;
    const std::string out = test::RunCommand("ldd '" + (copy / binary).string() + "'", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("libpwplatform.so => " + copy.string() + "/"), std::string::npos) << binary << ":\n" << out;
  }
  int status = -1;
  const std::string out = test::RunCommand("'" + (copy / "pwhost").string() + "' main", status);
  EXPECT_EQ(status, 0) << out;
}

}  // namespace
}  // namespace pw
