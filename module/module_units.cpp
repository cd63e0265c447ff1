#include "module/module_units.h"

#include "core/automation/automation.h"
#include "interfaces/pwWebTesting.h"
#include "core/host/com_help.h"
#include "core/com/exposed_objects.h"
#include "core/options/options_name_pool.h"
#include "core/com/agile_objects.h"
#include "core/host/module_proxy.h"
#include "core/com/threads.h"
#include "platform/kernel/library.h"
#include "openapps/module_resources.h"
#include "openapps/registrator.h"
#include "web/firefox/firefox_support_plugin.h"
#include "web/plugin/web_testing_plugin.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

// The base objects: the exposed-object registry, then the dispatch-cache lock, the dispatch
// cache, the type-library list and the host's library. At unload the registry disconnects and
// goes first, then the automation state.
void StartBaseObjects() {
  StartExposedObjects();
  try {
    StartAutomation();
  } catch (...) {
    StopAutomation();
    StopExposedObjects();
    throw;
  }
}

void StopBaseObjects() {
  StopExposedObjects();
  StopAutomation();
}

// The module's own type library joins the list at start, before any object needs it; the
// thunks of its interfaces are registered with it and withdrawn when the module unloads.
void StartModuleTypeLibrary() {
  RegisterInterfaceThunks(pwWebTestingInterfaceThunks());
  if (ComPtr<ITypeLib> lib = LoadModuleTypeLibrary()) TypeLibraries()->Add(lib.Get());
}
void StopModuleTypeLibrary() { UnregisterInterfaceThunks(pwWebTestingInterfaceThunks()); }

// The module's resources (string table, bitmaps) answer from start to unload.
void StartModuleResources() { RegisterModuleResources(&ModuleResourceTable()); }
void StopModuleResources() { RegisterModuleResources(nullptr); }

// The Web Testing plug-in's class joins the registrator's table (its library is built apart
// from the Open-Applications one).
void StartWebTesting() { RegisterPluginClass(web::kWebTestingPluginKey, web::CreateWebTestingPlugin); }
void StopWebTesting() { RegisterPluginClass(web::kWebTestingPluginKey, nullptr); }
// So does the Firefox Support plug-in's.
void StartFirefoxSupport() { RegisterPluginClass(web::kFirefoxSupportPluginKey, web::CreateFirefoxSupportPlugin); }
void StopFirefoxSupport() { RegisterPluginClass(web::kFirefoxSupportPluginKey, nullptr); }

// Each unit after the units it uses; stops run in reverse.
constexpr UnitEntry kUnits[] = {
    {"module resources", StartModuleResources, StopModuleResources},
    {"base objects", StartBaseObjects, StopBaseObjects},
    {"global table", StartGlobalTable, StopGlobalTable},
    {"module type library", StartModuleTypeLibrary, StopModuleTypeLibrary},
    {"threads", StartThreads, StopThreads},
    {"helper modules", nullptr, StopHelperModules},
    {"options name pool", StartOptionsNamePool, StopOptionsNamePool},
    {"web testing plug-in", StartWebTesting, StopWebTesting},
    {"firefox support plug-in", StartFirefoxSupport, StopFirefoxSupport},
    // The options XML storage needs nothing at start: its parser and writer are made per file,
    // and there is no document factory of another library to install.
    {"options XML storage", nullptr, nullptr},
    // Last: a missing COM helper library fails the module's start.
    {"com helper", StartComHelp, StopComHelp},
};

// Made on first use: the load-time constructor below runs before this file's own globals are
// initialised, which would empty (and leak) an error it had already stored in one.
WideString& StartError() {
  static WideString error;
  return error;
}

// Load and unload of the shared object run the table; nothing else starts at load.
__attribute__((constructor)) void ModuleLoad() {
  try {
    ModuleUnits().Start();
  } catch (const std::exception& e) {
    StartError() = Utf8ToWide(e.what());
    if (StartError().empty()) StartError() = u"The module failed to start.";
  } catch (...) {
    StartError() = u"The module failed to start.";
  }
  // The loader then unloads the module and fails the load with this message.
  if (!StartError().empty()) ReportModuleInitFailure(reinterpret_cast<const void*>(&ModuleLoad), StartError());
}

__attribute__((destructor)) void ModuleUnload() {
  try {
    ModuleUnits().Stop();
  } catch (...) {
    // Nothing can be reported while the library is being unloaded.
  }
}

}  // namespace

UnitTable& ModuleUnits() {
  static UnitTable table(kUnits);
  return table;
}

const WideString& ModuleStartError() { return StartError(); }

}  // namespace pw
