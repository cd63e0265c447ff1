// The web testing options as the recording analyzer and the web checkpoints
// read them from the host's settings (every getter reads the setting anew;
// nothing is cached), and the masking of dynamic URL parameters that turns
// recorded URLs into stable text.
//
// Masking: with the name "*" every parameter goes (the URL is cut at its first
// ";" before the first "?", else at the "?", else at the "#", and ends in "*");
// otherwise the value of every parameter of a given name (ignoring case)
// becomes "*". Names start after "?", "&" or ";"; a parameter without "=" does
// not swallow the name that follows it, so "page.htm?flag&sid=1" masks sid.
#pragma once

#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/com/guid.h"

namespace pw::web {

// Keys of the options in the host's settings.
inline constexpr GUID kAddWaitCommentsOption = MakeGuid("{74CC9F3B-2E52-4B16-844A-9EE33532B51E}");
inline constexpr GUID kTestedHostOption = MakeGuid("{323FACDA-38E8-4C1B-B22C-99E0AB90EADC}");
inline constexpr GUID kRecordTestedHostAsOption = MakeGuid("{E47A2931-EE5D-42D2-8CB7-3796DE597AA1}");
inline constexpr GUID kIgnoreDynamicUrlParamsOption = MakeGuid("{BC2725AB-C90D-4761-BEB2-ABACE30FE554}");
inline constexpr GUID kDynamicParametersOption = MakeGuid("{33C0A94E-7F58-493C-BCCC-91685352F9B4}");
inline constexpr GUID kPageLoadingTimeoutOption = MakeGuid("{542B9FA0-35EA-4C4D-BF0B-661005CB94E9}");

class TpwWebTestingOptions {
 public:
  // Reads through the host's settings service; a nil host or a missing setting
  // reads as unset.
  explicit TpwWebTestingOptions(IcvBaseManager* settings);

  bool GetAddWaitComments() const;
  WideString GetTestedHost() const;
  WideString GetRecordTestedHostAs() const;
  bool GetIgnoreDynamicUrlParams() const;
  // Appends the rows of the "Dynamic parameters" table (column 0, in row order)
  // to Names; a setting that is not a table leaves Names as it is.
  void GetDynamicParameters(std::vector<WideString>& names) const;
  // Whether the page call of a recorded navigation is made on the browser
  // process: always.
  static constexpr bool GetRecordOnProcess() { return true; }

 private:
  ComPtr<IcvBaseManager> settings_;
};

WideString MaskDynamicUrlParams(WideStringView url, const std::vector<WideString>& names);
WideString MaskAllUrlParams(WideStringView url);
WideString MaskUrlParameter(WideStringView url, WideStringView name);

}  // namespace pw::web
