// Project-item helpers: the node type of a key with its factory, a new project item of a type
// under a parent (fresh, or loaded from a copy of a file), the add of a node to a parent
// container, the children of a parent by name (ignoring case) or type; and the constants that
// name the host's project-item vocabulary.
//
// The normal refusals raise nothing: a type that is not registered, creation parameters that do
// not validate (with a message), a copy that fails or an add the parent refuses leave no node
// (a refused node is released). Failing host calls raise.
#pragma once

#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw::project {

inline constexpr WideStringView kDispValuePrefix = u"DispValue:";
inline constexpr WideStringView kCustomDispValuePrefix = u"CustomDispValue:";
inline constexpr WideStringView kProjectVariablePrefix = u"PrjVar:";
inline constexpr WideStringView kProjectVariableText = u"Project Variable";

// ---- The host's plug-ins that provide project items: rows of the layout of a module's plug-in
// table (key, name, description, two CR LF separated GUID lists, version, second integer).
struct THostPluginRecord {
  GUID key;
  const char16_t* name;
  const char16_t* description;
  const char16_t* listA;
  const char16_t* required;
  std::int32_t version;
  std::int32_t version2;
};
inline constexpr THostPluginRecord kScriptPlugin{MakeGuid("{C0A16E40-A745-4685-B1CC-65EC03A4C819}"), u"Script",
                                                 u"The Script plug-in", u"", u"", 4, 0};
inline constexpr THostPluginRecord kTestedAppsPlugin{MakeGuid("{7D14FCFB-A77F-429C-80C5-9BCDE2955E25}"),
                                                     u"Tested Applications", u"The Tested Applications plug-in.", u"",
                                                     u"", 4, 0};
inline constexpr THostPluginRecord kLowLevelProceduresPlugin{
    MakeGuid("{09EFF9CB-A988-4589-8932-D1381207F3CC}"), u"Low-Level Procedures Container",
    u"This plug-in is used to store low-level procedures.", u"", u"", 4, 0};
inline constexpr THostPluginRecord kStoresPlugin{
    MakeGuid("{1645C38D-8364-4E69-95C0-5C0B1A050583}"), u"Stores",
    u"This plug-in is used to store images, files and object properties in a project.", u"", u"", 4, 0};
inline constexpr THostPluginRecord kNameMappingPlugin{MakeGuid("{5DCBAC3B-D39C-497C-9BE8-744CBADD37AA}"),
                                                      u"NameMapping",
                                                      u"This plug-in is used to name items in the Sys tree.", u"", u"",
                                                      4, 0};

// ---- The texts of the host's project-item types: caption, description, a number (0), type
// name, key name and file extension (empty where the type has none).
struct TProjectItemTypeTexts {
  WideStringView caption;
  WideStringView description;
  std::int32_t number;
  WideStringView typeName;
  WideStringView keyName;
  WideStringView extension;
};
inline constexpr TProjectItemTypeTexts kScriptCollectionTexts{
    u"Script", u"A group of script units.", 0, u"Script", u"Script", u".pwScript"};
inline constexpr WideStringView kScriptCollectionLongDescription =
    u"This project item is a collection of script units. This item is required, you cannot uncheck it.";
inline constexpr TProjectItemTypeTexts kScriptUnitTexts{u"Script Unit", u"A script unit.", 0, u"Unit", u"Unit",
                                                        u".sj\r\n.svb\r\n.sd\r\n.scpp\r\n.scs"};
inline constexpr TProjectItemTypeTexts kOdtTexts{u"ODT", u"The Object-Driven Testing project item.", 0, u"ODT", u"ODT",
                                                 u".pwODT"};
inline constexpr WideStringView kOdtPluginDescription = u"The ODT plug-in.";
inline constexpr WideStringView kOdtHint = u"Use this project item to configure and run object-driven tests.";
inline constexpr TProjectItemTypeTexts kOdtClassesTexts{u"Classes", u"A collection of classes.", 0, u"Classes", u"",
                                                        u""};
inline constexpr TProjectItemTypeTexts kOdtDataTexts{u"Data", u"A collection of class instances and data.", 0, u"Data",
                                                     u"", u""};
inline constexpr TProjectItemTypeTexts kLowLevelCollectionTexts{u"Low-Level Procedures Collection",
                                                                u"A collection of low-level procedures.", 0,
                                                                u"LLCollection", u"LLCollection", u".pwLLC"};
