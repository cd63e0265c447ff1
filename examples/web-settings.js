// The settings objects of the Web Testing plug-in: run it with a home folder of its own,
//   HOME=$(mktemp -d) pwhost run examples/web-settings.js
// "Web" reads and writes the web testing options of the project; "IESettings",
// "IEZoneSettings" and "FlashSettings" read and write the browser's, the security zones' and
// the Flash player's settings of the current user. Each line of the log is one answer; an
// object the plug-in does not publish is named as such.
// What the script stores is logged before it is written and again after: a first run with a new
// home shows the defaults, then the new values; a second run with the same home starts from what
// the first one stored. Web's options belong to the run's project, which is new at each run.
function missing(name) {
  Log.Message(name + ': not available');
}

if (typeof IESettings != 'undefined') {
  Log.Message(IESettings.GetInternetExplorerVersion());
  Log.Message(IESettings.GetInternetExplorerMajorVersion());
  Log.Message('ExpandAltText before: ' + IESettings.ExpandAltText);
  IESettings.ExpandAltText = true;
  Log.Message(IESettings.ExpandAltText);
} else missing('IESettings');

if (typeof IEZoneSettings != 'undefined') {
  var zone = IEZoneSettings.GetZoneSettingsForUrl('http://127.0.0.1/');
  Log.Message(zone.ZoneId + ' ' + zone.ZoneName);
  Log.Message('ActiveScripting before: ' + zone.ActiveScripting);
  zone.ActiveScripting = 3;
  Log.Message(zone.ActiveScripting);
} else missing('IEZoneSettings');

if (typeof FlashSettings != 'undefined') {
  Log.Message('IsInjectorInstalled before: ' + FlashSettings.IsInjectorInstalled);
  FlashSettings.InstallInjector();
  Log.Message(FlashSettings.IsInjectorInstalled);
  Log.Message(FlashSettings.DebugConfigPath);
  Log.Message(String(FlashSettings.GetVersion('firefox')));
} else missing('FlashSettings');

Web.TreeModel = 'dom';
Log.Message(Web.TreeModel);
try {
  Web.TreeModel = 'x';
} catch (e) {
  Log.Message(e.message);
}
Log.Message(Web.TreeModel);
Log.Message(Web.IdentificationAttribute);
Log.Message(Web.WebPageLoadingTimeout);
