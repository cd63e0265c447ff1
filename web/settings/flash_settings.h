// "FlashSettings": the script-visible Flash Player settings (IpwFlashSettings) and the version
// object it hands out (IpwFileVersionInfo).
//
// The object keeps nothing: every member reads or writes the player's files and registration at
// once.
// - "mm.cfg" ($HOME/mm.cfg): the debug configuration, UTF-8 with a byte order mark, one
//   name=value a line, names compared ignoring case. Boolean keys are "1"/"0" and read True
//   only for exactly "1". Keys: "PreloadSWF" (the injector movie), "AS3Trace" (function
//   trace), "TraceOutputFileEnable" and "ErrorReportingEnable" (log), "TraceOutputBuffered".
//   Setting a key replaces its first line or appends one; the empty value removes the line.
// - The trust file ($XDG_CONFIG_HOME/Macromedia/Flash Player/#Security/FlashPlayerTrust/
//   quillory.cfg): UTF-16 little-endian with a byte order mark, one path a line, CR LF. A
//   location is a whole line: adding one already listed changes nothing, removing takes every
//   line equal to it (an unended last line too); paths compare exactly, after trimming.
// - Both files are written whole to a temporary file beside them and renamed over the old one,
//   so a failed write leaves the old file as it was; the failure raises with the path.
// - The injector: the host folder's "../Open Apps/Flex/FlashInjector.swf".
// - The player's registration: HKEY_LOCAL_MACHINE "Software\Macromedia\FlashPlayerActiveX"
//   (Internet Explorer) or "...\FlashPlayerPlugin" (other browsers): "Version" and
//   "isScriptDebugger"; without the latter, the first player file ("*.ocx" or "np*.dll" in
//   "%windir%/System32/Macromed/Flash/") is searched for "Release-Debugger".
// - A browser is a name ("iexplore", "firefox", "chrome", "opera", "safari", any case) or one
//   of -1 to -5; anything else is no browser: a nil version, not a debug version.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/automation/automation.h"
#include "core/com/agile_objects.h"
#include "interfaces/ProbewrightHost.h"
#include "interfaces/pwWebTesting.h"

namespace pw::web {

// Makes the "FlashSettings" object (a new one at each call; they share nothing).
ComPtr<IDispatch> CreateFlashSettingsObject();

// ---- the parts the object is made of, for tests and the other settings objects -------------

// Expands "%NAME%" (platform stand-ins for the profile variables), canonicalises lexically
// ("\" becomes "/") and merges repeated "/".
WideString ExpandFlashPath(WideStringView path);

// The expanded paths of the files.
WideString FlashDebugConfigPath();
WideString FlashLogFilePath();
WideString FlashTrustFilePath();
WideString FlashInjectorPath();

// 0 (no browser), -1 Internet Explorer, -2 Firefox, -3 Chrome, -4 Opera, -5 Safari.
std::int32_t FlashBrowserKind(const VARIANT& browser);

// Whether the file's bytes hold `text`, read in blocks of kFileSearchBlockSize bytes, each
// searched joined to the end of the one before, so a match across blocks is found. False for a
// file that cannot be read and for the empty text.
inline constexpr std::size_t kFileSearchBlockSize = 102400;
bool FileContainsText(const std::string& path, std::string_view text);

// The four numbers of a version text, split at "," when it holds one, else at "."; an item
// that is not a number (or is missing) gives 0.
struct FlashVersionNumbers {
  std::int32_t first = 0, second = 0, third = 0, fourth = 0;
};
FlashVersionNumbers ParseVersionNumbers(WideStringView text);

// A file version: the four numbers and the text, which is also its default value (DISPID 0).
class TpwFileVersionInfo final : public AutoImplements<TcvFreeMarshaledAutoIntfObject, IpwFileVersionInfo> {
 public:
  explicit TpwFileVersionInfo(WideString text);

  HRESULT get_MajorPart(std::int32_t* value) override;
  HRESULT get_MinorPart(std::int32_t* value) override;
  HRESULT get_BuildPart(std::int32_t* value) override;
  HRESULT get_ReleasePart(std::int32_t* value) override;
  // DISPID 0 answers the text; every other DISPID goes to the automation base.
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

  const WideString& Text() const { return text_; }

 private:
  const FlashVersionNumbers numbers_;
  const WideString text_;
};

class TpwFlashSettings final : public AutoImplements<TCVAAutoIntfObject, IpwFlashSettings> {
 public:
  TpwFlashSettings() : AutoImplements(std::vector<IID>{IpwFlashSettings::iid}) {}

  HRESULT InstallInjector() override;
  HRESULT UninstallInjector() override;
  HRESULT AddTrustedLocation(BSTR path) override;
  HRESULT RemoveTrustedLocation(BSTR path) override;
  HRESULT GetVersion(const VARIANT& browser, IDispatch** value) override;
  HRESULT IsDebugVersion(const VARIANT& browser, VARIANT_BOOL* value) override;
  HRESULT get_IsInjectorInstalled(VARIANT_BOOL* value) override;
  HRESULT get_DebugConfigPath(BSTR* value) override;
  HRESULT get_FlashLogFilePath(BSTR* value) override;
  HRESULT get_FlashLogEnabled(VARIANT_BOOL* value) override;
  HRESULT put_FlashLogEnabled(VARIANT_BOOL value) override;
  HRESULT get_FunctionTraceEnabled(VARIANT_BOOL* value) override;
  HRESULT put_FunctionTraceEnabled(VARIANT_BOOL value) override;
  HRESULT get_DebugConfigContents(BSTR* value) override;
  HRESULT put_DebugConfigContents(BSTR value) override;
  HRESULT get_FlashTrustedLocations(BSTR* value) override;
};

}  // namespace pw::web