inline constexpr WideStringView kLowLevelCollectionHint =
    u"Use this project item to simulate low-level mouse and keyboard events in your tests.";
inline constexpr TProjectItemTypeTexts kLowLevelProcedureTexts{u"Low-Level Procedure", u"A low-level procedure.", 0,
                                                               u"LLP", u"LLP", u".pwLLP"};
inline constexpr TProjectItemTypeTexts kWinCELowLevelCollectionTexts{
    u"WinCE Low-Level Procedures Collection", u"A collection of low-level procedures on WinCE platform.", 0,
    u"WinCELLCollection", u"WinCELLCollection", u""};
inline constexpr WideStringView kWinCELowLevelCollectionHint =
    u"This project item is a collection of low-level procedures that are used to simulate low-level events over "
    u"controls of a Windows Mobile-based device.";
inline constexpr TProjectItemTypeTexts kWinCELowLevelProcedureTexts{
    u"WinCE Low-Level Procedure", u"A low-level procedure on WinCE platform.", 0, u"WinCELLP", u"WinCELLP", u""};
inline constexpr TProjectItemTypeTexts kStoresTexts{
    u"Stores", u"A collection of images, files, object properties, tables and other items stored in the project.", 0,
    u"Stores", u"Stores", u".pwStores"};
inline constexpr WideStringView kStoresHint =
    u"Use this project item to store images, files and other elements for future comparison in tests.";
// The two further names of the Stores item: its own and that of the name mapping it keeps.
inline constexpr WideStringView kStoresItemName = u"Stores";
inline constexpr WideStringView kStoresNameMappingName = u"NameMapping";
inline constexpr TProjectItemTypeTexts kRegionsTexts{u"Regions", u"A collection of images stored in the project.", 0,
                                                     u"Regions", u"Regions", u".pwRegions"};
inline constexpr TProjectItemTypeTexts kRegionTexts{u"Region", u"An image stored in the project.", 0, u"Region", u"",
                                                    u""};
inline constexpr TProjectItemTypeTexts kObjectsTexts{
    u"Objects", u"A collection of object properties stored in the project.", 0, u"Objects", u"Objects", u".pwObjects"};
inline constexpr TProjectItemTypeTexts kObjectTexts{u"Object", u"An object stored in the project.", 0, u"Object", u"",
                                                    u""};
inline constexpr TProjectItemTypeTexts kFilesTexts{u"Files", u"A collection of files stored in the project.", 0,
                                                   u"Files", u"Files", u".pwFiles"};
inline constexpr TProjectItemTypeTexts kFileTexts{u"File", u"A file stored in the project.", 0, u"File", u"", u""};
inline constexpr TProjectItemTypeTexts kDBTablesTexts{
    u"DB tables", u"A collection of database table snapshots stored in the project.", 0, u"DBTables", u"DBTables",
    u".pwDB"};
inline constexpr TProjectItemTypeTexts kDBTableTexts{
    u"DBTable", u"A snapshot of a database's table, view or query.", 0, u"DBTable", u"DBTable", u".pwBTable"};
inline constexpr TProjectItemTypeTexts kTablesTexts{u"Tables",
                                                    u"A collection of table snapshots stored in the project.", 0,
                                                    u"Tables", u"Tables", u".pwTbls"};
inline constexpr TProjectItemTypeTexts kTableTexts{
    u"Table", u"A data snapshot of a control that displays values in tabular form.", 0, u"Table", u"Table", u".pwTbl"};
inline constexpr TProjectItemTypeTexts kXmlCollectionTexts{u"XML", u"A collection of XML files stored in the project.",
                                                           0, u"XML", u"XML", u".pwXmls"};
inline constexpr TProjectItemTypeTexts kXmlCheckpointTexts{u"XML Checkpoint", u"An XML document stored in the project.",
                                                           0, u"XmlCheckpoint", u"XmlCheckpoint", u".pwXmlCheckpoint"};
inline constexpr TProjectItemTypeTexts kXmlDocumentTexts{u"XML Document", u"An XML document stored in the project.", 0,
                                                         u"XmlDocument", u"XmlDocument", u".pwXml"};

// Script texts.
inline constexpr WideStringView kScriptMainRoutineText = u"Main Routine";
inline constexpr WideStringView kScriptMainRoutineDescription =
    u"A script routine specified by the Main Routine property of the Script project item.";
