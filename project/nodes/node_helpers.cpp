#include "project/nodes/node_helpers.h"

#include <sys/stat.h>

#include <exception>

#include "core/files/file_utils.h"
#include "core/host/host_services.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

WideString CurrentExceptionMessage() {
  auto e = std::current_exception();
  if (!e) return {};
  try {
    std::rethrow_exception(e);
  } catch (const Exception& x) {
    return x.Message();
  } catch (const std::exception& x) {
    return Utf8ToWide(x.what());
  } catch (...) {
  }
  return {};
}

void ShowCurrentException(IcvBaseManager* manager) {
  WideString message = CurrentExceptionMessage();
  if (!message.empty()) ShowProjectError(manager, message, 0);
}

void WriteDiagnostic(IcvBaseManager* manager, WideStringView text) {
  auto log = GetHostService<IpwDiagnosticLog>(manager, kDiagnosticLogService);
  if (log) SafeCallCheck(log->Write(BString(text).Get()));
}

bool ClearReadOnly(WideStringView fileName) {
  if (fileName.empty()) return false;
  std::string name = WideToUtf8(fileName);
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return false;
  if (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) return true;
  return ::chmod(name.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool ForceFolders(WideStringView path, std::vector<WideString>& created) {
  if (path.empty()) throw EOSError(u"Unable to create directory", 0);
  WideString dir = RemoveTrailingDelimiter(path);
  if (dir.empty()) return true;  // the root
  struct stat st {};
  std::string name = WideToUtf8(dir);
  if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  WideString parent = RemoveTrailingDelimiter(WideExtractFilePath(dir));
  if (parent == dir) return true;
  if (!parent.empty() && !ForceFolders(parent, created)) return false;
  if (::mkdir(name.c_str(), 0777) != 0) return false;
  created.push_back(dir);
  return true;
}

}  // namespace pw::project

#include <mutex>

#include "platform/automation/variant.h"
#include "platform/ui/resources.h"

namespace pw::project {

namespace {
bool IsPersistentNonProject(IpwProjectNode* node) {
  if (!node) return false;
  ComPtr<IpwFileNameCollection> persistent;
  if (Failed(node->QueryInterface(IpwFileNameCollection::iid, persistent.PutVoid())) || !persistent) return false;
  GUID type{};
  SafeCallCheck(node->GetTypeKey(&type));
  return type != kProjectTypeKey;
}

ComPtr<IpwProject> AsProject(IpwProjectNode* node) {
  ComPtr<IpwProject> project;
  if (node && Succeeded(node->QueryInterface(IpwProject::iid, project.PutVoid()))) return project;
  return nullptr;
}
}  // namespace

void NotifyProjectNodeAttached(IpwProjectNode* node) {
  if (!IsPersistentNonProject(node)) return;
  auto project = AsProject(FindParentProject(node).Get());
  if (project) SafeCallCheck(project->NodeAttached(node));
}

void NotifyProjectNodeDetached(IpwProjectNode* node, bool checkLinked) {
  if (!IsPersistentNonProject(node)) return;
  ComPtr<IpwProjectNode> current(node);
  for (auto parent = NodeParent(node); parent; parent = NodeParent(parent.Get())) {
    if (checkLinked && !HasChildWithInstance(parent.Get(), current.Get())) return;
    if (NodeTypeKey(parent.Get()) == kProjectTypeKey) {
      if (auto project = AsProject(parent.Get())) SafeCallCheck(project->NodeDetached(node));
      return;
    }
    current = parent;
  }
}

namespace {
std::mutex gMarkerLock;
HBITMAP gMarker = 0;

HBITMAP Marker() {
  std::lock_guard guard(gMarkerLock);
  if (!gMarker) gMarker = LoadModuleBitmap("ICON_NONRELOADED_MARKER");
  return gMarker;
}

WideString Comment(IpwProjectNode* node) {
  OleVariant v;
  SafeCallCheck(node->GetAttribute(5, v.Put()));
  return v.IsEmpty() || v.IsNull() ? WideString() : v.AsString();
}

ComPtr<IpwNodeBitmapAccess> Bitmaps(IpwProjectNode* node) {
  ComPtr<IpwNodeBitmapAccess> access;
  if (Succeeded(node->QueryInterface(IpwNodeBitmapAccess::iid, access.PutVoid()))) return access;
  return nullptr;
}

constexpr std::int32_t kPartOrder[] = {2, 0, 1, 3};

void RemoveAll(WideString& text, WideStringView what) {
  for (auto at = text.find(what); at != WideString::npos; at = text.find(what, at)) text.erase(at, what.size());
}
}  // namespace

bool HasNotReloadedMark(IpwProjectNode* node) {
  return node && Comment(node).find(kNotReloadedSentence) != WideString::npos;
}

void SetNotReloadedMark(IpwProjectNode* node) {
  if (!node || HasNotReloadedMark(node)) return;
  auto bitmaps = Bitmaps(node);
  if (!bitmaps) return;
  std::int32_t target = 2;
  for (std::int32_t part : kPartOrder) {
    std::int32_t handle = 0;
    SafeCallCheck(bitmaps->GetBitmapPart(part, &handle));
    if (handle == 0) {
      target = part;
      break;
    }
  }
  SafeCallCheck(bitmaps->SetBitmapPart(target, Marker()));
  WideString text = Comment(node);
  text = text.empty() ? WideString(kNotReloadedSentence) : text + u"\r\n" + WideString(kNotReloadedSentence);
  SafeCallCheck(node->SetAttribute(5, OleVariant(text).Get()));
}

void ClearNotReloadedMark(IpwProjectNode* node) {
  if (!HasNotReloadedMark(node)) return;
  if (auto bitmaps = Bitmaps(node)) {
    HBITMAP marker = Marker();
    for (std::int32_t part : kPartOrder) {
      std::int32_t handle = 0;
      SafeCallCheck(bitmaps->GetBitmapPart(part, &handle));
      if (handle == marker) {
        SafeCallCheck(bitmaps->SetBitmapPart(part, 0));
        break;
      }
    }
  }
  WideString text = Comment(node);
  WideString withBreak = u"\r\n" + WideString(kNotReloadedSentence);
  if (text.find(withBreak) != WideString::npos)
    RemoveAll(text, withBreak);
  else
    RemoveAll(text, kNotReloadedSentence);
  SafeCallCheck(node->SetAttribute(5, OleVariant(text).Get()));
}

void ReleaseNotReloadedMarker() {
  std::lock_guard guard(gMarkerLock);
  if (gMarker) DeleteGdiObject(gMarker);
  gMarker = 0;
}

}  // namespace pw::project
