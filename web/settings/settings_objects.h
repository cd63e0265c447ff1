// The script-visible settings objects the web settings make when the host builds the settings
// pages: "Web" (the options object over the web settings, made here), and "IESettings",
// "IEZoneSettings" and "FlashSettings", each made by a creator of the table below.
//
// The creators are the one place where those objects' factories are named
// (DefaultSettingsObjectCreators); a nil creator makes no object, and a nil object is left out
// of the runtime objects the host publishes. The IE settings class follows the browser's major
// version: 6 the base class, 7 the version 7 class, any other the version 8 class; without a
// version function the major version counts as 6 (what an unknown version reads as).
#pragma once

#include <cstdint>
#include <functional>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw::web {

// The IE settings classes, by the browser generation whose options they add.
enum class TpwIESettingsClass : std::int32_t { Base = 6, IE7 = 7, IE8 = 8 };
TpwIESettingsClass IESettingsClassForMajor(std::int32_t major);

struct TpwSettingsObjectCreators {
  std::function<std::int32_t()> ieMajorVersion;
  std::function<ComPtr<IUnknown>(IcvBaseManager*, TpwIESettingsClass)> ieSettings;
  std::function<ComPtr<IUnknown>(IcvBaseManager*)> ieZoneSettings;
  std::function<ComPtr<IUnknown>(IcvBaseManager*)> flashSettings;
};

// The creators of this build.
TpwSettingsObjectCreators DefaultSettingsObjectCreators();

// The four objects, nil until made.
struct TpwSettingsObjects {
  ComPtr<IUnknown> web, ieSettings, ieZoneSettings, flashSettings;
};

// The names under which scripts see them, in the order of the runtime-object records.
inline constexpr const char16_t* kSettingsObjectNames[] = {u"Web", u"IESettings", u"IEZoneSettings", u"FlashSettings"};

}  // namespace pw::web
