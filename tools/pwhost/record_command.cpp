// pwhost record FILE [--out FILE] [--language JavaScript|VBScript]: loads the
// module, starts its plug-ins and hands the recording to the host's recorder
// stand-in (host/recorder.h), which uses the analyzer a plug-in registered.
// Exit 0 done, 1 failed, 2 bad arguments.
#include <cstdio>
#include <string>

#include "core/com/exposed_objects.h"
#include "host/code_model.h"
#include "host/module_loader.h"
#include "host/plugin_host.h"
#include "host/recorder.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"
#include "tools/pwhost/commands.h"
#include "tools/pwhost/module_plugins.h"

namespace pw::host {

namespace {
constexpr const char* kUsage = "usage: pwhost record FILE [--out FILE] [--language JavaScript|VBScript]\n";
}

int RunRecordCommand(const CommandContext& context) {
  RecorderRequest request{{}, {}, kJavaScriptLanguageKey};
  WideString language = u"JavaScript";
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& a = context.args[i];
    if (a == "--out" && i + 1 < context.args.size()) {
      request.outFile = context.args[++i];
    } else if (a == "--language" && i + 1 < context.args.size()) {
      language = Utf8ToWide(context.args[++i]);
      if (SameTextIgnoringCase(language, u"JavaScript")) {
        request.languageKey = kJavaScriptLanguageKey, language = u"JavaScript";
      } else if (SameTextIgnoringCase(language, u"VBScript")) {
        request.languageKey = kVBScriptLanguageKey, language = u"VBScript";
      } else {
        std::fprintf(stderr, "pwhost record: unknown language %s\n%s", context.args[i].c_str(), kUsage);
        return 2;
      }
    } else if (a.rfind("--", 0) == 0 || !request.file.empty()) {
      std::fprintf(stderr, "pwhost record: unexpected argument %s\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      request.file = a;
    }
  }
  if (request.file.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  LoadedModule module(context.modulePath);
  auto getRegistrator = module.ExportAs<GetPluginRegistratorProc>("GetPluginRegistrator");
  if (!getRegistrator) {
    std::fprintf(stderr, "pwhost record: the module does not export GetPluginRegistrator\n");
    return 1;
  }
  int result = 1;
  {
    TestHostOptions options;
    options.interactive = false;
    options.currentLanguage = language;
    TestHost host(options);
    TPluginHost plugins(host);
    if (!CreateModulePlugins(getRegistrator, plugins, "pwhost record")) return 1;
    plugins.Start();
    result = RunRecorder(host, request, stdout, stderr);
    plugins.Stop();
  }
  if (auto disconnect = module.ExportAs<DisconnectExposedObjectsProc>(kDisconnectExposedObjectsExport))
    disconnect(WordTrue, 5000);
  module.Unload();
  return result;
}

}  // namespace pw::host