inline constexpr WideStringView kScriptRoutineDescription = u"A script routine.";
inline constexpr WideStringView kScriptRoutineWithParamsDescription = u"A script routine with parameters.";
inline constexpr WideStringView kScriptUnitSyntaxError = u"The unit contains a syntax error.";
inline constexpr WideStringView kScriptTestsSyntaxError =
    u"Unable to get the list of available tests due to a syntax error in the script unit.";
inline constexpr WideStringView kRunScriptAction = u"Run Script";
inline constexpr WideStringView kRunScriptHint = u"Runs the test provided by the selected script collection.";
inline constexpr WideStringView kRunRoutineAction = u"Run Routine";
inline constexpr WideStringView kRunRoutineHint = u"Runs the selected routine.";
inline constexpr WideStringView kRecordScriptAction = u"Record Script";
inline constexpr WideStringView kRecordScriptHint = u"Starts recording a new script routine.";
inline constexpr WideStringView kScriptActionGroup = u"Script";
inline constexpr WideStringView kRoutineActionGroup = u"Routine";

// Low-level procedure texts.
inline constexpr WideStringView kLowLevelContainerName = u"Low-Level Procedures Container";
inline constexpr WideStringView kWinCELowLevelContainerName = u"WinCE Low-Level Procedures Container";
inline constexpr WideStringView kLowLevelRunElementDescription =
    u"An element to be run provided by the collection of low-level procedures.";
inline constexpr WideStringView kLowLevelStartedLog = u"Execution of the low-level procedure %s started.";
inline constexpr WideStringView kLowLevelCompletedLog = u"Execution of the low-level procedure %s completed.";
inline constexpr WideStringView kLowLevelInterruptedLog = u"Execution of the low-level procedure %s was interrupted.";
inline constexpr WideStringView kLowLevelRecordAction = u"Low-level record";
inline constexpr WideStringView kLowLevelRecordHint = u"Starts low-level recording.";
inline constexpr WideStringView kRunAllLowLevelAction = u"Run All Low-Level Procedures";
inline constexpr WideStringView kRunAllLowLevelHint = u"Runs all low-level procedures.";
inline constexpr WideStringView kRecordLowLevelScreenAction = u"Record Low-Level Procedure (screen coordinates)";
inline constexpr WideStringView kRecordLowLevelScreenHint =
    u"Starts recording a new low-level procedure in screen-relative coordinates.";
inline constexpr WideStringView kRecordLowLevelWindowAction = u"Record Low-Level Procedure (window coordinates)";
inline constexpr WideStringView kRecordLowLevelWindowHint =
    u"Starts recording a new low-level procedure in window-relative coordinates.";
inline constexpr WideStringView kRunLowLevelScreenAction = u"Run Low-Level Procedure (screen coordinates)";
inline constexpr WideStringView kRunLowLevelScreenHint =
    u"Executes the selected low-level procedure (in screen coordinates).";
inline constexpr WideStringView kLowLevelProcedureGroup = u"Low-Level Procedure";
inline constexpr WideStringView kLowLevelCollectionGroup = u"Low-Level Procedures Collection";

// The factory and description of the type; False when no factory lists it.
bool FindNodeType(IcvBaseManager* manager, const GUID& typeKey, ComPtr<IpwProjectItemTypeProvider>& factory,
                  ComPtr<IpwProjectNodeInfo>& typeInfo);

// A new item of the type under Parent. A single-instance type answers the parent's existing
// child of the type (no key is made). Guids go to the creation parameters by position. With a
// FileName the file is copied to the item's file (through a temporary file renamed into place:
// a failed copy leaves no file) and the item is loaded from the copy. With AddToParent the item
// is added to Parent. Node is nil when nothing was made.
void CreateProjectItem(IcvBaseManager* manager, IpwProjectNode* parent, const GUID& typeKey,
                       const std::vector<GUID>& guids, WideStringView fileName, bool flag, bool addToParent,
                       ComPtr<IpwProjectNode>& node);

// Through the parent's AddChild; a refused node is released. A parent that is no container
// leaves the node alone. Answers whether the node was added.
bool AddNodeToParent(IpwProjectNode* parent, IpwProjectNode* node);

// The first child whose name equals Name ignoring case; nil when none.
ComPtr<IpwProjectNode> FindChildItemByName(IpwProjectNode* parent, WideStringView name);
// The first child of the type; nil when none.
ComPtr<IpwProjectNode> FindChildItemByType(IpwProjectNode* parent, const GUID& typeKey);

}  // namespace pw::project
