// Routines that persistent nodes, their containers and their storages share: the properties of
// an options node, the host services they talk to about files, the file-name check run before a
// node's file is created or moved, the child entries of a container's data ("Item" and the index
// in ten digits, an older unpadded entry migrated when met), the order of entries by their
// "Index", the notices around a reload, the default file of a node, the pending file names of a
// node whose file is moving, the source-control menu query, and the making of new child items and
// of items from creation information ("RelPath", relative to the project file's folder).
#pragma once

#include "core/options/options_intf.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw::project {

// The host's project service and where it is asked for.
inline constexpr GUID kProjectServiceHost = MakeGuid("{F3B20D9E-6BE1-468C-9120-F3D33E254B27}");
// The service that tells about renamed files and reloads (answers IpwFileNotices).
inline constexpr GUID kFileNoticesService = MakeGuid("{C664EECD-4693-4042-80BD-8E0C66B48CF2}");
// The node interface that keeps a node's file observer from asking the watch service for its flag.
inline constexpr IID kObserverFlagIid = MakeGuid("{D0B94A38-F1DD-470B-9F9A-80E59E5C9D86}");

// The properties of an options node (a failing call raises).
ComPtr<IcvOptionsProperties> PropertiesOf(IcvOptionsNode* node);

// Nil when the host does not offer them.
ComPtr<IpwProjectService> GetProjectService(IcvBaseManager* manager);
ComPtr<IpwReloadNotices> GetReloadNotices(IcvBaseManager* manager);
ComPtr<IpwFileNotices> GetFileNotices(IcvBaseManager* manager);

// The node-type description of messages: the type's caption.
// False (after the messenger showed why) when Name cannot name the node's file: not a valid
// file name (help context 4008), a reserved device name, or (with Always, or when the new path
// is another file than FileName) a file of the new path exists already. The new path is the
// folder of FileName + Name + the extension of FileName.
bool CheckElementFileName(IcvBaseManager* manager, IpwProjectNode* node, WideStringView name, WideStringView fileName,
                          bool always);
void NotifyFileRenamed(IcvBaseManager* manager, IpwProjectNode* node, WideStringView oldPath, WideStringView newPath);
void NotifyBeforeReload(IcvBaseManager* manager, IpwProjectNode* node);
void NotifyAfterReload(IcvBaseManager* manager, IpwProjectNode* node);
// The host setting that switches reload handling on, and the running-tests mode.
bool IsReloadSettingOn(IcvBaseManager* manager);
bool IsSecondReloadSettingOn(IcvBaseManager* manager);

// "Item0000000007" for 7; the older "Item7" entry, when there is one, is copied into it and
// deleted.
WideString ChildEntryName(std::int32_t index);
ComPtr<IcvOptionsNode> GetChildEntry(IcvOptionsNode* childList, std::int32_t index);
// The entry's "Index", -1 without one; the order of two entries by it.
std::int32_t GetEntryIndex(IcvOptionsNode* entry);
int CompareEntryIndex(IcvOptionsNode* a, IcvOptionsNode* b);

// The index of the first creation parameter captioned "&Name" (ignoring case); -1 without one.
std::int32_t FindNameParam(IpwProjectNodeConfigInfo* config);
// The file a node is saved to at its default place: when its old file lies where its type puts
// it below the parent's old location, the same place below the parent's new location;
// otherwise its old file.
WideString GetDefaultNodeFileName(IcvBaseManager* manager, IpwProjectNode* node);
// From the node up, the first node whose file is moving answers the new file name (or the file
// name when the move began); without one, the node's storage file name.
WideString GetPendingFileName(IpwProjectNode* node);
WideString GetPendingSourceFileName(IpwProjectNode* node);
// The key of the node's source-control menu when that menu has items; GUID_NULL otherwise.
GUID GetSourceControlMenuKey(IcvBaseManager* manager, IpwProjectNode* node);

// The folder of the project file of the node's project (with its trailing delimiter); empty
// without one.
WideString GetProjectFolder(IpwProjectNode* node);
// A new child of the requested type made by the list's factory and opened from (or created as)
// the file Params; nil (after a message) when no type makes one or a sibling already uses its
// file or, for single-name types, its name.
ComPtr<IpwProjectNode> CreateNewChildItem(IcvBaseManager* manager, IpwProjectItemTypeProvider* types,
                                          IpwProjectNode* parent, const GUID& typeKey, WideStringView params);
// Opens the node from the file the information's "RelPath" names.
bool CreateFromInfo(IcvBaseManager* manager, IpwProjectNode* node, IcvOptionsNode* info);
// "RelPath" := the node's file relative to its project's folder.
void WriteCreationInfo(IpwProjectNode* node, IcvOptionsNode* info);
// The same for a node that may have no file yet (the new file name, or the default one).
void WriteCreationInfoFor(IcvBaseManager* manager, IpwProjectNode* node, IcvOptionsNode* info);

}  // namespace pw::project
