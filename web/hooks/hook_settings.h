// The browser hook's settings: the two parallel arrays (setting keys as GUID texts, and their
// values) that the web plug-in hands the hook agent of a browser process, the hook's install
// and removal through that agent, and the test of a process by its name and modules.
//
// Values, in order: 0 the tree model (Integer 0-3), 1 identify by name (Integer 0 or -1), 2 the
// legacy features (Boolean), 3 "Ignore dynamic URL parameters" read now (Boolean), 4 the dynamic
// parameters text (names trimmed, empty rows skipped, joined by LF; empty without rows), 5 True
// when the host table {CC95DFE2-...} has row 0 current (False without it), 6 the dynamic
// identifier text. The key array is built once per process; every install gets a copy.
#pragma once

#include <span>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"

namespace pw::web {

class TpwWebSettings;

inline constexpr GUID kHookAgentIid = MakeGuid("{381EEA29-7476-48C1-BEB1-F66C6FA8B99E}");
inline constexpr GUID kHookTableFlagKey = MakeGuid("{CC95DFE2-922E-4009-8786-5DB9446F979D}");
inline constexpr char16_t kLoadHookCommand[] = u"{31B0A848-ACBE-4675-94E4-D6DE052D1C09}";
inline constexpr char16_t kUnloadHookCommand[] = u"{C9657614-62FE-4DDD-AD5F-6AB17BD0FB96}";
inline constexpr char16_t kIEHookLibrary[] = u"pwIEHook.dll";
inline constexpr std::int32_t kDispIdSetParameters = 0x09000003;
inline constexpr std::int32_t kDispIdExecuteCommand = 0x09000001;

// The hook agent of a process (kHookAgentIid through its hook channel); nil when the process has
// no channel or the agent is not there.
ComPtr<IDispatch> HookAgent(IpwProcess* process);

// The key array (a copy of the process-wide one) and the values array.
OleVariant HookSettingKeys();
OleVariant HookSettingValues(IcvBaseManager* root, const TpwWebSettings& settings);

// The test of a process by its name and its modules' file names: the lower-cased name contains
// "iexplore.exe", "presentationhost.exe" or "flashplayer", or a module is "mshtml.dll" or
// "Adobe AIR.dll" (ignoring case). (The window-class test, "ShockwaveFlash", is the caller's.)
bool IsBrowserHookProcess(WideStringView processName, std::span<const WideString> modules);

// The whole test of a process against the host: its name from the process service
// {06B8A42E-...} (slot 12) and the modules given (nil: none) by IsBrowserHookProcess, then its
// windows (the windows manager {463D5E7A-...} answering {D4A9548A-...}) for one of class
// "ShockwaveFlash" (ignoring case). False without a host or the process service; the window
// test is skipped without the windows manager.
bool IsBrowserHookProcessOf(IcvBaseManager* root, IpwProcess* process, IpwModuleList* modules);
// The same with the module list the process service gives for the process (slot 11).
bool IsBrowserHookProcessOf(IcvBaseManager* root, IpwProcess* process);

// Sends the arrays (0x09000003: keys, values), then loads "pwIEHook.dll" (0x09000001). Without
// a hook channel or agent nothing happens; the calls' results are not read.
void InstallBrowserHook(IpwProcess* process, IcvBaseManager* root, const TpwWebSettings& settings);
// Unloads "pwIEHook.dll" through the agent; nothing without one.
void RemoveBrowserHook(IpwProcess* process);

}  // namespace pw::web
