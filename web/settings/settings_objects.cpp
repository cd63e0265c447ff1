#include "web/settings/settings_objects.h"

#include "web/settings/flash_settings.h"
#include "web/settings/ie_settings_objects.h"

namespace pw::web {

TpwIESettingsClass IESettingsClassForMajor(std::int32_t major) {
  if (major == 6) return TpwIESettingsClass::Base;
  if (major == 7) return TpwIESettingsClass::IE7;
  return TpwIESettingsClass::IE8;
}

TpwSettingsObjectCreators DefaultSettingsObjectCreators() {
  TpwSettingsObjectCreators creators;
  creators.ieMajorVersion = [] { return static_cast<std::int32_t>(GetIEMajorVersion()); };
  creators.ieSettings = [](IcvBaseManager*, TpwIESettingsClass settingsClass) {
    return ComPtr<IUnknown>(CreateIESettingsObject(static_cast<int>(settingsClass)).Get());
  };
  creators.ieZoneSettings = [](IcvBaseManager*) {
    return ComPtr<IUnknown>(CreateIEZoneSettingsObject(GetIEMajorVersion()).Get());
  };
  creators.flashSettings = [](IcvBaseManager*) { return ComPtr<IUnknown>(CreateFlashSettingsObject().Get()); };
  return creators;
}

}  // namespace pw::web
